#pragma once
// Palette creation by clicking colours in a picture: the document's picking mode and the colours
// picked so far. The window feeds it clicks and shows the status text; when the count is reached
// it asks the main window to save the colours as a palette file.

#include "platform/bitmap.h"
#include "platform/color.h"

#include <string>
#include <vector>

namespace vtl::processing {

// The entries that "パレットを保存" writes for the picture: 256 for pf8bit, 16 for pf4bit, a
// shorter palette filled up with black; none (nothing is saved) for other formats.
std::vector<platform::PaletteEntry> PaletteForSaving(const platform::TBitmap& picture);

class TPalettePicker {
public:
    // Starts picking mode with no colours: 16 colours for a pf8bit picture, 256 for any other.
    void Start(bool eightBitPicture);
    bool Picking() const { return m_picking; }
    size_t Wanted() const { return m_wanted; }
    size_t Count() const { return m_colours.size(); }
    // The picked colours as palette entries (red, green, blue, 0).
    const std::vector<platform::PaletteEntry>& Colours() const { return m_colours; }

    // Appends the clicked pixel's colour and returns true when that was the last one wanted, which
    // ends picking mode. Outside picking mode it does nothing and returns false.
    bool Pick(platform::TColor colour);
    // Panel 0 after a pick: " パレット 3/16 選択".
    std::string StatusText() const;

private:
    bool m_picking = false;
    size_t m_wanted = 256;
    std::vector<platform::PaletteEntry> m_colours;
};

} // namespace vtl::processing
