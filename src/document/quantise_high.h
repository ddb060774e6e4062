#pragma once
// Colour quantisation by the variance split, High variant: every pixel of the picture takes part
// in the split, and each pixel is then mapped by walking the split tree.

#include "document/dib_image.h"
#include "document/quantise_low.h"

namespace vtl::document {

// A 24-bit uncompressed picture to 8 bits (256 colours) or 4 bits (16). `progress` may be null.
DibImage ConvertTrueColorTo8BitRGBHigh(const DibImage& source, QuantiseProgress* progress);
DibImage ConvertTrueColorTo4BitRGBHigh(const DibImage& source, QuantiseProgress* progress);

} // namespace vtl::document
