#pragma once
// The two fixed palettes of the image buffer: the 215-colour halftone palette that thumbnails and
// halftone conversions use, and the black-and-white palette of every 1-bit conversion result.

#include "platform/color.h"

#include <array>
#include <cstdint>
#include <span>

namespace vtl::document {

inline constexpr int kHalftoneColours = 215;

// Levels of the halftone cube: entry 35 x r + 5 x g + b holds red kHalftoneRed[r], green
// kHalftoneGreen[g], blue kHalftoneBlue[b] (entries 0 to 209).
inline constexpr std::array<uint8_t, 6> kHalftoneRed { 0, 51, 102, 153, 204, 255 };
inline constexpr std::array<uint8_t, 7> kHalftoneGreen { 0, 43, 85, 128, 171, 214, 255 };
inline constexpr std::array<uint8_t, 5> kHalftoneBlue { 0, 64, 128, 192, 255 };

std::span<const platform::RGBQuad, kHalftoneColours> HalftonePalette();
std::span<const platform::RGBQuad, 2> BlackWhitePalette();

} // namespace vtl::document
