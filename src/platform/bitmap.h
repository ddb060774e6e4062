#pragma once
// The display bitmap: the picture a document window holds and draws. Pixels are kept as a GDI DIB
// section keeps them, rows padded to 32 bits, but counted from the top: ScanLine(0) is the top
// row. 24-bit pixels are blue, green, red; 32-bit ones blue, green, red, unused; 15-bit ones
// 5-5-5 and 16-bit ones 5-6-5 in little-endian words; 1-, 4- and 8-bit ones are palette indices
// packed from the most significant bit.

#include "platform/color.h"
#include "platform/gdi.h"
#include "platform/geometry.h"
#include "platform/mapped_block.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace vtl::platform {

class TStream;
class TBitmap;

enum class TPixelFormat {
    pfDevice,
    pf1bit,
    pf4bit,
    pf8bit,
    pf15bit,
    pf16bit,
    pf24bit,
    pf32bit,
    pfCustom
};

// Bits per pixel of a format's storage. The device and custom formats are tags only: their
// pixels are stored as 24 bits.
int BitsPerPixel(TPixelFormat format);

// The framework's error for an operation the bitmap can't do (a scan line outside the picture,
// a file that is not a bitmap).
class EInvalidGraphicOperation : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
class EInvalidGraphicFormat : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct TPen {
    TColor Color = 0x000000;
    int Width = 1;
};

enum class TBrushStyle { bsSolid, bsClear };
struct TBrush {
    TColor Color = 0xFFFFFF;
    TBrushStyle Style = TBrushStyle::bsSolid;
};

// What the text drawing in the render layer needs to know; the engine only carries it.
struct TFont {
    std::string Name = "MS UI Gothic";
    int Size = 9; // points
    TColor Color = 0x000000;
    bool Bold = false;
    bool Italic = false;
    bool Underline = false;
    bool StrikeOut = false;
    int Charset = 1; // DEFAULT_CHARSET
};

// A drawing surface over one bitmap. Text and pen lines are drawn by the render layer through the
// same object; fills and copies of pixels are done here.
class TCanvas {
public:
    TBrush Brush;
    TPen Pen;
    TFont Font;
    TPoint PenPos;
    uint32_t CopyMode = rop::kSrcCopy;

    TBitmap& Bitmap() { return *m_bitmap; }
    const TBitmap& Bitmap() const { return *m_bitmap; }

    // Fills the rectangle (clipped to the bitmap) with the brush colour; a clear brush fills
    // nothing.
    void FillRect(const TRect& rect);
    // The bitmap at (x, y), unscaled, combined by CopyMode.
    void Draw(int32_t x, int32_t y, const TBitmap& source);
    // The whole source stretched onto `rect` by nearest-neighbour sampling, combined by CopyMode.
    void StretchDraw(const TRect& rect, const TBitmap& source);
    // `sourceRect` of the source stretched onto `destRect` of this canvas, combined by CopyMode.
    void CopyRect(const TRect& destRect, const TBitmap& source, const TRect& sourceRect);
    // The colour at (x, y); -1 (0xFFFFFFFF, CLR_INVALID) outside the bitmap.
    TColor Pixel(int32_t x, int32_t y) const;
    // Sets (x, y) to the colour, or to the nearest palette entry; outside the bitmap: nothing.
    void SetPixel(int32_t x, int32_t y, TColor color);

private:
    friend class TBitmap;
    explicit TCanvas(TBitmap* bitmap)
        : m_bitmap(bitmap)
    {
    }
    TBitmap* m_bitmap;
};

class TBitmap {
public:
    // An empty bitmap (0 x 0, device format).
    TBitmap();
    TBitmap(int32_t width, int32_t height, TPixelFormat format = TPixelFormat::pf24bit);
    // A bitmap whose pixels are left zero rather than white, for writers that fill every pixel
    // (decoders): it spares a pass over the whole block.
    static TBitmap ForWriting(int32_t width, int32_t height, TPixelFormat format);
    // A bitmap that takes over a block holding its rows, top row first, each padded to 32 bits
    // as the format needs; sizes and formats as for construction. Throws
    // EInvalidGraphicOperation, leaving the block alone, when the block's size doesn't match.
    static TBitmap Adopt(int32_t width, int32_t height, TPixelFormat format, MappedBlock&& rows);
    // Copies: the pixels and palette are copied, canvas settings start fresh.
    TBitmap(const TBitmap& other);
    TBitmap& operator=(const TBitmap& other);
    TBitmap(TBitmap&& other) noexcept;
    TBitmap& operator=(TBitmap&& other) noexcept;
    ~TBitmap() = default;

    int32_t Width() const { return m_width; }
    int32_t Height() const { return m_height; }
    // Size changes keep the pixels that still fit, at the top left; new pixels are white (or the
    // palette entry nearest to white). Negative values throw EInvalidGraphicOperation.
    void SetWidth(int32_t width) { SetSize(width, m_height); }
    void SetHeight(int32_t height) { SetSize(m_width, height); }
    void SetSize(int32_t width, int32_t height);
    bool Empty() const { return m_width == 0 || m_height == 0; }

    TPixelFormat PixelFormat() const { return m_format; }
    // Converts the pixels to the new format. Going to 1, 4 or 8 bits keeps an existing palette of
    // a fitting size, else takes the default one, and maps each colour to its nearest entry.
    void SetPixelFormat(TPixelFormat format);
    int BitsPerPixel() const { return platform::BitsPerPixel(m_format); }
    size_t RowBytes() const { return m_rowBytes; }

    // Row y counted from the top; throws EInvalidGraphicOperation "Scan line index out of range"
    // for y outside the picture.
    uint8_t* ScanLine(int32_t y);
    const uint8_t* ScanLine(int32_t y) const;
    // The whole pixel block, top row first.
    std::span<uint8_t> Bits() { return m_bits.Bytes(); }
    std::span<const uint8_t> Bits() const { return m_bits.Bytes(); }

    // The palette (colour table). Only 1-, 4- and 8-bit bitmaps use it to read pixels; a
    // deeper bitmap may still carry one (the framework's Palette property), used for drawing on
    // palette displays.
    bool HasPalette() const { return !m_palette.empty(); }
    const std::vector<PaletteEntry>& PaletteEntries() const { return m_palette; }
    std::vector<RGBQuad> ColorTable() const;
    // Replaces the palette; indices are not remapped. More than 256 entries throw
    // EInvalidGraphicOperation.
    void SetPalette(std::span<const PaletteEntry> entries);
    void SetPalette(std::span<const RGBQuad> table);
    void SetPalette(const HPalette& palette);
    void ClearPalette() { m_palette.clear(); }
    // A logical palette made from the entries; null without a palette.
    HPalette Palette() const;
    // The entries that 1-, 4- and 8-bit pixels index: the palette, or the default palette of the
    // bit count when there is none. Empty for deeper formats.
    std::span<const PaletteEntry> EffectivePalette() const;

    // True for a 1-bit bitmap whose palette is black and white.
    bool Monochrome() const;
    // true: every pixel that is exactly white becomes 1, every other 0, as GDI turns a colour
    // bitmap into a monochrome one; the result is pf1bit with the black-and-white palette.
    // false: a monochrome bitmap becomes pfDevice. Otherwise nothing.
    void SetMonochrome(bool monochrome);
    // Releases the device handle in the framework; here there is none, so it does nothing.
    void Dormant() { }
    // Frees the picture: 0 x 0, palette dropped, format kept.
    void FreeImage();

    void Assign(const TBitmap& source) { *this = source; }

    // Reads a BMP file (12-, 40-, 52-, 56-, 108- and 124-byte headers; 1 to 32 bits; RLE; bit
    // fields). The pixel format follows the file: 16 bits with 5-5-5 masks are pf15bit, with
    // 5-6-5 masks pf16bit; other masks give pf24bit or pf32bit. Throws EInvalidGraphicFormat or
    // EReadError; the bitmap is unchanged then.
    void LoadFromStream(TStream& stream);
    void LoadFromFile(const std::filesystem::path& path);
    // Writes a BMP file in the bitmap's own format: 15 bits as 16-bit 5-5-5 without masks, 16 bits
    // with 5-6-5 bit fields, 32 bits as 32-bit; device and custom as 24 bits.
    void SaveToStream(TStream& stream) const;
    void SaveToFile(const std::filesystem::path& path) const;

    TCanvas& Canvas() { return m_canvas; }

    // Pixels through the canvas: the colour of a pixel (the palette entry for 1, 4 and 8 bits);
    // setting picks the nearest palette entry for those formats.
    TColor Pixel(int32_t x, int32_t y) const { return m_canvas.Pixel(x, y); }
    void SetPixel(int32_t x, int32_t y, TColor color) { m_canvas.SetPixel(x, y, color); }

    // Set by every change through the bitmap's own methods; a viewer clears it after redrawing.
    bool Modified = false;

    // A raw pixel value (palette index, or packed colour in the storage's encoding) at (x, y),
    // no range check; and the same for writing. Used by the canvas and the GDI stand-ins.
    uint32_t RawPixel(int32_t x, int32_t y) const;
    void SetRawPixel(int32_t x, int32_t y, uint32_t value);
    // The colour a raw value stands for in this bitmap, and the raw value for a colour.
    TColor ColorOfRaw(uint32_t raw) const;
    uint32_t RawOfColor(TColor color) const;

private:
    // Replaces the storage by a new zero-filled one; throws before anything changes.
    void Allocate(int32_t width, int32_t height, TPixelFormat format);

    int32_t m_width = 0;
    int32_t m_height = 0;
    TPixelFormat m_format = TPixelFormat::pfDevice;
    size_t m_rowBytes = 0;
    MappedBlock m_bits;
    std::vector<PaletteEntry> m_palette;
    TCanvas m_canvas { this };
};

} // namespace vtl::platform
