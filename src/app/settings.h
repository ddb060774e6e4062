#pragma once
// The settings store: every value that survives between runs, read from the registry when the
// main window is made and written back when it closes. Other parts of the program read and change
// these in memory only.

#include "platform/color.h"
#include "platform/geometry.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vtl::platform {
class Registry;
}

namespace vtl::app {

inline constexpr std::string_view kSettingsKey = "software\\Tamsol\\vtl";

// The system colour "window text", the colour of a font nobody has coloured.
inline constexpr int32_t kClWindowText = static_cast<int32_t>(0x80000008u);

// Font style bits of Font/Style.
inline constexpr int kFontBold = 1;
inline constexpr int kFontItalic = 2;
inline constexpr int kFontUnderline = 4;
inline constexpr int kFontStrikeOut = 8;

// The text tool's font as the settings describe it.
struct TextFont {
    std::string name;
    int size = 9;
    int32_t color = kClWindowText;
    int style = 0;
    friend bool operator==(const TextFont&, const TextFont&) = default;
};

struct Settings {
    // Pos
    int top = 0;
    int left = 0;
    int height = 400;
    int width = 640;
    // Font (Name empty: the other three are not read)
    TextFont font;
    // Line
    int lineColor = 0; // colour number 0 to 15 of the colour popup
    int lineSize = 3;
    // Bar
    bool toolBar = true;
    bool statusBar = true;
    // Sum
    std::string sumDir;
    int sumWidth = 160;
    bool sumSave = true;
    int sumSize = 0;
    // Op
    bool png = false;
    bool wall = false;
    int lev = 127;
    int wait = 1;
    int jpg = 90;
    bool show240 = false; // read only
    // TWAIN
    std::string twainDir;
    std::string twainName = "img";
    int twainMode = 0;
    bool twainSave = false;
    // Limits: the memory one picture may take when it opens, in MB; 0 or less is half of the
    // machine's memory. Written only once it has been set, so that files of old stay as they
    // were.
    int memoryBudgetMB = 0;
    // Photo: phone and camera pictures turned upright by their orientation tag (Upright) and
    // converted from their embedded colour profile to sRGB (Colours); both on unless turned off.
    bool photoUpright = true;
    bool photoTrueColours = true;
    // Order: folders stepped and listed in natural order ("img2" before "img10") when on.
    bool naturalOrder = false;

    friend bool operator==(const Settings&, const Settings&) = default;
};

// Reads every value in the order the main window does, clamping the window bounds into
// `workArea`. Missing values, and numbers that aren't numbers, keep their defaults.
// `defaultFont` is the main window's font, which the text tool's font copies.
Settings ReadSettings(const platform::Registry& registry, const platform::TRect& workArea,
    const TextFont& defaultFont);

// Writes the values back in the main window's closing order; Pos only when the window isn't
// maximised; Op/240 never. Does not flush the registry.
void WriteSettings(platform::Registry& registry, const Settings& settings, bool maximised);

// The window bounds pulled into the work area.
platform::TRect ClampIntoWorkArea(platform::TRect bounds, const platform::TRect& workArea);

// The slide-show interval in milliseconds for Op/wait.
int SlideShowInterval(int wait);

// The stored text forms.
std::string IntToStr(int value);
std::string BoolToStr(bool value);
// "$" and eight upper-case hex digits.
std::string ColorToStr(int32_t color);
// Decimal with an optional sign, or hexadecimal after "$" or "0x", the whole text; blanks before
// the number are allowed. nullopt when it isn't such a number or doesn't fit in 32 bits
// (hexadecimal numbers up to FFFFFFFF wrap to negative values).
std::optional<int32_t> StrToInt(std::string_view text);

} // namespace vtl::app
