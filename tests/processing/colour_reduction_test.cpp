// The reductions' shortcuts against the plain ways they stand for: the split worked on the
// picture's colours against the split of every pixel, the nearest-entry cells against a scan of
// the palette for palettes that crowd many entries into one cell's reach, and the error diffusion
// against the plain Floyd-Steinberg on a picture with many colours.

#include "processing/colour_reduction.h"
#include "processing/reduce256.h"

#include "dither_reference.h"
#include "test_pictures.h"

#include "platform/gdi.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace vtl::processing {
namespace {

    using testing::Bgr;
    using testing::Picture24;

    __extension__ typedef __int128 Int128;

    // The variance split as written: every pixel an item, partitioned in place around the mean
    // of the channel with the largest weighted variance, the part above the mean first.
    struct Item {
        int c[3]; // blue, green, red
    };

    void ReferenceSplit(std::vector<Item>& items, size_t first, size_t last, int depth,
        int maxDepth, std::vector<PaletteEntry>& out)
    {
        if (first == last)
            return;
        uint64_t n = last - first, s[3] = { 0, 0, 0 }, q[3] = { 0, 0, 0 };
        for (size_t i = first; i < last; ++i)
            for (int c = 0; c < 3; ++c) {
                s[c] += uint64_t(items[i].c[c]);
                q[c] += uint64_t(items[i].c[c] * items[i].c[c]);
            }
        if (depth == maxDepth) {
            auto mean = [&](int c) { return uint8_t(std::nearbyint(double(s[c]) / double(n))); };
            out.push_back({ mean(2), mean(1), mean(0), 0 });
            return;
        }
        Int128 spread[3];
        for (int c = 0; c < 3; ++c)
            spread[c] = Int128(n) * Int128(q[c]) - Int128(s[c]) * Int128(s[c]);
        const Int128 weighted[3] = { 2 * spread[0], 4 * spread[1], 3 * spread[2] };
        int channel = 2;
        if (weighted[1] > weighted[channel])
            channel = 1;
        if (weighted[0] > weighted[channel])
            channel = 0;
        const auto middle
            = std::partition(items.begin() + ptrdiff_t(first), items.begin() + ptrdiff_t(last),
                [&](const Item& item) { return uint64_t(item.c[channel]) * n <= s[channel]; });
        const size_t m = size_t(middle - items.begin());
        ReferenceSplit(items, m, last, depth + 1, maxDepth, out);
        ReferenceSplit(items, first, m, depth + 1, maxDepth, out);
    }

    std::vector<PaletteEntry> ReferenceQuantise(const TBitmap& picture, int depth = 8)
    {
        std::vector<Item> items;
        for (int32_t y = 0; y < picture.Height(); ++y)
            for (int32_t x = 0; x < picture.Width(); ++x) {
                const Bgr p = testing::At(picture, x, y);
                items.push_back({ { p.b, p.g, p.r } });
            }
        std::vector<PaletteEntry> palette;
        ReferenceSplit(items, 0, items.size(), 0, depth, palette);
        return palette;
    }

    TBitmap Photo(int32_t width, int32_t height, uint32_t seed)
    {
        std::mt19937 random(seed);
        return Picture24(width, height, [&](int32_t x, int32_t y) {
            const int grain = int(random() % 9) - 4;
            auto channel = [&](double v) { return uint8_t(std::clamp(int(v) + grain, 0, 255)); };
            return Bgr { channel(128 + 100 * std::sin(x / 40.0) * std::cos(y / 25.0)),
                channel(128 + 90 * std::sin(x / 28.0 + y / 50.0)),
                channel(128 + 110 * std::cos(x / 90.0 - y / 45.0)) };
        });
    }

    TEST(QuantiserOfColours, GivesThePaletteOfTheSplitOfEveryPixel)
    {
        // Above 2^18 pixels the colours are counted in a table of every colour, below it by
        // sorting; both must give what the split of the pixels gives, at every depth.
        for (auto [w, h] : { std::pair { 640, 430 }, { 97, 61 }, { 1, 1 } }) {
            const TBitmap photo = Photo(w, h, uint32_t(w));
            for (int depth : { 8, 4, 1 })
                EXPECT_EQ(
                    QuantiseAllPixels(WorkSource(photo), depth), ReferenceQuantise(photo, depth))
                    << w << "x" << h << " depth " << depth;
        }
        // Few colours, most of the pixels on one of them.
        const TBitmap few = Picture24(700, 400, [](int32_t x, int32_t y) {
            return (x * y) % 97 == 0 ? Bgr { uint8_t(x), uint8_t(y), 9 } : Bgr { 10, 20, 30 };
        });
        EXPECT_EQ(QuantiseAllPixels(WorkSource(few)), ReferenceQuantise(few));
    }

    TEST(NearestIndex, AgreesWithAFullScanWhereManyEntriesCrowdTogether)
    {
        std::mt19937 random(21);
        // 256 distinct entries inside a cube of 7 values: far from it every cell has them all
        // within reach. Then a photo's palette, and a palette of two colours each given twice.
        std::vector<PaletteEntry> crowded;
        for (int i = 0; i < 256; ++i)
            crowded.push_back(
                { uint8_t(100 + i % 7), uint8_t(100 + (i / 7) % 7), uint8_t(100 + i / 49), 0 });
        const std::vector<std::vector<PaletteEntry>> palettes { crowded,
            QuantiseAllPixels(WorkSource(Photo(300, 200, 3))),
            { { 9, 9, 9, 0 }, { 200, 0, 0, 0 }, { 9, 9, 9, 0 }, { 200, 0, 0, 0 } } };
        for (const auto& palette : palettes) {
            TNearestIndex nearest(palette);
            for (int i = 0; i < 200000; ++i) {
                const uint8_t r = uint8_t(random()), g = uint8_t(random()), b = uint8_t(random());
                ASSERT_EQ(nearest.Find(r, g, b),
                    platform::GetNearestPaletteIndex(palette, platform::Rgb(r, g, b)))
                    << int(r) << "," << int(g) << "," << int(b) << " of " << palette.size();
            }
        }
    }

    TEST(ErrorDiffusion, MatchesThePlainFloydSteinbergOnAPhoto)
    {
        const TBitmap photo = Photo(301, 203, 5);
        TBitmap picture(photo);
        ASSERT_TRUE(Reduce256(picture, nullptr, D256Palette::Dynamic, true, nullptr, {}));
        const std::vector<uint8_t> want = testing::NaiveDither(photo, ReferenceQuantise(photo));
        for (int32_t y = 0; y < photo.Height(); ++y)
            for (int32_t x = 0; x < photo.Width(); ++x)
                ASSERT_EQ(picture.RawPixel(x, y), want[size_t(y) * 301 + size_t(x)])
                    << x << "," << y;
    }

} // namespace
} // namespace vtl::processing
