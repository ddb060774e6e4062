#pragma once
// Embedded colour profiles: a picture's pixels converted from the colours its ICC profile
// describes to sRGB, the colours a screen without colour management shows.

#include "platform/bitmap.h"

#include <cstdint>
#include <span>

namespace vtl::codecs {

// Converts the picture from the colours of `profile` to sRGB: 24- and 32-bit pixels, the colour
// table of 1-, 4- and 8-bit pictures, 15- and 16-bit pictures widened to 24 bits. False, with the
// picture untouched, when the profile is damaged, describes another colour space than the pixels
// (a CMYK profile beside RGB pixels), or is sRGB already.
bool ConvertToSrgb(platform::TBitmap& bitmap, std::span<const uint8_t> profile);

} // namespace vtl::codecs
