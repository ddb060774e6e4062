#pragma once
// GDI stand-ins: logical palettes, nearest-colour look-up and the DIB transfers
// (StretchDIBits, GetDIBits) between a device-independent bitmap in memory and a display bitmap.

#include "platform/color.h"
#include "platform/geometry.h"

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace vtl::platform {

class TBitmap;

// A logical palette (what CreatePalette makes). Handles are shared and immutable: a changed
// palette is a new handle.
struct TLogPalette {
    std::vector<PaletteEntry> entries;
};
using HPalette = std::shared_ptr<const TLogPalette>;

// A palette of the given entries; null (the system refused) when there are none or more than 256.
HPalette CreatePalette(std::span<const PaletteEntry> entries);
HPalette CreatePaletteFromColorTable(std::span<const RGBQuad> table);

// Index of the entry nearest to `color` (smallest squared RGB distance, the first on ties);
// 0 for an empty palette.
uint32_t GetNearestPaletteIndex(std::span<const PaletteEntry> palette, TColor color);
uint32_t GetNearestPaletteIndex(const HPalette& palette, TColor color);

// Nearest-entry look-ups for many pixels: remembers recent answers so that a picture with few
// colours costs one search per colour, with the same answers as GetNearestPaletteIndex.
class TNearestColorCache {
public:
    explicit TNearestColorCache(std::span<const PaletteEntry> palette);
    uint32_t Find(TColor color);

private:
    std::vector<PaletteEntry> m_palette;
    std::vector<uint32_t> m_keys; // colour + 1, 0 for an empty slot
    std::vector<uint16_t> m_values;
};

// Entries [start, start + count) of a palette, clipped to its size.
std::vector<PaletteEntry> GetPaletteEntries(const HPalette& palette, size_t start, size_t count);

inline RGBQuad ToRGBQuad(const PaletteEntry& e) { return { e.peBlue, e.peGreen, e.peRed, 0 }; }
inline PaletteEntry ToPaletteEntry(const RGBQuad& q)
{
    return { q.rgbRed, q.rgbGreen, q.rgbBlue, 0 };
}
inline TColor ToColor(const PaletteEntry& e) { return Rgb(e.peRed, e.peGreen, e.peBlue); }
inline TColor ToColor(const RGBQuad& q) { return Rgb(q.rgbRed, q.rgbGreen, q.rgbBlue); }

// Raster operations of the framework's CopyMode (the GDI codes).
namespace rop {
    inline constexpr uint32_t kSrcCopy = 0x00CC0020;
    inline constexpr uint32_t kSrcPaint = 0x00EE0086; // dest OR src
    inline constexpr uint32_t kSrcAnd = 0x008800C6; // dest AND src
    inline constexpr uint32_t kSrcInvert = 0x00660046; // dest XOR src
    inline constexpr uint32_t kSrcErase = 0x00440328; // src AND NOT dest
    inline constexpr uint32_t kNotSrcCopy = 0x00330008; // NOT src
    inline constexpr uint32_t kNotSrcErase = 0x001100A6; // NOT (src OR dest)
    inline constexpr uint32_t kMergePaint = 0x00BB0226; // NOT src OR dest
    inline constexpr uint32_t kDstInvert = 0x00550009; // NOT dest
    inline constexpr uint32_t kBlackness = 0x00000042;
    inline constexpr uint32_t kWhiteness = 0x00FF0062;
}

inline constexpr uint32_t kBiRgbCompression = 0;
inline constexpr uint32_t kBiRle8Compression = 1;
inline constexpr uint32_t kBiRle4Compression = 2;
inline constexpr uint32_t kBiBitfieldsCompression = 3;

// A device-independent bitmap as StretchDIBits takes it: the header's numbers, the colour table
// and the pixel bytes (rows padded to 32 bits, bottom-up for a positive height, or an RLE
// stream). The spans are never read beyond their ends, whatever the numbers say.
struct DibView {
    int32_t width = 0;
    int32_t height = 0; // negative: rows stored top-down
    uint16_t bitCount = 0; // 1, 4, 8, 16, 24 or 32
    uint32_t compression = kBiRgbCompression;
    std::array<uint32_t, 3> masks {}; // red, green, blue; for bit fields
    std::span<const RGBQuad> colors;
    std::span<const uint8_t> bits;
};

// Decodes an RLE8 (bitCount 8) or RLE4 (bitCount 4) stream into bottom-up rows of `rowBytes`
// bytes in `out` (which the caller has zero-filled), or into top-down rows with `topDown`.
// Pixels the stream skips stay 0 and their memory untouched; runs that leave the picture are cut
// off; decoding stops at the end of the stream or of the bitmap.
void ExpandRle(std::span<const uint8_t> rle, uint16_t bitCount, int32_t width, int32_t height,
    uint32_t rowBytes, std::span<uint8_t> out, bool topDown = false);

// Expands a bottom-up run-length DIB straight into `dest`, a new (zero-filled) bitmap of its
// size, depth and colour table: no second full-size block, and rows the runs skip are never
// touched. False, with nothing done, for any other DIB or bitmap; StretchDIBits gives the same
// pixels then.
bool ExpandRleInto(TBitmap& dest, const DibView& dib);

// Draws `srcRect` of the DIB (counted from the top of the picture) stretched onto `destRect` of
// the bitmap, sampling the nearest source pixel as COLORONCOLOR does, combined with the
// bitmap's pixels by the raster operation. A rectangle with Right < Left or Bottom < Top mirrors
// the picture. Colours of the DIB that the bitmap can't hold become the nearest entry of its
// palette. Returns the number of rows drawn (0 when nothing was drawn, as GDI does).
int StretchDIBits(TBitmap& dest, const TRect& destRect, const TRect& srcRect, const DibView& dib,
    uint32_t rasterOp = rop::kSrcCopy);

// GetDIBits: all rows of the bitmap as a DIB of `bitCount` bits (1, 4, 8 or 24), bottom-up, rows
// padded to 32 bits, into `bits` (at least rows x row bytes), and for 1, 4 and 8 bits the colour
// table into `colors` (2^bitCount entries). With the bitmap's own bit count and palette the
// indices are copied as they are; otherwise each colour is mapped to the nearest entry of the
// bitmap's palette (or of a default palette of that size). Returns the number of colours written.
uint32_t GetDIBits(
    const TBitmap& source, uint16_t bitCount, std::span<uint8_t> bits, std::span<RGBQuad> colors);

// The palettes GDI gives a bitmap that has none: black and white for 1 bit, the 16 VGA colours
// for 4 bits, the 20 static colours and a 6x6x6 colour cube for 8 bits.
std::vector<PaletteEntry> DefaultPalette(int bitCount);

} // namespace vtl::platform
