#pragma once
// Small files whose headers claim huge pictures: what a hostile mail attachment looks like to
// each reader. Shared by the budget tests; the fuzz corpora hold copies made by these builders.

#include "codecs/jpeg_encoder.h"
#include "codecs/png_format.h"
#include "platform/bitmap.h"

#include <cstdint>
#include <vector>

namespace vtl::testing::hostile {

using Bytes = std::vector<uint8_t>;

inline void Le16(Bytes& b, uint32_t v)
{
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
inline void Le32(Bytes& b, uint32_t v)
{
    Le16(b, v);
    Le16(b, v >> 16);
}
inline void Be32(Bytes& b, uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        b.push_back(uint8_t(v >> shift));
}

// A run-length BMP (4 or 8 bits) of width x height whose data ends the picture at once.
inline Bytes RleBmp(int bits, int32_t width, int32_t height)
{
    const uint32_t colours = bits == 4 ? 16 : 256;
    const Bytes rle { 0, 1 }; // end of picture
    const uint32_t offset = 14 + 40 + colours * 4;
    Bytes b { 'B', 'M' };
    Le32(b, offset + uint32_t(rle.size()));
    Le32(b, 0);
    Le32(b, offset);
    Le32(b, 40);
    Le32(b, uint32_t(width));
    Le32(b, uint32_t(height));
    Le16(b, 1);
    Le16(b, uint32_t(bits));
    Le32(b, bits == 4 ? 2 : 1); // BI_RLE4, BI_RLE8
    Le32(b, uint32_t(rle.size()));
    Le32(b, 2835);
    Le32(b, 2835);
    Le32(b, colours);
    Le32(b, 0);
    for (uint32_t i = 0; i < colours; ++i)
        Le32(b, i * 0x010101u);
    b.insert(b.end(), rle.begin(), rle.end());
    return b;
}

// An RGBA PNG of width x height whose only data is one empty deflate block.
inline Bytes HugePng(uint32_t width, uint32_t height)
{
    Bytes b { 0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n' };
    auto chunk = [&b](const char* name, const Bytes& data) {
        Be32(b, uint32_t(data.size()));
        Bytes typed(name, name + 4);
        typed.insert(typed.end(), data.begin(), data.end());
        b.insert(b.end(), typed.begin(), typed.end());
        Be32(b, codecs::png::Crc(0, typed));
    };
    Bytes ihdr;
    Be32(ihdr, width);
    Be32(ihdr, height);
    ihdr.insert(ihdr.end(), { 8, 6, 0, 0, 0 });
    chunk("IHDR", ihdr);
    chunk("IDAT", { 0x78, 0x9C, 0x03, 0x00, 0x00, 0x00, 0x00, 0x01 });
    chunk("IEND", {});
    return b;
}

// A real 16 x 16 JPEG whose frame header is made to claim width x height.
inline Bytes HugeJpeg(uint16_t width, uint16_t height)
{
    platform::TBitmap small(16, 16, platform::TPixelFormat::pf24bit);
    Bytes b = codecs::EncodeJpeg(small, 75);
    for (size_t i = 2; i + 8 < b.size(); ++i)
        if (b[i] == 0xFF && b[i + 1] == 0xC0) {
            b[i + 5] = uint8_t(height >> 8);
            b[i + 6] = uint8_t(height);
            b[i + 7] = uint8_t(width >> 8);
            b[i + 8] = uint8_t(width);
            break;
        }
    return b;
}

// A GIF whose screen and only image claim width x height, with no pixels at all.
inline Bytes HugeGif(uint16_t width, uint16_t height)
{
    Bytes b { 'G', 'I', 'F', '8', '9', 'a' };
    Le16(b, width);
    Le16(b, height);
    b.insert(b.end(), { 0, 0, 0, 0x2C, 0, 0, 0, 0 });
    Le16(b, width);
    Le16(b, height);
    b.insert(b.end(), { 0, 2, 0, 0x3B });
    return b;
}

} // namespace vtl::testing::hostile
