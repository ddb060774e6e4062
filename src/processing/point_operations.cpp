#include "processing/point_operations.h"

#include "platform/gdi.h"

#include <cmath>
#include <utility>
#include <vector>

namespace vtl::processing {

using platform::PaletteEntry;
using platform::TPixelFormat;

namespace {
    std::vector<PaletteEntry> GreyPalette()
    {
        std::vector<PaletteEntry> entries(256);
        for (size_t i = 0; i < 256; ++i)
            entries[i] = { uint8_t(i), uint8_t(i), uint8_t(i), 0 };
        return entries;
    }

    // The three products of the grey formula for every byte value. Adding them in the formula's
    // order gives the very doubles the formula gives.
    struct GreyWeights {
        std::array<double, 256> r, g, b;
        GreyWeights()
        {
            for (int i = 0; i < 256; ++i) {
                r[size_t(i)] = 0.299 * i;
                g[size_t(i)] = 0.587 * i;
                b[size_t(i)] = 0.114 * i;
            }
        }
    };

    // Grey levels of one 24-bit row.
    void GreyRow(const GreyWeights& w, const uint8_t* src, uint8_t* levels, int32_t width)
    {
        for (int32_t x = 0; x < width; ++x, src += 3)
            levels[x] = uint8_t(int(w.r[src[2]] + w.g[src[1]] + w.b[src[0]] + 0.5));
    }

    // The copy that grey scale reads: the picture converted to pf24bit by the bitmap itself.
    const TBitmap& As24Bit(const TBitmap& picture, TBitmap& copy)
    {
        if (picture.BitsPerPixel() == 24)
            return picture;
        copy = picture;
        copy.SetPixelFormat(TPixelFormat::pf24bit);
        return copy;
    }
}

std::array<uint8_t, 256> GreyIndexTable()
{
    const std::vector<PaletteEntry> palette = GreyPalette();
    std::array<uint8_t, 256> table {};
    for (int v = 0; v < 256; ++v)
        table[size_t(v)] = uint8_t(platform::GetNearestPaletteIndex(
            palette, platform::Rgb(uint8_t(v), uint8_t(v), uint8_t(v))));
    return table;
}

bool GrayScale(TBitmap& picture, TBitmap* undo, const ProcessContext& context)
{
    if (picture.Empty())
        return false;
    StatusText status(context, kConvertingText);
    const std::vector<PaletteEntry> palette = GreyPalette();
    const std::array<uint8_t, 256> table = GreyIndexTable();
    const GreyWeights weights;
    TBitmap copy;
    const TBitmap& source = As24Bit(picture, copy);

    TBitmap result = TBitmap::ForWriting(picture.Width(), picture.Height(), TPixelFormat::pf8bit);
    result.SetPalette(std::span<const PaletteEntry>(palette));
    std::vector<uint8_t*> out = RowPointers(result);
    const std::vector<const uint8_t*> in = ConstRowPointers(source);
    const int32_t width = picture.Width();
    ForEachRowBand(width, picture.Height(), context.threads, [&](int32_t first, int32_t last) {
        for (int32_t y = first; y < last; ++y) {
            uint8_t* row = out[size_t(y)];
            GreyRow(weights, in[size_t(y)], row, width);
            for (int32_t x = 0; x < width; ++x)
                row[x] = table[row[x]];
        }
    });
    ReplacePicture(picture, undo, std::move(result));
    return true;
}

SepiaTables MakeSepiaTables()
{
    SepiaTables t {};
    for (int i = 0; i < 256; ++i) {
        double x = i / 255.0;
        // nearbyint rounds in the current mode, which is to nearest with halves to even.
        double warm = std::nearbyint(255.0 * std::pow(x, 0.75));
        double cool = std::nearbyint(255.0 * std::pow(x, 1.33));
        t.warm[size_t(i)] = uint8_t(std::clamp(warm, 0.0, 255.0));
        t.cool[size_t(i)] = uint8_t(std::clamp(cool, 0.0, 255.0));
    }
    return t;
}

bool Sepia(TBitmap& picture, TBitmap* undo, SepiaStrength strength, const ProcessContext& context)
{
    if (picture.Empty())
        return false;
    StatusText status(context, kConvertingText);
    const SepiaTables t = MakeSepiaTables();
    const WorkSource source(picture);
    TBitmap result = TBitmap::ForWriting(source.Width(), source.Height(), TPixelFormat::pf24bit);
    std::vector<uint8_t*> out = RowPointers(result);
    const int32_t width = source.Width();
    ForEachRowBand(width, source.Height(), context.threads, [&](int32_t first, int32_t last) {
        for (int32_t y = first; y < last; ++y) {
            const uint8_t* s = source.Row(y);
            uint8_t* d = out[size_t(y)];
            for (int32_t x = 0; x < width; ++x, s += 3, d += 3) {
                const int b = s[0], g = s[1], r = s[2];
                const int level = (29 * b + 150 * g + 77 * r + 128) >> 8; // at most 255
                const int cool = t.cool[size_t(level)], warm = t.warm[size_t(level)];
                switch (strength) {
                case SepiaStrength::Full:
                    d[0] = uint8_t(cool);
                    d[1] = uint8_t(level);
                    d[2] = uint8_t(warm);
                    break;
                case SepiaStrength::ThreeQuarters:
                    d[0] = uint8_t((b + 3 * cool) / 4);
                    d[1] = uint8_t((g + 3 * level) / 4);
                    d[2] = uint8_t((r + 3 * warm) / 4);
                    break;
                case SepiaStrength::Half:
                    d[0] = uint8_t((b + cool) / 2);
                    d[1] = uint8_t((g + level) / 2);
                    d[2] = uint8_t((r + warm) / 2);
                    break;
                }
            }
        }
    });
    ReduceForPaletteDisplay(result, context, status);
    ReplacePicture(picture, undo, std::move(result));
    return true;
}

bool InvertColours(TBitmap& picture, TBitmap* undo, const ProcessContext& context)
{
    if (picture.Empty())
        return false;
    StatusText status(context, kConvertingText);
    const WorkSource source(picture);
    TBitmap result = TBitmap::ForWriting(source.Width(), source.Height(), TPixelFormat::pf24bit);
    std::vector<uint8_t*> out = RowPointers(result);
    const size_t bytes = size_t(source.Width()) * 3;
    ForEachRowBand(
        source.Width(), source.Height(), context.threads, [&](int32_t first, int32_t last) {
            for (int32_t y = first; y < last; ++y) {
                const uint8_t* s = source.Row(y);
                uint8_t* d = out[size_t(y)];
                for (size_t i = 0; i < bytes; ++i)
                    d[i] = uint8_t(~s[i]);
            }
        });
    ReduceForPaletteDisplay(result, context, status);
    ReplacePicture(picture, undo, std::move(result));
    return true;
}

bool Binarise(TBitmap& picture, TBitmap* undo, int threshold, const ProcessContext& context)
{
    if (picture.Empty())
        return false;
    // Grey scale maps level v to palette index v, grey v; a pixel is white exactly when that level
    // reaches the threshold, and white pixels are the 1 bits of the monochrome result.
    StatusText status(context, kConvertingText);
    const std::array<uint8_t, 256> table = GreyIndexTable();
    const std::vector<PaletteEntry> palette = GreyPalette();
    const GreyWeights weights;
    TBitmap copy;
    const TBitmap& source = As24Bit(picture, copy);
    status.Show(kReducingText);

    const int32_t width = picture.Width();
    TBitmap result = TBitmap::ForWriting(width, picture.Height(), TPixelFormat::pf1bit);
    result.SetPalette(std::span<const PaletteEntry>(platform::DefaultPalette(1)));
    std::vector<uint8_t*> out = RowPointers(result);
    const std::vector<const uint8_t*> in = ConstRowPointers(source);
    const size_t rowBytes = result.RowBytes();
    ForEachRowBand(width, picture.Height(), context.threads, [&](int32_t first, int32_t last) {
        std::vector<uint8_t> levels(static_cast<size_t>(width));
        for (int32_t y = first; y < last; ++y) {
            GreyRow(weights, in[size_t(y)], levels.data(), width);
            uint8_t* d = out[size_t(y)];
            std::fill_n(d, rowBytes, uint8_t(0));
            for (int32_t x = 0; x < width; ++x) {
                const PaletteEntry& grey = palette[table[levels[size_t(x)]]];
                if (grey.peBlue >= threshold)
                    d[x >> 3] |= uint8_t(0x80 >> (x & 7));
            }
        }
    });
    ReplacePicture(picture, undo, std::move(result));
    return true;
}

} // namespace vtl::processing
