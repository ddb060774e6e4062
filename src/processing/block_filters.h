#pragma once
// Oil paint and mosaic: filters that work in the picture's own pixel format (8 or 24 bits) and keep
// it, with no palette-display step.

#include "platform/geometry.h"
#include "processing/processing_frame.h"

#include <cstdint>
#include <optional>

namespace vtl::processing {

using platform::TRect;

// The oil-paint menu items' tags: 0 = 5 x 5, 1 = 9 x 9.
enum class OilSize { Small = 0, Large = 1 };

// Each pixel becomes the most frequent value of its window (clipped at the picture's borders):
// palette indices for pf8bit, colours cut to 5 bits a channel for pf24bit. Any other pixel format,
// or a picture smaller than the window, returns false.
bool OilPaint(TBitmap& picture, TBitmap* undo, OilSize size, const ProcessContext& context);

// Windows' MulDiv: number x numerator / denominator rounded to the nearest integer, halves away
// from zero, with a 64-bit product; -1 when the denominator is 0 or the result does not fit.
int32_t MulDiv(int32_t number, int32_t numerator, int32_t denominator);

struct ZoomFactor {
    int32_t n = 1;
    int32_t d = 1;
};
// The factor n/d that turns display pixels at a zoom index (0..7) into picture pixels: 4/1, 2/1,
// 4/3, 1/1, 2/3, 1/2, 1/4, 1/8. Any other index counts as 100 %.
ZoomFactor DisplayToPictureFactor(int zoomIndex);

// The mosaic area for columns left..right and rows top..bottom, both ends included, kept inside a
// picture of the given size; as a rectangle whose right and bottom lie just outside. Nothing when
// no pixel of the picture remains.
std::optional<TRect> ClipMosaicArea(
    int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t width, int32_t height);
// The same for a selection in display coordinates at a zoom index, each edge converted with MulDiv.
std::optional<TRect> MosaicAreaFromSelection(
    const TRect& selection, int zoomIndex, int32_t width, int32_t height);

// Blocks of blockSize x blockSize pixels from the area's top left each become their average
// colour (for pf8bit, the palette entry nearest to the average of the entries). `area` (right and
// bottom just outside, inside the picture) is the whole picture when absent. Other pixel formats,
// block sizes below 1 and areas outside the picture return false.
bool Mosaic(TBitmap& picture, TBitmap* undo, int blockSize, const std::optional<TRect>& area,
    const ProcessContext& context);

} // namespace vtl::processing
