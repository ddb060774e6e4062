// The display bitmap: storage, pixel-format changes, BMP files in its own format, and the canvas.

#include "platform/bitmap.h"
#include "platform/byte_reader.h"
#include "platform/stream.h"

#include <gtest/gtest.h>

#include <vector>

namespace vtl::platform {
namespace {

    // A bitmap whose pixel (x, y) has red 40x, green 30y, blue 7.
    TBitmap Gradient(int w, int h, TPixelFormat format = TPixelFormat::pf24bit)
    {
        TBitmap b(w, h, TPixelFormat::pf24bit);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                b.SetPixel(x, y, Rgb(uint8_t(40 * x), uint8_t(30 * y), 7));
        b.SetPixelFormat(format);
        return b;
    }

    uint32_t U32At(const std::vector<uint8_t>& v, size_t at)
    {
        ByteReader r(v);
        r.Seek(at);
        return r.u32le();
    }

    TEST(Bitmap, NewBitmapsAndRows)
    {
        TBitmap empty;
        EXPECT_TRUE(empty.Empty());
        EXPECT_EQ(empty.PixelFormat(), TPixelFormat::pfDevice);
        EXPECT_THROW(empty.ScanLine(0), EInvalidGraphicOperation);

        TBitmap b(3, 2, TPixelFormat::pf24bit);
        EXPECT_EQ(b.RowBytes(), 12u); // 9 bytes padded to 32 bits
        EXPECT_EQ(b.Pixel(2, 1), 0xFFFFFFu); // new pixels are white
        b.SetPixel(1, 0, Rgb(1, 2, 3));
        EXPECT_EQ(b.ScanLine(0)[3], 3); // blue, green, red
        EXPECT_EQ(b.ScanLine(0)[5], 1);
        EXPECT_EQ(b.ScanLine(1), b.ScanLine(0) + 12); // rows from the top
        EXPECT_THROW(b.ScanLine(2), EInvalidGraphicOperation);
        EXPECT_EQ(b.Pixel(3, 0), 0xFFFFFFFFu);

        TBitmap one(9, 1, TPixelFormat::pf1bit);
        EXPECT_TRUE(one.Monochrome());
        EXPECT_EQ(one.RowBytes(), 4u);
        EXPECT_EQ(one.ScanLine(0)[0], 0xFF); // white is index 1
        EXPECT_EQ(one.ScanLine(0)[1], 0x80);
    }

    TEST(Bitmap, SetSizeKeepsTheTopLeftAndFillsWhite)
    {
        TBitmap b = Gradient(3, 3);
        b.SetSize(5, 2);
        EXPECT_EQ(b.Pixel(2, 1), Rgb(80, 30, 7));
        EXPECT_EQ(b.Pixel(4, 1), 0xFFFFFFu);
        TBitmap p = Gradient(3, 2, TPixelFormat::pf4bit);
        uint32_t before = p.RawPixel(2, 1);
        p.SetWidth(8);
        EXPECT_EQ(p.RawPixel(2, 1), before);
        EXPECT_EQ(p.Pixel(7, 0), 0xFFFFFFu); // VGA white, index 15
        EXPECT_THROW(p.SetSize(-1, 2), EInvalidGraphicOperation);
        EXPECT_EQ(p.Width(), 8);
    }

    TEST(Bitmap, DeepFormatsPackTheirBits)
    {
        TBitmap b(1, 1, TPixelFormat::pf24bit);
        b.SetPixel(0, 0, Rgb(255, 0, 8));
        TBitmap f15 = b;
        f15.SetPixelFormat(TPixelFormat::pf15bit);
        EXPECT_EQ(f15.RawPixel(0, 0), 0x7C01u);
        EXPECT_EQ(f15.Pixel(0, 0), Rgb(255, 0, 8));
        TBitmap f16 = b;
        f16.SetPixelFormat(TPixelFormat::pf16bit);
        EXPECT_EQ(f16.RawPixel(0, 0), 0xF801u);
        TBitmap f32 = b;
        f32.SetPixelFormat(TPixelFormat::pf32bit);
        EXPECT_EQ(f32.RawPixel(0, 0), 0xFF0008u);
        EXPECT_EQ(f32.RowBytes(), 4u);
        f32.SetPixelFormat(TPixelFormat::pf24bit);
        EXPECT_EQ(f32.Pixel(0, 0), Rgb(255, 0, 8));
    }

    TEST(Bitmap, PaletteFormatsMapToTheNearestEntry)
    {
        TBitmap b(2, 1, TPixelFormat::pf24bit);
        b.SetPixel(0, 0, Rgb(250, 5, 5));
        b.SetPixel(1, 0, Rgb(120, 120, 130));
        TBitmap four = b;
        four.SetPixelFormat(TPixelFormat::pf4bit);
        EXPECT_EQ(four.PaletteEntries().size(), 16u);
        EXPECT_EQ(four.RawPixel(0, 0), 9u); // bright red
        EXPECT_EQ(four.RawPixel(1, 0), 8u); // grey 128
        // A palette that fits is kept, and the indices follow it.
        TBitmap own = b;
        std::vector<PaletteEntry> two = { { 0, 0, 0, 0 }, { 255, 0, 0, 0 } };
        own.SetPalette(two);
        own.SetPixelFormat(TPixelFormat::pf8bit);
        EXPECT_EQ(own.PaletteEntries(), two);
        EXPECT_EQ(own.RawPixel(0, 0), 1u);
        EXPECT_EQ(own.RawPixel(1, 0), 0u);
        // Back to 24 bits through the palette.
        own.SetPixelFormat(TPixelFormat::pf24bit);
        EXPECT_EQ(own.Pixel(0, 0), Rgb(255, 0, 0));
        EXPECT_TRUE(own.HasPalette());
    }

    TEST(Bitmap, MonochromeKeepsOnlyWhite)
    {
        TBitmap b(3, 1, TPixelFormat::pf24bit);
        b.SetPixel(0, 0, 0);
        b.SetPixel(1, 0, Rgb(254, 255, 255));
        EXPECT_FALSE(b.Monochrome());
        b.SetMonochrome(true);
        EXPECT_TRUE(b.Monochrome());
        EXPECT_EQ(b.PixelFormat(), TPixelFormat::pf1bit);
        EXPECT_EQ(b.ScanLine(0)[0], 0x20); // only the third pixel is white
        b.SetMonochrome(false);
        EXPECT_EQ(b.PixelFormat(), TPixelFormat::pfDevice);
        EXPECT_EQ(b.Pixel(2, 0), 0xFFFFFFu);
    }

    TEST(BitmapBmp, SavesInItsOwnFormatAndReadsItBack)
    {
        struct Case {
            TPixelFormat format;
            uint16_t bits;
            uint32_t compression;
            uint32_t colours;
        };
        for (Case c : { Case { TPixelFormat::pf1bit, 1, 0, 2 }, { TPixelFormat::pf4bit, 4, 0, 16 },
                 { TPixelFormat::pf8bit, 8, 0, 256 }, { TPixelFormat::pf15bit, 16, 0, 0 },
                 { TPixelFormat::pf16bit, 16, 3, 0 }, { TPixelFormat::pf24bit, 24, 0, 0 },
                 { TPixelFormat::pf32bit, 32, 0, 0 }, { TPixelFormat::pfDevice, 24, 0, 0 } }) {
            SCOPED_TRACE(int(c.format));
            TBitmap b = Gradient(5, 3, c.format);
            TMemoryStream out;
            b.SaveToStream(out);
            const std::vector<uint8_t>& f = out.Bytes();
            ASSERT_GE(f.size(), 54u);
            EXPECT_EQ(f[28] | (f[29] << 8), c.bits);
            EXPECT_EQ(U32At(f, 30), c.compression);
            EXPECT_EQ(U32At(f, 46), c.colours);
            EXPECT_EQ(U32At(f, 2), f.size());
            if (c.compression == 3) {
                EXPECT_EQ(U32At(f, 54), 0xF800u);
                EXPECT_EQ(U32At(f, 58), 0x07E0u);
                EXPECT_EQ(U32At(f, 62), 0x001Fu);
            }
            TBitmap back;
            out.Seek(0);
            back.LoadFromStream(out);
            EXPECT_EQ(back.PixelFormat(),
                c.format == TPixelFormat::pfDevice ? TPixelFormat::pf24bit : c.format);
            for (int y = 0; y < 3; ++y)
                for (int x = 0; x < 5; ++x)
                    EXPECT_EQ(back.Pixel(x, y), b.Pixel(x, y));
        }
    }

    TEST(BitmapBmp, ForeignFilesAndRefusals)
    {
        // A top-down 8-bit file with a two-entry table.
        std::vector<uint8_t> f(54 + 8 + 8, 0);
        f[0] = 'B';
        f[1] = 'M';
        PutU32le(&f[10], 62);
        PutU32le(&f[14], 40);
        PutU32le(&f[18], 2);
        PutU32le(&f[22], uint32_t(-2));
        PutU16le(&f[26], 1);
        PutU16le(&f[28], 8);
        PutU32le(&f[46], 2);
        f[54 + 4 + 2] = 0xFF; // entry 1 red
        f[62] = 1; // first stored row is the top
        TBitmap b;
        TSpanStream in(f);
        b.LoadFromStream(in);
        EXPECT_EQ(b.PixelFormat(), TPixelFormat::pf8bit);
        EXPECT_EQ(b.Pixel(0, 0), Rgb(255, 0, 0));
        EXPECT_EQ(b.Pixel(0, 1), 0u);

        TBitmap keep = Gradient(2, 2);
        std::vector<uint8_t> bad = f;
        bad[0] = 'X';
        TSpanStream badIn(bad);
        EXPECT_THROW(keep.LoadFromStream(badIn), EInvalidGraphicFormat);
        std::vector<uint8_t> shortFile(f.begin(), f.end() - 3);
        TSpanStream shortIn(shortFile);
        EXPECT_THROW(keep.LoadFromStream(shortIn), EReadError);
        EXPECT_EQ(keep.Width(), 2);
        EXPECT_EQ(keep.Pixel(1, 1), Rgb(40, 30, 7));
    }

    TEST(Canvas, FillRectIsClipped)
    {
        TBitmap b(4, 3, TPixelFormat::pf8bit);
        b.Canvas().Brush.Color = Rgb(255, 0, 0);
        b.Canvas().FillRect(Rect(-5, 1, 2, 9));
        EXPECT_EQ(b.Pixel(0, 0), 0xFFFFFFu);
        EXPECT_EQ(b.Pixel(1, 2), Rgb(255, 0, 0));
        EXPECT_EQ(b.Pixel(2, 2), 0xFFFFFFu);
        b.Canvas().Brush.Style = TBrushStyle::bsClear;
        b.Canvas().Brush.Color = 0;
        b.Canvas().FillRect(Rect(0, 0, 4, 3));
        EXPECT_EQ(b.Pixel(3, 0), 0xFFFFFFu);
    }

    TEST(Canvas, StretchingSamplesTheNearestPixel)
    {
        TBitmap src = Gradient(2, 2);
        TBitmap big(4, 4, TPixelFormat::pf24bit);
        big.Canvas().StretchDraw(Rect(0, 0, 4, 4), src);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x)
                EXPECT_EQ(big.Pixel(x, y), src.Pixel(x / 2, y / 2)) << x << "," << y;
        // Shrinking keeps the first pixel of each pair.
        TBitmap wide = Gradient(6, 1);
        TBitmap small(3, 1, TPixelFormat::pf24bit);
        small.Canvas().StretchDraw(Rect(0, 0, 3, 1), wide);
        EXPECT_EQ(small.Pixel(1, 0), wide.Pixel(2, 0));
        EXPECT_EQ(small.Pixel(2, 0), wide.Pixel(4, 0));
        // A reversed rectangle mirrors.
        TBitmap mirrored(6, 1, TPixelFormat::pf24bit);
        mirrored.Canvas().StretchDraw(Rect(6, 0, 0, 1), wide);
        EXPECT_EQ(mirrored.Pixel(0, 0), wide.Pixel(5, 0));
        EXPECT_EQ(mirrored.Pixel(5, 0), wide.Pixel(0, 0));
    }

    TEST(Canvas, DrawAndCopyRectClipAndHandleOverlap)
    {
        TBitmap src = Gradient(3, 3);
        TBitmap dst(3, 3, TPixelFormat::pf24bit);
        dst.Canvas().Draw(-1, 1, src);
        EXPECT_EQ(dst.Pixel(0, 1), src.Pixel(1, 0));
        EXPECT_EQ(dst.Pixel(1, 2), src.Pixel(2, 1));
        EXPECT_EQ(dst.Pixel(2, 1), 0xFFFFFFu);
        EXPECT_EQ(dst.Pixel(0, 0), 0xFFFFFFu);

        TBitmap self = Gradient(4, 1);
        TBitmap original = self;
        self.Canvas().CopyRect(Rect(1, 0, 4, 1), self, Rect(0, 0, 3, 1));
        for (int x = 1; x < 4; ++x)
            EXPECT_EQ(self.Pixel(x, 0), original.Pixel(x - 1, 0));
    }

    // Unscaled copies of 1- and 4-bit pictures move whole bytes where both sides start on a
    // byte boundary; every offset and odd width must still land each pixel where it belongs.
    TEST(Canvas, UnscaledCopiesOfPackedPixelsAtEveryOffset)
    {
        for (TPixelFormat format : { TPixelFormat::pf1bit, TPixelFormat::pf4bit }) {
            TBitmap src(23, 3, format);
            const int colours = format == TPixelFormat::pf1bit ? 2 : 16;
            for (int y = 0; y < 3; ++y)
                for (int x = 0; x < 23; ++x)
                    src.SetRawPixel(x, y, uint32_t((x * 7 + y * 3) % colours));
            for (int destX = -3; destX <= 9; ++destX)
                for (int srcX : { 0, 1, 2, 8 }) {
                    TBitmap dst(30, 3, format);
                    dst.Canvas().FillRect(Rect(0, 0, 30, 3));
                    const uint32_t background = dst.RawPixel(0, 0);
                    const int width = 23 - srcX;
                    dst.Canvas().CopyRect(Rect(destX, 0, destX + width, 3), src, Rect(srcX, 0, 23, 3));
                    for (int y = 0; y < 3; ++y)
                        for (int x = 0; x < 30; ++x) {
                            const int from = x - destX + srcX;
                            const uint32_t want = x >= destX && x < destX + width ? src.RawPixel(from, y) : background;
                            ASSERT_EQ(dst.RawPixel(x, y), want) << int(format) << " at " << destX << "," << srcX << " x " << x;
                        }
                }
        }
    }

    TEST(Canvas, CopyModesCombinePixels)
    {
        TBitmap src(1, 1, TPixelFormat::pf24bit);
        src.SetPixel(0, 0, Rgb(0xF0, 0x0F, 0xFF));
        TBitmap dst(1, 1, TPixelFormat::pf24bit);
        dst.SetPixel(0, 0, Rgb(0x3C, 0x3C, 0x00));
        TCanvas& c = dst.Canvas();
        c.CopyMode = rop::kSrcAnd;
        c.Draw(0, 0, src);
        EXPECT_EQ(dst.Pixel(0, 0), Rgb(0x30, 0x0C, 0x00));
        c.CopyMode = rop::kSrcPaint;
        c.Draw(0, 0, src);
        EXPECT_EQ(dst.Pixel(0, 0), Rgb(0xF0, 0x0F, 0xFF));
        c.CopyMode = rop::kSrcInvert;
        c.Draw(0, 0, src);
        EXPECT_EQ(dst.Pixel(0, 0), 0u);
        c.CopyMode = rop::kNotSrcCopy;
        c.Draw(0, 0, src);
        EXPECT_EQ(dst.Pixel(0, 0), Rgb(0x0F, 0xF0, 0x00));
        c.CopyMode = rop::kWhiteness;
        c.Draw(0, 0, src);
        EXPECT_EQ(dst.Pixel(0, 0), 0xFFFFFFu);
    }

    TEST(Canvas, PaletteTargetsGetNearestIndices)
    {
        TBitmap src = Gradient(3, 1);
        TBitmap dst(3, 1, TPixelFormat::pf1bit);
        dst.Canvas().Draw(0, 0, src);
        EXPECT_EQ(dst.RawPixel(0, 0), 0u);
        TBitmap bright(1, 1, TPixelFormat::pf24bit);
        bright.SetPixel(0, 0, Rgb(200, 200, 200));
        dst.Canvas().Draw(2, 0, bright);
        EXPECT_EQ(dst.RawPixel(2, 0), 1u);
        // Same palettes copy indices as they are, duplicates included.
        std::vector<PaletteEntry> dup = { { 9, 9, 9, 0 }, { 9, 9, 9, 0 } };
        TBitmap a(2, 1, TPixelFormat::pf8bit);
        a.SetPalette(dup);
        a.SetRawPixel(0, 0, 1);
        TBitmap b2(2, 1, TPixelFormat::pf8bit);
        b2.SetPalette(dup);
        b2.Canvas().Draw(0, 0, a);
        EXPECT_EQ(b2.RawPixel(0, 0), 1u);
    }

} // namespace
} // namespace vtl::platform

TEST(BitmapForWriting, IsZeroFilledWithTheDefaultPalette)
{
    using namespace vtl::platform;
    TBitmap b = TBitmap::ForWriting(5, 3, TPixelFormat::pf8bit);
    EXPECT_EQ(b.Width(), 5);
    EXPECT_EQ(b.Height(), 3);
    EXPECT_EQ(b.EffectivePalette().size(), 256u);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(b.RawPixel(x, y), 0u);
    EXPECT_EQ(TBitmap::ForWriting(4, 4, TPixelFormat::pf24bit).Pixel(3, 3), 0u);
}
