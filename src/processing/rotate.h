#pragma once
// Rotations and the flip of the edit menu. The exact turns (90 degrees either way, 180 degrees)
// and the flip move pixels in the picture's own format and keep its palette, so palette pictures
// keep their colours exactly; any other angle resamples the picture bilinearly in 24 bits.
//
// Each takes the picture, the undo picture (or none) and its parameters, and returns true when it
// replaced the picture.

#include "processing/processing_frame.h"

#include <string>
#include <string_view>

namespace vtl::processing {

// Shown (titled "vtl", error icon) when the flip meets a format it cannot handle.
inline constexpr std::string_view kPictureNotSupportedText = "この画像には対応していません。";

// True for the formats whose rows the exact turns and the flip work on: 1, 4, 8, 16 (5-6-5 and
// 5-5-5 alike), 24 and 32 bits per pixel.
bool HasExactRotation(const TBitmap& picture);

// Counter-clockwise by 90 degrees: destination (x, y) = source (W - 1 - y, x). Formats without an
// exact turn go through RotateByAngle(+90).
bool RotateLeft(TBitmap& picture, TBitmap* undo, const ProcessContext& context);
// Clockwise by 90 degrees: destination (x, y) = source (y, H - 1 - x); others RotateByAngle(-90).
bool RotateRight(TBitmap& picture, TBitmap* undo, const ProcessContext& context);
// Pixel (x, y) goes to (W - 1 - x, H - 1 - y); others RotateByAngle(180).
bool Rotate180(TBitmap& picture, TBitmap* undo, const ProcessContext& context);

// Top to bottom. A format without an exact turn returns false and puts kPictureNotSupportedText
// into `refusal` (when given) for the window to show.
bool FlipVertical(
    TBitmap& picture, TBitmap* undo, const ProcessContext& context, std::string* refusal = nullptr);

// Any angle in degrees, positive turning the picture counter-clockwise on the screen. 0 returns
// false; exactly 90, -90, 180 and -180 take the exact turns for the formats that have them.
// Otherwise the result is 24-bit, Trunc(|W cos| + |H sin| + 0.5) by Trunc(|W sin| + |H cos| + 0.5),
// sampled bilinearly around the centre, with black where no source pixel lies.
bool RotateByAngle(TBitmap& picture, TBitmap* undo, double angle, const ProcessContext& context);

} // namespace vtl::processing
