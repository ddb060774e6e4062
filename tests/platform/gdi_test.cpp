// GDI stand-ins: nearest palette entries, run-length expansion, and DIB transfers.

#include "platform/bitmap.h"
#include "platform/gdi.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace vtl::platform {
namespace {

    TEST(Gdi, NearestPaletteIndexTakesTheFirstOfEqualDistances)
    {
        std::vector<PaletteEntry> p
            = { { 10, 0, 0, 0 }, { 0, 0, 0, 0 }, { 20, 0, 0, 0 }, { 0, 0, 0, 0 } };
        EXPECT_EQ(GetNearestPaletteIndex(p, Rgb(0, 0, 0)), 1u);
        EXPECT_EQ(GetNearestPaletteIndex(p, Rgb(15, 0, 0)), 0u); // 10 and 20 tie: the first
        EXPECT_EQ(GetNearestPaletteIndex(p, Rgb(16, 0, 0)), 2u);
        // Squared distance over all three channels: (9,9,9) is nearer to grey 16 than to red 30.
        std::vector<PaletteEntry> q = { { 30, 0, 0, 0 }, { 16, 16, 16, 0 } };
        EXPECT_EQ(GetNearestPaletteIndex(q, Rgb(9, 9, 9)), 1u);
        EXPECT_EQ(GetNearestPaletteIndex(std::span<const PaletteEntry>(), Rgb(1, 2, 3)), 0u);
        EXPECT_EQ(GetNearestPaletteIndex(HPalette(), Rgb(1, 2, 3)), 0u);
    }

    TEST(Gdi, CacheGivesTheSameAnswersAsTheSearch)
    {
        std::vector<PaletteEntry> p = DefaultPalette(8);
        TNearestColorCache cache(p);
        std::mt19937 rng(7);
        for (int i = 0; i < 20000; ++i) {
            TColor c = rng() & 0xFFFFFF;
            ASSERT_EQ(cache.Find(c), GetNearestPaletteIndex(p, c)) << std::hex << c;
            ASSERT_EQ(cache.Find(c), GetNearestPaletteIndex(p, c)) << std::hex << c;
        }
    }

    TEST(Gdi, PalettesAndTheirEntries)
    {
        EXPECT_EQ(DefaultPalette(1).size(), 2u);
        EXPECT_EQ(DefaultPalette(4).size(), 16u);
        auto p8 = DefaultPalette(8);
        ASSERT_EQ(p8.size(), 256u);
        EXPECT_EQ(ToColor(p8[0]), 0u);
        EXPECT_EQ(ToColor(p8[255]), 0xFFFFFFu);
        EXPECT_FALSE(CreatePalette({}));
        EXPECT_FALSE(CreatePalette(std::vector<PaletteEntry>(257)));
        HPalette h = CreatePalette(DefaultPalette(4));
        EXPECT_EQ(GetPaletteEntries(h, 14, 5).size(), 2u);
        EXPECT_TRUE(GetPaletteEntries(h, 16, 1).empty());
    }

    std::vector<uint8_t> Expand(std::vector<uint8_t> rle, uint16_t bits, int w, int h)
    {
        uint32_t rowBytes = ((uint32_t(w) * bits + 31) / 32) * 4;
        std::vector<uint8_t> out(rowBytes * uint32_t(h), 0);
        ExpandRle(rle, bits, w, h, rowBytes, out);
        return out;
    }

    TEST(GdiRle, Rle8RunsAbsoluteDeltaAndEnds)
    {
        // Bottom row: run of 3 x 5, absolute 3 bytes (padded), end of line;
        // delta (1, 1) to the third row, one pixel, end of bitmap.
        auto out = Expand({ 3, 5, 0, 3, 7, 8, 9, 0, 0, 0, 0, 2, 1, 1, 1, 4, 0, 1 }, 8, 8, 3);
        EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 8),
            (std::vector<uint8_t> { 5, 5, 5, 7, 8, 9, 0, 0 }));
        EXPECT_EQ(out[8], 0);
        EXPECT_EQ(out[16 + 1], 4);
        // Runs past the row end are cut off; data ending mid-command stops quietly.
        out = Expand({ 10, 1, 0, 5, 2 }, 8, 4, 2);
        EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 8),
            (std::vector<uint8_t> { 1, 1, 1, 1, 0, 0, 0, 0 }));
        out = Expand({ 0, 2, 200, 200, 1, 1 }, 8, 4, 2); // delta far outside
        EXPECT_EQ(out, std::vector<uint8_t>(8, 0));
    }

    TEST(GdiRle, Rle4AlternatesNibbles)
    {
        auto out = Expand({ 5, 0x12, 0, 3, 0xAB, 0xC0, 0, 1 }, 4, 8, 1);
        EXPECT_EQ(out[0], 0x12);
        EXPECT_EQ(out[1], 0x12);
        EXPECT_EQ(out[2], 0x1A);
        EXPECT_EQ(out[3], 0xBC);
    }

    TEST(GdiRle, TooSmallOutputIsLeftAlone)
    {
        std::vector<uint8_t> out(3, 0);
        ExpandRle(std::vector<uint8_t> { 4, 1 }, 8, 4, 1, 4, out);
        EXPECT_EQ(out, std::vector<uint8_t>(3, 0));
    }

    TEST(GdiStretch, RowOrderAndSourceRectangles)
    {
        // 2 x 2 eight-bit DIB, bottom row indices 0 1, top row 2 3.
        std::vector<RGBQuad> colors
            = { { 0, 0, 0, 0 }, { 0, 0, 255, 0 }, { 0, 255, 0, 0 }, { 255, 0, 0, 0 } };
        std::vector<uint8_t> bits = { 0, 1, 0, 0, 2, 3, 0, 0 };
        DibView dib { 2, 2, 8, kBiRgbCompression, {}, colors, bits };
        TBitmap b(2, 2, TPixelFormat::pf24bit);
        EXPECT_EQ(StretchDIBits(b, Rect(0, 0, 2, 2), Rect(0, 0, 2, 2), dib), 2);
        EXPECT_EQ(b.Pixel(0, 0), Rgb(0, 255, 0));
        EXPECT_EQ(b.Pixel(1, 1), Rgb(255, 0, 0));
        dib.height = -2; // the same bytes top-down
        StretchDIBits(b, Rect(0, 0, 2, 2), Rect(0, 0, 2, 2), dib);
        EXPECT_EQ(b.Pixel(0, 0), 0u);
        // One source pixel over the whole bitmap.
        StretchDIBits(b, Rect(0, 0, 2, 2), Rect(1, 1, 2, 2), dib);
        EXPECT_EQ(b.Pixel(0, 0), Rgb(0, 0, 255));
        EXPECT_EQ(b.Pixel(1, 1), Rgb(0, 0, 255));
    }

    TEST(GdiStretch, BadViewsDrawNothing)
    {
        std::vector<uint8_t> bits(7, 0xFF);
        TBitmap b(2, 2, TPixelFormat::pf24bit);
        b.SetPixel(0, 0, 0x123456);
        DibView shortBits { 2, 2, 8, kBiRgbCompression, {}, {}, bits };
        EXPECT_EQ(StretchDIBits(b, Rect(0, 0, 2, 2), Rect(0, 0, 2, 2), shortBits), 0);
        DibView badCompression { 1, 1, 24, kBiRle8Compression, {}, {}, bits };
        EXPECT_EQ(StretchDIBits(b, Rect(0, 0, 2, 2), Rect(0, 0, 1, 1), badCompression), 0);
        DibView topDownRle { 1, -1, 8, kBiRle8Compression, {}, {}, bits };
        EXPECT_EQ(StretchDIBits(b, Rect(0, 0, 2, 2), Rect(0, 0, 1, 1), topDownRle), 0);
        DibView huge { 60000, 60000, 32, kBiRgbCompression, {}, {}, bits };
        EXPECT_EQ(StretchDIBits(b, Rect(0, 0, 2, 2), Rect(0, 0, 60000, 60000), huge), 0);
        EXPECT_EQ(b.Pixel(0, 0), 0x123456u);
    }

    TEST(GdiStretch, DeepSourcesUseTheirMasks)
    {
        std::vector<uint8_t> bits = { 0x00, 0x7C, 0x1F, 0x00 }; // 5-5-5 red, blue
        DibView dib { 2, 1, 16, kBiRgbCompression, {}, {}, bits };
        TBitmap b(2, 1, TPixelFormat::pf24bit);
        StretchDIBits(b, Rect(0, 0, 2, 1), Rect(0, 0, 2, 1), dib);
        EXPECT_EQ(b.Pixel(0, 0), Rgb(255, 0, 0));
        EXPECT_EQ(b.Pixel(1, 0), Rgb(0, 0, 255));
        dib.compression = kBiBitfieldsCompression;
        dib.masks = { 0xF800, 0x07E0, 0x001F };
        bits[0] = 0xE0;
        bits[1] = 0x07;
        StretchDIBits(b, Rect(0, 0, 2, 1), Rect(0, 0, 2, 1), dib);
        EXPECT_EQ(b.Pixel(0, 0), Rgb(0, 255, 0));
    }

    TEST(GdiStretch, RunLengthPicturesAreExpandedOnTheWay)
    {
        std::vector<RGBQuad> colors = { { 0, 0, 0, 0 }, { 255, 255, 255, 0 } };
        std::vector<uint8_t> rle = { 2, 1, 0, 0, 1, 1, 0, 1 };
        DibView dib { 2, 2, 8, kBiRle8Compression, {}, colors, rle };
        TBitmap b(2, 2, TPixelFormat::pf8bit);
        StretchDIBits(b, Rect(0, 0, 2, 2), Rect(0, 0, 2, 2), dib);
        EXPECT_EQ(b.Pixel(0, 1), 0xFFFFFFu); // bottom row
        EXPECT_EQ(b.Pixel(1, 1), 0xFFFFFFu);
        EXPECT_EQ(b.Pixel(0, 0), 0xFFFFFFu);
        EXPECT_EQ(b.Pixel(1, 0), 0u); // never written: index 0
    }

    TEST(GdiGetDIBits, RowsComeOutBottomUp)
    {
        TBitmap b(3, 2, TPixelFormat::pf8bit);
        std::vector<PaletteEntry> p = { { 1, 2, 3, 0 }, { 4, 5, 6, 0 } };
        b.SetPalette(p);
        b.SetRawPixel(0, 0, 1);
        std::vector<uint8_t> bits(8, 0xEE);
        std::vector<RGBQuad> colors(256);
        EXPECT_EQ(GetDIBits(b, 8, bits, colors), 2u);
        EXPECT_EQ(colors[1], (RGBQuad { 6, 5, 4, 0 }));
        EXPECT_EQ(bits[4], 1); // the top row is stored last
        EXPECT_EQ(bits[0], 225); // indices are copied as they are: the default palette's white

        TBitmap deep(1, 1, TPixelFormat::pf16bit);
        deep.SetPixel(0, 0, Rgb(255, 0, 255));
        std::vector<uint8_t> rgb(4, 0);
        GetDIBits(deep, 24, rgb, {});
        EXPECT_EQ(rgb, (std::vector<uint8_t> { 255, 0, 255, 0 }));
        EXPECT_EQ(GetDIBits(deep, 24, std::span<uint8_t>(rgb).first(3), {}), 0u); // too small
        EXPECT_EQ(GetDIBits(deep, 16, rgb, {}), 0u);
    }

} // namespace
} // namespace vtl::platform
