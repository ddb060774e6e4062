// vtlc apply: operations in order on a picture read from a file, the result written; names and
// arguments checked before anything is read or written.
#include "platform/bitmap.h"
#include "processing/point_operations.h"
#include "support/same_pixels.h"
#include "support/temp_dir.h"
#include "tools/vtlc/apply_command.h"
#include "tools/vtlc/command_line.h"

#include <gtest/gtest.h>

using vtl::platform::Rgb;
using vtl::platform::TBitmap;
using vtl::platform::TPixelFormat;
using vtl::testing::SamePixels;
using vtl::testing::TempDir;
using vtl::testing::WriteFile;
using namespace vtl::tools;

namespace {

class ApplyTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_oldHome = getenv("VTL_HOME") ? getenv("VTL_HOME") : "";
        setenv("VTL_HOME", m_dir.Path().c_str(), 1);
        TBitmap b(12, 12, TPixelFormat::pf24bit);
        for (int y = 0; y < b.Height(); ++y)
            for (int x = 0; x < b.Width(); ++x)
                b.SetPixel(
                    x, y, Rgb(uint8_t(x * 20), uint8_t(y * 25), uint8_t((x + y) % 2 ? 230 : 5)));
        b.SaveToFile(m_dir / "in.bmp");
        m_original = b;
    }
    void TearDown() override { setenv("VTL_HOME", m_oldHome.c_str(), 1); }

    // Runs "apply in.bmp OUT words..." and reads OUT back.
    TBitmap Apply(const std::vector<std::string>& words, const char* out = "out.bmp")
    {
        std::vector<std::string> args { "apply", P("in.bmp"), P(out) };
        args.insert(args.end(), words.begin(), words.end());
        EXPECT_EQ(ApplyCommand(ParseCommandLine(args)), 0);
        TBitmap result;
        result.LoadFromFile(m_dir / out);
        return result;
    }
    std::string P(const char* name) { return (m_dir / name).string(); }

    TempDir m_dir;
    std::string m_oldHome;
    TBitmap m_original;
};


TEST_F(ApplyTest, OperationsRunInOrder)
{
    EXPECT_TRUE(SamePixels(Apply({ "invert", "+", "invert" }), m_original));
    const TBitmap inverted = Apply({ "invert" });
    EXPECT_EQ(inverted.Pixel(1, 1), Rgb(255 - 20, 255 - 25, 255 - 5));
    // rgb with gain -1 and offset 255 undoes an inversion.
    EXPECT_TRUE(SamePixels(Apply({ "invert", "+", "rgb", "255", "-100", "100", "255", "-100", "100",
                               "255", "-100", "100" }),
        m_original));
    const TBitmap grey = Apply({ "sepia", "75", "+", "gray" });
    EXPECT_EQ(grey.PixelFormat(), TPixelFormat::pf8bit);
    EXPECT_EQ(Apply({ "binarise", "128" }).PixelFormat(), TPixelFormat::pf1bit);
    // Neutral track bars leave every level where it was.
    EXPECT_TRUE(SamePixels(
        Apply({ "rgb", "0", "100", "100", "0", "100", "100", "0", "100", "100" }), m_original));
}

TEST_F(ApplyTest, EveryFilterRuns)
{
    const std::vector<std::vector<std::string>> runs {
        { "blur", "small" },
        { "blur", "large" },
        { "sharpen" },
        { "emboss", "br", "strong" },
        { "emboss", "tl" },
        { "edge" },
        { "median" },
        { "oil", "small" },
        { "oil", "large" },
        { "mosaic", "3" },
        { "sepia", "100" },
        { "sepia", "50" },
        { "hsi", "0", "100", "100", "-255", "100", "100", "128", "100", "100" },
    };
    for (const auto& run : runs) {
        const TBitmap result = Apply(run);
        EXPECT_FALSE(SamePixels(result, m_original)) << run[0];
        EXPECT_EQ(result.Width(), 12) << run[0];
    }
}

TEST_F(ApplyTest, DecliningOperationsLeaveThePictureAndStillWrite)
{
    // 12 x 12 is smaller than the contour filter's 13 x 13 window.
    EXPECT_TRUE(SamePixels(Apply({ "contour" }), m_original));
}

TEST_F(ApplyTest, MosaicAreaIsInPicturePixelsBothEndsIncluded)
{
    const TBitmap result = Apply({ "mosaic", "100", "2", "2", "5", "4" });
    EXPECT_EQ(result.Pixel(2, 2), result.Pixel(5, 4));
    EXPECT_EQ(result.Pixel(1, 1), m_original.Pixel(1, 1));
    EXPECT_EQ(result.Pixel(6, 4), m_original.Pixel(6, 4));
    EXPECT_EQ(result.Pixel(5, 5), m_original.Pixel(5, 5));
    EXPECT_THROW(Apply({ "mosaic", "4", "50", "50", "60", "60" }), std::runtime_error);
}

TEST_F(ApplyTest, UserFilterByFileAndName)
{
    WriteFile(m_dir / "mine.fil",
        "\"keep, as is\",0,0,0,0,1,0,0,0,0\r\n\"double\",0,0,0,0,2,0,0,0,0\r\n");
    EXPECT_TRUE(SamePixels(Apply({ "userfilter", P("mine.fil"), "keep, as is" }), m_original));
    EXPECT_EQ(Apply({ "userfilter", P("mine.fil"), "double" }).Pixel(1, 1), Rgb(40, 50, 10));
    EXPECT_THROW(Apply({ "userfilter", P("mine.fil"), "none" }), std::runtime_error);
    EXPECT_THROW(Apply({ "userfilter", P("missing.fil"), "double" }), std::runtime_error);
}

TEST_F(ApplyTest, BadNamesAndArgumentsAreUsageErrorsBeforeAnythingIsWritten)
{
    const std::vector<std::vector<std::string>> bad {
        { "blurry" },
        { "sepia", "60" },
        { "sepia" },
        { "blur", "medium" },
        { "binarise", "0" },
        { "binarise", "255" },
        { "binarise", "x" },
        { "invert", "now" },
        { "emboss", "up" },
        { "emboss", "tl", "weak" },
        { "oil" },
        { "mosaic", "0" },
        { "mosaic", "257" },
        { "mosaic", "4", "1", "2" },
        { "rgb", "0", "100", "100" },
        { "rgb", "512", "100", "100", "0", "100", "100", "0", "100", "100" },
        { "hsi", "0", "301", "100", "0", "100", "100", "0", "100", "100" },
        { "hsi", "0", "100", "29", "0", "100", "100", "0", "100", "100" },
        { "userfilter", "f.fil" },
        // A bad operation after a good one still stops everything before the file is read.
        { "invert", "+", "spin" },
    };
    for (const auto& words : bad) {
        std::vector<std::string> args { "apply", P("in.bmp"), P("bad.bmp") };
        args.insert(args.end(), words.begin(), words.end());
        EXPECT_THROW(ApplyCommand(ParseCommandLine(args)), UsageError) << words[0];
        EXPECT_FALSE(std::filesystem::exists(m_dir / "bad.bmp")) << words[0];
    }
    EXPECT_THROW(ApplyCommand(ParseCommandLine(
                     { "apply", P("in.bmp"), P("x.bmp"), "gray", "--format", "8bit" })),
        UsageError);
    EXPECT_THROW(
        ApplyCommand(ParseCommandLine({ "apply", P("in.bmp"), P("x.xyz"), "gray" })), UsageError);
    EXPECT_THROW(ApplyCommand(ParseCommandLine({ "apply", P("none.bmp"), P("x.bmp"), "gray" })),
        std::runtime_error);
}

TEST_F(ApplyTest, WritesTheKindTheNameAsksFor)
{
    std::vector<std::string> args { "apply", P("in.bmp"), P("out.png"), "invert" };
    EXPECT_EQ(ApplyCommand(ParseCommandLine(args)), 0);
    TBitmap back;
    // Reading the PNG back through the tool proves the kind.
    args = { "apply", P("out.png"), P("back.bmp"), "invert" };
    EXPECT_EQ(ApplyCommand(ParseCommandLine(args)), 0);
    back.LoadFromFile(m_dir / "back.bmp");
    EXPECT_TRUE(SamePixels(back, m_original));
}

}

TEST_F(ApplyTest, ReadsPluginFormatsWithoutAPluginListLikeTheOtherCommands)
{
    // A fresh home has no plug-in list: the program's own plug-ins are registered first, as vtl
    // does at its first start, so a GIF reads.
    const std::string gif = P("in.gif");
    if (std::system(("convert " + P("in.bmp") + " " + gif + " 2>/dev/null").c_str()) != 0)
        GTEST_SKIP() << "ImageMagick's convert is needed to write the GIF";
    std::vector<std::string> args { "apply", gif, P("out.bmp"), "invert" };
    ASSERT_EQ(ApplyCommand(ParseCommandLine(args)), 0);
    TBitmap result;
    result.LoadFromFile(m_dir / "out.bmp");
    ASSERT_EQ(result.Width(), 12);
    // GIF keeps at most 256 colours; the 12 x 12 picture has 144 and comes back exactly.
    EXPECT_EQ(result.Pixel(3, 4), 0xFFFFFF ^ m_original.Pixel(3, 4));
}
