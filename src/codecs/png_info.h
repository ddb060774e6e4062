#pragma once
// What a PNG file says beside its pixels, and what the writer is asked to put into one.

#include "platform/color.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vtl::codecs {

// A colour value with this flag set is a palette index (in its low byte), as the framework's
// PaletteIndex() makes them.
inline constexpr platform::TColor kPaletteIndexFlag = 0x1000000;

inline constexpr int kDefaultIdatSize = 32768;
inline constexpr int kMinIdatSize = 256;
inline constexpr int kMaxIdatSize = 100000;
inline constexpr double kDefaultGamma = 0.45455;

enum class PngUnit : uint8_t {
    Unknown = 0, // the numbers only give the aspect ratio
    Metre = 1,
    Inch = 2, // the writer's own: converted to dots per metre when written
};

struct PngPhysicalSize {
    PngUnit unit = PngUnit::Unknown;
    uint32_t x = 0;
    uint32_t y = 0;
    friend bool operator==(const PngPhysicalSize&, const PngPhysicalSize&) = default;
};

// Significant bits of red, green, blue and alpha (grey files give grey in the first).
struct PngSignificantBits {
    std::array<uint8_t, 4> bits {};
    int count = 0;
    friend bool operator==(const PngSignificantBits&, const PngSignificantBits&) = default;
};

struct PngTime {
    uint16_t year = 0;
    uint8_t month = 0;
    uint8_t day = 0;
    uint8_t hour = 0;
    uint8_t minute = 0;
    uint8_t second = 0;
    // The ranges a tIME chunk may hold; the writer leaves the chunk out otherwise.
    bool Valid() const
    {
        return month >= 1 && month <= 12 && day >= 1 && day <= 31 && hour < 24 && minute < 60
            && second < 61;
    }
    friend bool operator==(const PngTime&, const PngTime&) = default;
};

// White point x, y, then red, green and blue x, y, each times 100000.
using PngChromaticities = std::array<uint32_t, 8>;

struct PngGifExtension {
    uint8_t disposal = 0;
    uint8_t userInput = 0;
    uint16_t delay = 0; // hundredths of a second
    friend bool operator==(const PngGifExtension&, const PngGifExtension&) = default;
};

// The descriptive properties; after a load they hold what the file said.
struct PngInfo {
    std::string comment; // "Comment" texts, each ended by CR LF
    std::optional<platform::TColor> background;
    std::optional<platform::TColor> transparent;
    bool interlace = false;
    double gamma = kDefaultGamma; // 0: none
    std::optional<PngPhysicalSize> physicalSize;
    std::optional<PngSignificantBits> significantBits;
    std::optional<PngTime> time; // writing: unset means the time of writing
    std::optional<PngChromaticities> chromaticities;
    std::optional<PngGifExtension> gifExtension;
};

// The header of a loaded file.
struct PngHeader {
    uint32_t width = 0;
    uint32_t height = 0;
    uint8_t bitDepth = 0;
    uint8_t colorType = 0;
    uint8_t compression = 0;
    uint8_t filter = 0;
    uint8_t interlace = 0;
    bool Greyscale() const { return (colorType & 3) == 0; }
    bool HasAlpha() const { return (colorType & 4) != 0; }
};

} // namespace vtl::codecs
