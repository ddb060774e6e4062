#include "processing/block_filters.h"

#include "platform/gdi.h"

#include <algorithm>
#include <array>
#include <utility>
#include <vector>

namespace vtl::processing {

using platform::PaletteEntry;
using platform::TPixelFormat;

namespace {
    // The mode of every clipped window of a plane of values (palette indices or 15-bit colour
    // keys), given one row at a time through `row(y)`; results go to `put(y, x, value)`.
    //
    // The rule scans the window row by row and lets a value replace the candidate when its count
    // exceeds the best so far (starting from the centre's value and a best of 1). So with M the
    // largest count in the window, the result is the centre when M is 1, and otherwise the value
    // of count M whose M-th, that is last, occurrence comes first. The counts slide along the row
    // (a column in, a column out) together with how many values hold each count; only the
    // winner among the values of count M needs a look at the window, from its end backwards.
    // Rows first .. last - 1 are done; each row starts from empty counts, so bands of rows can
    // run apart.
    template <typename T, typename RowOf, typename Put>
    void WindowModes(int32_t width, int32_t height, int32_t first, int32_t last, int half,
        size_t histogramSize, RowOf&& row, Put&& put)
    {
        constexpr uint8_t kMarked = 255; // above any count (at most 81)
        std::vector<uint8_t> histogram(histogramSize, 0);
        uint8_t* __restrict counts = histogram.data();
        std::array<int, 256> holders {}; // holders[c]: how many values have count c
        std::vector<const T*> rows(size_t(2 * half + 1));
        std::vector<T> marked;
        for (int32_t y = first; y < last; ++y) {
            const int32_t y0 = std::max(0, y - half), y1 = std::min(height - 1, y + half);
            const int rowCount = int(y1 - y0 + 1);
            for (int i = 0; i < rowCount; ++i)
                rows[size_t(i)] = row(y0 + i);
            const T* centreRow = row(y);
            int best = 0;
            auto addColumn = [&](int32_t c) {
                for (int i = 0; i < rowCount; ++i) {
                    uint8_t& n = counts[rows[size_t(i)][c]];
                    --holders[n];
                    ++n;
                    ++holders[n];
                    best = std::max(best, int(n));
                }
            };
            auto removeColumn = [&](int32_t c) {
                for (int i = 0; i < rowCount; ++i) {
                    uint8_t& n = counts[rows[size_t(i)][c]];
                    --holders[n];
                    if (n == best && holders[n] == 0)
                        --best;
                    --n;
                    ++holders[n];
                }
            };
            for (int32_t c = 0; c <= std::min(width - 1, int32_t(half)); ++c)
                addColumn(c);
            for (int32_t x = 0; x < width; ++x) {
                if (x > 0) {
                    if (x + half < width)
                        addColumn(x + half);
                    if (x - half - 1 >= 0)
                        removeColumn(x - half - 1);
                }
                T result = centreRow[x];
                if (best > 1) {
                    // Backwards, a value's first appearance is its last one going forwards; the
                    // winner is the last of the values of count `best` to appear.
                    const int32_t x0 = std::max(0, x - half), x1 = std::min(width - 1, x + half);
                    const size_t tied = size_t(holders[best]);
                    marked.clear();
                    for (int i = rowCount - 1; i >= 0 && marked.size() < tied; --i) {
                        const T* r = rows[size_t(i)];
                        for (int32_t c = x1; c >= x0; --c) {
                            const T v = r[c];
                            if (counts[v] == best) {
                                counts[v] = kMarked;
                                marked.push_back(v);
                                if (marked.size() == tied) {
                                    result = v;
                                    break;
                                }
                            }
                        }
                    }
                    for (T v : marked)
                        counts[v] = uint8_t(best);
                }
                put(y, x, result);
            }
            // The last columns leave, so that the counts start the next row at zero.
            for (int32_t c = std::max(0, width - 1 - half); c < width; ++c)
                removeColumn(c);
            holders.fill(0);
        }
    }

    void OilPaint8(const TBitmap& picture, TBitmap& result, int half, int threads)
    {
        const std::vector<const uint8_t*> in = ConstRowPointers(picture);
        std::vector<uint8_t*> out = RowPointers(result);
        const int32_t width = picture.Width(), height = picture.Height();
        ForEachRowBand(width, height, threads, [&](int32_t first, int32_t last) {
            WindowModes<uint8_t>(
                width, height, first, last, half, 256, [&](int32_t y) { return in[size_t(y)]; },
                [&](int32_t y, int32_t x, uint8_t v) { out[size_t(y)][x] = v; });
        });
    }

    void OilPaint24(const TBitmap& picture, TBitmap& result, int half, int threads)
    {
        const int32_t width = picture.Width(), height = picture.Height();
        const int n = 2 * half + 1;
        const std::vector<const uint8_t*> in = ConstRowPointers(picture);
        std::vector<uint8_t*> out = RowPointers(result);
        ForEachRowBand(width, height, threads, [&](int32_t first, int32_t last) {
            // The keys of the rows a window can reach: row y lies in slot y mod n.
            std::vector<uint16_t> keys(size_t(n) * size_t(width));
            auto slot = [&](int32_t y) { return keys.data() + size_t(y % n) * size_t(width); };
            auto computeKeys = [&](int32_t y) {
                const uint8_t* s = in[size_t(y)];
                uint16_t* k = slot(y);
                for (int32_t x = 0; x < width; ++x, s += 3)
                    k[x] = uint16_t(((s[0] >> 3) << 10) | ((s[1] >> 3) << 5) | (s[2] >> 3));
            };
            // Rows above this have no keys yet; the windows of the band reach half rows up.
            int32_t computed = std::max(0, first - half);
            WindowModes<uint16_t>(
                width, height, first, last, half, 32768,
                [&](int32_t y) {
                    while (computed <= y && computed < height)
                        computeKeys(computed++);
                    return static_cast<const uint16_t*>(slot(y));
                },
                [&](int32_t y, int32_t x, uint16_t key) {
                    uint8_t* d = out[size_t(y)] + size_t(x) * 3;
                    d[0] = uint8_t((key >> 10) << 3);
                    d[1] = uint8_t(((key >> 5) & 31) << 3);
                    d[2] = uint8_t((key & 31) << 3);
                });
        });
    }
}

bool OilPaint(TBitmap& picture, TBitmap* undo, OilSize size, const ProcessContext& context)
{
    const TPixelFormat format = picture.PixelFormat();
    if (format != TPixelFormat::pf8bit && format != TPixelFormat::pf24bit)
        return false;
    const int n = size == OilSize::Small ? 5 : 9;
    if (picture.Width() < n || picture.Height() < n)
        return false;
    StatusText status(context, kConvertingText);
    TBitmap result = TBitmap::ForWriting(picture.Width(), picture.Height(), format);
    if (format == TPixelFormat::pf8bit) {
        if (picture.HasPalette())
            result.SetPalette(std::span<const PaletteEntry>(picture.PaletteEntries()));
        OilPaint8(picture, result, n / 2, context.threads);
    } else {
        OilPaint24(picture, result, n / 2, context.threads);
    }
    ReplacePicture(picture, undo, std::move(result));
    return true;
}

int32_t MulDiv(int32_t number, int32_t numerator, int32_t denominator)
{
    if (denominator == 0)
        return -1;
    int64_t product = int64_t(number) * int64_t(numerator);
    int64_t d = denominator;
    if (d < 0) {
        product = -product;
        d = -d;
    }
    const int64_t rounded = product >= 0 ? (product + d / 2) / d : -((-product + d / 2) / d);
    if (rounded > INT32_MAX || rounded < INT32_MIN)
        return -1;
    return int32_t(rounded);
}

ZoomFactor DisplayToPictureFactor(int zoomIndex)
{
    static constexpr ZoomFactor kFactors[8]
        = { { 4, 1 }, { 2, 1 }, { 4, 3 }, { 1, 1 }, { 2, 3 }, { 1, 2 }, { 1, 4 }, { 1, 8 } };
    if (zoomIndex < 0 || zoomIndex > 7)
        return { 1, 1 };
    return kFactors[zoomIndex];
}

std::optional<TRect> ClipMosaicArea(
    int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t width, int32_t height)
{
    // A selection dragged beyond the picture's edge is cut back to the picture.
    const int64_t l = std::max<int64_t>(left, 0), t = std::max<int64_t>(top, 0);
    const int64_t r = std::min<int64_t>(int64_t(right) + 1, width);
    const int64_t b = std::min<int64_t>(int64_t(bottom) + 1, height);
    if (r <= l || b <= t)
        return std::nullopt;
    return TRect { int32_t(l), int32_t(t), int32_t(r), int32_t(b) };
}

std::optional<TRect> MosaicAreaFromSelection(
    const TRect& selection, int zoomIndex, int32_t width, int32_t height)
{
    const ZoomFactor f = DisplayToPictureFactor(zoomIndex);
    return ClipMosaicArea(MulDiv(selection.Left, f.n, f.d), MulDiv(selection.Top, f.n, f.d),
        MulDiv(selection.Right, f.n, f.d), MulDiv(selection.Bottom, f.n, f.d), width, height);
}

namespace {
    // Calls `block(left, top, right, bottom)` for every block of the area, top row of blocks
    // first; the last column and row of blocks hold what is left over. The rows of blocks are
    // shared out in bands; each block is read and written by one band alone.
    template <typename Block>
    void ForEachBlock(const TRect& area, int32_t size, int threads, Block&& block)
    {
        const int64_t blockRows = (int64_t(area.Bottom) - area.Top + size - 1) / size;
        platform::ForEachBand(int32_t(blockRows), uint64_t(area.Width()) * uint64_t(area.Height()),
            threads, [&](int32_t first, int32_t last) {
                for (int64_t top = area.Top + int64_t(first) * size;
                     top < area.Top + int64_t(last) * size && top < area.Bottom; top += size) {
                    const int32_t bottom = int32_t(std::min<int64_t>(top + size, area.Bottom));
                    for (int64_t left = area.Left; left < area.Right; left += size)
                        block(int32_t(left), int32_t(top),
                            int32_t(std::min<int64_t>(left + size, area.Right)), bottom);
                }
            });
    }

    void Mosaic24(TBitmap& bitmap, const TRect& area, int32_t size, int threads)
    {
        std::vector<uint8_t*> rows = RowPointers(bitmap);
        ForEachBlock(area, size, threads, [&](int32_t l, int32_t t, int32_t r, int32_t b) {
            uint64_t sum[3] = { 0, 0, 0 };
            for (int32_t y = t; y < b; ++y) {
                const uint8_t* p = rows[size_t(y)] + size_t(l) * 3;
                for (int32_t x = l; x < r; ++x, p += 3) {
                    sum[0] += p[0];
                    sum[1] += p[1];
                    sum[2] += p[2];
                }
            }
            const uint64_t count = uint64_t(r - l) * uint64_t(b - t);
            const uint8_t avg[3]
                = { uint8_t(sum[0] / count), uint8_t(sum[1] / count), uint8_t(sum[2] / count) };
            for (int32_t y = t; y < b; ++y) {
                uint8_t* p = rows[size_t(y)] + size_t(l) * 3;
                for (int32_t x = l; x < r; ++x, p += 3) {
                    p[0] = avg[0];
                    p[1] = avg[1];
                    p[2] = avg[2];
                }
            }
        });
    }

    void Mosaic8(TBitmap& bitmap, const TRect& area, int32_t size, int threads)
    {
        const std::vector<PaletteEntry> palette(
            bitmap.EffectivePalette().begin(), bitmap.EffectivePalette().end());
        std::array<PaletteEntry, 256> entries {};
        std::copy_n(palette.begin(), std::min<size_t>(palette.size(), 256), entries.begin());
        std::vector<uint8_t*> rows = RowPointers(bitmap);
        ForEachBlock(area, size, threads, [&](int32_t l, int32_t t, int32_t r, int32_t b) {
            uint64_t red = 0, green = 0, blue = 0;
            for (int32_t y = t; y < b; ++y) {
                const uint8_t* p = rows[size_t(y)];
                for (int32_t x = l; x < r; ++x) {
                    const PaletteEntry& e = entries[p[x]];
                    red += e.peRed;
                    green += e.peGreen;
                    blue += e.peBlue;
                }
            }
            const uint64_t count = uint64_t(r - l) * uint64_t(b - t);
            const auto index = uint8_t(platform::GetNearestPaletteIndex(palette,
                platform::Rgb(
                    uint8_t(red / count), uint8_t(green / count), uint8_t(blue / count))));
            for (int32_t y = t; y < b; ++y)
                std::fill(rows[size_t(y)] + l, rows[size_t(y)] + r, index);
        });
    }
}

bool Mosaic(TBitmap& picture, TBitmap* undo, int blockSize, const std::optional<TRect>& area,
    const ProcessContext& context)
{
    const TPixelFormat format = picture.PixelFormat();
    if ((format != TPixelFormat::pf8bit && format != TPixelFormat::pf24bit) || blockSize < 1)
        return false;
    TRect region = area.value_or(TRect { 0, 0, picture.Width(), picture.Height() });
    region.Left = std::max(region.Left, 0);
    region.Top = std::max(region.Top, 0);
    region.Right = std::min(region.Right, picture.Width());
    region.Bottom = std::min(region.Bottom, picture.Height());
    if (region.IsEmpty())
        return false;
    StatusText status(context, kConvertingText);
    TBitmap result(picture);
    if (format == TPixelFormat::pf8bit)
        Mosaic8(result, region, blockSize, context.threads);
    else
        Mosaic24(result, region, blockSize, context.threads);
    ReplacePicture(picture, undo, std::move(result));
    return true;
}

} // namespace vtl::processing
