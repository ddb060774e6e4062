#include "platform/bitmap.h"

#include "platform/byte_reader.h"
#include "platform/checked.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

namespace vtl::platform {

int BitsPerPixel(TPixelFormat format)
{
    switch (format) {
    case TPixelFormat::pf1bit:
        return 1;
    case TPixelFormat::pf4bit:
        return 4;
    case TPixelFormat::pf8bit:
        return 8;
    case TPixelFormat::pf15bit:
    case TPixelFormat::pf16bit:
        return 16;
    case TPixelFormat::pf32bit:
        return 32;
    default:
        return 24;
    }
}

namespace {
    const std::vector<PaletteEntry>& CachedDefaultPalette(int bits)
    {
        static const std::vector<PaletteEntry> k1 = DefaultPalette(1);
        static const std::vector<PaletteEntry> k4 = DefaultPalette(4);
        static const std::vector<PaletteEntry> k8 = DefaultPalette(8);
        static const std::vector<PaletteEntry> kNone;
        switch (bits) {
        case 1:
            return k1;
        case 4:
            return k4;
        case 8:
            return k8;
        default:
            return kNone;
        }
    }

    uint8_t Expand5(uint32_t v) { return static_cast<uint8_t>((v << 3) | (v >> 2)); }
    uint8_t Expand6(uint32_t v) { return static_cast<uint8_t>((v << 2) | (v >> 4)); }
}

TBitmap::TBitmap() = default;

TBitmap::TBitmap(int32_t width, int32_t height, TPixelFormat format)
{
    Allocate(0, 0, format);
    if (BitsPerPixel() <= 8)
        m_palette = DefaultPalette(BitsPerPixel());
    SetSize(width, height);
    Modified = false;
}

TBitmap TBitmap::ForWriting(int32_t width, int32_t height, TPixelFormat format)
{
    TBitmap bitmap;
    bitmap.Allocate(width, height, format);
    if (bitmap.BitsPerPixel() <= 8)
        bitmap.m_palette = DefaultPalette(bitmap.BitsPerPixel());
    return bitmap;
}

TBitmap TBitmap::Adopt(int32_t width, int32_t height, TPixelFormat format, MappedBlock&& rows)
{
    TBitmap bitmap;
    bitmap.Allocate(0, 0, format);
    auto rowBytes = BmpRowBytes(width, platform::BitsPerPixel(format));
    if (width < 0 || height < 0 || width > kMaxPictureSide || height > kMaxPictureSide || !rowBytes
        || uint64_t(*rowBytes) * uint64_t(height) != rows.Size())
        throw EInvalidGraphicOperation("Invalid bitmap size");
    bitmap.m_bits = std::move(rows);
    bitmap.m_width = width;
    bitmap.m_height = height;
    bitmap.m_rowBytes = *rowBytes;
    if (bitmap.BitsPerPixel() <= 8)
        bitmap.m_palette = DefaultPalette(bitmap.BitsPerPixel());
    return bitmap;
}

TBitmap::TBitmap(const TBitmap& other)
    : m_width(other.m_width)
    , m_height(other.m_height)
    , m_format(other.m_format)
    , m_rowBytes(other.m_rowBytes)
    , m_palette(other.m_palette)
{
    if (other.m_bits) {
        m_bits = MappedBlock(other.m_bits.Size());
        std::memcpy(m_bits.Data(), other.m_bits.Data(), other.m_bits.Size());
    }
}

TBitmap& TBitmap::operator=(const TBitmap& other)
{
    if (this != &other) {
        TBitmap copy(other);
        *this = std::move(copy);
        Modified = true;
    }
    return *this;
}

TBitmap::TBitmap(TBitmap&& other) noexcept
    : m_width(std::exchange(other.m_width, 0))
    , m_height(std::exchange(other.m_height, 0))
    , m_format(other.m_format)
    , m_rowBytes(std::exchange(other.m_rowBytes, 0))
    , m_bits(std::move(other.m_bits))
    , m_palette(std::move(other.m_palette))
{
}

TBitmap& TBitmap::operator=(TBitmap&& other) noexcept
{
    if (this != &other) {
        m_width = std::exchange(other.m_width, 0);
        m_height = std::exchange(other.m_height, 0);
        m_format = other.m_format;
        m_rowBytes = std::exchange(other.m_rowBytes, 0);
        m_bits = std::move(other.m_bits);
        m_palette = std::move(other.m_palette);
        Modified = true;
    }
    return *this;
}

void TBitmap::Allocate(int32_t width, int32_t height, TPixelFormat format)
{
    if (width < 0 || height < 0)
        throw EInvalidGraphicOperation("Invalid bitmap size");
    if (width > kMaxPictureSide || height > kMaxPictureSide)
        throw EInvalidGraphicOperation("Bitmap is too large");
    auto rowBytes = BmpRowBytes(width, platform::BitsPerPixel(format));
    if (!rowBytes)
        throw EInvalidGraphicOperation("Bitmap is too large");
    uint64_t size = uint64_t(*rowBytes) * uint64_t(height);
    if (size > kMaxPictureBytes)
        throw EInvalidGraphicOperation("Bitmap is too large");
    MappedBlock bits;
    if (size > 0)
        bits = MappedBlock(static_cast<size_t>(size));
    m_bits = std::move(bits);
    m_width = width;
    m_height = height;
    m_format = format;
    m_rowBytes = *rowBytes;
}

void TBitmap::SetSize(int32_t width, int32_t height)
{
    if (width == m_width && height == m_height)
        return;
    TBitmap resized;
    resized.Allocate(width, height, m_format);
    resized.m_palette = m_palette;
    if (!resized.Empty()) {
        uint32_t white = resized.RawOfColor(0xFFFFFF);
        resized.m_canvas.Brush.Color = 0xFFFFFF;
        if (white != 0 || BitsPerPixel() > 8)
            resized.m_canvas.FillRect(Rect(0, 0, width, height));
        int32_t w = std::min(width, m_width), h = std::min(height, m_height);
        size_t bytes = (size_t(w) * size_t(BitsPerPixel())) / 8;
        for (int32_t y = 0; y < h; ++y) {
            std::memcpy(resized.ScanLine(y), ScanLine(y), bytes);
            for (int32_t x = int32_t(bytes * 8 / size_t(BitsPerPixel())); x < w; ++x)
                resized.SetRawPixel(x, y, RawPixel(x, y));
        }
    }
    m_width = resized.m_width;
    m_height = resized.m_height;
    m_rowBytes = resized.m_rowBytes;
    m_bits = std::move(resized.m_bits);
    Modified = true;
}

void TBitmap::SetPixelFormat(TPixelFormat format)
{
    if (format == m_format)
        return;
    TBitmap converted;
    converted.Allocate(m_width, m_height, format);
    int newBits = platform::BitsPerPixel(format);
    if (newBits <= 8) {
        if (!m_palette.empty() && m_palette.size() <= (size_t(1) << newBits))
            converted.m_palette = m_palette;
        else
            converted.m_palette = DefaultPalette(newBits);
    } else {
        converted.m_palette = m_palette;
    }
    if (!Empty()) {
        if (BitsPerPixel() == newBits && newBits == 24) {
            std::memcpy(converted.m_bits.Data(), m_bits.Data(), m_bits.Size());
        } else {
            TNearestColorCache cache(converted.EffectivePalette());
            std::array<TColor, 256> lut {};
            if (BitsPerPixel() <= 8) {
                auto own = EffectivePalette();
                for (size_t i = 0; i < 256; ++i)
                    lut[i] = i < own.size() ? ToColor(own[i]) : 0;
            }
            for (int32_t y = 0; y < m_height; ++y)
                for (int32_t x = 0; x < m_width; ++x) {
                    uint32_t raw = RawPixel(x, y);
                    TColor c = BitsPerPixel() <= 8 ? lut[raw & 0xFF] : ColorOfRaw(raw);
                    converted.SetRawPixel(
                        x, y, newBits <= 8 ? cache.Find(c) : converted.RawOfColor(c));
                }
        }
    }
    *this = std::move(converted);
}

uint8_t* TBitmap::ScanLine(int32_t y)
{
    if (y < 0 || y >= m_height)
        throw EInvalidGraphicOperation("Scan line index out of range");
    return m_bits.Data() + size_t(y) * m_rowBytes;
}

const uint8_t* TBitmap::ScanLine(int32_t y) const
{
    if (y < 0 || y >= m_height)
        throw EInvalidGraphicOperation("Scan line index out of range");
    return m_bits.Data() + size_t(y) * m_rowBytes;
}

std::vector<RGBQuad> TBitmap::ColorTable() const
{
    std::vector<RGBQuad> table;
    table.reserve(m_palette.size());
    for (const PaletteEntry& e : m_palette)
        table.push_back(ToRGBQuad(e));
    return table;
}

void TBitmap::SetPalette(std::span<const PaletteEntry> entries)
{
    if (entries.size() > 256)
        throw EInvalidGraphicOperation("Invalid palette");
    m_palette.assign(entries.begin(), entries.end());
    Modified = true;
}

void TBitmap::SetPalette(std::span<const RGBQuad> table)
{
    if (table.size() > 256)
        throw EInvalidGraphicOperation("Invalid palette");
    m_palette.clear();
    for (const RGBQuad& q : table)
        m_palette.push_back(ToPaletteEntry(q));
    Modified = true;
}

void TBitmap::SetPalette(const HPalette& palette)
{
    if (!palette) {
        ClearPalette();
        return;
    }
    SetPalette(std::span<const PaletteEntry>(palette->entries));
}

HPalette TBitmap::Palette() const { return CreatePalette(m_palette); }

std::span<const PaletteEntry> TBitmap::EffectivePalette() const
{
    if (BitsPerPixel() > 8)
        return {};
    if (!m_palette.empty())
        return m_palette;
    return CachedDefaultPalette(BitsPerPixel());
}

bool TBitmap::Monochrome() const
{
    if (m_format != TPixelFormat::pf1bit)
        return false;
    auto palette = EffectivePalette();
    return palette.size() == 2 && ToColor(palette[0]) == 0 && ToColor(palette[1]) == 0xFFFFFF;
}

void TBitmap::SetMonochrome(bool monochrome)
{
    if (monochrome == Monochrome())
        return;
    if (!monochrome) {
        SetPixelFormat(TPixelFormat::pfDevice);
        return;
    }
    TBitmap mono;
    mono.Allocate(m_width, m_height, TPixelFormat::pf1bit);
    mono.m_palette = DefaultPalette(1);
    for (int32_t y = 0; y < m_height; ++y)
        for (int32_t x = 0; x < m_width; ++x)
            if (Pixel(x, y) == 0xFFFFFF)
                mono.SetRawPixel(x, y, 1);
    *this = std::move(mono);
}

void TBitmap::FreeImage()
{
    m_bits = MappedBlock();
    m_width = 0;
    m_height = 0;
    m_rowBytes = 0;
    m_palette.clear();
    Modified = true;
}

uint32_t TBitmap::RawPixel(int32_t x, int32_t y) const
{
    const uint8_t* row = m_bits.Data() + size_t(y) * m_rowBytes;
    switch (BitsPerPixel()) {
    case 1:
        return (row[x >> 3] >> (7 - (x & 7))) & 1;
    case 4:
        return (x & 1) ? row[x >> 1] & 0x0F : row[x >> 1] >> 4;
    case 8:
        return row[x];
    case 16:
        return row[2 * x] | (uint32_t(row[2 * x + 1]) << 8);
    case 24:
        return row[3 * x] | (uint32_t(row[3 * x + 1]) << 8) | (uint32_t(row[3 * x + 2]) << 16);
    default:
        return row[4 * x] | (uint32_t(row[4 * x + 1]) << 8) | (uint32_t(row[4 * x + 2]) << 16)
            | (uint32_t(row[4 * x + 3]) << 24);
    }
}

void TBitmap::SetRawPixel(int32_t x, int32_t y, uint32_t value)
{
    uint8_t* row = m_bits.Data() + size_t(y) * m_rowBytes;
    switch (BitsPerPixel()) {
    case 1: {
        uint8_t bit = uint8_t(0x80 >> (x & 7));
        row[x >> 3] = (value & 1) ? uint8_t(row[x >> 3] | bit) : uint8_t(row[x >> 3] & ~bit);
        break;
    }
    case 4:
        if (x & 1)
            row[x >> 1] = uint8_t((row[x >> 1] & 0xF0) | (value & 0x0F));
        else
            row[x >> 1] = uint8_t((row[x >> 1] & 0x0F) | ((value & 0x0F) << 4));
        break;
    case 8:
        row[x] = uint8_t(value);
        break;
    case 16:
        row[2 * x] = uint8_t(value);
        row[2 * x + 1] = uint8_t(value >> 8);
        break;
    case 24:
        row[3 * x] = uint8_t(value);
        row[3 * x + 1] = uint8_t(value >> 8);
        row[3 * x + 2] = uint8_t(value >> 16);
        break;
    default:
        PutU32le(row + 4 * x, value);
        break;
    }
}

TColor TBitmap::ColorOfRaw(uint32_t raw) const
{
    switch (m_format) {
    case TPixelFormat::pf1bit:
    case TPixelFormat::pf4bit:
    case TPixelFormat::pf8bit: {
        auto palette = EffectivePalette();
        // GDI shows indices beyond the colour table as black.
        return raw < palette.size() ? ToColor(palette[raw]) : 0;
    }
    case TPixelFormat::pf15bit:
        return Rgb(Expand5((raw >> 10) & 31), Expand5((raw >> 5) & 31), Expand5(raw & 31));
    case TPixelFormat::pf16bit:
        return Rgb(Expand5((raw >> 11) & 31), Expand6((raw >> 5) & 63), Expand5(raw & 31));
    default:
        return Rgb(uint8_t(raw >> 16), uint8_t(raw >> 8), uint8_t(raw));
    }
}

uint32_t TBitmap::RawOfColor(TColor color) const
{
    uint32_t r = GetRValue(color), g = GetGValue(color), b = GetBValue(color);
    switch (m_format) {
    case TPixelFormat::pf1bit:
    case TPixelFormat::pf4bit:
    case TPixelFormat::pf8bit:
        return GetNearestPaletteIndex(EffectivePalette(), color);
    case TPixelFormat::pf15bit:
        return ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3);
    case TPixelFormat::pf16bit:
        return ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3);
    default:
        return (r << 16) | (g << 8) | b;
    }
}

// ---- Canvas ----

namespace {
    TRect Clip(const TRect& r, int32_t width, int32_t height)
    {
        return { std::max(r.Left, 0), std::max(r.Top, 0), std::min(r.Right, width),
            std::min(r.Bottom, height) };
    }

    // A DIB view of a bitmap's pixels, rows from the top.
    DibView ViewOf(const TBitmap& bitmap, std::vector<RGBQuad>& table)
    {
        DibView view;
        view.width = bitmap.Width();
        view.height = -bitmap.Height();
        view.bitCount = static_cast<uint16_t>(bitmap.BitsPerPixel());
        view.bits = bitmap.Bits();
        switch (bitmap.PixelFormat()) {
        case TPixelFormat::pf16bit:
            view.compression = kBiBitfieldsCompression;
            view.masks = { 0xF800, 0x07E0, 0x001F };
            break;
        case TPixelFormat::pf1bit:
        case TPixelFormat::pf4bit:
        case TPixelFormat::pf8bit:
            for (const PaletteEntry& e : bitmap.EffectivePalette())
                table.push_back(ToRGBQuad(e));
            view.colors = table;
            break;
        default:
            break;
        }
        return view;
    }
}

void TCanvas::FillRect(const TRect& rect)
{
    if (Brush.Style == TBrushStyle::bsClear)
        return;
    TBitmap& bitmap = *m_bitmap;
    TRect r = Clip(rect, bitmap.Width(), bitmap.Height());
    if (r.IsEmpty())
        return;
    uint32_t raw = bitmap.RawOfColor(Brush.Color);
    int bits = bitmap.BitsPerPixel();
    for (int32_t y = r.Top; y < r.Bottom; ++y) {
        uint8_t* row = bitmap.ScanLine(y);
        if (bits == 8) {
            std::memset(row + r.Left, int(raw), size_t(r.Width()));
        } else if (bits == 24) {
            for (int32_t x = r.Left; x < r.Right; ++x) {
                row[3 * x] = uint8_t(raw);
                row[3 * x + 1] = uint8_t(raw >> 8);
                row[3 * x + 2] = uint8_t(raw >> 16);
            }
        } else {
            for (int32_t x = r.Left; x < r.Right; ++x)
                bitmap.SetRawPixel(x, y, raw);
        }
    }
    bitmap.Modified = true;
}

void TCanvas::Draw(int32_t x, int32_t y, const TBitmap& source)
{
    CopyRect(Rect(x, y, x + source.Width(), y + source.Height()), source,
        Rect(0, 0, source.Width(), source.Height()));
}

void TCanvas::StretchDraw(const TRect& rect, const TBitmap& source)
{
    CopyRect(rect, source, Rect(0, 0, source.Width(), source.Height()));
}

void TCanvas::CopyRect(const TRect& destRect, const TBitmap& source, const TRect& sourceRect)
{
    if (source.Empty())
        return;
    // Copying within one bitmap reads from a snapshot, so overlapping areas come out right.
    if (&source == m_bitmap) {
        TBitmap snapshot(source);
        CopyRect(destRect, snapshot, sourceRect);
        return;
    }
    std::vector<RGBQuad> table;
    DibView view = ViewOf(source, table);
    StretchDIBits(*m_bitmap, destRect, sourceRect, view, CopyMode);
}

TColor TCanvas::Pixel(int32_t x, int32_t y) const
{
    const TBitmap& bitmap = *m_bitmap;
    if (x < 0 || y < 0 || x >= bitmap.Width() || y >= bitmap.Height())
        return 0xFFFFFFFF;
    return bitmap.ColorOfRaw(bitmap.RawPixel(x, y));
}

void TCanvas::SetPixel(int32_t x, int32_t y, TColor color)
{
    TBitmap& bitmap = *m_bitmap;
    if (x < 0 || y < 0 || x >= bitmap.Width() || y >= bitmap.Height())
        return;
    bitmap.SetRawPixel(x, y, bitmap.RawOfColor(color));
    bitmap.Modified = true;
}

} // namespace vtl::platform
