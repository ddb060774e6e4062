#include "processing/geometry.h"
#include "processing/rotate.h"

#include "test_pictures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

namespace vtl::processing {
namespace {

    using platform::PaletteEntry;
    using platform::TPixelFormat;
    using testing::At;
    using testing::Bgr;
    using testing::Flat24;
    using testing::Picture24;
    using testing::Random24;
    using testing::SamePicture;

    // A picture of the format with random raw pixel values (indices within the palette).
    TBitmap RandomPicture(TPixelFormat format, int32_t width, int32_t height, uint32_t seed)
    {
        TBitmap bitmap(width, height, format);
        std::mt19937 random(seed);
        const int bits = bitmap.BitsPerPixel();
        const uint32_t mask = bits >= 32 ? 0xFFFFFFFFu : (1u << bits) - 1;
        for (int32_t y = 0; y < height; ++y)
            for (int32_t x = 0; x < width; ++x)
                bitmap.SetRawPixel(x, y, uint32_t(random()) & mask);
        if (bits == 8) {
            std::vector<PaletteEntry> palette(256);
            for (size_t i = 0; i < 256; ++i)
                palette[i] = { uint8_t(i), uint8_t(255 - i), uint8_t(i * 7), 0 };
            bitmap.SetPalette(std::span<const PaletteEntry>(palette));
        }
        return bitmap;
    }

    const TPixelFormat kExactFormats[]
        = { TPixelFormat::pf1bit, TPixelFormat::pf4bit, TPixelFormat::pf8bit, TPixelFormat::pf15bit,
              TPixelFormat::pf16bit, TPixelFormat::pf24bit, TPixelFormat::pf32bit };

    TEST(ExactRotation, EachTurnMovesEveryPixelAndKeepsFormatAndPalette)
    {
        for (TPixelFormat format : kExactFormats) {
            SCOPED_TRACE(int(format));
            // Odd sizes, wider than a tile, so that nibbles, bits and tile edges all matter.
            const TBitmap source = RandomPicture(format, 77, 45, 3);
            TBitmap left(source), right(source), half(source), flipped(source), undo;
            ASSERT_TRUE(RotateLeft(left, &undo, {}));
            EXPECT_TRUE(SamePicture(undo, source));
            ASSERT_TRUE(RotateRight(right, nullptr, {}));
            ASSERT_TRUE(Rotate180(half, nullptr, {}));
            ASSERT_TRUE(FlipVertical(flipped, nullptr, {}));
            const int32_t w = source.Width(), h = source.Height();
            ASSERT_EQ(left.Width(), h);
            ASSERT_EQ(left.Height(), w);
            EXPECT_EQ(left.PixelFormat(), format);
            EXPECT_EQ(left.PaletteEntries(), source.PaletteEntries());
            for (int32_t y = 0; y < w; ++y)
                for (int32_t x = 0; x < h; ++x) {
                    ASSERT_EQ(left.RawPixel(x, y), source.RawPixel(w - 1 - y, x));
                    ASSERT_EQ(right.RawPixel(x, y), source.RawPixel(y, h - 1 - x));
                }
            for (int32_t y = 0; y < h; ++y)
                for (int32_t x = 0; x < w; ++x) {
                    ASSERT_EQ(half.RawPixel(x, y), source.RawPixel(w - 1 - x, h - 1 - y));
                    ASSERT_EQ(flipped.RawPixel(x, y), source.RawPixel(x, h - 1 - y));
                }
            ASSERT_TRUE(RotateRight(left, nullptr, {}));
            EXPECT_TRUE(SamePicture(left, source));
        }
    }

    TEST(ExactRotation, FlipRefusesAFormatWithoutRowsOfItsOwn)
    {
        TBitmap picture = Random24(5, 4, 1);
        picture.SetPixelFormat(TPixelFormat::pfDevice);
        const TBitmap before(picture);
        TBitmap undo = Flat24(1, 1, {});
        std::string refusal;
        EXPECT_FALSE(FlipVertical(picture, &undo, {}, &refusal));
        EXPECT_EQ(refusal, kPictureNotSupportedText);
        EXPECT_TRUE(SamePicture(picture, before));
        EXPECT_EQ(undo.Width(), 1);
    }

    TEST(AnyAngleRotation, NinetyAndOneEightyTakeTheExactTurns)
    {
        for (TPixelFormat format : { TPixelFormat::pf24bit, TPixelFormat::pf4bit }) {
            const TBitmap source = RandomPicture(format, 9, 5, 4);
            TBitmap byAngle(source), exact(source);
            ASSERT_TRUE(RotateByAngle(byAngle, nullptr, 90.0, {}));
            ASSERT_TRUE(RotateLeft(exact, nullptr, {}));
            EXPECT_TRUE(SamePicture(byAngle, exact));
            byAngle = source;
            exact = source;
            ASSERT_TRUE(RotateByAngle(byAngle, nullptr, -90.0, {}));
            ASSERT_TRUE(RotateRight(exact, nullptr, {}));
            EXPECT_TRUE(SamePicture(byAngle, exact));
        }
        const TBitmap source = RandomPicture(TPixelFormat::pf8bit, 9, 5, 4);
        TBitmap byAngle(source), exact(source);
        exact = source;
        ASSERT_TRUE(RotateByAngle(byAngle, nullptr, -180.0, {}));
        ASSERT_TRUE(Rotate180(exact, nullptr, {}));
        EXPECT_TRUE(SamePicture(byAngle, exact));

        TBitmap unchanged(source), undo;
        EXPECT_FALSE(RotateByAngle(unchanged, &undo, 0.0, {}));
        EXPECT_TRUE(SamePicture(unchanged, source));
        EXPECT_TRUE(undo.Empty());
    }

    // The any-angle rotation written straight from its formulas, one pixel at a time.
    TBitmap NaiveRotation(const TBitmap& source, double angle)
    {
        const int32_t w = source.Width(), h = source.Height();
        const double t = angle * M_PI / 180.0, c = std::cos(t), s = std::sin(t);
        const auto nw = int32_t(std::abs(w * c) + std::abs(h * s) + 0.5);
        const auto nh = int32_t(std::abs(w * s) + std::abs(h * c) + 0.5);
        auto p = [&](int32_t x, int32_t y, int ch) -> double {
            if (x < 0 || y < 0 || x >= w || y >= h)
                return 0;
            const Bgr v = At(source, x, y);
            return ch == 0 ? v.b : ch == 1 ? v.g : v.r;
        };
        return Picture24(nw, nh, [&](int32_t x, int32_t y) {
            const double e = x - nw / 2.0, f = y - nh / 2.0;
            const double sx = w / 2.0 + c * e - s * f, sy = h / 2.0 + s * e + c * f;
            const auto x0 = int32_t(std::floor(sx)), y0 = int32_t(std::floor(sy));
            const double fx = sx - x0, fy = sy - y0;
            uint8_t out[3];
            for (int ch = 0; ch < 3; ++ch) {
                const double v = (1 - fy) * ((1 - fx) * p(x0, y0, ch) + fx * p(x0 + 1, y0, ch))
                    + fy * ((1 - fx) * p(x0, y0 + 1, ch) + fx * p(x0 + 1, y0 + 1, ch)) + 0.5;
                out[ch] = uint8_t(std::clamp(int(v), 0, 255));
            }
            return Bgr { out[0], out[1], out[2] };
        });
    }

    TEST(AnyAngleRotation, FollowsTheFormulaForEveryPixel)
    {
        const TBitmap source = Random24(23, 14, 7);
        for (double angle : { 30.0, -30.0, 133.5, -170.0 }) {
            SCOPED_TRACE(angle);
            TBitmap picture(source);
            ASSERT_TRUE(RotateByAngle(picture, nullptr, angle, {}));
            EXPECT_TRUE(SamePicture(picture, NaiveRotation(source, angle)));
        }
    }

    TEST(AnyAngleRotation, FortyFiveDegreesGrowsWithBlackCorners)
    {
        TBitmap picture = Flat24(100, 100, { 200, 100, 50 });
        ASSERT_TRUE(RotateByAngle(picture, nullptr, 45.0, {}));
        ASSERT_EQ(picture.Width(), 141);
        ASSERT_EQ(picture.Height(), 141);
        EXPECT_EQ(picture.PixelFormat(), TPixelFormat::pf24bit);
        for (auto [x, y] : { std::pair { 0, 0 }, { 140, 0 }, { 0, 140 }, { 140, 140 }, { 10, 10 } })
            EXPECT_EQ(At(picture, x, y), (Bgr { 0, 0, 0 })) << x << "," << y;
        EXPECT_EQ(At(picture, 70, 70), (Bgr { 200, 100, 50 }));
    }

    TEST(AnyAngleRotation, AFormatWithoutExactTurnsIsResampledCounterClockwise)
    {
        // A red top-right corner; a device-format picture has no exact turn, so +90 degrees is
        // sampled around the centre, which leaves the top row without a source.
        TBitmap picture = Picture24(40, 20, [](int32_t x, int32_t y) {
            return x >= 30 && y < 5 ? Bgr { 0, 0, 255 } : Bgr { 255, 255, 255 };
        });
        picture.SetPixelFormat(TPixelFormat::pfDevice);
        ASSERT_TRUE(RotateLeft(picture, nullptr, {}));
        ASSERT_EQ(picture.Width(), 20);
        ASSERT_EQ(picture.Height(), 40);
        EXPECT_EQ(picture.PixelFormat(), TPixelFormat::pf24bit);
        EXPECT_EQ(At(picture, 2, 5), (Bgr { 0, 0, 255 }));
        EXPECT_EQ(At(picture, 15, 30), (Bgr { 255, 255, 255 }));
        EXPECT_EQ(At(picture, 10, 0), (Bgr { 0, 0, 0 }));
    }

    TEST(Resize, HalvingAveragesTwoByTwoBlocksExactly)
    {
        const TBitmap source = Random24(100, 100, 8);
        TBitmap picture(source), undo;
        ASSERT_TRUE(Resize(picture, &undo, 50, 50, {}));
        EXPECT_TRUE(SamePicture(undo, source));
        ASSERT_EQ(picture.Width(), 50);
        for (int32_t y = 0; y < 50; ++y)
            for (int32_t x = 0; x < 50; ++x) {
                const Bgr p[4] = { At(source, 2 * x, 2 * y), At(source, 2 * x + 1, 2 * y),
                    At(source, 2 * x, 2 * y + 1), At(source, 2 * x + 1, 2 * y + 1) };
                const Bgr want { uint8_t(int(p[0].b + p[1].b + p[2].b + p[3].b + 2) / 4),
                    uint8_t(int(p[0].g + p[1].g + p[2].g + p[3].g + 2) / 4),
                    uint8_t(int(p[0].r + p[1].r + p[2].r + p[3].r + 2) / 4) };
                ASSERT_EQ(At(picture, x, y), want) << x << "," << y;
            }
    }

    TEST(Resize, ShrinkingByAThirdWeighsPartlyCoveredPixels)
    {
        // 3 -> 2 columns: output 0 covers columns 0 and half of 1, output 1 half of 1 and 2.
        TBitmap picture = Picture24(3, 3, [](int32_t x, int32_t) {
            return Bgr { uint8_t(x * 90), 0, 0 };
        });
        ASSERT_TRUE(Resize(picture, nullptr, 2, 2, {}));
        EXPECT_EQ(At(picture, 0, 0).b, 30); // (0 + 0.5 x 90) / 1.5
        EXPECT_EQ(At(picture, 1, 1).b, 150); // (0.5 x 90 + 180) / 1.5
    }

    TEST(Resize, DoublingBlendsTheLastRowAndColumnWithBlack)
    {
        TBitmap picture = Flat24(100, 60, { 200, 100, 40 });
        ASSERT_TRUE(Resize(picture, nullptr, 200, 120, {}));
        EXPECT_EQ(At(picture, 0, 0), (Bgr { 200, 100, 40 }));
        EXPECT_EQ(At(picture, 198, 118), (Bgr { 200, 100, 40 }));
        EXPECT_EQ(At(picture, 199, 50), (Bgr { 100, 50, 20 }));
        EXPECT_EQ(At(picture, 50, 119), (Bgr { 100, 50, 20 }));
        EXPECT_EQ(At(picture, 199, 119), (Bgr { 50, 25, 10 }));
    }

    TEST(Resize, SameSizeOrOneSideSmallerTakesTheRightPath)
    {
        const TBitmap source = Random24(20, 10, 2);
        TBitmap picture(source), undo;
        EXPECT_FALSE(Resize(picture, &undo, 20, 10, {}));
        EXPECT_TRUE(undo.Empty());
        // Narrower but as high: bilinear, so row sampling is exact and columns are blends.
        ASSERT_TRUE(Resize(picture, nullptr, 10, 10, {}));
        EXPECT_EQ(At(picture, 0, 3), At(source, 0, 3));
        EXPECT_EQ(At(picture, 4, 7), At(source, 8, 7));
    }

    TEST(Resize, PaletteDisplayGetsAnEightBitResult)
    {
        TBitmap picture = Random24(16, 16, 5);
        ProcessContext context;
        context.paletteDisplay = true;
        testing::RecordingStatus status;
        context.status = &status;
        ASSERT_TRUE(Resize(picture, nullptr, 32, 32, context));
        EXPECT_EQ(picture.PixelFormat(), TPixelFormat::pf8bit);
        EXPECT_EQ(status.texts.back(), "");
    }

    TEST(Clip, SelectionAtTwoHundredPercentIsHalvedAndThePixelsKeepTheirFormat)
    {
        const TRect selection { 20, 10, 60, 50 };
        const ClipArea area = ClipAreaFromSelection(&selection, 5, 100, 100);
        EXPECT_EQ(area, (ClipArea { 10, 5, 20, 20 }));
        EXPECT_EQ(ClipAreaFromSelection(nullptr, 5, 30, 40), (ClipArea { 0, 0, 30, 40 }));

        for (TPixelFormat format : kExactFormats) {
            SCOPED_TRACE(int(format));
            const TBitmap source = RandomPicture(format, 33, 31, 6);
            TBitmap picture(source), undo;
            ASSERT_TRUE(Clip(picture, &undo, area, {}));
            EXPECT_TRUE(SamePicture(undo, source));
            ASSERT_EQ(picture.Width(), 20);
            ASSERT_EQ(picture.Height(), 20);
            EXPECT_EQ(picture.PixelFormat(), format);
            EXPECT_EQ(picture.PaletteEntries(), source.PaletteEntries());
            for (int32_t y = 0; y < 20; ++y)
                for (int32_t x = 0; x < 20; ++x)
                    ASSERT_EQ(picture.RawPixel(x, y), source.RawPixel(x + 10, y + 5));
        }
    }

    TEST(Clip, TheWholePictureOrNothingLeftChangesNothing)
    {
        TBitmap picture = Random24(10, 8, 1), undo;
        EXPECT_FALSE(Clip(picture, &undo, { 0, 0, 10, 8 }, {}));
        EXPECT_FALSE(Clip(picture, &undo, { 10, 0, 5, 5 }, {}));
        EXPECT_TRUE(undo.Empty());
        // A rectangle reaching past the edge is cut back.
        ASSERT_TRUE(Clip(picture, &undo, { 6, 4, 50, 50 }, {}));
        EXPECT_EQ(picture.Width(), 4);
        EXPECT_EQ(picture.Height(), 4);
    }

    TEST(Join, SideBySideWithAWhiteMargin)
    {
        const TBitmap a = Flat24(100, 50, { 10, 20, 30 }), b = Flat24(60, 80, { 40, 50, 60 });
        const TBitmap joined
            = JoinPictures(a, b, { JoinDirection::Side, MarginColour::White, 10 }, {});
        ASSERT_EQ(joined.Width(), 170);
        ASSERT_EQ(joined.Height(), 80);
        const Bgr white { 255, 255, 255 };
        EXPECT_EQ(At(joined, 99, 49), (Bgr { 10, 20, 30 }));
        EXPECT_EQ(At(joined, 105, 10), white); // margin strip
        EXPECT_EQ(At(joined, 50, 60), white); // under A, which is lower than B
        EXPECT_EQ(At(joined, 110, 79), (Bgr { 40, 50, 60 }));
        EXPECT_EQ(At(joined, 169, 0), (Bgr { 40, 50, 60 }));

        const TBitmap black
            = JoinPictures(a, b, { JoinDirection::Side, MarginColour::Black, 10 }, {});
        EXPECT_EQ(At(black, 105, 10), (Bgr { 0, 0, 0 }));
        EXPECT_EQ(At(black, 50, 60), (Bgr { 0, 0, 0 }));
    }

    TEST(Join, BelowWithTheSamePictureTwice)
    {
        TBitmap a = Random24(30, 20, 9);
        a.SetPixelFormat(TPixelFormat::pf8bit);
        const TBitmap b = Flat24(40, 10, { 1, 2, 3 });
        const TBitmap same
            = JoinPictures(a, a, { JoinDirection::Below, MarginColour::White, 0 }, {});
        ASSERT_EQ(same.Width(), 30);
        ASSERT_EQ(same.Height(), 40);
        for (int32_t x = 0; x < 30; ++x)
            ASSERT_EQ(At(same, x, 3), At(same, x, 23));
        const TBitmap joined
            = JoinPictures(a, b, { JoinDirection::Below, MarginColour::White, 5 }, {});
        ASSERT_EQ(joined.Width(), 40);
        ASSERT_EQ(joined.Height(), 35);
        EXPECT_EQ(At(joined, 35, 5), (Bgr { 255, 255, 255 })); // beside the narrower A
        EXPECT_EQ(At(joined, 10, 22), (Bgr { 255, 255, 255 })); // margin strip
        EXPECT_EQ(At(joined, 39, 34), (Bgr { 1, 2, 3 }));
    }

    TEST(Join, CaptionDropsBothExtensions)
    {
        EXPECT_EQ(JoinCaption("cat.jpg", "dog.png"), "cat dog");
        EXPECT_EQ(JoinCaption("a.b.bmp", "/x.y/noext"), "a.b /x.y/noext");
    }

} // namespace
} // namespace vtl::processing
