#pragma once
// The contents of an image buffer's storage, without the sharing: a BMP in memory.
// The pixel-format conversions take one of these and make a new one.

#include "platform/color.h"
#include "platform/mapped_block.h"

#include <array>
#include <cstdint>

namespace vtl::document {

using platform::RGBQuad;

// The 40-byte BMP info header, field for field.
struct BitmapInfoHeader {
    uint32_t biSize = 40;
    int32_t biWidth = 1;
    int32_t biHeight = 1; // positive: rows bottom-up; negative: top-down
    uint16_t biPlanes = 1;
    uint16_t biBitCount = 8;
    uint32_t biCompression = 0; // 0 none, 1 RLE8, 2 RLE4
    uint32_t biSizeImage = 0;
    int32_t biXPelsPerMeter = 3780;
    int32_t biYPelsPerMeter = 3780;
    uint32_t biClrUsed = 256;
    uint32_t biClrImportant = 0;
};

inline constexpr uint32_t kBiRgb = 0;
inline constexpr uint32_t kBiRle8 = 1;
inline constexpr uint32_t kBiRle4 = 2;
inline constexpr uint32_t kBiBitfields = 3;
inline constexpr int32_t kDefaultPelsPerMeter = 3780; // 96 dots per inch

enum class DibPixelFormat {
    Dib1Bit = 0,
    Dib4Bit = 1,
    Dib4BitRle = 2,
    Dib8Bit = 3,
    Dib8BitRle = 4,
    Dib24Bit = 5,
    DibHalftone = 6, // target only: 8 bits in the fixed 215-colour palette
    DibHalftoneMono = 7, // target only: 1 bit, black and white, by error diffusion
};

// The stored format of a header: bit count and compression together. Any other combination
// raises EDIBInvalidDIB with the message the buffer has always used.
DibPixelFormat PixelFormatOf(const BitmapInfoHeader& info);

// Text of a format in progress messages ("8BitRLE").
const char* PixelFormatText(DibPixelFormat format);

struct DibImage {
    BitmapInfoHeader info;
    std::array<RGBQuad, 256> colorTable {};
    platform::MappedBlock bits; // rows exactly as in a BMP file (or the RLE stream)
};

// The buffer's pixel memory: a zero-filled mapped block of `size` bytes. A mapping the system
// refuses raises EOutOfResources "GetMemory: Cannot Make File Mapping Object", never a bare
// std::bad_alloc, so that the user reads which allocation failed.
platform::MappedBlock GetMemory(size_t size);

} // namespace vtl::document
