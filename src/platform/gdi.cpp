#include "platform/gdi.h"

#include "platform/bitmap.h"
#include "platform/checked.h"

#include <algorithm>
#include <cstring>

namespace vtl::platform {

HPalette CreatePalette(std::span<const PaletteEntry> entries)
{
    if (entries.empty() || entries.size() > 256)
        return nullptr;
    auto palette = std::make_shared<TLogPalette>();
    palette->entries.assign(entries.begin(), entries.end());
    return palette;
}

HPalette CreatePaletteFromColorTable(std::span<const RGBQuad> table)
{
    std::vector<PaletteEntry> entries;
    entries.reserve(table.size());
    for (const RGBQuad& q : table)
        entries.push_back(ToPaletteEntry(q));
    return CreatePalette(entries);
}

uint32_t GetNearestPaletteIndex(std::span<const PaletteEntry> palette, TColor color)
{
    int r = GetRValue(color), g = GetGValue(color), b = GetBValue(color);
    uint32_t best = 0;
    int bestDistance = INT32_MAX;
    for (size_t i = 0; i < palette.size(); ++i) {
        int dr = palette[i].peRed - r, dg = palette[i].peGreen - g, db = palette[i].peBlue - b;
        int distance = dr * dr + dg * dg + db * db;
        if (distance < bestDistance) {
            bestDistance = distance;
            best = static_cast<uint32_t>(i);
            if (distance == 0)
                break;
        }
    }
    return best;
}

uint32_t GetNearestPaletteIndex(const HPalette& palette, TColor color)
{
    if (!palette)
        return 0;
    return GetNearestPaletteIndex(std::span<const PaletteEntry>(palette->entries), color);
}

namespace {
    constexpr size_t kCacheSlots = 4096;
}

TNearestColorCache::TNearestColorCache(std::span<const PaletteEntry> palette)
    : m_palette(palette.begin(), palette.end())
    , m_keys(kCacheSlots, 0)
    , m_values(kCacheSlots, 0)
{
}

uint32_t TNearestColorCache::Find(TColor color)
{
    color &= 0xFFFFFF;
    uint32_t hash = (color * 2654435761u) >> 20; // 12 bits
    if (m_keys[hash] == color + 1)
        return m_values[hash];
    uint32_t index = GetNearestPaletteIndex(m_palette, color);
    m_keys[hash] = color + 1;
    m_values[hash] = static_cast<uint16_t>(index);
    return index;
}

std::vector<PaletteEntry> GetPaletteEntries(const HPalette& palette, size_t start, size_t count)
{
    if (!palette || start >= palette->entries.size())
        return {};
    size_t n = std::min(count, palette->entries.size() - start);
    return { palette->entries.begin() + static_cast<ptrdiff_t>(start),
        palette->entries.begin() + static_cast<ptrdiff_t>(start + n) };
}

std::vector<PaletteEntry> DefaultPalette(int bitCount)
{
    static const PaletteEntry kVga[16]
        = { { 0, 0, 0, 0 }, { 128, 0, 0, 0 }, { 0, 128, 0, 0 }, { 128, 128, 0, 0 },
              { 0, 0, 128, 0 }, { 128, 0, 128, 0 }, { 0, 128, 128, 0 }, { 192, 192, 192, 0 },
              { 128, 128, 128, 0 }, { 255, 0, 0, 0 }, { 0, 255, 0, 0 }, { 255, 255, 0, 0 },
              { 0, 0, 255, 0 }, { 255, 0, 255, 0 }, { 0, 255, 255, 0 }, { 255, 255, 255, 0 } };
    switch (bitCount) {
    case 1:
        return { { 0, 0, 0, 0 }, { 255, 255, 255, 0 } };
    case 4:
        return { std::begin(kVga), std::end(kVga) };
    case 8: {
        // The 20 static colours at both ends, a 6x6x6 cube and a grey ramp between them.
        std::vector<PaletteEntry> p(256);
        static const PaletteEntry kLow[10] = { { 0, 0, 0, 0 }, { 128, 0, 0, 0 }, { 0, 128, 0, 0 },
            { 128, 128, 0, 0 }, { 0, 0, 128, 0 }, { 128, 0, 128, 0 }, { 0, 128, 128, 0 },
            { 192, 192, 192, 0 }, { 192, 220, 192, 0 }, { 166, 202, 240, 0 } };
        static const PaletteEntry kHigh[10] = { { 255, 251, 240, 0 }, { 160, 160, 164, 0 },
            { 128, 128, 128, 0 }, { 255, 0, 0, 0 }, { 0, 255, 0, 0 }, { 255, 255, 0, 0 },
            { 0, 0, 255, 0 }, { 255, 0, 255, 0 }, { 0, 255, 255, 0 }, { 255, 255, 255, 0 } };
        std::copy(std::begin(kLow), std::end(kLow), p.begin());
        for (int i = 0; i < 216; ++i)
            p[10 + i] = { uint8_t(i / 36 * 51), uint8_t(i / 6 % 6 * 51), uint8_t(i % 6 * 51), 0 };
        for (int i = 0; i < 20; ++i) {
            auto v = static_cast<uint8_t>((i + 1) * 255 / 21);
            p[226 + i] = { v, v, v, 0 };
        }
        std::copy(std::begin(kHigh), std::end(kHigh), p.begin() + 246);
        return p;
    }
    default:
        return {};
    }
}

void ExpandRle(std::span<const uint8_t> rle, uint16_t bitCount, int32_t width, int32_t height,
    uint32_t rowBytes, std::span<uint8_t> out, bool topDown)
{
    if (width <= 0 || height <= 0 || (bitCount != 4 && bitCount != 8))
        return;
    if (uint64_t(rowBytes) * uint64_t(height) > out.size())
        return;
    auto put = [&](int64_t x, int64_t y, uint8_t v) {
        if (x < 0 || x >= width || y < 0 || y >= height)
            return;
        uint8_t* row = out.data() + size_t(topDown ? height - 1 - y : y) * rowBytes;
        if (bitCount == 8) {
            row[x] = v;
        } else if (x & 1) {
            row[x >> 1] = uint8_t((row[x >> 1] & 0xF0) | (v & 0x0F));
        } else {
            row[x >> 1] = uint8_t((row[x >> 1] & 0x0F) | (v << 4));
        }
    };
    size_t pos = 0;
    int64_t x = 0, y = 0;
    const size_t n = rle.size();
    while (pos + 1 < n && y < height) {
        uint8_t count = rle[pos], value = rle[pos + 1];
        pos += 2;
        if (count != 0) {
            for (int i = 0; i < count && x < width; ++i, ++x)
                put(x, y, bitCount == 8 ? value : uint8_t((i & 1) ? value & 0x0F : value >> 4));
            continue;
        }
        if (value == 0) { // end of line
            x = 0;
            ++y;
        } else if (value == 1) { // end of bitmap
            break;
        } else if (value == 2) { // delta
            if (pos + 1 >= n)
                break;
            x += rle[pos];
            y += rle[pos + 1];
            pos += 2;
        } else { // absolute run, padded to a 16-bit boundary
            size_t bytes = bitCount == 8 ? value : (size_t(value) + 1) / 2;
            for (int i = 0; i < value; ++i, ++x) {
                size_t at = pos + (bitCount == 8 ? size_t(i) : size_t(i) / 2);
                if (at >= n)
                    break;
                uint8_t b = rle[at];
                put(x, y, bitCount == 8 ? b : uint8_t((i & 1) ? b & 0x0F : b >> 4));
            }
            pos += bytes + (bytes & 1);
        }
    }
}

bool ExpandRleInto(TBitmap& dest, const DibView& dib)
{
    if ((dib.compression != kBiRle4Compression && dib.compression != kBiRle8Compression)
        || dib.height <= 0 || dest.Width() != dib.width || dest.Height() != dib.height
        || dest.BitsPerPixel() != dib.bitCount)
        return false;
    const auto palette = dest.EffectivePalette();
    if (palette.size() != dib.colors.size())
        return false;
    for (size_t i = 0; i < palette.size(); ++i)
        if (ToRGBQuad(palette[i]) != dib.colors[i])
            return false;
    ExpandRle(dib.bits, dib.bitCount, dib.width, dib.height, uint32_t(dest.RowBytes()), dest.Bits(),
        true);
    dest.Modified = true;
    return true;
}

namespace {

    struct Channel {
        uint32_t mask = 0;
        int shift = 0;
        uint64_t max = 0;
        uint8_t Extract(uint32_t pixel) const
        {
            if (max == 0)
                return 0;
            return static_cast<uint8_t>(((pixel & mask) >> shift) * 255 / max);
        }
    };

    Channel MakeChannel(uint32_t mask)
    {
        Channel c;
        c.mask = mask;
        if (mask == 0)
            return c;
        c.shift = __builtin_ctz(mask);
        c.max = mask >> c.shift;
        return c;
    }

    // A DIB prepared for sampling: uncompressed rows and a way from a pixel to its colour.
    struct Source {
        int32_t width = 0;
        int32_t height = 0;
        bool topDown = false;
        uint16_t bits = 0;
        uint32_t rowBytes = 0;
        const uint8_t* data = nullptr;
        std::vector<uint8_t> expanded;
        size_t colorCount = 0;
        std::array<TColor, 256> lut {};
        Channel red, green, blue;
        uint32_t masks[3] = { 0, 0, 0 };

        const uint8_t* Row(int32_t y) const
        {
            int32_t memoryRow = topDown ? y : height - 1 - y;
            return data + size_t(memoryRow) * rowBytes;
        }
        TColor Color(uint32_t raw) const
        {
            switch (bits) {
            case 1:
            case 4:
            case 8:
                return lut[raw & 0xFF];
            case 24:
                return Rgb(uint8_t(raw >> 16), uint8_t(raw >> 8), uint8_t(raw));
            default:
                return Rgb(red.Extract(raw), green.Extract(raw), blue.Extract(raw));
            }
        }
    };

    uint32_t ReadRaw(const uint8_t* row, int32_t x, int bits)
    {
        switch (bits) {
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

    bool Prepare(const DibView& dib, Source& s)
    {
        if (dib.width <= 0 || dib.height == 0 || dib.height == INT32_MIN)
            return false;
        s.width = dib.width;
        s.height = dib.height < 0 ? -dib.height : dib.height;
        s.topDown = dib.height < 0;
        s.bits = dib.bitCount;
        auto rowBytes = BmpRowBytes(dib.width, dib.bitCount);
        if (!rowBytes)
            return false;
        s.rowBytes = *rowBytes;
        uint64_t need = uint64_t(s.rowBytes) * uint64_t(s.height);
        if (need > kMaxPictureBytes)
            return false;
        switch (dib.bitCount) {
        case 1:
        case 24:
            if (dib.compression != kBiRgbCompression)
                return false;
            break;
        case 4:
        case 8: {
            uint32_t rle = dib.bitCount == 4 ? kBiRle4Compression : kBiRle8Compression;
            if (dib.compression != kBiRgbCompression && dib.compression != rle)
                return false;
            break;
        }
        case 16:
        case 32:
            if (dib.compression != kBiRgbCompression && dib.compression != kBiBitfieldsCompression)
                return false;
            break;
        default:
            return false;
        }
        if (dib.compression == kBiRle4Compression || dib.compression == kBiRle8Compression) {
            // Compressed pictures are stored bottom-up only.
            if (s.topDown)
                return false;
            s.expanded.assign(need, 0);
            ExpandRle(dib.bits, dib.bitCount, s.width, s.height, s.rowBytes, s.expanded);
            s.data = s.expanded.data();
        } else {
            if (need > dib.bits.size())
                return false;
            s.data = dib.bits.data();
        }
        if (s.bits <= 8) {
            s.colorCount = std::min<size_t>(dib.colors.size(), 256);
            for (size_t i = 0; i < s.colorCount; ++i)
                s.lut[i] = ToColor(dib.colors[i]);
        } else if (s.bits == 16 || s.bits == 32) {
            uint32_t r = s.bits == 16 ? 0x7C00 : 0xFF0000;
            uint32_t g = s.bits == 16 ? 0x03E0 : 0x00FF00;
            uint32_t b = s.bits == 16 ? 0x001F : 0x0000FF;
            if (dib.compression == kBiBitfieldsCompression) {
                r = dib.masks[0];
                g = dib.masks[1];
                b = dib.masks[2];
            }
            s.masks[0] = r;
            s.masks[1] = g;
            s.masks[2] = b;
            s.red = MakeChannel(r);
            s.green = MakeChannel(g);
            s.blue = MakeChannel(b);
        }
        return true;
    }

    uint32_t ApplyRop(uint32_t rop, uint32_t src, uint32_t dst)
    {
        switch (rop) {
        case rop::kSrcPaint:
            return src | dst;
        case rop::kSrcAnd:
            return src & dst;
        case rop::kSrcInvert:
            return src ^ dst;
        case rop::kSrcErase:
            return src & ~dst;
        case rop::kNotSrcCopy:
            return ~src;
        case rop::kNotSrcErase:
            return ~(src | dst);
        case rop::kMergePaint:
            return ~src | dst;
        case rop::kDstInvert:
            return ~dst;
        case rop::kBlackness:
            return 0;
        case rop::kWhiteness:
            return 0xFFFFFFFF;
        default:
            return src;
        }
    }

    // Whether the source's raw values mean the same colours in the destination's storage, so
    // that they can be copied without looking at colours.
    bool SameLayout(const Source& s, const TBitmap& dest)
    {
        if (s.bits != dest.BitsPerPixel())
            return false;
        switch (dest.PixelFormat()) {
        case TPixelFormat::pf1bit:
        case TPixelFormat::pf4bit:
        case TPixelFormat::pf8bit: {
            auto palette = dest.EffectivePalette();
            if (palette.size() != s.colorCount)
                return false;
            for (size_t i = 0; i < palette.size(); ++i)
                if (ToColor(palette[i]) != s.lut[i])
                    return false;
            return true;
        }
        case TPixelFormat::pf15bit:
            return s.masks[0] == 0x7C00 && s.masks[1] == 0x03E0 && s.masks[2] == 0x001F;
        case TPixelFormat::pf16bit:
            return s.masks[0] == 0xF800 && s.masks[1] == 0x07E0 && s.masks[2] == 0x001F;
        case TPixelFormat::pf32bit:
            return s.masks[0] == 0xFF0000 && s.masks[1] == 0x00FF00 && s.masks[2] == 0x0000FF;
        default:
            return true; // 24 bits
        }
    }

    // Raw values of the destination for colours, remembering palette look-ups.
    class Encoder {
    public:
        explicit Encoder(const TBitmap& dest)
            : m_dest(dest)
            , m_palette(dest.BitsPerPixel() <= 8 ? dest.EffectivePalette()
                                                 : std::span<const PaletteEntry>())
            , m_cache(m_palette)
        {
        }
        uint32_t Raw(TColor color)
        {
            if (m_dest.BitsPerPixel() <= 8)
                return m_cache.Find(color);
            return m_dest.RawOfColor(color);
        }

    private:
        const TBitmap& m_dest;
        std::span<const PaletteEntry> m_palette;
        TNearestColorCache m_cache;
    };

    struct Span1D {
        int32_t start = 0; // first position
        int32_t length = 0; // always >= 0
        bool mirrored = false;
    };

    Span1D Normalise(int32_t a, int32_t b)
    {
        if (b < a)
            return { b, a - b, true };
        return { a, b - a, false };
    }

} // namespace

int StretchDIBits(TBitmap& dest, const TRect& destRect, const TRect& srcRect, const DibView& dib,
    uint32_t rasterOp)
{
    Source s;
    if (dest.Empty() || !Prepare(dib, s))
        return 0;
    Span1D dx = Normalise(destRect.Left, destRect.Right);
    Span1D dy = Normalise(destRect.Top, destRect.Bottom);
    Span1D sx = Normalise(srcRect.Left, srcRect.Right);
    Span1D sy = Normalise(srcRect.Top, srcRect.Bottom);
    if (dx.length == 0 || dy.length == 0 || sx.length == 0 || sy.length == 0)
        return 0;
    bool mirrorX = dx.mirrored != sx.mirrored;
    bool mirrorY = dy.mirrored != sy.mirrored;

    // Source column for every destination column inside the bitmap; -1 outside the source.
    int32_t firstX = std::max<int32_t>(dx.start, 0);
    int64_t endX = std::min<int64_t>(int64_t(dx.start) + dx.length, dest.Width());
    if (endX <= firstX)
        return 0;
    std::vector<int32_t> columns(size_t(endX - firstX));
    for (int64_t x = firstX; x < endX; ++x) {
        int64_t i = x - dx.start;
        if (mirrorX)
            i = dx.length - 1 - i;
        int64_t c = sx.start + i * sx.length / dx.length;
        columns[size_t(x - firstX)] = (c >= 0 && c < s.width) ? int32_t(c) : -1;
    }

    const int destBits = dest.BitsPerPixel();
    const uint32_t destMask = destBits >= 32 ? 0xFFFFFFFFu : ((1u << destBits) - 1);
    const bool rawCopy = SameLayout(s, dest);
    Encoder encoder(dest);
    std::array<uint32_t, 256> indexToRaw {};
    if (!rawCopy && s.bits <= 8) {
        for (size_t i = 0; i < 256; ++i)
            indexToRaw[i] = encoder.Raw(i < s.colorCount ? s.lut[i] : 0);
    }
    const bool identity
        = !mirrorX && dx.length == sx.length && rasterOp == rop::kSrcCopy && rawCopy;

    int rows = 0;
    int64_t firstY = std::max<int32_t>(dy.start, 0);
    int64_t endY = std::min<int64_t>(int64_t(dy.start) + dy.length, dest.Height());
    for (int64_t y = firstY; y < endY; ++y) {
        int64_t i = y - dy.start;
        if (mirrorY)
            i = dy.length - 1 - i;
        int64_t srcY = sy.start + i * sy.length / dy.length;
        if (srcY < 0 || srcY >= s.height)
            continue;
        const uint8_t* srcRow = s.Row(int32_t(srcY));
        uint8_t* destRow = dest.ScanLine(int32_t(y));
        ++rows;
        size_t from = 0; // the first column left for the pixel-by-pixel copy below
        if (identity) {
            // Unscaled copy: one run from the first source column inside, whole bytes copied
            // at once. Pixels of fewer than 8 bits are copied by bytes when source and
            // destination start on a byte boundary; the last partial byte goes pixel by pixel.
            size_t k = 0;
            while (k < columns.size() && columns[k] < 0)
                ++k;
            size_t e = k;
            while (e < columns.size() && columns[e] >= 0)
                ++e;
            const size_t bits = size_t(s.bits);
            const size_t destBit = (size_t(firstX) + k) * bits;
            const size_t srcBit = size_t(columns[k < e ? k : 0]) * bits;
            if (e > k && destBit % 8 == 0 && srcBit % 8 == 0) {
                const size_t wholeBytes = (e - k) * bits / 8;
                std::memcpy(destRow + destBit / 8, srcRow + srcBit / 8, wholeBytes);
                from = k + wholeBytes * 8 / bits;
                if (from >= e)
                    continue;
            }
        }
        for (size_t k = from; k < columns.size(); ++k) {
            int32_t c = columns[k];
            if (c < 0)
                continue;
            uint32_t raw = ReadRaw(srcRow, c, s.bits);
            uint32_t value;
            if (rawCopy)
                value = raw;
            else if (s.bits <= 8)
                value = indexToRaw[raw & 0xFF];
            else
                value = encoder.Raw(s.Color(raw));
            auto x = int32_t(firstX + int64_t(k));
            if (rasterOp != rop::kSrcCopy)
                value = ApplyRop(rasterOp, value, dest.RawPixel(x, int32_t(y)));
            dest.SetRawPixel(x, int32_t(y), value & destMask);
        }
    }
    if (rows > 0)
        dest.Modified = true;
    return rows;
}

uint32_t GetDIBits(
    const TBitmap& source, uint16_t bitCount, std::span<uint8_t> bits, std::span<RGBQuad> colors)
{
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 24)
        return 0;
    auto rowBytes = BmpRowBytes(source.Width(), bitCount);
    if (!rowBytes || uint64_t(*rowBytes) * uint64_t(source.Height()) > bits.size())
        return 0;
    const int32_t width = source.Width(), height = source.Height();
    uint32_t colorCount = 0;
    std::vector<PaletteEntry> palette;
    if (bitCount <= 8) {
        size_t capacity = size_t(1) << bitCount;
        if (source.BitsPerPixel() <= 8 || source.HasPalette()) {
            auto own = source.BitsPerPixel() <= 8
                ? source.EffectivePalette()
                : std::span<const PaletteEntry>(source.PaletteEntries());
            if (own.size() <= capacity)
                palette.assign(own.begin(), own.end());
        }
        if (palette.empty())
            palette = DefaultPalette(bitCount);
        colorCount = static_cast<uint32_t>(palette.size());
        for (size_t i = 0; i < colors.size() && i < capacity; ++i)
            colors[i] = i < palette.size() ? ToRGBQuad(palette[i]) : RGBQuad {};
    }
    const bool sameIndices = bitCount <= 8 && source.BitsPerPixel() == bitCount;
    TNearestColorCache cache(palette);
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* src = source.ScanLine(y);
        uint8_t* out = bits.data() + size_t(height - 1 - y) * *rowBytes;
        if (sameIndices || (bitCount == 24 && source.BitsPerPixel() == 24)) {
            std::memcpy(out, src, *rowBytes);
            continue;
        }
        std::memset(out, 0, *rowBytes);
        for (int32_t x = 0; x < width; ++x) {
            TColor c = source.ColorOfRaw(source.RawPixel(x, y));
            switch (bitCount) {
            case 24:
                out[3 * x] = GetBValue(c);
                out[3 * x + 1] = GetGValue(c);
                out[3 * x + 2] = GetRValue(c);
                break;
            case 8:
                out[x] = uint8_t(cache.Find(c));
                break;
            case 4:
                out[x >> 1] |= uint8_t(cache.Find(c) << ((x & 1) ? 0 : 4));
                break;
            default:
                out[x >> 3] |= uint8_t((cache.Find(c) & 1) << (7 - (x & 7)));
                break;
            }
        }
    }
    return colorCount;
}

} // namespace vtl::platform
