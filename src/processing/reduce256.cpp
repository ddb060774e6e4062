#include "processing/reduce256.h"

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

    struct Item {
        uint8_t c[3]; // blue, green, red
    };

    struct Sums {
        uint64_t n = 0;
        uint64_t s[3] = { 0, 0, 0 };
        uint64_t q[3] = { 0, 0, 0 };
    };

    Sums SumItems(const Item* first, const Item* last)
    {
        Sums sums;
        sums.n = uint64_t(last - first);
        uint64_t s0 = 0, s1 = 0, s2 = 0, q0 = 0, q1 = 0, q2 = 0;
        for (const Item* p = first; p != last; ++p) {
            const uint32_t b = p->c[0], g = p->c[1], r = p->c[2];
            s0 += b;
            s1 += g;
            s2 += r;
            q0 += b * b;
            q1 += g * g;
            q2 += r * r;
        }
        sums.s[0] = s0;
        sums.s[1] = s1;
        sums.s[2] = s2;
        sums.q[0] = q0;
        sums.q[1] = q1;
        sums.q[2] = q2;
        return sums;
    }

    // The split of one range of items. Variances and the comparisons with the mean are worked in
    // whole numbers (n² times the variance, n times the value), so that they are exact.
    void Split(Item* first, Item* last, int depth, int maxDepth, const Sums& sums,
        std::vector<PaletteEntry>& out)
    {
        if (first == last)
            return;
        if (depth == maxDepth) {
            out.push_back({ RoundedMean(sums.s[2], sums.n), RoundedMean(sums.s[1], sums.n),
                RoundedMean(sums.s[0], sums.n), 0 });
            return;
        }
        Int128 spread[3];
        for (int c = 0; c < 3; ++c)
            spread[c] = Int128(sums.n) * Int128(sums.q[c]) - Int128(sums.s[c]) * Int128(sums.s[c]);
        // Weights red 3, green 4, blue 2; on equality red before green before blue.
        int channel = 2;
        Int128 best = 3 * spread[2];
        if (4 * spread[1] > best) {
            channel = 1;
            best = 4 * spread[1];
        }
        if (2 * spread[0] > best)
            channel = 0;

        const uint64_t n = sums.n, total = sums.s[channel];
        auto low = [&](const Item& item) { return uint64_t(item.c[channel]) * n <= total; };
        Item* i = first;
        Item* j = last;
        while (true) {
            while (i < j && low(*i))
                ++i;
            while (i < j && !low(*(j - 1)))
                --j;
            if (i >= j)
                break;
            std::swap(*i, *(j - 1));
            ++i;
            --j;
        }
        Sums front = i == last ? sums : SumItems(first, i);
        Sums back;
        back.n = sums.n - front.n;
        for (int c = 0; c < 3; ++c) {
            back.s[c] = sums.s[c] - front.s[c];
            back.q[c] = sums.q[c] - front.q[c];
        }
        Split(i, last, depth + 1, maxDepth, back, out);
        Split(first, i, depth + 1, maxDepth, front, out);
    }

    // The image buffer's conversion of the picture, its quantiser in the High mode.
    TBitmap ThroughImageBuffer(const TBitmap& picture, DibPixelFormat format)
    {
        TDIB work;
        work.Assign(picture);
        work.QuantiseMode = 1;
        if (work.PixelFormat() != format)
            work.SetPixelFormat(format);
        TBitmap result;
        work.AssignTo(result);
        return result;
    }

    // The picture's palette as 256 entries (black beyond its end), so that any index has a colour.
    std::vector<PaletteEntry> FullPalette(const TBitmap& picture)
    {
        std::vector<PaletteEntry> palette(256);
        auto own = picture.EffectivePalette();
        std::copy_n(own.begin(), std::min<size_t>(own.size(), 256), palette.begin());
        return palette;
    }

} // namespace

std::vector<PaletteEntry> QuantiseAllPixels(const WorkSource& source, int depth)
{
    const int32_t w = source.Width(), h = source.Height();
    std::vector<Item> items(size_t(w) * size_t(h));
    for (int32_t y = 0; y < h; ++y) {
        const uint8_t* row = source.Row(y);
        std::copy_n(row, size_t(w) * 3, &items[size_t(y) * size_t(w)].c[0]);
    }
    std::vector<PaletteEntry> palette;
    if (items.empty())
        return palette;
    const Sums sums = SumItems(items.data(), items.data() + items.size());
    Split(items.data(), items.data() + items.size(), 0, depth, sums, palette);
    return palette;
}

bool Reduce256Colours(TBitmap& picture, TBitmap* undo, const std::vector<PaletteEntry>* specified,
    bool dither, const ProcessContext& context)
{
    if (picture.Empty() || (specified && specified->empty()))
        return false;
    StatusText status(context, kReducingText);
    const WorkSource source(picture);
    std::vector<PaletteEntry> palette = specified ? *specified : QuantiseAllPixels(source);
    if (palette.size() > 256)
        palette.resize(256);
    const int32_t w = source.Width(), h = source.Height();
    TBitmap result = TBitmap::ForWriting(w, h, TPixelFormat::pf8bit);
    result.SetPalette(std::span<const PaletteEntry>(palette));
    std::vector<uint8_t*> out = RowPointers(result);
    if (dither) {
        NearestChoice choice(palette);
        DiffuseErrors(
            w, h, [&](int32_t y) { return source.Row(y); }, choice,
            [&](int32_t y, const uint8_t* indices) { std::copy_n(indices, w, out[size_t(y)]); });
    } else {
        TNearestIndex nearest(palette);
        for (int32_t y = 0; y < h; ++y) {
            const uint8_t* s = source.Row(y);
            uint8_t* d = out[size_t(y)];
            for (int32_t x = 0; x < w; ++x, s += 3)
                d[x] = nearest.Find(s[2], s[1], s[0]);
        }
    }
    HandOver(picture, undo, std::move(result));
    return true;
}

bool Reduce256(TBitmap& picture, TBitmap* undo, D256Palette palette, bool dither,
    const std::vector<PaletteEntry>* specified, const ProcessContext& context)
{
    if (picture.Empty())
        return false;
    switch (palette) {
    case D256Palette::Halftone: {
        StatusText status(context, kReducingText);
        HandOver(picture, undo, ThroughImageBuffer(picture, DibPixelFormat::DibHalftone));
        return true;
    }
    case D256Palette::Dynamic:
        if (!dither) {
            StatusText status(context, kReducingText);
            HandOver(picture, undo, ThroughImageBuffer(picture, DibPixelFormat::Dib8Bit));
            return true;
        }
        return Reduce256Colours(picture, undo, nullptr, true, context);
    case D256Palette::Specified:
        if (!specified)
            return false;
        return Reduce256Colours(picture, undo, specified, dither, context);
    }
    return false;
}

bool ReduceSys240(TBitmap& picture, TBitmap* undo, const ProcessContext& /*context*/)
{
    if (picture.Empty())
        return false;
    TBitmap converted;
    const TBitmap& source = picture.PixelFormat() == TPixelFormat::pf8bit
        ? picture
        : (converted = ThroughImageBuffer(picture, DibPixelFormat::Dib8Bit));
    const std::vector<PaletteEntry> sourcePalette = FullPalette(source);
    const int32_t w = source.Width(), h = source.Height();
    std::vector<CountedColour> colours(256);
    for (size_t i = 0; i < 256; ++i)
        colours[i].colour = sourcePalette[i];
    for (int32_t y = 0; y < h; ++y) {
        const uint8_t* s = source.ScanLine(y);
        for (int32_t x = 0; x < w; ++x)
            ++colours[s[x]].count;
    }
    const auto& system = SystemColours();
    std::vector<PaletteEntry> palette(system.begin(), system.end());
    for (CountedColour& c : colours) {
        c.colour.peFlags = 0;
        if (std::find(system.begin(), system.end(), c.colour) != system.end())
            c.count = 0;
    }
    for (size_t pick : GreedySelection(colours, 256 - palette.size()))
        palette.push_back(colours[pick].colour);

    std::array<uint8_t, 256> map {};
    for (size_t i = 0; i < 256; ++i)
        map[i] = uint8_t(
            platform::GetNearestPaletteIndex(palette, platform::ToColor(sourcePalette[i])));
    TBitmap result = TBitmap::ForWriting(w, h, TPixelFormat::pf8bit);
    result.SetPalette(std::span<const PaletteEntry>(palette));
    for (int32_t y = 0; y < h; ++y) {
        const uint8_t* s = source.ScanLine(y);
        uint8_t* d = result.ScanLine(y);
        for (int32_t x = 0; x < w; ++x)
            d[x] = map[s[x]];
    }
    HandOver(picture, undo, std::move(result));
    return true;
}

bool ReduceMonochrome(TBitmap& picture, TBitmap* undo, const ProcessContext& /*context*/)
{
    if (picture.Empty())
        return false;
    TDIB work;
    work.Assign(picture);
    work.SetPixelFormat(DibPixelFormat::DibHalftoneMono);
    TBitmap result;
    work.AssignTo(result);
    HandOver(picture, undo, std::move(result));
    return true;
}

} // namespace vtl::processing
