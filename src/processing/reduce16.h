#pragma once
// Reduction to 16 colours ("16色"): a pf4bit picture with a palette of at most 16 entries chosen
// by one of six methods from the colours of the 8-bit picture, with or without error diffusion.

#include "platform/color.h"
#include "processing/processing_frame.h"

#include <array>
#include <vector>

namespace vtl::processing {

using platform::PaletteEntry;

// The items of the dialog's palette group.
enum class D16Method {
    Dynamic1 = 0, // weighted variance split of the source palette
    Dynamic2 = 1, // range split of the source palette
    Dynamic3 = 2, // greedy selection from the source colours
    System = 3, // the 16 system colours
    Grey = 4, // 16 greys
    Specified = 5, // a palette file of 16 entries
};

// A picture that is not pf8bit is first reduced by the image buffer's own (Low) quantiser. For
// Specified, `specified` holds the entries of the palette file the window read; null (the dialog
// cancelled or the file refused) returns false, leaving picture and undo picture as they were.
bool Reduce16(TBitmap& picture, TBitmap* undo, D16Method method, bool dither,
    const std::vector<PaletteEntry>* specified, const ProcessContext& context);

// The palette of a Dynamic1 or Dynamic2 split of a 256-entry source palette with its pixel counts,
// and in `map` each source index's entry (0 for indices no part of the split reached).
std::vector<PaletteEntry> SplitSourcePalette(D16Method method,
    const std::array<PaletteEntry, 256>& colours, const std::array<uint32_t, 256>& counts,
    std::array<uint8_t, 256>& map);

} // namespace vtl::processing
