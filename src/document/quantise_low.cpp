#include "document/quantise_low.h"

#include "document/dib_errors.h"
#include "document/pixel_format_conversion.h"
#include "platform/parallel.h"

#include <array>
#include <cmath>
#include <memory>
#include <type_traits>
#include <utility>

namespace vtl::document {

using platform::ProgressReport;
using platform::ProgressStage;
using platform::RGBQuad;

QuantiseProgress::QuantiseProgress(
    const platform::ProgressHandler& handler, platform::TRect rect, std::string text, int total)
    : m_handler(handler)
    , m_rect(rect)
    , m_text(std::move(text))
    , m_total(total)
{
}

void QuantiseProgress::Report(ProgressStage stage, int percent, bool redraw)
{
    if (!m_handler)
        return;
    ProgressReport report;
    report.stage = stage;
    report.percent = percent;
    report.redrawNow = redraw;
    report.rect = m_rect;
    report.text = m_text;
    m_handler(report);
}

void QuantiseProgress::Start() { Report(ProgressStage::Starting, 0, false); }

void QuantiseProgress::Leaf()
{
    ++m_step;
    if (m_step < m_total)
        Report(ProgressStage::Running, m_step * 100 / m_total, false);
}

void QuantiseProgress::End() { Report(ProgressStage::Ending, 100, true); }

void SetQuantisedPalette(DibImage& image, const std::vector<RGBQuad>& palette)
{
    image.colorTable.fill(RGBQuad {});
    for (size_t i = 0; i < palette.size() && i < image.colorTable.size(); ++i)
        image.colorTable[i] = palette[i];
    image.info.biClrUsed = static_cast<uint32_t>(palette.size());
    image.info.biClrImportant = 0;
}

namespace {

    inline uint32_t Weight(const SplitEntry& e) { return e.weight; }
    inline uint32_t Weight(const SplitPixel&) { return 1; }

    // Weighted sums of a range. They are sums of integers and stay exact in 64 bits, so the
    // sums of an upper part are those of the whole range minus those of the lower part; means and
    // variances are then taken from them in extended precision.
    struct Sums {
        uint64_t w = 0, r = 0, g = 0, b = 0, r2 = 0, g2 = 0, b2 = 0;

        template <typename Entry> void Add(const Entry& e)
        {
            const uint64_t weight = Weight(e);
            w += weight;
            r += weight * e.r;
            g += weight * e.g;
            b += weight * e.b;
            r2 += weight * e.r * e.r;
            g2 += weight * e.g * e.g;
            b2 += weight * e.b * e.b;
        }
        Sums operator-(const Sums& o) const
        {
            return { w - o.w, r - o.r, g - o.g, b - o.b, r2 - o.r2, g2 - o.g2, b2 - o.b2 };
        }
    };

    // The recursive split. Depth is at most 8, so the recursion is bounded by the target, never
    // by the picture.
    template <typename Entry> class Splitter {
    public:
        Splitter(int depth, SplitVariant variant, std::vector<RGBQuad>& palette,
            std::span<uint8_t> indexByKey, QuantiseProgress* progress)
            : m_depth(depth)
            , m_variant(variant)
            , m_palette(palette)
            , m_indexByKey(indexByKey)
            , m_progress(progress)
        {
        }

        void Run(Entry* begin, Entry* end)
        {
            Sums sums;
            for (const Entry* e = begin; e != end; ++e)
                sums.Add(*e);
            Split(begin, end, 0, sums);
        }

        std::vector<SplitNode> TakeNodes() { return std::move(m_nodes); }

    private:
        int Split(Entry* begin, Entry* end, int level, const Sums& sums)
        {
            const int node = static_cast<int>(m_nodes.size());
            m_nodes.emplace_back();
            if (begin == end) {
                // Nothing below this point holds a colour, but its leaves still count as steps.
                for (int i = 0, n = 1 << (m_depth - level); i < n; ++i)
                    if (m_progress)
                        m_progress->Leaf();
                return node;
            }

            const long double n = static_cast<long double>(sums.w);
            const long double mR = static_cast<long double>(sums.r) / n;
            const long double mG = static_cast<long double>(sums.g) / n;
            const long double mB = static_cast<long double>(sums.b) / n;

            if (level == m_depth) {
                if (m_progress)
                    m_progress->Leaf();
                const int index = static_cast<int>(m_palette.size());
                m_palette.push_back(RGBQuad { Round(mB), Round(mG), Round(mR), 0 });
                if constexpr (std::is_same_v<Entry, SplitEntry>) {
                    for (const Entry* e = begin; e != end; ++e)
                        m_indexByKey[e->key] = static_cast<uint8_t>(index);
                }
                m_nodes[node].paletteIndex = index;
                return node;
            }

            const long double vR = static_cast<long double>(sums.r2) / n - mR * mR;
            const long double vG = static_cast<long double>(sums.g2) / n - mG * mG;
            const long double vB = static_cast<long double>(sums.b2) / n - mB * mB;
            uint8_t channel = 0;
            if (4 * vG > 3 * vR || 2 * vB > 3 * vR) {
                const long double greenFactor = m_variant == SplitVariant::Low ? 3 : 4;
                channel = (3 * vR > 4 * vG || 2 * vB > greenFactor * vG) ? 2 : 1;
            }
            const long double mean = channel == 0 ? mR : channel == 1 ? mG : mB;
            const int threshold = static_cast<int>(std::floor(mean));
            Sums lower;
            Entry* middle = channel == 0
                ? Partition(begin, end, threshold, lower, [](const Entry& e) { return e.r; })
                : channel == 1
                ? Partition(begin, end, threshold, lower, [](const Entry& e) { return e.g; })
                : Partition(begin, end, threshold, lower, [](const Entry& e) { return e.b; });

            const int upperNode = Split(middle, end, level + 1, sums - lower);
            const int lowerNode = Split(begin, middle, level + 1, lower);
            SplitNode& self = m_nodes[node];
            self.divideId = channel;
            self.mean = mean;
            self.threshold = threshold;
            self.lower = lowerNode;
            self.upper = upperNode;
            return node;
        }

        static uint8_t Round(long double v)
        {
            // Halves go to the even neighbour, as the default rounding mode does.
            return static_cast<uint8_t>(std::nearbyint(v));
        }

        // Entries not above the threshold first, the others after; swapped from both ends. The
        // sums of the lower part are gathered on the way, each entry once as it settles there.
        template <typename Get>
        static Entry* Partition(Entry* begin, Entry* end, int threshold, Sums& lower, Get get)
        {
            Entry* i = begin;
            Entry* j = end;
            for (;;) {
                while (i < j && get(*i) <= threshold)
                    lower.Add(*i++);
                while (i < j && get(*(j - 1)) > threshold)
                    --j;
                if (j - i < 2)
                    return i;
                std::swap(*i, *(j - 1));
                lower.Add(*i++);
                --j;
            }
        }

        int m_depth;
        SplitVariant m_variant;
        std::vector<RGBQuad>& m_palette;
        std::span<uint8_t> m_indexByKey;
        QuantiseProgress* m_progress;
        std::vector<SplitNode> m_nodes;
    };

} // namespace

std::vector<SplitNode> VarianceSplit(std::span<SplitEntry> entries, int depth, SplitVariant variant,
    std::vector<RGBQuad>& palette, std::span<uint8_t> indexByKey, QuantiseProgress* progress)
{
    Splitter<SplitEntry> splitter(depth, variant, palette, indexByKey, progress);
    splitter.Run(entries.data(), entries.data() + entries.size());
    return splitter.TakeNodes();
}

std::vector<SplitNode> VarianceSplit(std::span<SplitPixel> pixels, int depth, SplitVariant variant,
    std::vector<RGBQuad>& palette, QuantiseProgress* progress)
{
    Splitter<SplitPixel> splitter(depth, variant, palette, {}, progress);
    splitter.Run(pixels.data(), pixels.data() + pixels.size());
    return splitter.TakeNodes();
}

namespace {

    constexpr size_t kCells = 65536;

    inline uint32_t CellIndex(uint32_t r, uint32_t g, uint32_t b)
    {
        return ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3);
    }

    template <typename Sum> struct Cell {
        Sum sumR = 0;
        Sum sumG = 0;
        Sum sumB = 0;
        Sum count = 0;
    };

    // The histogram's cells in index order, each with its mean colour and pixel count. Large
    // pictures are counted in parts of rows side by side, each part into cells of its own; the
    // parts' sums are whole numbers, so adding them up gives the same cells in any order.
    template <typename Sum> std::vector<SplitEntry> CollectCells(const DibImage& source)
    {
        const size_t rowBytes = StoredRowBytes(source.info);
        const size_t width = static_cast<size_t>(source.info.biWidth);
        const size_t height = static_cast<size_t>(AbsHeight(source.info));
        const int parts = width * height < platform::kParallelMinPixels || height < 2
            ? 1
            : int(std::min<size_t>(size_t(platform::ThreadCount()), height));
        std::vector<std::unique_ptr<Cell<Sum>[]>> partCells(static_cast<size_t>(parts));
        platform::ForEachPart(parts, 0, [&](int part) {
            auto cells = std::make_unique<Cell<Sum>[]>(kCells);
            const size_t first = height * size_t(part) / size_t(parts);
            const size_t last = height * size_t(part + 1) / size_t(parts);
            for (size_t y = first; y < last; ++y) {
                const uint8_t* p = source.bits.Data() + y * rowBytes;
                for (size_t x = 0; x < width; ++x, p += 3) {
                    Cell<Sum>& c = cells[CellIndex(p[2], p[1], p[0])];
                    c.sumR += p[2] & 7;
                    c.sumG += p[1] & 3;
                    c.sumB += p[0] & 7;
                    ++c.count;
                }
            }
            partCells[size_t(part)] = std::move(cells);
        });
        Cell<Sum>* cells = partCells[0].get();
        for (size_t p = 1; p < partCells.size(); ++p) {
            const Cell<Sum>* more = partCells[p].get();
            for (size_t i = 0; i < kCells; ++i) {
                cells[i].sumR += more[i].sumR;
                cells[i].sumG += more[i].sumG;
                cells[i].sumB += more[i].sumB;
                cells[i].count += more[i].count;
            }
        }
        std::vector<SplitEntry> entries;
        for (uint32_t i = 0; i < kCells; ++i) {
            const Cell<Sum>& c = cells[i];
            if (c.count == 0)
                continue;
            SplitEntry e;
            e.r = static_cast<uint8_t>(c.sumR / c.count + 8 * (i >> 11));
            e.g = static_cast<uint8_t>(c.sumG / c.count + 4 * ((i >> 5) & 63));
            e.b = static_cast<uint8_t>(c.sumB / c.count + 8 * (i & 31));
            e.weight = static_cast<uint32_t>(c.count);
            e.key = i;
            entries.push_back(e);
        }
        return entries;
    }

    DibImage QuantiseLow(const DibImage& source, int depth, QuantiseProgress* progress)
    {
        if (source.info.biBitCount != 24 || source.info.biCompression != kBiRgb)
            throw EDIBBadDIBType(depth == 8
                    ? "ConvertTrueColorTo8BitRGBLow: Invalid Bitcount or Compression"
                    : "ConvertTrueColorTo4BitRGBLow: Invalid Bitcount or Compression");
        RequireFullPixelBlock(source);
        const uint16_t bitCount = depth == 8 ? 8 : 4;
        DibImage result = NewUncompressedLike(source, bitCount);

        const size_t width = static_cast<size_t>(source.info.biWidth);
        const size_t height = static_cast<size_t>(AbsHeight(source.info));
        // 32-bit sums hold the low bits of up to 2^32 / 8 pixels in one cell; larger pictures
        // take 64-bit sums so that a big plain area cannot wrap around.
        std::vector<SplitEntry> entries = width * height < (uint64_t(1) << 29)
            ? CollectCells<uint32_t>(source)
            : CollectCells<uint64_t>(source);

        std::vector<RGBQuad> palette;
        auto table = std::make_unique<uint8_t[]>(kCells);
        VarianceSplit(std::span<SplitEntry>(entries), depth, SplitVariant::Low, palette,
            std::span<uint8_t>(table.get(), kCells), progress);
        SetQuantisedPalette(result, palette);

        const size_t inRow = StoredRowBytes(source.info);
        const size_t outRow = StoredRowBytes(result.info);
        const uint8_t* in = source.bits.Data();
        uint8_t* outBits = result.bits.Data();
        const uint8_t* map = table.get();
        platform::ForEachBand(int32_t(height), uint64_t(width) * uint64_t(height), 0,
            [&](int32_t first, int32_t last) {
                for (size_t y = size_t(first); y < size_t(last); ++y) {
                    const uint8_t* p = in + y * inRow;
                    uint8_t* out = outBits + y * outRow;
                    if (bitCount == 8) {
                        for (size_t x = 0; x < width; ++x, p += 3)
                            out[x] = map[CellIndex(p[2], p[1], p[0])];
                    } else {
                        for (size_t x = 0; x + 1 < width; x += 2, p += 6)
                            out[x / 2]
                                = static_cast<uint8_t>((map[CellIndex(p[2], p[1], p[0])] << 4)
                                    | map[CellIndex(p[5], p[4], p[3])]);
                        if (width & 1)
                            out[width / 2]
                                = static_cast<uint8_t>(map[CellIndex(p[2], p[1], p[0])] << 4);
                    }
                }
            });
        return result;
    }

} // namespace

DibImage ConvertTrueColorTo8BitRGBLow(const DibImage& source, QuantiseProgress* progress)
{
    return QuantiseLow(source, 8, progress);
}

DibImage ConvertTrueColorTo4BitRGBLow(const DibImage& source, QuantiseProgress* progress)
{
    return QuantiseLow(source, 4, progress);
}

DibImage Convert8BitRGBTo4BitRGB(const DibImage& source, QuantiseProgress* progress)
{
    if (source.info.biBitCount != 8 || source.info.biCompression != kBiRgb)
        throw EDIBBadDIBType("Convert8BitRGBTo4BitRGB: Invalid Bitcount or Compression");
    RequireFullPixelBlock(source);
    DibImage result = NewUncompressedLike(source, 4);

    const size_t width = static_cast<size_t>(source.info.biWidth);
    const size_t height = static_cast<size_t>(AbsHeight(source.info));
    const size_t inRow = StoredRowBytes(source.info);
    const size_t outRow = StoredRowBytes(result.info);
    std::array<uint64_t, 256> counts {};
    for (size_t y = 0; y < height; ++y) {
        const uint8_t* p = source.bits.Data() + y * inRow;
        for (size_t x = 0; x < width; ++x)
            ++counts[p[x]];
    }
    std::vector<SplitEntry> entries;
    for (uint32_t i = 0; i < 256; ++i) {
        if (counts[i] == 0)
            continue;
        const RGBQuad& c = source.colorTable[i];
        // A weight is at most the pixel count, which the picture limits keep below 2^32.
        entries.push_back(
            SplitEntry { c.rgbRed, c.rgbGreen, c.rgbBlue, static_cast<uint32_t>(counts[i]), i });
    }

    std::vector<RGBQuad> palette;
    std::array<uint8_t, 256> map {};
    VarianceSplit(std::span<SplitEntry>(entries), 4, SplitVariant::Low, palette, map, progress);
    SetQuantisedPalette(result, palette);

    for (size_t y = 0; y < height; ++y) {
        const uint8_t* p = source.bits.Data() + y * inRow;
        uint8_t* out = result.bits.Data() + y * outRow;
        for (size_t x = 0; x + 1 < width; x += 2)
            out[x / 2] = static_cast<uint8_t>((map[p[x]] << 4) | map[p[x + 1]]);
        if (width & 1)
            out[width / 2] = static_cast<uint8_t>(map[p[width - 1]] << 4);
    }
    return result;
}

} // namespace vtl::document
