#pragma once
// Colour types shared by the display bitmap, the GDI stand-ins and the image buffer.

#include <cstdint>

namespace vtl::platform {

// A colour value as the settings and the drawing code store it: 0x00BBGGRR.
using TColor = uint32_t;

constexpr TColor Rgb(uint8_t r, uint8_t g, uint8_t b)
{
    return TColor(r) | (TColor(g) << 8) | (TColor(b) << 16);
}
constexpr uint8_t GetRValue(TColor c) { return static_cast<uint8_t>(c); }
constexpr uint8_t GetGValue(TColor c) { return static_cast<uint8_t>(c >> 8); }
constexpr uint8_t GetBValue(TColor c) { return static_cast<uint8_t>(c >> 16); }

// One colour-table entry of a BMP: blue, green, red, reserved.
struct RGBQuad {
    uint8_t rgbBlue = 0;
    uint8_t rgbGreen = 0;
    uint8_t rgbRed = 0;
    uint8_t rgbReserved = 0;
    friend bool operator==(const RGBQuad&, const RGBQuad&) = default;
};

// One entry of a logical palette: red, green, blue, flags.
struct PaletteEntry {
    uint8_t peRed = 0;
    uint8_t peGreen = 0;
    uint8_t peBlue = 0;
    uint8_t peFlags = 0;
    friend bool operator==(const PaletteEntry&, const PaletteEntry&) = default;
};

} // namespace vtl::platform
