// vtlc as a user runs it: exit statuses, messages, and files that read back.
#include "platform/registry.h"
#include "support/hostile_pictures.h"
#include "vtlc_fixture.h"

#include <cstdlib>
#include <gtest/gtest.h>

using vtl::platform::TBitmap;
using vtl::platform::TPixelFormat;
using vtl::testing::ReadFile;
using vtl::testing::Outcome;
using vtl::testing::SamePixels;
using vtl::testing::VtlcTest;

TEST_F(VtlcTest, ConvertRoundTripsThroughPngAndRle)
{
    MakePicture("in.bmp");
    ASSERT_EQ(Vtlc("convert " + P("in.bmp") + " " + P("out.png")).status, 0);
    ASSERT_EQ(Vtlc("convert " + P("out.png") + " " + P("back.bmp")).status, 0);
    TBitmap original, back;
    original.LoadFromFile(m_dir / "in.bmp");
    back.LoadFromFile(m_dir / "back.bmp");
    EXPECT_TRUE(SamePixels(original, back));

    // Flat bands compress; the noisy picture would grow and is written uncompressed instead.
    TBitmap bands(40, 30, TPixelFormat::pf24bit);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x)
            bands.SetPixel(x, y, y < 15 ? vtl::platform::Rgb(200, 0, 0) : vtl::platform::Rgb(0, 0, 200));
    bands.SaveToFile(m_dir / "bands.bmp");
    Outcome rle = Vtlc("convert " + P("bands.bmp") + " " + P("rle.bmp") + " --format 8bit-rle --quantise high");
    ASSERT_EQ(rle.status, 0) << rle.err;
    Outcome info = Vtlc("info " + P("rle.bmp"));
    EXPECT_NE(info.out.find("format: 8bit-rle"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("width: 40\nheight: 30\nbits: 8"), std::string::npos) << info.out;
    Outcome grown = Vtlc("convert " + P("in.bmp") + " " + P("plain.bmp") + " --format 8bit-rle");
    EXPECT_EQ(grown.status, 0);
    EXPECT_NE(grown.err.find("非圧縮で保存します。"), std::string::npos);
    EXPECT_NE(Vtlc("info " + P("plain.bmp")).out.find("format: 8bit\n"), std::string::npos);

    // RLE of a 24-bit picture is refused with the program's message, and nothing is written.
    Outcome refused = Vtlc("convert " + P("in.bmp") + " " + P("no.bmp") + " --as bmp-rle");
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("16色または256色のみ圧縮できます。"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(m_dir / "no.bmp"));
}

TEST_F(VtlcTest, JpegQualityFromOptionOrSettings)
{
    MakePicture("in.bmp");
    ASSERT_EQ(Vtlc("convert " + P("in.bmp") + " " + P("q10.jpg") + " --quality 10").status, 0);
    ASSERT_EQ(Vtlc("convert " + P("in.bmp") + " " + P("q95.jpg") + " --quality 95").status, 0);
    EXPECT_LT(std::filesystem::file_size(m_dir / "q10.jpg"), std::filesystem::file_size(m_dir / "q95.jpg"));

    vtl::platform::Registry reg(m_dir.Path());
    reg.WriteString(vtl::platform::RegistryRoot::CurrentUser, "software\\Tamsol\\vtl\\Op", "jpg", "10");
    reg.Flush();
    ASSERT_EQ(Vtlc("convert " + P("in.bmp") + " " + P("stored.jpg")).status, 0);
    EXPECT_EQ(ReadFile(m_dir / "stored.jpg"), ReadFile(m_dir / "q10.jpg"));
}

TEST_F(VtlcTest, ExitStatuses)
{
    EXPECT_EQ(Vtlc("").status, 2);
    EXPECT_EQ(Vtlc("convert a").status, 2);
    EXPECT_EQ(Vtlc("convert a.bmp b.bmp --quality 0").status, 2);
    Outcome missing = Vtlc("info " + P("missing.bmp"));
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("が見つかりません。"), std::string::npos);
    vtl::testing::WriteFile(m_dir / "bad.bmp", "BM this is not a bitmap");
    Outcome bad = Vtlc("info " + P("bad.bmp"));
    EXPECT_EQ(bad.status, 1);
    EXPECT_FALSE(bad.err.empty());
    MakePicture("in.bmp");
    EXPECT_EQ(Vtlc("convert " + P("in.bmp") + " " + P("out.gif")).status, 2);
}

TEST_F(VtlcTest, ListAndExtractThroughTheArchivePlugin)
{
    MakePicture("pic.bmp");
    vtl::testing::WriteFile(m_dir / "notes.txt", "not a picture");
    const std::string zip = P("set.zip");
    const std::string make = "cd '" + m_dir.Path().string() + "' && bsdtar -a -cf set.zip pic.bmp notes.txt 2>/dev/null";
    if (std::system(make.c_str()) != 0)
        GTEST_SKIP() << "bsdtar (libarchive-tools) is not installed";
    Outcome list = Vtlc("list " + zip);
    ASSERT_EQ(list.status, 0) << list.err;
    EXPECT_NE(list.out.find("pic.bmp"), std::string::npos) << list.out;
    EXPECT_EQ(list.out.find("notes.txt"), std::string::npos) << list.out; // only pictures are listed

    ASSERT_EQ(Vtlc("extract " + zip + " notes.txt " + P("out.txt")).status, 0);
    EXPECT_EQ(ReadFile(m_dir / "out.txt"), "not a picture");
    EXPECT_EQ(Vtlc("extract " + zip + " missing.bmp " + P("x")).status, 1);
    EXPECT_EQ(Vtlc("list " + P("pic.bmp")).status, 1); // not an archive
}

TEST_F(VtlcTest, PaletteFilesArePrintedOrRefused)
{
    // A 2-entry RIFF palette: red, then blue.
    const unsigned char pal[] = { 'R', 'I', 'F', 'F', 24, 0, 0, 0, 'P', 'A', 'L', ' ', 'd', 'a', 't', 'a', 12, 0,
        0, 0, 0, 3, 2, 0, 255, 0, 0, 0, 0, 0, 255, 0 };
    vtl::testing::WriteFile(m_dir / "two.pal", std::string(reinterpret_cast<const char*>(pal), sizeof pal));
    Outcome ok = Vtlc("palette " + P("two.pal"));
    ASSERT_EQ(ok.status, 0) << ok.err;
    EXPECT_EQ(ok.out, "entries: 2\n0: 255 0 0\n1: 0 0 255\n");
    vtl::testing::WriteFile(m_dir / "short.pal", std::string(reinterpret_cast<const char*>(pal), 26));
    Outcome bad = Vtlc("palette " + P("short.pal"));
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.err.find("パレットがおかしいまたは数が合いません。"), std::string::npos);
}

TEST_F(VtlcTest, ThumbsRefreshAFolderAndCacheShowsIt)
{
    std::filesystem::create_directory(m_dir / "pics");
    MakePicture("pics/b.bmp");
    MakePicture("pics/a.bmp");
    MakePicture("pics/.hidden.bmp");
    Outcome thumbs = Vtlc("thumbs " + P("pics") + " --size 2");
    ASSERT_EQ(thumbs.status, 0) << thumbs.err;
    EXPECT_EQ(thumbs.out, "a.bmp\nb.bmp\n");
    ASSERT_TRUE(std::filesystem::exists(m_dir / "pics" / "vtl.snx"));

    Outcome cache = Vtlc("cache " + P("pics/vtl.snx") + " --strip " + P("strip.bmp"));
    ASSERT_EQ(cache.status, 0) << cache.err;
    EXPECT_NE(cache.out.find("a.bmp\n"), std::string::npos) << cache.out;
    TBitmap strip;
    strip.LoadFromFile(m_dir / "strip.bmp");
    EXPECT_EQ(strip.Height(), 72); // cells of size 2 are 96 x 72
    EXPECT_EQ(strip.PixelFormat(), TPixelFormat::pf8bit);

    vtl::testing::WriteFile(m_dir / "junk.snx", "WTL0 but nothing else");
    EXPECT_EQ(Vtlc("cache " + P("junk.snx")).status, 1);
}

TEST_F(VtlcTest, GeometryAndReductionOperations)
{
    MakePicture("in.bmp"); // 37 x 21
    ASSERT_EQ(Vtlc("apply " + P("in.bmp") + " " + P("r.bmp") + " rotate left + reduce16 grey").status, 0);
    Outcome info = Vtlc("info " + P("r.bmp"));
    EXPECT_NE(info.out.find("width: 21\nheight: 37\nbits: 4"), std::string::npos) << info.out;
    ASSERT_EQ(Vtlc("apply " + P("in.bmp") + " " + P("j.bmp") + " join " + P("in.bmp") + " below 10 white").status, 0);
    EXPECT_NE(Vtlc("info " + P("j.bmp")).out.find("width: 37\nheight: 52\n"), std::string::npos);
    EXPECT_EQ(Vtlc("apply " + P("in.bmp") + " " + P("x.bmp") + " reduce256 palette").status, 2);
    EXPECT_EQ(Vtlc("apply " + P("in.bmp") + " " + P("x.bmp") + " clip 0 0 0 5").status, 2);
}

TEST_F(VtlcTest, PicturesOverTheMemoryBudgetAreRefused)
{
    const auto png = vtl::testing::hostile::HugePng(20000, 20000);
    vtl::testing::WriteFile(m_dir / "huge.png", std::string(png.begin(), png.end()));
    Outcome refused = Vtlc("convert " + P("huge.png") + " " + P("out.bmp") + " --memory-budget 512");
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("上限は 512 MB です。"), std::string::npos) << refused.err;
    EXPECT_FALSE(std::filesystem::exists(m_dir / "out.bmp"));
    // A run-length bitmap of 400 megapixels that ends at once costs nothing to read.
    const auto rle = vtl::testing::hostile::RleBmp(4, 262140, 1538);
    vtl::testing::WriteFile(m_dir / "rle.bmp", std::string(rle.begin(), rle.end()));
    EXPECT_EQ(Vtlc("info " + P("rle.bmp") + " --memory-budget 100").status, 1);
    Outcome info = Vtlc("info " + P("rle.bmp"));
    ASSERT_EQ(info.status, 0) << info.err;
    EXPECT_NE(info.out.find("width: 262140\nheight: 1538\nbits: 4\n"), std::string::npos) << info.out;
    EXPECT_EQ(Vtlc("list " + P("rle.bmp") + " --memory-budget 100").status, 2);
}
