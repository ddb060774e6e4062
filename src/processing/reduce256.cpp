#include "processing/reduce256.h"

#include "document/dib.h"
#include "platform/gdi.h"
#include "platform/mapped_block.h"
#include "processing/colour_reduction.h"
#include "processing/hand_over.h"

#include <algorithm>
#include <array>
#include <utility>

namespace vtl::processing {

using document::DibPixelFormat;
using document::TDIB;
using platform::TPixelFormat;

namespace {

    __extension__ typedef __int128 Int128;

    // One colour of the picture and how many of its pixels have it. The split depends only on how
    // many pixels have each colour, never on where they lie or in what order they come, so it
    // works on the colours instead of on every pixel. A colour may also come as several entries
    // whose counts add up to its own; the split treats them alike.
    struct Colour {
        uint8_t c[3]; // blue, green, red
        uint32_t count;
    };

    struct Sums {
        uint64_t n = 0;
        uint64_t s[3] = { 0, 0, 0 };
        uint64_t q[3] = { 0, 0, 0 };
    };

    Sums SumColours(const Colour* first, const Colour* last)
    {
        Sums sums;
        uint64_t n = 0, s0 = 0, s1 = 0, s2 = 0, q0 = 0, q1 = 0, q2 = 0;
        for (const Colour* p = first; p != last; ++p) {
            const uint64_t k = p->count;
            const uint64_t b = p->c[0], g = p->c[1], r = p->c[2];
            n += k;
            s0 += k * b;
            s1 += k * g;
            s2 += k * r;
            q0 += k * b * b;
            q1 += k * g * g;
            q2 += k * r * r;
        }
        sums.n = n;
        sums.s[0] = s0;
        sums.s[1] = s1;
        sums.s[2] = s2;
        sums.q[0] = q0;
        sums.q[1] = q1;
        sums.q[2] = q2;
        return sums;
    }

    // The split of one range of colours. Variances and the comparisons with the mean are worked in
    // whole numbers (n² times the variance, n times the value), so that they are exact.
    void Split(Colour* first, Colour* last, int depth, int maxDepth, const Sums& sums,
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
        auto low = [&](const Colour& colour) { return uint64_t(colour.c[channel]) * n <= total; };
        Colour* i = first;
        Colour* j = last;
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
        Sums front = i == last ? sums : SumColours(first, i);
        Sums back;
        back.n = sums.n - front.n;
        for (int c = 0; c < 3; ++c) {
            back.s[c] = sums.s[c] - front.s[c];
            back.q[c] = sums.q[c] - front.q[c];
        }
        Split(i, last, depth + 1, maxDepth, back, out);
        Split(first, i, depth + 1, maxDepth, front, out);
    }

    inline uint32_t Key(const uint8_t* bgr)
    {
        return uint32_t(bgr[0]) | uint32_t(bgr[1]) << 8 | uint32_t(bgr[2]) << 16;
    }

    // The bits of a byte spread three apart, so that red, green and blue interleave: near colours
    // then lie near each other in the table of every colour, as a photo's neighbouring pixels do.
    struct Interleave {
        std::array<uint32_t, 256> spread;
        Interleave()
        {
            for (uint32_t v = 0; v < 256; ++v) {
                uint32_t s = 0;
                for (int bit = 0; bit < 8; ++bit)
                    s |= ((v >> bit) & 1u) << (3 * bit);
                spread[v] = s;
            }
        }
        uint32_t Key(const uint8_t* bgr) const
        {
            return spread[bgr[2]] << 2 | spread[bgr[1]] << 1 | spread[bgr[0]];
        }
        // The blue, green, red key of an interleaved one.
        static uint32_t Plain(uint32_t key)
        {
            uint32_t b = 0, g = 0, r = 0;
            for (int bit = 0; bit < 8; ++bit) {
                b |= ((key >> (3 * bit)) & 1u) << bit;
                g |= ((key >> (3 * bit + 1)) & 1u) << bit;
                r |= ((key >> (3 * bit + 2)) & 1u) << bit;
            }
            return b | g << 8 | r << 16;
        }
    };

    // Below this many pixels the colours are found by sorting, which costs less than the table of
    // every possible colour.
    constexpr uint64_t kTableMinPixels = uint64_t(1) << 18;

    std::vector<Colour> CountColours(const WorkSource& source)
    {
        const int32_t w = source.Width(), h = source.Height();
        const uint64_t pixels = uint64_t(w) * uint64_t(h);
        std::vector<Colour> colours;
        auto add = [&](uint32_t key, uint64_t count) {
            const Colour c { { uint8_t(key), uint8_t(key >> 8), uint8_t(key >> 16) }, 0 };
            // Counts beyond 32 bits go in several entries of the same colour.
            for (; count > 0xFFFFFFFFu; count -= 0xFFFFFFFFu)
                colours.push_back({ { c.c[0], c.c[1], c.c[2] }, 0xFFFFFFFFu });
            colours.push_back({ { c.c[0], c.c[1], c.c[2] }, uint32_t(count) });
        };
        if (pixels < kTableMinPixels || pixels > 0xFFFFFFFFu) {
            std::vector<uint32_t> keys;
            keys.reserve(size_t(pixels));
            for (int32_t y = 0; y < h; ++y) {
                const uint8_t* p = source.Row(y);
                for (int32_t x = 0; x < w; ++x, p += 3)
                    keys.push_back(Key(p));
            }
            std::sort(keys.begin(), keys.end());
            for (size_t i = 0; i < keys.size();) {
                size_t j = i + 1;
                while (j < keys.size() && keys[j] == keys[i])
                    ++j;
                add(keys[i], j - i);
                i = j;
            }
            return colours;
        }
        // A count for every possible colour: 64 MiB, of which a picture touches what it uses.
        platform::MappedBlock table(sizeof(uint32_t) << 24);
        uint32_t* counts = reinterpret_cast<uint32_t*>(table.Data());
        const Interleave interleave;
        for (int32_t y = 0; y < h; ++y) {
            const uint8_t* p = source.Row(y);
            for (int32_t x = 0; x < w; ++x, p += 3)
                ++counts[interleave.Key(p)];
        }
        const uint64_t* words = reinterpret_cast<const uint64_t*>(counts);
        for (uint32_t i = 0; i < (uint32_t(1) << 23); ++i) {
            if (words[i] == 0)
                continue;
            if (counts[2 * i])
                add(Interleave::Plain(2 * i), counts[2 * i]);
            if (counts[2 * i + 1])
                add(Interleave::Plain(2 * i + 1), counts[2 * i + 1]);
        }
        return colours;
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
    std::vector<Colour> colours = CountColours(source);
    std::vector<PaletteEntry> palette;
    if (colours.empty())
        return palette;
    const Sums sums = SumColours(colours.data(), colours.data() + colours.size());
    Split(colours.data(), colours.data() + colours.size(), 0, depth, sums, palette);
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
        // One part a thread: each part works out the cells it meets for itself.
        const int parts = uint64_t(w) * uint64_t(h) < platform::kParallelMinPixels
            ? 1
            : std::min(platform::ThreadCount(context.threads), h);
        platform::ForEachPart(parts, context.threads, [&](int part) {
            const int32_t first = int32_t(int64_t(h) * part / parts);
            const int32_t last = int32_t(int64_t(h) * (part + 1) / parts);
            TNearestIndex nearest(palette);
            for (int32_t y = first; y < last; ++y) {
                const uint8_t* s = source.Row(y);
                uint8_t* d = out[size_t(y)];
                for (int32_t x = 0; x < w; ++x, s += 3)
                    d[x] = nearest.Find(s[2], s[1], s[0]);
            }
        });
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

bool ReduceSys240(TBitmap& picture, TBitmap* undo, const ProcessContext& context)
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
    const std::vector<const uint8_t*> in = ConstRowPointers(source);
    std::vector<uint8_t*> out = RowPointers(result);
    ForEachRowBand(w, h, context.threads, [&](int32_t first, int32_t last) {
        for (int32_t y = first; y < last; ++y) {
            const uint8_t* s = in[size_t(y)];
            uint8_t* d = out[size_t(y)];
            for (int32_t x = 0; x < w; ++x)
                d[x] = map[s[x]];
        }
    });
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
