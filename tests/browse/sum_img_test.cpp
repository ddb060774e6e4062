#include "browse/pair_coder.h"
#include "browse/sum_img.h"
#include "document/fixed_palettes.h"
#include "platform/stream.h"

#include <gtest/gtest.h>

namespace vtl::browse {
namespace {

    using platform::Rect;
    using platform::Rgb;
    using platform::TBitmap;
    using platform::TPixelFormat;

    constexpr ThumbSize k64 { 64, 48 };
    // Pure red, green 0, blue 0 is entry 35 x 5 of the halftone cube: no error to diffuse.
    constexpr uint8_t kRedIndex = 175;

    TBitmap Solid(int32_t w, int32_t h, platform::TColor colour)
    {
        TBitmap bitmap(w, h, TPixelFormat::pf24bit);
        bitmap.Canvas().Brush.Color = colour;
        bitmap.Canvas().FillRect(Rect(0, 0, w, h));
        return bitmap;
    }

    // A block whose top row is 1 and whose other rows are `value`, so that cells placed upside
    // down or in the wrong spot show.
    std::vector<uint8_t> MarkedBlock(const TSumImg& store, uint8_t value)
    {
        std::vector<uint8_t> block(store.BlockSize(), value);
        const size_t row = store.BlockSize() / size_t(store.Height());
        std::fill(block.end() - ptrdiff_t(row), block.end(), uint8_t(1)); // bottom-up: last is top
        return block;
    }

    TEST(ThumbnailFitting, FitsWithoutEnlargingAndKeepsTheOddPixel)
    {
        EXPECT_EQ(FittedRect(300, 100, k64), Rect(0, 13, 64, 35)); // 64 x 21, drawn 22 rows high
        EXPECT_EQ(FittedRect(50, 40, k64), Rect(7, 4, 57, 44)); // not enlarged
        EXPECT_EQ(FittedRect(640, 480, k64), Rect(0, 0, 64, 48));
        EXPECT_EQ(FittedRect(100, 300, k64), Rect(24, 0, 40, 48)); // 16 x 48
        EXPECT_EQ(FittedRect(63, 47, k64), Rect(0, 0, 64, 48)); // odd margins: one pixel wider
        EXPECT_EQ(FittedRect(1600, 1200, { 128, 96 }), Rect(0, 0, 128, 96));
        EXPECT_EQ(FittedRect(0, 0, k64), Rect(32, 24, 32, 24));
    }

    TEST(ThumbnailFitting, DrawsOnWhiteGround)
    {
        TBitmap picture = Solid(300, 100, Rgb(255, 0, 0));
        TBitmap work;
        EXPECT_EQ(FitPicture(picture, work, k64), Rect(0, 13, 64, 35));
        ASSERT_EQ(work.Width(), 64);
        ASSERT_EQ(work.Height(), 48);
        EXPECT_EQ(work.PixelFormat(), TPixelFormat::pf24bit);
        EXPECT_EQ(work.Pixel(0, 12), Rgb(255, 255, 255));
        EXPECT_EQ(work.Pixel(0, 13), Rgb(255, 0, 0));
        EXPECT_EQ(work.Pixel(63, 34), Rgb(255, 0, 0));
        EXPECT_EQ(work.Pixel(63, 35), Rgb(255, 255, 255));

        document::TDIB dib;
        dib.Assign(Solid(50, 40, Rgb(0, 0, 255)));
        EXPECT_EQ(FitPicture(dib, work, k64), Rect(7, 4, 57, 44));
        EXPECT_EQ(work.Pixel(6, 20), Rgb(255, 255, 255));
        EXPECT_EQ(work.Pixel(7, 4), Rgb(0, 0, 255));
        EXPECT_EQ(work.Pixel(56, 43), Rgb(0, 0, 255));
        EXPECT_EQ(work.Pixel(57, 43), Rgb(255, 255, 255));
    }

    TEST(SumImg, AddHalftonesAndWritesBack)
    {
        TSumImg store(k64);
        EXPECT_EQ(store.BlockSize(), 64u * 48u);
        TBitmap red = Solid(64, 48, Rgb(255, 0, 0));
        ASSERT_TRUE(store.Add(red, true));
        ASSERT_EQ(store.Count(), 1);
        auto block = store.Block(0);
        EXPECT_TRUE(
            std::all_of(block.begin(), block.end(), [](uint8_t v) { return v == kRedIndex; }));
        EXPECT_EQ(red.PixelFormat(), TPixelFormat::pf8bit);
        EXPECT_EQ(red.Pixel(10, 10), Rgb(255, 0, 0));

        // Another size is stretched first; the caller's bitmap stays as it was without write-back.
        TBitmap small = Solid(10, 5, Rgb(255, 0, 0));
        ASSERT_TRUE(store.Add(small, false));
        EXPECT_EQ(small.Width(), 10);
        EXPECT_EQ(small.PixelFormat(), TPixelFormat::pf24bit);
        EXPECT_EQ(std::vector(store.Block(1).begin(), store.Block(1).end()),
            std::vector(block.begin(), block.end()));

        TBitmap empty;
        EXPECT_FALSE(store.Add(empty, true));
        EXPECT_EQ(store.Count(), 2);
    }

    TEST(SumImg, DeleteIgnoresIndicesOutsideTheList)
    {
        TSumImg store(k64);
        for (uint8_t v : { 10, 20, 30 })
            store.AddBlock(std::vector<uint8_t>(store.BlockSize(), v));
        EXPECT_FALSE(store.AddBlock(std::vector<uint8_t>(7)));
        store.Delete(-1);
        store.Delete(3);
        EXPECT_EQ(store.Count(), 3);
        store.Delete(1);
        ASSERT_EQ(store.Count(), 2);
        EXPECT_EQ(store.Block(1)[0], 30);
        store.Clear();
        EXPECT_EQ(store.Count(), 0);
    }

    TEST(SumImg, DrawsUnscaledAtThePoint)
    {
        TSumImg store(k64);
        TBitmap red = Solid(64, 48, Rgb(255, 0, 0));
        store.Add(red, false);
        TBitmap canvas = Solid(100, 100, Rgb(255, 255, 255));
        store.Draw(canvas.Canvas(), 10, 20, 0);
        store.Draw(canvas.Canvas(), 0, 0, 5); // nothing
        EXPECT_EQ(canvas.Pixel(9, 20), Rgb(255, 255, 255));
        EXPECT_EQ(canvas.Pixel(10, 20), Rgb(255, 0, 0));
        EXPECT_EQ(canvas.Pixel(73, 67), Rgb(255, 0, 0));
        EXPECT_EQ(canvas.Pixel(74, 67), Rgb(255, 255, 255));
        EXPECT_EQ(canvas.Pixel(73, 68), Rgb(255, 255, 255));
    }

    struct StripCase {
        int count;
        int columns;
        int rows;
    };

    class StripLayout : public ::testing::TestWithParam<StripCase> { };

    TEST_P(StripLayout, PlacesCellsRowByRowFromTheTop)
    {
        const StripCase c = GetParam();
        TSumImg store(k64);
        for (int i = 0; i < c.count; ++i)
            store.AddBlock(MarkedBlock(store, uint8_t(i + 2)));
        platform::TMemoryStream stream;
        store.SaveToStream(stream, 0);

        document::TDIB strip;
        strip.LoadFromBytes(stream.Bytes());
        ASSERT_EQ(strip.Width(), c.columns * 64);
        ASSERT_EQ(strip.Height(), c.rows * 48);
        EXPECT_EQ(strip.BitCount(), 8);
        ASSERT_EQ(strip.ColorsUsed(), size_t(document::kHalftoneColours));
        EXPECT_EQ(strip.ColorTable()[kRedIndex], document::HalftonePalette()[kRedIndex]);
        for (int i = 0; i < c.count; ++i) {
            int x = (i % c.columns) * 64, y = (i / c.columns) * 48;
            EXPECT_EQ(strip.ScanLine(y)[x], 1) << i;
            EXPECT_EQ(strip.ScanLine(y + 1)[x + 63], i + 2) << i;
            EXPECT_EQ(strip.ScanLine(y + 47)[x], i + 2) << i;
        }

        // Cutting the strip again gives the same blocks.
        TSumImg back(k64);
        stream.Seek(0);
        back.LoadFromStream(stream, c.count);
        ASSERT_EQ(back.Count(), c.count);
        for (int i = 0; i < c.count; ++i) {
            auto a = store.Block(i), b = back.Block(i);
            EXPECT_TRUE(std::equal(a.begin(), a.end(), b.begin(), b.end())) << i;
        }
    }

    INSTANTIATE_TEST_SUITE_P(AutomaticColumns, StripLayout,
        ::testing::Values(StripCase { 1, 1, 1 }, StripCase { 5, 5, 1 }, StripCase { 6, 6, 1 },
            StripCase { 7, 6, 2 }, StripCase { 36, 6, 6 }, StripCase { 37, 12, 4 }));

    TEST(SumImg, ReadsTopDownAndUnusualStrips)
    {
        TSumImg store(k64);
        for (int i = 0; i < 3; ++i)
            store.AddBlock(MarkedBlock(store, uint8_t(i + 2)));
        platform::TMemoryStream stream;
        store.SaveToStream(stream, 0);
        // The same picture with its rows stored top-down, as other writers may keep them.
        std::vector<uint8_t> bmp = stream.Bytes();
        const size_t offBits = bmp[10] | size_t(bmp[11]) << 8;
        const size_t row = 3 * 64;
        for (size_t y = 0; y < 24; ++y)
            std::swap_ranges(bmp.begin() + ptrdiff_t(offBits + y * row),
                bmp.begin() + ptrdiff_t(offBits + (y + 1) * row),
                bmp.begin() + ptrdiff_t(offBits + (47 - y) * row));
        platform::PutU32le(bmp.data() + 22, uint32_t(-48));

        // And with a gap before the pixels, which only the image buffer's reader takes.
        std::vector<uint8_t> gap = bmp;
        gap.insert(gap.begin() + ptrdiff_t(offBits), 4, 0);
        platform::PutU32le(gap.data() + 10, uint32_t(offBits + 4));

        for (const auto& file : { bmp, gap }) {
            TSumImg back(k64);
            back.LoadFromBytes(file, 3);
            ASSERT_EQ(back.Count(), 3);
            for (int i = 0; i < 3; ++i) {
                auto a = store.Block(i), b = back.Block(i);
                EXPECT_TRUE(std::equal(a.begin(), a.end(), b.begin(), b.end())) << i;
            }
        }
    }

    TEST(SumImg, StripWithGivenColumnsAndEmptyStore)
    {
        TSumImg store(ThumbSize { 80, 60 });
        for (int i = 0; i < 3; ++i)
            store.AddBlock(MarkedBlock(store, 9));
        platform::TMemoryStream stream;
        store.SaveToStream(stream, 2);
        document::TDIB strip;
        strip.LoadFromBytes(stream.Bytes());
        EXPECT_EQ(strip.Width(), 160);
        EXPECT_EQ(strip.Height(), 120);

        // An empty store still makes a picture (one blank cell) rather than dividing by zero.
        TSumImg empty(k64);
        platform::TMemoryStream none;
        empty.SaveToStream(none, 0);
        strip.LoadFromBytes(none.Bytes());
        EXPECT_EQ(strip.Width(), 64);
        EXPECT_EQ(strip.Height(), 48);
    }

    TEST(SumImg, RefusesStripsThatCannotHoldTheThumbnails)
    {
        TSumImg store(k64);
        for (int i = 0; i < 7; ++i)
            store.AddBlock(MarkedBlock(store, 3));
        platform::TMemoryStream stream;
        store.SaveToStream(stream, 0); // 6 x 2 cells: room for 12

        TSumImg back(k64);
        back.AddBlock(MarkedBlock(back, 3));
        stream.Seek(0);
        EXPECT_THROW(back.LoadFromStream(stream, 13), EThumbCacheDamaged);
        EXPECT_EQ(back.Count(), 0);
        stream.Seek(0);
        back.LoadFromStream(stream, 12); // unused cells may be read
        EXPECT_EQ(back.Count(), 12);

        // Narrower than one thumbnail, and not 8 bits.
        TSumImg wide(ThumbSize { 128, 96 });
        stream.Seek(0);
        EXPECT_NO_THROW(wide.LoadFromStream(stream, 1)); // 384 wide holds 3 columns of 128
        TSumImg tooWide(ThumbSize { 128, 96 });
        TSumImg narrow(k64);
        narrow.AddBlock(MarkedBlock(narrow, 3));
        platform::TMemoryStream one;
        narrow.SaveToStream(one, 0); // 64 x 48
        one.Seek(0);
        EXPECT_THROW(tooWide.LoadFromStream(one, 1), EThumbCacheDamaged);

        document::TDIB deep;
        deep.Assign(Solid(64, 48, Rgb(1, 2, 3)));
        platform::TMemoryStream deepStream(deep.SaveToBytes());
        EXPECT_THROW(back.LoadFromStream(deepStream, 1), EThumbCacheDamaged);
        EXPECT_EQ(back.Count(), 0);

        // Zero thumbnails read nothing at all.
        platform::TMemoryStream nothing;
        EXPECT_NO_THROW(back.LoadFromStream(nothing, 0));
    }

} // namespace
} // namespace vtl::browse
