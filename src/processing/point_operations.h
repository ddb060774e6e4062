#pragma once
// Point operations of the filter menu: grey scale, sepia in three strengths, colour inversion and
// binarisation. Each takes the picture, the undo picture (or none) and its parameters, and returns
// true when it replaced the picture.

#include "processing/processing_frame.h"

#include <array>
#include <cstdint>

namespace vtl::processing {

// The 256-grey palette's index for every grey level, as the nearest-entry search finds it.
std::array<uint8_t, 256> GreyIndexTable();

// The picture becomes pf8bit with the 256-grey palette. No palette-display step: the result
// has 8 bits already.
bool GrayScale(TBitmap& picture, TBitmap* undo, const ProcessContext& context);

// The menu items' tags: 0 = 100 %, 1 = 75 %, 2 = 50 %.
enum class SepiaStrength { Full = 0, ThreeQuarters = 1, Half = 2 };

struct SepiaTables {
    std::array<uint8_t, 256> warm; // red: Round(255 (i/255)^0.75)
    std::array<uint8_t, 256> cool; // blue: Round(255 (i/255)^1.33)
};
SepiaTables MakeSepiaTables();

bool Sepia(TBitmap& picture, TBitmap* undo, SepiaStrength strength, const ProcessContext& context);

// Every byte of the 24-bit picture becomes 255 - value.
bool InvertColours(TBitmap& picture, TBitmap* undo, const ProcessContext& context);

// Binarisation: grey scale, then black below `threshold` and white from it on; the result is a
// monochrome pf1bit picture. The dialog keeps the threshold in 1..254. Always true for a picture
// that is not empty.
bool Binarise(TBitmap& picture, TBitmap* undo, int threshold, const ProcessContext& context);

} // namespace vtl::processing
