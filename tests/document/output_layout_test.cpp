#include "document/output_layout.h"

#include <gtest/gtest.h>

using namespace vtl::document;
using vtl::platform::Rgb;
using vtl::platform::TBitmap;
using vtl::platform::TPixelFormat;

TEST(OutputLayout, PrintScale)
{
    EXPECT_EQ(PrintScale(4800, 640, 600), 6); // 7 fits the page, 6 dots make a hundredth of an inch
    EXPECT_EQ(PrintScale(4800, 200, 600), 6);
    EXPECT_EQ(PrintScale(4800, 6000, 600), 1); // wider than the page: scale 1
    EXPECT_EQ(PrintScale(4800, 100, 72), 1); // under 100 dots per inch
    EXPECT_EQ(PrintScale(2400, 1000, 300), 2);
}

TEST(OutputLayout, AdjustedWallpaperHasTheScreensProportions)
{
    TBitmap wide(1000, 100, TPixelFormat::pf24bit);
    wide.Canvas().Brush.Color = Rgb(255, 0, 0);
    wide.Canvas().FillRect({ 0, 0, 1000, 100 });
    TDIB dib = MakeWallpaper(wide, true, 1024, 768, Rgb(0, 0, 255));
    ASSERT_EQ(dib.Width(), 1000);
    ASSERT_EQ(dib.Height(), 750);
    TBitmap result;
    dib.AssignTo(result);
    EXPECT_EQ(result.Pixel(10, 324), Rgb(0, 0, 255));
    EXPECT_EQ(result.Pixel(10, 325), Rgb(255, 0, 0));
    EXPECT_EQ(result.Pixel(10, 424), Rgb(255, 0, 0));
    EXPECT_EQ(result.Pixel(10, 425), Rgb(0, 0, 255));

    TBitmap tall(100, 700, TPixelFormat::pf24bit);
    TDIB pillar = MakeWallpaper(tall, true, 1024, 768, 0);
    EXPECT_EQ(pillar.Width(), 933);
    EXPECT_EQ(pillar.Height(), 700);
    EXPECT_EQ(MakeWallpaper(tall, false, 1024, 768, 0).Width(), 100);

    TBitmap flat(64, 48, TPixelFormat::pf8bit);
    EXPECT_EQ(MakeWallpaper(flat, false, 1024, 768, 0).PixelFormat(), DibPixelFormat::Dib8BitRle);
}
