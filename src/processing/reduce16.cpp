#include "processing/reduce16.h"

#include "document/dib.h"
#include "platform/gdi.h"
#include "processing/colour_reduction.h"
#include "processing/hand_over.h"

#include <algorithm>
#include <utility>

namespace vtl::processing {

using document::DibPixelFormat;
using document::TDIB;
using platform::TPixelFormat;

namespace {

    __extension__ typedef __int128 Int128;

    constexpr int kSplitDepth = 4;

    // A source palette entry with its pixel count and index; the split moves them together.
    struct SourceEntry {
        uint8_t c[3]; // blue, green, red
        uint32_t count;
        uint8_t index;
    };

    struct WeightedSums {
        uint64_t total = 0;
        uint64_t s[3] = { 0, 0, 0 };
        uint64_t q[3] = { 0, 0, 0 };
    };

    WeightedSums Sum(const SourceEntry* first, const SourceEntry* last)
    {
        WeightedSums w;
        for (const SourceEntry* e = first; e != last; ++e) {
            w.total += e->count;
            for (int c = 0; c < 3; ++c) {
                w.s[c] += uint64_t(e->count) * e->c[c];
                w.q[c] += uint64_t(e->count) * e->c[c] * e->c[c];
            }
        }
        return w;
    }

    // Values at most the count-weighted mean to the front (compared as value x total <= sum, so
    // that it is exact); returns the first of the back part.
    SourceEntry* PartitionAtMean(
        SourceEntry* first, SourceEntry* last, int channel, const WeightedSums& sums)
    {
        auto low = [&](const SourceEntry& e) {
            return uint64_t(e.c[channel]) * sums.total <= sums.s[channel];
        };
        SourceEntry* i = first;
        SourceEntry* j = last;
        while (true) {
            while (i < j && low(*i))
                ++i;
            while (i < j && !low(*(j - 1)))
                --j;
            if (i >= j)
                return i;
            std::swap(*i, *(j - 1));
            ++i;
            --j;
        }
    }

    struct SplitOutput {
        std::vector<PaletteEntry>& palette;
        std::array<uint8_t, 256>& map;
        void Yield(const SourceEntry* first, const SourceEntry* last, PaletteEntry entry)
        {
            for (const SourceEntry* e = first; e != last; ++e)
                map[e->index] = uint8_t(palette.size());
            palette.push_back(entry);
        }
    };

    void WeightedSplit(SourceEntry* first, SourceEntry* last, int depth, SplitOutput& out)
    {
        const WeightedSums sums = Sum(first, last);
        if (sums.total == 0)
            return;
        if (depth == kSplitDepth) {
            out.Yield(first, last,
                { RoundedMean(sums.s[2], sums.total), RoundedMean(sums.s[1], sums.total),
                    RoundedMean(sums.s[0], sums.total), 0 });
            return;
        }
        Int128 spread[3];
        for (int c = 0; c < 3; ++c)
            spread[c]
                = Int128(sums.total) * Int128(sums.q[c]) - Int128(sums.s[c]) * Int128(sums.s[c]);
        int channel = 2;
        Int128 best = 3 * spread[2];
        if (4 * spread[1] > best) {
            channel = 1;
            best = 4 * spread[1];
        }
        if (2 * spread[0] > best)
            channel = 0;
        SourceEntry* middle = PartitionAtMean(first, last, channel, sums);
        WeightedSplit(first, middle, depth + 1, out);
        WeightedSplit(middle, last, depth + 1, out);
    }

    void RangeSplit(SourceEntry* first, SourceEntry* last, int depth, SplitOutput& out)
    {
        if (first == last)
            return;
        const WeightedSums sums = Sum(first, last);
        if (sums.total == 0) {
            // Entries without pixels have no spread or mean to split by; they get a mid grey.
            out.Yield(first, last, { 127, 127, 127, 0 });
            return;
        }
        int low[3] = { 255, 255, 255 }, high[3] = { 0, 0, 0 };
        for (const SourceEntry* e = first; e != last; ++e) {
            if (e->count == 0)
                continue;
            for (int c = 0; c < 3; ++c) {
                low[c] = std::min<int>(low[c], e->c[c]);
                high[c] = std::max<int>(high[c], e->c[c]);
            }
        }
        if (depth == kSplitDepth) {
            out.Yield(first, last,
                { uint8_t((high[2] + low[2]) / 2), uint8_t((high[1] + low[1]) / 2),
                    uint8_t((high[0] + low[0]) / 2), 0 });
            return;
        }
        int channel = 2;
        if (high[1] - low[1] > high[channel] - low[channel])
            channel = 1;
        if (high[0] - low[0] > high[channel] - low[channel])
            channel = 0;
        SourceEntry* middle = PartitionAtMean(first, last, channel, sums);
        RangeSplit(first, middle, depth + 1, out);
        RangeSplit(middle, last, depth + 1, out);
    }

    TBitmap To8Bit(const TBitmap& picture)
    {
        TDIB work;
        work.Assign(picture);
        if (work.PixelFormat() != DibPixelFormat::Dib8Bit)
            work.SetPixelFormat(DibPixelFormat::Dib8Bit); // QuantiseMode 0: the Low variant
        TBitmap result;
        work.AssignTo(result);
        return result;
    }

    std::array<uint8_t, 256> NearestMap(
        const std::array<PaletteEntry, 256>& colours, const std::vector<PaletteEntry>& palette)
    {
        std::array<uint8_t, 256> map {};
        for (size_t i = 0; i < 256; ++i)
            map[i]
                = uint8_t(platform::GetNearestPaletteIndex(palette, platform::ToColor(colours[i])));
        return map;
    }

    uint8_t GreyLevel(int red, int green, int blue)
    {
        return uint8_t(int(0.299 * red + 0.587 * green + 0.114 * blue));
    }

    void PackRow(const uint8_t* indices, int32_t width, uint8_t* dest, size_t rowBytes)
    {
        std::fill_n(dest, rowBytes, uint8_t(0));
        for (int32_t x = 0; x < width; ++x)
            dest[x >> 1] |= uint8_t((x & 1) ? indices[x] & 0x0F : indices[x] << 4);
    }

} // namespace

std::vector<PaletteEntry> SplitSourcePalette(D16Method method,
    const std::array<PaletteEntry, 256>& colours, const std::array<uint32_t, 256>& counts,
    std::array<uint8_t, 256>& map)
{
    std::vector<SourceEntry> entries(256);
    for (size_t i = 0; i < 256; ++i)
        entries[i] = { { colours[i].peBlue, colours[i].peGreen, colours[i].peRed }, counts[i],
            uint8_t(i) };
    std::vector<PaletteEntry> palette;
    map.fill(0);
    SplitOutput out { palette, map };
    if (method == D16Method::Dynamic2)
        RangeSplit(entries.data(), entries.data() + entries.size(), 0, out);
    else
        WeightedSplit(entries.data(), entries.data() + entries.size(), 0, out);
    return palette;
}

bool Reduce16(TBitmap& picture, TBitmap* undo, D16Method method, bool dither,
    const std::vector<PaletteEntry>* specified, const ProcessContext& context)
{
    if (picture.Empty())
        return false;
    if (method == D16Method::Specified && (!specified || specified->empty()))
        return false;
    StatusText status(context, kReducingText);
    TBitmap converted;
    const TBitmap& source
        = picture.PixelFormat() == TPixelFormat::pf8bit ? picture : (converted = To8Bit(picture));
    const int32_t w = source.Width(), h = source.Height();

    std::array<PaletteEntry, 256> colours {};
    {
        auto own = source.EffectivePalette();
        std::copy_n(own.begin(), std::min<size_t>(own.size(), 256), colours.begin());
        for (PaletteEntry& c : colours)
            c.peFlags = 0;
    }
    std::array<uint32_t, 256> counts {};
    for (int32_t y = 0; y < h; ++y) {
        const uint8_t* s = source.ScanLine(y);
        for (int32_t x = 0; x < w; ++x)
            ++counts[s[x]];
    }

    std::vector<PaletteEntry> palette;
    std::array<uint8_t, 256> map {};
    switch (method) {
    case D16Method::Dynamic1:
    case D16Method::Dynamic2:
        palette = SplitSourcePalette(method, colours, counts, map);
        break;
    case D16Method::Dynamic3: {
        std::vector<CountedColour> counted(256);
        for (size_t i = 0; i < 256; ++i)
            counted[i] = { colours[i], counts[i] };
        for (size_t pick : GreedySelection(counted, 16))
            palette.push_back(colours[pick]);
        map = NearestMap(colours, palette);
        break;
    }
    case D16Method::System:
        palette.assign(SystemColours().begin(), SystemColours().end());
        map = NearestMap(colours, palette);
        break;
    case D16Method::Grey:
        for (int k = 0; k < 16; ++k)
            palette.push_back({ uint8_t(17 * k), uint8_t(17 * k), uint8_t(17 * k), 0 });
        for (size_t i = 0; i < 256; ++i) {
            const uint8_t g = GreyLevel(colours[i].peRed, colours[i].peGreen, colours[i].peBlue);
            map[i] = uint8_t(platform::GetNearestPaletteIndex(palette, platform::Rgb(g, g, g)));
        }
        break;
    case D16Method::Specified:
        palette.assign(
            specified->begin(), specified->begin() + std::min<size_t>(specified->size(), 16));
        map = NearestMap(colours, palette);
        break;
    }

    TBitmap result = TBitmap::ForWriting(w, h, TPixelFormat::pf4bit);
    result.SetPalette(std::span<const PaletteEntry>(palette));
    std::vector<uint8_t*> out = RowPointers(result);
    const size_t rowBytes = result.RowBytes();
    if (!dither) {
        const std::vector<const uint8_t*> in = ConstRowPointers(source);
        ForEachRowBand(w, h, context.threads, [&](int32_t first, int32_t last) {
            std::vector<uint8_t> indices(static_cast<size_t>(w));
            for (int32_t y = first; y < last; ++y) {
                const uint8_t* s = in[size_t(y)];
                for (int32_t x = 0; x < w; ++x)
                    indices[size_t(x)] = map[s[x]];
                PackRow(indices.data(), w, out[size_t(y)], rowBytes);
            }
        });
    } else {
        // The diffusion runs on the source colours: each row's indices spelled out as colours.
        std::vector<uint8_t> colourRow(size_t(w) * 3);
        auto sourceRow = [&](int32_t y) {
            const uint8_t* s = source.ScanLine(y);
            for (int32_t x = 0; x < w; ++x) {
                const PaletteEntry& c = colours[s[x]];
                colourRow[3 * size_t(x)] = c.peBlue;
                colourRow[3 * size_t(x) + 1] = c.peGreen;
                colourRow[3 * size_t(x) + 2] = c.peRed;
            }
            return static_cast<const uint8_t*>(colourRow.data());
        };
        auto emit = [&](int32_t y, const uint8_t* indices) {
            PackRow(indices, w, out[size_t(y)], rowBytes);
        };
        if (method == D16Method::Grey) {
            std::array<uint8_t, 256> greyIndex {};
            for (int g = 0; g < 256; ++g)
                greyIndex[size_t(g)] = uint8_t(platform::GetNearestPaletteIndex(
                    palette, platform::Rgb(uint8_t(g), uint8_t(g), uint8_t(g))));
            // The grey level of the corrected colour picks the entry, and every channel's error is
            // that level minus the chosen grey.
            auto choose = [&](const int wanted[3], int error[3]) {
                const uint8_t g = GreyLevel(wanted[2], wanted[1], wanted[0]);
                const uint8_t index = greyIndex[g];
                const int e = g - palette[index].peRed;
                error[0] = error[1] = error[2] = e;
                return index;
            };
            DiffuseErrors(w, h, sourceRow, choose, emit);
        } else {
            NearestChoice choice(palette);
            DiffuseErrors(w, h, sourceRow, choice, emit);
        }
    }
    HandOver(picture, undo, std::move(result));
    return true;
}

} // namespace vtl::processing
