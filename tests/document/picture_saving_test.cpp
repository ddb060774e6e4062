#include "document/dib.h"
#include "document/picture_saving.h"
#include "platform/atomic_file.h"
#include "support/temp_dir.h"

#include <cerrno>
#include <gtest/gtest.h>

using namespace vtl::document;
using vtl::platform::Rgb;
using vtl::platform::TBitmap;
using vtl::platform::TPixelFormat;
using vtl::testing::ReadFile;
using vtl::testing::TempDir;

namespace {
TBitmap Bands(TPixelFormat format)
{
    TBitmap b(31, 9, TPixelFormat::pf24bit);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 31; ++x)
            b.SetPixel(x, y, y < 4 ? Rgb(255, 0, 0) : Rgb(0, 0, 255));
    b.SetPixelFormat(format);
    return b;
}
}

TEST(PictureSaving, EveryKindReadsBack)
{
    TempDir dir;
    for (auto [kind, name] : { std::pair { SaveKind::Bmp, "a.bmp" }, { SaveKind::Png, "a.png" },
             { SaveKind::PngInterlace, "b.png" }, { SaveKind::PngTransparent, "c.png" },
             { SaveKind::PngInterlaceTransparent, "d.png" } }) {
        EXPECT_EQ(SavePicture(Bands(TPixelFormat::pf24bit), dir / name, kind, {}), SaveOutcome::Saved) << name;
        EXPECT_GT(std::filesystem::file_size(dir / name), 50u) << name;
    }
    TBitmap back;
    back.LoadFromFile(dir / "a.bmp");
    EXPECT_EQ(back.Pixel(30, 8), Rgb(0, 0, 255));

    EXPECT_EQ(SavePicture(Bands(TPixelFormat::pf8bit), dir / "rle.bmp", SaveKind::BmpRle, {}), SaveOutcome::Saved);
    TDIB rle;
    rle.LoadFromFile(dir / "rle.bmp");
    EXPECT_EQ(rle.PixelFormat(), DibPixelFormat::Dib8BitRle);
    EXPECT_EQ(SavePicture(Bands(TPixelFormat::pf24bit), dir / "no.bmp", SaveKind::BmpRle, {}), SaveOutcome::NotPaletted);
    EXPECT_FALSE(std::filesystem::exists(dir / "no.bmp"));
}

TEST(PictureSaving, AFailedWriteKeepsTheOldFile)
{
    TempDir dir;
    const auto path = dir / "keep.jpg";
    ASSERT_EQ(SavePicture(Bands(TPixelFormat::pf24bit), path, SaveKind::Jpeg, { 90, false }), SaveOutcome::Saved);
    const std::string before = ReadFile(path);
    vtl::platform::SetRenameFunctionForTesting([](const char*, const char*) {
        errno = ENOSPC;
        return -1;
    });
    for (SaveKind kind : { SaveKind::Jpeg, SaveKind::Bmp, SaveKind::Png })
        EXPECT_THROW(SavePicture(Bands(TPixelFormat::pf24bit), path, kind, { 20, false }), std::exception);
    vtl::platform::SetRenameFunctionForTesting({});
    EXPECT_EQ(ReadFile(path), before);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
}
