#include "processing/block_filters.h"
#include "test_pictures.h"

#include "platform/gdi.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

namespace vtl::processing {
namespace {

    using platform::PaletteEntry;
    using platform::TPixelFormat;
    using testing::At;
    using testing::Bgr;
    using testing::SamePicture;

    // The window's mode as described: scanned row by row, a value must beat the best count.
    template <typename KeyAt>
    int ModeAt(int32_t width, int32_t height, int32_t x, int32_t y, int half, KeyAt&& key)
    {
        std::map<int, int> counts;
        int candidate = key(x, y), best = 1;
        for (int32_t r = std::max(0, y - half); r <= std::min(height - 1, y + half); ++r)
            for (int32_t c = std::max(0, x - half); c <= std::min(width - 1, x + half); ++c) {
                int n = ++counts[key(c, r)];
                if (n > best) {
                    best = n;
                    candidate = key(c, r);
                }
            }
        return candidate;
    }

    TEST(OilPaint, DistinctColoursGiveTheCentreWithLowBitsCleared)
    {
        // Every pixel differs in its top five bits from every other of its window.
        const TBitmap before = testing::Picture24(9, 9, [](int32_t x, int32_t y) {
            return Bgr { uint8_t(x * 8 + 7), uint8_t(y * 8 + 5), uint8_t(200 + (x + y) % 7) };
        });
        TBitmap picture(before);
        ASSERT_TRUE(OilPaint(picture, nullptr, OilSize::Large, {}));
        EXPECT_EQ(picture.PixelFormat(), TPixelFormat::pf24bit);
        for (int32_t y = 0; y < 9; ++y)
            for (int32_t x = 0; x < 9; ++x) {
                Bgr c = At(before, x, y);
                ASSERT_EQ(At(picture, x, y),
                    (Bgr { uint8_t(c.b & 0xF8), uint8_t(c.g & 0xF8), uint8_t(c.r & 0xF8) }));
            }
    }

    TEST(OilPaint, SameAsTheHistogramRule24)
    {
        const TBitmap before = testing::Patchy24(23, 19, 8, 3);
        for (OilSize size : { OilSize::Small, OilSize::Large }) {
            const int half = size == OilSize::Small ? 2 : 4;
            TBitmap picture(before);
            ASSERT_TRUE(OilPaint(picture, nullptr, size, {}));
            auto key = [&](int32_t x, int32_t y) {
                Bgr c = At(before, x, y);
                return (c.b / 8) * 1024 + (c.g / 8) * 32 + c.r / 8;
            };
            TBitmap want = testing::Picture24(23, 19, [&](int32_t x, int32_t y) {
                int k = ModeAt(23, 19, x, y, half, key);
                return Bgr { uint8_t(k / 1024 * 8), uint8_t(k / 32 % 32 * 8), uint8_t(k % 32 * 8) };
            });
            EXPECT_TRUE(SamePicture(picture, want));
        }
    }

    TBitmap Indexed(int32_t width, int32_t height, uint32_t seed, int colours)
    {
        TBitmap bitmap(width, height, TPixelFormat::pf8bit);
        std::vector<PaletteEntry> palette(256);
        for (int i = 0; i < 256; ++i)
            palette[size_t(i)] = { uint8_t(i * 7), uint8_t(255 - i), uint8_t(i * 3), 0 };
        bitmap.SetPalette(std::span<const PaletteEntry>(palette));
        std::mt19937 random(seed);
        for (int32_t y = 0; y < height; ++y)
            for (int32_t x = 0; x < width; ++x)
                bitmap.ScanLine(y)[x] = uint8_t(random() % unsigned(colours));
        return bitmap;
    }

    TEST(OilPaint, PaletteIndicesKeepFormatAndPalette)
    {
        // Two colours tie often; fifty rarely repeat at all.
        for (int colours : { 2, 4, 50 })
            for (OilSize size : { OilSize::Small, OilSize::Large }) {
                SCOPED_TRACE(colours);
                const int half = size == OilSize::Small ? 2 : 4;
                const TBitmap before = Indexed(21, 16, uint32_t(colours), colours);
                TBitmap picture(before);
                ASSERT_TRUE(OilPaint(picture, nullptr, size, {}));
                EXPECT_EQ(picture.PixelFormat(), TPixelFormat::pf8bit);
                EXPECT_EQ(picture.PaletteEntries(), before.PaletteEntries());
                for (int32_t y = 0; y < 16; ++y)
                    for (int32_t x = 0; x < 21; ++x)
                        ASSERT_EQ(int(picture.RawPixel(x, y)),
                            ModeAt(21, 16, x, y, half,
                                [&](int32_t c, int32_t r) { return int(before.RawPixel(c, r)); }))
                            << x << "," << y;
            }
    }

    TEST(Mosaic, BlockOfOneChangesNothingOversizeGivesOneAverage)
    {
        const TBitmap before = testing::Random24(10, 7, 1);
        TBitmap picture(before);
        TBitmap undo;
        ASSERT_TRUE(Mosaic(picture, &undo, 1, std::nullopt, {}));
        EXPECT_TRUE(SamePicture(picture, before));
        EXPECT_TRUE(SamePicture(undo, before));

        ASSERT_TRUE(Mosaic(picture, nullptr, 50, std::nullopt, {}));
        uint64_t sum[3] = {};
        for (int32_t y = 0; y < 7; ++y)
            for (int32_t x = 0; x < 10; ++x) {
                Bgr c = At(before, x, y);
                sum[0] += c.b, sum[1] += c.g, sum[2] += c.r;
            }
        const Bgr average { uint8_t(sum[0] / 70), uint8_t(sum[1] / 70), uint8_t(sum[2] / 70) };
        for (int32_t y = 0; y < 7; ++y)
            for (int32_t x = 0; x < 10; ++x)
                ASSERT_EQ(At(picture, x, y), average);
    }

    TEST(Mosaic, BlocksFromTheAreasCornerWithPartialEnds)
    {
        const TBitmap before = testing::Random24(20, 15, 2);
        TBitmap picture(before);
        const TRect area { 3, 2, 14, 12 }; // 11 x 10: blocks 4, 4, 3 wide and 4, 4, 2 high
        ASSERT_TRUE(Mosaic(picture, nullptr, 4, area, {}));
        TBitmap want = testing::Picture24(20, 15, [&](int32_t x, int32_t y) {
            if (x < 3 || x >= 14 || y < 2 || y >= 12)
                return At(before, x, y);
            int32_t l = 3 + (x - 3) / 4 * 4, t = 2 + (y - 2) / 4 * 4;
            int32_t r = std::min(l + 4, 14), b = std::min(t + 4, 12);
            int sum[3] = {};
            for (int32_t yy = t; yy < b; ++yy)
                for (int32_t xx = l; xx < r; ++xx) {
                    Bgr c = At(before, xx, yy);
                    sum[0] += c.b, sum[1] += c.g, sum[2] += c.r;
                }
            int n = (r - l) * (b - t);
            return Bgr { uint8_t(sum[0] / n), uint8_t(sum[1] / n), uint8_t(sum[2] / n) };
        });
        EXPECT_TRUE(SamePicture(picture, want));
    }

    TEST(Mosaic, PaletteVariantFillsWithTheNearestEntry)
    {
        const TBitmap before = Indexed(6, 6, 9, 256);
        TBitmap picture(before);
        ASSERT_TRUE(Mosaic(picture, nullptr, 3, std::nullopt, {}));
        ASSERT_EQ(picture.PixelFormat(), TPixelFormat::pf8bit);
        EXPECT_EQ(picture.PaletteEntries(), before.PaletteEntries());
        const auto& palette = before.PaletteEntries();
        for (int32_t by = 0; by < 6; by += 3)
            for (int32_t bx = 0; bx < 6; bx += 3) {
                int r = 0, g = 0, b = 0;
                for (int32_t y = by; y < by + 3; ++y)
                    for (int32_t x = bx; x < bx + 3; ++x) {
                        const PaletteEntry& e = palette[before.RawPixel(x, y)];
                        r += e.peRed, g += e.peGreen, b += e.peBlue;
                    }
                uint32_t want = platform::GetNearestPaletteIndex(
                    palette, platform::Rgb(uint8_t(r / 9), uint8_t(g / 9), uint8_t(b / 9)));
                for (int32_t y = by; y < by + 3; ++y)
                    for (int32_t x = bx; x < bx + 3; ++x)
                        ASSERT_EQ(picture.RawPixel(x, y), want);
            }
    }

    TEST(Mosaic, SelectionFromDisplayCoordinates)
    {
        EXPECT_EQ(MulDiv(5, 1, 2), 3); // halves away from zero
        EXPECT_EQ(MulDiv(-5, 1, 2), -3);
        EXPECT_EQ(MulDiv(7, 4, 3), 9);
        EXPECT_EQ(MulDiv(1, 1, 0), -1);
        // At 200 % a selection from (10, 20) to (51, 41) is columns 5..26, rows 10..21 (26 and 21
        // from 25.5 and 20.5).
        EXPECT_EQ(
            MosaicAreaFromSelection({ 10, 20, 51, 41 }, 5, 100, 100), (TRect { 5, 10, 27, 22 }));
        // At 25 % everything is four times larger, and kept inside the picture.
        EXPECT_EQ(
            MosaicAreaFromSelection({ 10, 5, 40, 30 }, 0, 100, 100), (TRect { 40, 20, 100, 100 }));
        EXPECT_EQ(ClipMosaicArea(-4, -2, 3, 3, 10, 10), (TRect { 0, 0, 4, 4 }));
        EXPECT_EQ(ClipMosaicArea(12, 0, 20, 5, 10, 10), std::nullopt);
        EXPECT_EQ(DisplayToPictureFactor(2).n, 4);
        EXPECT_EQ(DisplayToPictureFactor(2).d, 3);
    }

} // namespace
} // namespace vtl::processing
