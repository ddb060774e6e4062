#pragma once
// Error diffusion to the fixed halftone palette and to black and white.

#include "document/dib_image.h"

namespace vtl::document {

// An uncompressed 1-, 4-, 8- or 24-bit picture to 8 bits in the 215-colour halftone palette.
// Rows keep their order. A compressed source is a caller's error (std::logic_error).
DibImage ConvertToHalfTone(const DibImage& source);

// The same diffusion to 1 bit with the black-and-white palette: a pixel is white when its
// corrected red + green + blue is 384 or more.
DibImage ConvertToHalfToneBW(const DibImage& source);

} // namespace vtl::document
