#include "processing/palette_pick.h"

#include <algorithm>

namespace vtl::processing {

std::vector<platform::PaletteEntry> PaletteForSaving(const platform::TBitmap& picture)
{
    size_t count = 0;
    if (picture.PixelFormat() == platform::TPixelFormat::pf8bit)
        count = 256;
    else if (picture.PixelFormat() == platform::TPixelFormat::pf4bit)
        count = 16;
    std::vector<platform::PaletteEntry> entries(count);
    // A reduction may leave fewer entries than the format holds; the file still has them all.
    auto own = picture.EffectivePalette();
    std::copy_n(own.begin(), std::min(own.size(), count), entries.begin());
    return entries;
}

void TPalettePicker::Start(bool eightBitPicture)
{
    m_picking = true;
    m_wanted = eightBitPicture ? 16 : 256;
    m_colours.clear();
}

bool TPalettePicker::Pick(platform::TColor colour)
{
    if (!m_picking)
        return false;
    m_colours.push_back({ platform::GetRValue(colour), platform::GetGValue(colour),
        platform::GetBValue(colour), 0 });
    if (m_colours.size() < m_wanted)
        return false;
    m_picking = false;
    return true;
}

std::string TPalettePicker::StatusText() const
{
    return " パレット " + std::to_string(m_colours.size()) + "/" + std::to_string(m_wanted)
        + " 選択";
}

} // namespace vtl::processing
