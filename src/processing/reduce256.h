#pragma once
// Reduction to 256 colours ("256色" and its dialog's three palettes), the system colours plus 240
// chosen from the picture ("sys+240色"), and black and white with error diffusion ("モノクロ").
//
// Each takes the picture, the undo picture (or none) and its parameters, and returns true when it
// replaced the picture; false changes nothing, the undo picture included.

#include "platform/color.h"
#include "processing/processing_frame.h"

#include <vector>

namespace vtl::processing {

using platform::PaletteEntry;

// The items of the dialog's palette group.
enum class D256Palette { Dynamic = 0, Halftone = 1, Specified = 2 };

// The dialog's choice after OK. Halftone: the image buffer's halftone conversion (High quantiser
// mode). Dynamic without dithering: the image buffer's own High quantiser. Dynamic with dithering,
// and Specified: Reduce256Colours. `specified` holds the entries of the palette file the window
// read; null (the open dialog cancelled, or the file refused) makes Specified return false.
bool Reduce256(TBitmap& picture, TBitmap* undo, D256Palette palette, bool dither,
    const std::vector<PaletteEntry>* specified, const ProcessContext& context);

// The 256-colour reduction routine: the palette is `specified` when given (false when it is
// empty), else the variance split of all pixels; each pixel becomes its colour's nearest entry, or
// with `dither` the nearest entry of its colour plus the diffused error. The result is pf8bit.
bool Reduce256Colours(TBitmap& picture, TBitmap* undo, const std::vector<PaletteEntry>* specified,
    bool dither, const ProcessContext& context);

// Up to 2^depth entries from the variance split of every pixel of the 24-bit rows (weights red 3,
// green 4, blue 2; the part above the mean first). A picture with k colours gives at most k.
std::vector<PaletteEntry> QuantiseAllPixels(const WorkSource& source, int depth = 8);

// The 16 system colours and 240 picked greedily from the 8-bit picture's colours (a deeper picture
// is first reduced by the image buffer's High quantiser); pf8bit, no dithering.
bool ReduceSys240(TBitmap& picture, TBitmap* undo, const ProcessContext& context);

// Black and white by the image buffer's error diffusion; the result is pf1bit.
bool ReduceMonochrome(TBitmap& picture, TBitmap* undo, const ProcessContext& context);

} // namespace vtl::processing
