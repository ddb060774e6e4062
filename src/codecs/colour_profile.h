#pragma once
// Embedded colour profiles: a picture's pixels converted from the colours its ICC profile
// describes to sRGB, the colours a screen without colour management shows.

#include "platform/bitmap.h"

#include <cstdint>
#include <span>

namespace vtl::codecs {

// Converts the picture from the colours of `profile` to sRGB with the perceptual intent: 24- and
// 32-bit pixels (the fourth byte kept), the colour table of 1-, 4- and 8-bit pictures (the
// indices kept), 15- and 16-bit pictures widened to 24 bits. An RGB profile serves any picture; a
// grey one only a picture whose colours are all grey (a greyscale JPEG's grey ramp).
//
// False, with the picture untouched, when the profile is damaged (shorter than its header says,
// a tag outside it, a tag Little CMS can't read), larger than 16 MiB, of another colour space
// than the pixels (CMYK, Lab, a grey profile beside colours), of a class other than input,
// display or colour space, or sRGB already: a matrix and curves equal to sRGB's, whatever its
// name. Never throws for a bad profile; only running out of memory (widening a 15- or 16-bit
// picture) throws. Safe to call from several threads at once.
bool ConvertToSrgb(platform::TBitmap& bitmap, std::span<const uint8_t> profile);

} // namespace vtl::codecs
