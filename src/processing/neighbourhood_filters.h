#pragma once
// The filters that compute each output pixel from a square window of input pixels: blur, sharpen,
// emboss, edge, contour lines and median. Outside the picture every channel counts as 0 (black).
// A picture smaller than the window in either direction makes a filter return false at once.

#include "processing/processing_frame.h"

#include <array>
#include <vector>

namespace vtl::processing {

// The blur menu items' tags: 0 = 3 x 3, 1 = 11 x 11.
enum class BlurSize { Small = 0, Large = 1 };

// The weights w(|dy|, |dx|) of a blur, (half + 1) x (half + 1) of them, row |dy| first.
std::vector<double> BlurWeights(BlurSize size);
// The weights of the contour-line filter: the negated Laplacian of a Gaussian of standard
// deviation 2, 7 x 7 of them for |dy|, |dx| up to 6.
std::vector<double> ContourWeights();

bool Blur(TBitmap& picture, TBitmap* undo, BlurSize size, const ProcessContext& context);
bool Sharpen(TBitmap& picture, TBitmap* undo, const ProcessContext& context);

// Where the light comes from (the emboss dialog's `Hpos`), and whether it is strong (`hkyo`).
// The program keeps them while it runs; they start at top left and normal.
struct EmbossSettings {
    int lightPosition = 0; // 0 top left, 1 bottom left, 2 top right, 3 bottom right
    bool strong = false;
};
// The 3 x 3 kernel, rows top to bottom, each left to right. Positions outside 0..3 count as 0.
std::array<int, 9> EmbossKernel(const EmbossSettings& settings);
bool Emboss(
    TBitmap& picture, TBitmap* undo, const EmbossSettings& settings, const ProcessContext& context);

// Sobel magnitude per channel.
bool Edge(TBitmap& picture, TBitmap* undo, const ProcessContext& context);
// Zero crossings of the blue channel filtered by ContourWeights; the result is 1 bit per pixel.
bool ContourLines(TBitmap& picture, TBitmap* undo, const ProcessContext& context);
bool Median(TBitmap& picture, TBitmap* undo, const ProcessContext& context);

} // namespace vtl::processing
