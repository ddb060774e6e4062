#include "processing/colour_adjustment.h"
#include "test_pictures.h"

#include <gtest/gtest.h>

#include <cmath>

namespace vtl::processing {
namespace {

    using testing::At;
    using testing::Bgr;

    Bgr Hsi(const AdjustParams& p, Bgr c)
    {
        AdjustHsiPixel(p, c.b, c.g, c.r);
        return c;
    }

    TEST(ToneTable, InversionAndGamma)
    {
        const auto inverse = ToneTable(255, -1, 1);
        for (int i = 0; i < 256; ++i)
            EXPECT_EQ(inverse[size_t(i)], 255 - i);
        TrackBarPositions bars;
        bars.gamma[0] = 200;
        const AdjustParams p = ParamsFromTrackBars(bars);
        EXPECT_EQ(p.exponent[0], 0.5);
        EXPECT_EQ(ToneTable(p.offset[0], p.gain[0], p.exponent[0])[64], 128);
        const auto neutral = ToneTable(0, 1, 1);
        for (int i = 0; i < 256; ++i)
            EXPECT_EQ(neutral[size_t(i)], i);
        // Clamped at both ends, cut towards zero.
        EXPECT_EQ(ToneTable(-100, 1, 1)[50], 0);
        EXPECT_EQ(ToneTable(300, 1, 1)[10], 255);
        EXPECT_EQ(ToneTable(0, 0.5, 1)[3], 1); // 1.5 + 0.499
    }

    TEST(AdjustRgb, GainMinusOneOffset255Inverts)
    {
        TrackBarPositions bars;
        bars.offset = { 255, 255, 255 };
        bars.gain = { -100, -100, -100 };
        const TBitmap before = testing::Random24(11, 6, 3);
        TBitmap picture(before), undo;
        ASSERT_TRUE(AdjustRgb(picture, &undo, ParamsFromTrackBars(bars), {}));
        EXPECT_TRUE(testing::SamePicture(undo, before));
        Bgr c = At(before, 4, 2);
        EXPECT_EQ(At(picture, 4, 2),
            (Bgr { uint8_t(255 - c.b), uint8_t(255 - c.g), uint8_t(255 - c.r) }));
    }

    TEST(AdjustRgb, ChannelsTakeTheirOwnTables)
    {
        AdjustParams p;
        p.offset = { 10, 20, 30 }; // red, green, blue
        TBitmap picture = testing::Flat24(2, 2, { 100, 100, 100 });
        ASSERT_TRUE(AdjustRgb(picture, nullptr, p, {}));
        EXPECT_EQ(At(picture, 1, 1), (Bgr { 130, 120, 110 }));
    }

    TEST(AdjustHsi, NeutralRunKeepsPureColoursAndTruncatesOthers)
    {
        // Pure blue is H = 0, green 2 pi / 3, red 4 pi / 3; their way back is exact.
        const AdjustParams neutral;
        for (Bgr c : { Bgr { 255, 0, 0 }, Bgr { 0, 255, 0 }, Bgr { 0, 0, 255 }, Bgr { 255, 255, 0 },
                 Bgr { 0, 128, 128 } })
            EXPECT_EQ(Hsi(neutral, c), c);
        // Elsewhere the middle channel comes back through Trunc and may lose one; that is why a
        // neutral dialog closes as Cancel instead of running.
        for (Bgr c : { Bgr { 10, 200, 90 }, Bgr { 77, 3, 240 }, Bgr { 60, 0, 60 } }) {
            Bgr back = Hsi(neutral, c);
            EXPECT_EQ(std::max({ back.b, back.g, back.r }), std::max({ c.b, c.g, c.r }));
            EXPECT_LE(std::abs(back.b - c.b) + std::abs(back.g - c.g) + std::abs(back.r - c.r), 1);
        }
    }

    TEST(AdjustHsi, HueOffset128TurnsBlue)
    {
        TrackBarPositions bars;
        bars.offset[2] = 128;
        EXPECT_EQ(Hsi(ParamsFromTrackBars(bars), { 255, 0, 0 }), (Bgr { 127, 255, 0 }));
    }

    TEST(AdjustHsi, GreyKeepsItsGreyWhateverTheHue)
    {
        TrackBarPositions bars;
        bars.offset[2] = 300;
        bars.gain[2] = -250;
        bars.gamma[2] = 40;
        bars.offset[0] = 20;
        const AdjustParams p = ParamsFromTrackBars(bars);
        const auto value = ToneTable(p.offset[0], p.gain[0], p.exponent[0]);
        for (int v : { 0, 1, 128, 240, 255 }) {
            const uint8_t out = value[size_t(v)];
            EXPECT_EQ(Hsi(p, { uint8_t(v), uint8_t(v), uint8_t(v) }), (Bgr { out, out, out }));
        }
    }

    TEST(AdjustHsi, SaturationOffsetMinus255MakesGrey)
    {
        TrackBarPositions bars;
        bars.offset[1] = -255;
        bars.gamma[0] = 150;
        const AdjustParams p = ParamsFromTrackBars(bars);
        const auto value = ToneTable(p.offset[0], p.gain[0], p.exponent[0]);
        const TBitmap before = testing::Random24(9, 9, 17);
        TBitmap picture(before);
        ASSERT_TRUE(AdjustHsi(picture, nullptr, p, {}));
        for (int32_t y = 0; y < 9; ++y)
            for (int32_t x = 0; x < 9; ++x) {
                Bgr c = At(before, x, y);
                const uint8_t v = value[std::max({ c.b, c.g, c.r })];
                ASSERT_EQ(At(picture, x, y), (Bgr { v, v, v }));
            }
    }

    // The hexcone model written out once more, with every branch taken each time.
    Bgr ReferenceHsi(const AdjustParams& p, Bgr c)
    {
        const double pi = 3.14159265358979323846;
        int mx = std::max({ c.b, c.g, c.r }), mn = std::min({ c.b, c.g, c.r });
        double s = 0, h = 0;
        if (mx != mn) {
            double d = mx - mn;
            s = d / mx;
            if (c.b == mx) {
                h = (c.g - c.r) / d * (pi / 3);
                if (h < 0)
                    h += 2 * pi;
            } else if (c.g == mx) {
                h = ((c.r - c.b) / d + 2) * (pi / 3);
            } else {
                h = ((c.b - c.g) / d + 4) * (pi / 3);
            }
        }
        int v = ToneTable(p.offset[0], p.gain[0], p.exponent[0])[size_t(mx)];
        s = std::clamp(std::pow(s, p.exponent[1]) * p.gain[1] + p.offset[1] / 255, 0.0, 1.0);
        h = std::pow(h / (2 * pi), p.exponent[2]) * (2 * pi) * p.gain[2] + p.offset[2] * pi / 256;
        while (h > 2 * pi)
            h -= 2 * pi;
        while (h < 0)
            h += 2 * pi;
        if (s == 0)
            return { uint8_t(v), uint8_t(v), uint8_t(v) };
        int sector = int(h / (pi / 3));
        double f = h / (pi / 3) - sector;
        auto clamp = [](double x) { return uint8_t(std::clamp(int(x), 0, 255)); };
        uint8_t V = uint8_t(v), P = uint8_t(int(v * (1 - s))), Q = clamp(v * (1 - s * f)),
                T = clamp(v * (1 - s * (1 - f)));
        switch (sector) {
        case 1:
            return { Q, V, P };
        case 2:
            return { P, V, T };
        case 3:
            return { P, Q, V };
        case 4:
            return { T, P, V };
        case 5:
            return { V, P, Q };
        default:
            return { V, T, P };
        }
    }

    TEST(AdjustHsi, SameAsTheModelWithPowersAndProducts)
    {
        TrackBarPositions bars;
        bars.offset = { -20, 40, 200 };
        bars.gain = { 130, 80, 150 };
        bars.gamma = { 70, 250, 60 };
        const AdjustParams p = ParamsFromTrackBars(bars);
        const TBitmap before = testing::Random24(40, 20, 23);
        TBitmap picture(before);
        ASSERT_TRUE(AdjustHsi(picture, nullptr, p, {}));
        int off = 0;
        for (int32_t y = 0; y < 20; ++y)
            for (int32_t x = 0; x < 40; ++x) {
                Bgr want = ReferenceHsi(p, At(before, x, y)), got = At(picture, x, y);
                // The reference multiplies 2 pi in a different place; a last-bit difference may
                // move a truncation by one.
                off += !(want == got);
                ASSERT_LE(
                    std::abs(want.b - got.b) + std::abs(want.g - got.g) + std::abs(want.r - got.r),
                    1);
            }
        EXPECT_LT(off, 8);
    }

    TEST(AdjustDialog, NeutralParametersAndTrackBars)
    {
        EXPECT_TRUE(IsNeutral(ParamsFromTrackBars({})));
        TrackBarPositions bars;
        bars.gamma[1] = 101;
        EXPECT_FALSE(IsNeutral(ParamsFromTrackBars(bars)));
        const AdjustParams p
            = ParamsFromTrackBars({ { 5, -256, 511 }, { -300, 0, 300 }, { 30, 300, 100 } });
        EXPECT_EQ(p.gain[0], -3.0);
        EXPECT_EQ(p.exponent[0], 100.0 / 30);
        EXPECT_EQ(p.exponent[1], 100.0 / 300);
        EXPECT_EQ(p.offset[2], 511.0);
    }

    TEST(AdjustDialog, CurvesLabelsAndThumbnail)
    {
        const auto straight = CurvePoints(0, 1, 1);
        EXPECT_EQ(straight[0].Y, 100);
        EXPECT_EQ(straight[50].Y, 50);
        EXPECT_EQ(straight[100].Y, 0);
        const auto raised = CurvePoints(255, 1, 1); // offset 255 is 100 graph units: all at the top
        EXPECT_EQ(raised[0].Y, 0);
        EXPECT_EQ(raised[1].Y, 0);
        const auto gamma = CurvePoints(0, 1, 0.5);
        EXPECT_EQ(gamma[25].Y, 50); // sqrt(0.25) x 100
        const auto negative = CurvePoints(0, -1, 1);
        EXPECT_EQ(negative[60].Y, 100);

        EXPECT_EQ(OffsetLabel(-12), "-12");
        EXPECT_EQ(RatioLabel(100), " 1.00");
        EXPECT_EQ(RatioLabel(-250), "-2.50");
        EXPECT_EQ(RatioLabel(30), " 0.30");

        using Size = std::pair<int32_t, int32_t>;
        EXPECT_EQ(ThumbnailSize(300, 600), (Size { 50, 100 }));
        EXPECT_EQ(ThumbnailSize(640, 480), (Size { 100, 75 }));
        EXPECT_EQ(ThumbnailSize(101, 101), (Size { 100, 100 }));
        EXPECT_EQ(ThumbnailSize(100, 100), (Size { 100, 100 }));
        EXPECT_EQ(ThumbnailSize(60, 40), (Size { 60, 40 }));
    }

} // namespace
} // namespace vtl::processing
