#include "processing/colour_reduction.h"
#include "processing/reduce16.h"

#include "dither_reference.h"
#include "test_pictures.h"

#include <gtest/gtest.h>

#include <random>

namespace vtl::processing {
namespace {

    using platform::TPixelFormat;
    using testing::Bgr;
    using testing::Flat24;
    using testing::Random24;
    using testing::SamePicture;

    // An 8-bit picture whose pixels use the given colours (indices 0.., the other entries unused
    // black), pixel (x, y) taking colour pick(x, y).
    TBitmap Picture8(int32_t w, int32_t h, const std::vector<PaletteEntry>& used,
        const std::function<size_t(int32_t, int32_t)>& pick)
    {
        std::vector<PaletteEntry> palette(256);
        std::copy(used.begin(), used.end(), palette.begin());
        TBitmap bitmap(w, h, TPixelFormat::pf8bit);
        bitmap.SetPalette(std::span<const PaletteEntry>(palette));
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x)
                bitmap.SetRawPixel(x, y, uint32_t(pick(x, y)));
        return bitmap;
    }

    TBitmap RandomPicture8(int32_t w, int32_t h, uint32_t seed)
    {
        std::mt19937 random(seed);
        std::vector<PaletteEntry> palette(256);
        for (PaletteEntry& e : palette)
            e = { uint8_t(random()), uint8_t(random()), uint8_t(random()), 0 };
        return Picture8(w, h, palette, [&](int32_t, int32_t) { return size_t(random() % 256); });
    }

    // The picture spelled out as 24 bits, for the reference diffusion.
    TBitmap As24(const TBitmap& picture)
    {
        TBitmap copy(picture);
        copy.SetPixelFormat(TPixelFormat::pf24bit);
        return copy;
    }

    TEST(Reduce16, FewColoursGiveOneEntryEachWithDynamic1)
    {
        const std::vector<PaletteEntry> used { { 200, 10, 10, 0 }, { 10, 200, 10, 0 },
            { 10, 10, 200, 0 }, { 90, 90, 90, 0 }, { 250, 250, 0, 0 } };
        const TBitmap source
            = Picture8(11, 7, used, [](int32_t x, int32_t y) { return size_t(x * y + x) % 5; });
        TBitmap picture(source), undo;
        ASSERT_TRUE(Reduce16(picture, &undo, D16Method::Dynamic1, false, nullptr, {}));
        EXPECT_TRUE(SamePicture(undo, source));
        ASSERT_EQ(picture.PixelFormat(), TPixelFormat::pf4bit);
        EXPECT_EQ(picture.PaletteEntries().size(), 5u);
        for (int32_t y = 0; y < 7; ++y)
            for (int32_t x = 0; x < 11; ++x)
                ASSERT_EQ(picture.Pixel(x, y), source.Pixel(x, y));
    }

    TEST(Reduce16, SplitsTakeTheFrontPartFirst)
    {
        // Black on three pixels, white on one, an unused dark grey that falls with black at first
        // and then into a part of its own without pixels.
        std::array<PaletteEntry, 256> colours {};
        std::array<uint32_t, 256> counts {};
        colours[1] = { 255, 255, 255, 0 };
        colours[2] = { 30, 30, 30, 0 };
        counts[0] = 3;
        counts[1] = 1;
        std::array<uint8_t, 256> map {};
        EXPECT_EQ(SplitSourcePalette(D16Method::Dynamic1, colours, counts, map),
            (std::vector<PaletteEntry> { { 0, 0, 0, 0 }, { 255, 255, 255, 0 } }));
        EXPECT_EQ(map[1], 1);
        EXPECT_EQ(SplitSourcePalette(D16Method::Dynamic2, colours, counts, map),
            (std::vector<PaletteEntry> {
                { 0, 0, 0, 0 }, { 127, 127, 127, 0 }, { 255, 255, 255, 0 } }));
        EXPECT_EQ(map[0], 0);
        EXPECT_EQ(map[2], 1);
        EXPECT_EQ(map[1], 2);
        // The range split's entry is the middle of the range, not the mean.
        counts[2] = 1;
        colours[3] = { 40, 30, 30, 0 };
        counts[3] = 5;
        const auto palette = SplitSourcePalette(D16Method::Dynamic2, colours, counts, map);
        EXPECT_EQ(palette[map[3]], (PaletteEntry { 40, 30, 30, 0 }));
        EXPECT_LE(SplitSourcePalette(D16Method::Dynamic2, colours, counts, map).size(), 16u);
    }

    TEST(Reduce16, SystemColoursAndGreysPickTheirEntries)
    {
        struct Case {
            D16Method method;
            Bgr colour;
            uint32_t entry;
        };
        for (const Case& c : { Case { D16Method::System, { 0, 0, 255 }, 12 },
                 Case { D16Method::Grey, { 255, 255, 255 }, 15 },
                 Case { D16Method::Grey, { 0, 255, 0 }, 9 } }) {
            TBitmap picture = Flat24(6, 3, c.colour);
            ASSERT_TRUE(Reduce16(picture, nullptr, c.method, false, nullptr, {}));
            ASSERT_EQ(picture.PixelFormat(), TPixelFormat::pf4bit);
            EXPECT_EQ(picture.PaletteEntries().size(), 16u);
            for (int32_t x = 0; x < 6; ++x)
                EXPECT_EQ(picture.RawPixel(x, 2), c.entry);
        }
    }

    TEST(Reduce16, AnOddWidthKeepsTheLastPixelInTheHighNibble)
    {
        const TBitmap source = Picture8(5, 2,
            std::vector<PaletteEntry>(SystemColours().begin(), SystemColours().end()),
            [](int32_t x, int32_t y) { return size_t(x + 10 * y); });
        for (bool dither : { false, true }) {
            TBitmap picture(source);
            ASSERT_TRUE(Reduce16(picture, nullptr, D16Method::System, dither, nullptr, {}));
            const uint8_t* row = picture.ScanLine(1);
            EXPECT_EQ(row[0], 0xAB);
            EXPECT_EQ(row[1], 0xCD);
            EXPECT_EQ(row[2], 0xE0);
        }
    }

    TEST(Reduce16, DitheringMatchesThePlainFloydSteinbergOnTheSourceColours)
    {
        const TBitmap source = RandomPicture8(29, 17, 5);
        const std::vector<PaletteEntry> system(SystemColours().begin(), SystemColours().end());
        std::vector<PaletteEntry> greys;
        for (int k = 0; k < 16; ++k)
            greys.push_back({ uint8_t(17 * k), uint8_t(17 * k), uint8_t(17 * k), 0 });
        for (auto [method, palette] :
            { std::pair { D16Method::System, system }, { D16Method::Grey, greys } }) {
            TBitmap picture(source);
            ASSERT_TRUE(Reduce16(picture, nullptr, method, true, nullptr, {}));
            const auto want
                = testing::NaiveDither(As24(source), palette, method == D16Method::Grey);
            for (int32_t y = 0; y < 17; ++y)
                for (int32_t x = 0; x < 29; ++x)
                    ASSERT_EQ(picture.RawPixel(x, y), want[size_t(y) * 29 + size_t(x)])
                        << x << "," << y;
        }
    }

    TEST(Reduce16, EveryMethodGivesAtMostSixteenEntriesAndValidIndices)
    {
        const TBitmap source = Random24(40, 30, 2);
        const std::vector<PaletteEntry> specified(SystemColours().rbegin(), SystemColours().rend());
        for (int m = 0; m <= 5; ++m)
            for (bool dither : { false, true }) {
                SCOPED_TRACE(m * 2 + dither);
                TBitmap picture(source);
                ASSERT_TRUE(Reduce16(picture, nullptr, D16Method(m), dither, &specified, {}));
                const size_t n = picture.PaletteEntries().size();
                ASSERT_GE(n, 1u);
                ASSERT_LE(n, 16u);
                for (int32_t y = 0; y < 30; ++y)
                    for (int32_t x = 0; x < 40; ++x)
                        ASSERT_LT(picture.RawPixel(x, y), n);
            }
    }

    TEST(Reduce16, ACancelledPaletteLeavesTheDeepPictureAsItWas)
    {
        const TBitmap source = Random24(9, 9, 3);
        TBitmap picture(source), undo = Flat24(1, 1, {});
        EXPECT_FALSE(Reduce16(picture, &undo, D16Method::Specified, true, nullptr, {}));
        EXPECT_TRUE(SamePicture(picture, source));
        EXPECT_EQ(undo.Width(), 1);
    }

} // namespace
} // namespace vtl::processing
