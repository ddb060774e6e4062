#include "processing/point_operations.h"
#include "test_pictures.h"

#include <gtest/gtest.h>

#include <cmath>

namespace vtl::processing {
namespace {

    using platform::TPixelFormat;
    using testing::At;
    using testing::Bgr;
    using testing::SamePicture;

    uint8_t Index(const TBitmap& bitmap, int32_t x, int32_t y)
    {
        return uint8_t(bitmap.RawPixel(x, y));
    }

    TEST(GrayScale, PrimariesAndPalette)
    {
        TBitmap picture = testing::Picture24(4, 1, [](int32_t x, int32_t) {
            static const Bgr kColours[]
                = { { 0, 0, 255 }, { 0, 255, 0 }, { 255, 0, 0 }, { 255, 255, 255 } };
            return kColours[x];
        });
        ASSERT_TRUE(GrayScale(picture, nullptr, {}));
        ASSERT_EQ(picture.PixelFormat(), TPixelFormat::pf8bit);
        EXPECT_EQ(Index(picture, 0, 0), 76); // red
        EXPECT_EQ(Index(picture, 1, 0), 150); // green
        EXPECT_EQ(Index(picture, 2, 0), 29); // blue
        EXPECT_EQ(Index(picture, 3, 0), 255);
        ASSERT_EQ(picture.PaletteEntries().size(), 256u);
        for (int i = 0; i < 256; ++i)
            EXPECT_EQ(picture.PaletteEntries()[size_t(i)],
                (platform::PaletteEntry { uint8_t(i), uint8_t(i), uint8_t(i), 0 }));
    }

    TEST(GrayScale, MatchesTheFormulaOnRandomColours)
    {
        const TBitmap before = testing::Random24(31, 9, 4);
        TBitmap picture(before);
        ASSERT_TRUE(GrayScale(picture, nullptr, {}));
        for (int32_t y = 0; y < 9; ++y)
            for (int32_t x = 0; x < 31; ++x) {
                Bgr c = At(before, x, y);
                EXPECT_EQ(Index(picture, x, y),
                    int(std::trunc(0.299 * c.r + 0.587 * c.g + 0.114 * c.b + 0.5)));
            }
    }

    TEST(GrayScale, AGreyPictureStaysTheSame)
    {
        TBitmap grey(16, 16, TPixelFormat::pf8bit);
        std::vector<platform::PaletteEntry> palette(256);
        for (int i = 0; i < 256; ++i)
            palette[size_t(i)] = { uint8_t(i), uint8_t(i), uint8_t(i), 0 };
        grey.SetPalette(std::span<const platform::PaletteEntry>(palette));
        for (int32_t y = 0; y < 16; ++y)
            for (int32_t x = 0; x < 16; ++x)
                grey.ScanLine(y)[x] = uint8_t(y * 16 + x);
        TBitmap picture(grey);
        ASSERT_TRUE(GrayScale(picture, nullptr, {}));
        EXPECT_TRUE(SamePicture(picture, grey));
    }

    TEST(Sepia, TablesHalvesToEven)
    {
        const SepiaTables t = MakeSepiaTables();
        EXPECT_EQ(t.warm[64], 90);
        EXPECT_EQ(t.cool[64], 41);
        EXPECT_EQ(t.warm[128], 152);
        EXPECT_EQ(t.cool[128], 102);
        EXPECT_EQ(t.warm[0], 0);
        EXPECT_EQ(t.cool[0], 0);
        EXPECT_EQ(t.warm[255], 255);
        EXPECT_EQ(t.cool[255], 255);
        for (int i = 0; i < 256; ++i) {
            const double warm = 255.0 * std::pow(i / 255.0, 0.75);
            EXPECT_LE(std::fabs(warm - t.warm[size_t(i)]), 0.5);
        }
    }

    TEST(Sepia, BlackWhiteAndMidGrey)
    {
        TBitmap picture = testing::Picture24(3, 1, [](int32_t x, int32_t) {
            const uint8_t v = x == 0 ? 0 : x == 1 ? 255 : 128;
            return Bgr { v, v, v };
        });
        ASSERT_TRUE(Sepia(picture, nullptr, SepiaStrength::Full, {}));
        EXPECT_EQ(At(picture, 0, 0), (Bgr { 0, 0, 0 }));
        EXPECT_EQ(At(picture, 1, 0), (Bgr { 255, 255, 255 }));
        EXPECT_EQ(At(picture, 2, 0), (Bgr { 102, 128, 152 }));
    }

    TEST(Sepia, WeakerStrengthsMixWithTheOriginal)
    {
        const SepiaTables t = MakeSepiaTables();
        const TBitmap before = testing::Random24(20, 5, 8);
        for (SepiaStrength strength : { SepiaStrength::ThreeQuarters, SepiaStrength::Half }) {
            TBitmap picture(before);
            ASSERT_TRUE(Sepia(picture, nullptr, strength, {}));
            for (int32_t y = 0; y < 5; ++y)
                for (int32_t x = 0; x < 20; ++x) {
                    Bgr c = At(before, x, y);
                    int level = (29 * c.b + 150 * c.g + 77 * c.r + 128) / 256;
                    Bgr want = strength == SepiaStrength::Half
                        ? Bgr { uint8_t((c.b + t.cool[size_t(level)]) / 2),
                              uint8_t((c.g + level) / 2),
                              uint8_t((c.r + t.warm[size_t(level)]) / 2) }
                        : Bgr { uint8_t((c.b + 3 * t.cool[size_t(level)]) / 4),
                              uint8_t((c.g + 3 * level) / 4),
                              uint8_t((c.r + 3 * t.warm[size_t(level)]) / 4) };
                    ASSERT_EQ(At(picture, x, y), want) << x << "," << y;
                }
        }
    }

    TEST(InvertColours, TwiceRestoresAndPaletteDisplayGives8Bits)
    {
        const TBitmap before = testing::Random24(13, 7, 2);
        TBitmap picture(before);
        ASSERT_TRUE(InvertColours(picture, nullptr, {}));
        Bgr c = At(before, 3, 4), inverted = At(picture, 3, 4);
        EXPECT_EQ(inverted, (Bgr { uint8_t(255 - c.b), uint8_t(255 - c.g), uint8_t(255 - c.r) }));
        ASSERT_TRUE(InvertColours(picture, nullptr, {}));
        EXPECT_TRUE(SamePicture(picture, before));

        TBitmap onPalette(before);
        ASSERT_TRUE(InvertColours(onPalette, nullptr, { nullptr, true }));
        ASSERT_TRUE(InvertColours(onPalette, nullptr, { nullptr, true }));
        EXPECT_EQ(onPalette.PixelFormat(), TPixelFormat::pf8bit);
    }

    // The steps as the binarisation describes them, through the bitmap's own conversions.
    TBitmap BinariseByTheSteps(const TBitmap& picture, int threshold)
    {
        TBitmap copy(picture);
        GrayScale(copy, nullptr, {});
        copy.SetPixelFormat(TPixelFormat::pf24bit);
        for (int32_t y = 0; y < copy.Height(); ++y) {
            uint8_t* row = copy.ScanLine(y);
            for (int32_t x = 0; x < copy.Width(); ++x) {
                const uint8_t v = row[3 * x] < threshold ? 0 : 255;
                row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = v;
            }
        }
        copy.SetMonochrome(true);
        copy.Dormant();
        copy.SetPixelFormat(TPixelFormat::pf1bit);
        return copy;
    }

    TEST(Binarise, ThresholdsAtTheEnds)
    {
        TBitmap greys = testing::Picture24(256, 1, [](int32_t x, int32_t) {
            return Bgr { uint8_t(x), uint8_t(x), uint8_t(x) };
        });
        TBitmap low(greys), high(greys);
        ASSERT_TRUE(Binarise(low, nullptr, 1, {}));
        ASSERT_TRUE(Binarise(high, nullptr, 254, {}));
        ASSERT_TRUE(low.Monochrome());
        for (int32_t x = 0; x < 256; ++x) {
            EXPECT_EQ(low.Pixel(x, 0), x == 0 ? 0x000000u : 0xFFFFFFu) << x;
            EXPECT_EQ(high.Pixel(x, 0), x < 254 ? 0x000000u : 0xFFFFFFu) << x;
        }
    }

    TEST(Binarise, SameAsTheDescribedSteps)
    {
        for (int threshold : { 1, 60, 127, 200, 254 }) {
            const TBitmap before = testing::Random24(37, 11, uint32_t(threshold));
            TBitmap picture(before);
            ASSERT_TRUE(Binarise(picture, nullptr, threshold, {}));
            EXPECT_TRUE(SamePicture(picture, BinariseByTheSteps(before, threshold))) << threshold;
        }
    }

} // namespace
} // namespace vtl::processing
