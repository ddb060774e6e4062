// The reader against PngSuite: every valid file decodes to libpng's pixels after the mapping to
// bitmap formats; every broken one is refused cleanly.
#include "codecs/png_errors.h"
#include "codecs/png_image.h"
#include "codecs/png_oracle.h"
#include "platform/stream.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

namespace vtl::codecs {
namespace {

    namespace fs = std::filesystem;
    using platform::TPixelFormat;

    fs::path SuiteDir() { return fs::path(VTL_TESTDATA_DIR) / "pngsuite"; }

    std::vector<fs::path> SuiteFiles()
    {
        std::vector<fs::path> files;
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(SuiteDir(), ec))
            if (entry.path().extension() == ".png")
                files.push_back(entry.path());
        std::sort(files.begin(), files.end());
        return files;
    }

    // The bitmap format the Part's table gives for a header.
    TPixelFormat ExpectedFormat(int colorType, int depth)
    {
        if (colorType == 2 || colorType == 6)
            return TPixelFormat::pf24bit;
        if (colorType == 4 || depth >= 8)
            return TPixelFormat::pf8bit;
        return depth == 1 ? TPixelFormat::pf1bit : TPixelFormat::pf4bit;
    }

#ifdef VTL_HAVE_LIBPNG
    TEST(PngSuite, ValidFilesMatchLibpng)
    {
        auto files = SuiteFiles();
        if (files.empty())
            GTEST_SKIP() << "PngSuite not found in " << SuiteDir();
        int checked = 0;
        for (const auto& path : files) {
            std::string name = path.stem().string();
            if (name[0] == 'x')
                continue;
            SCOPED_TRACE(name);
            auto bytes = platform::ReadWholeFile(path);
            auto oracle = testing::DecodeWithLibpng(bytes);
            ASSERT_TRUE(oracle) << "libpng refused " << name;
            TPngImage png;
            platform::TSpanStream stream(bytes);
            ASSERT_NO_THROW(png.LoadFromStream(stream));
            const auto& bitmap = png.Bitmap();
            ASSERT_EQ(uint32_t(bitmap.Width()), oracle->width);
            ASSERT_EQ(uint32_t(bitmap.Height()), oracle->height);
            EXPECT_EQ(bitmap.PixelFormat(), ExpectedFormat(oracle->colorType, oracle->bitDepth));
            EXPECT_EQ(png.Interlace(), oracle->interlace == 1);
            auto transparent = png.TransparentColor();
            int mismatches = 0;
            for (uint32_t y = 0; y < oracle->height; ++y) {
                for (uint32_t x = 0; x < oracle->width; ++x) {
                    const uint8_t* want = oracle->At(x, y);
                    auto colour = bitmap.Pixel(int32_t(x), int32_t(y));
                    uint8_t alpha = 255;
                    if (png.HadAlpha()) {
                        alpha = uint8_t(255 - png.AlphaMask().ScanLine(int32_t(y))[x]);
                    } else if (transparent) {
                        bool hit = (*transparent & kPaletteIndexFlag)
                            ? bitmap.RawPixel(int32_t(x), int32_t(y)) == (*transparent & 0xFF)
                            : colour == *transparent;
                        alpha = hit ? 0 : 255;
                    }
                    // libpng gives transparent pixels of a 16-bit picture their full samples;
                    // the bitmap compares high bytes only, so only opaque pixels are compared.
                    bool same = colour == platform::Rgb(want[0], want[1], want[2])
                        && (alpha == want[3] || (oracle->bitDepth == 16 && !png.HadAlpha()));
                    if (!same && ++mismatches <= 3)
                        ADD_FAILURE() << "pixel " << x << "," << y << ": " << std::hex << colour
                                      << " alpha " << int(alpha) << " vs " << int(want[0]) << ","
                                      << int(want[1]) << "," << int(want[2]) << "," << int(want[3]);
                }
            }
            ++checked;
        }
        EXPECT_GT(checked, 150);
    }
#endif

    TEST(PngSuite, BrokenFilesAreRefusedOrLoadWhenOnlyTheirCrcIsWrong)
    {
        auto files = SuiteFiles();
        if (files.empty())
            GTEST_SKIP() << "PngSuite not found in " << SuiteDir();
        // What each broken file must say.
        const std::map<std::string, std::string> expected = {
            { "xc1n0g08", kPngErrorColorType },
            { "xc9n2c08", kPngErrorColorType },
            { "xcrn0g04", kPngNotPngFormat },
            { "xd0n2c08", kPngErrorBitDepth },
            { "xd3n2c08", kPngErrorBitDepth },
            { "xd9n2c08", kPngErrorBitDepth },
            { "xdtn0g01", kPngReadError },
            { "xlfn0g04", kPngNotPngFormat },
            { "xs1n0g01", kPngNotPngFormat },
            { "xs2n0g01", kPngNotPngFormat },
            { "xs4n0g01", kPngNotPngFormat },
            { "xs7n0g01", kPngNotPngFormat },
        };
        int seen = 0;
        for (const auto& path : files) {
            std::string name = path.stem().string();
            if (name[0] != 'x')
                continue;
            SCOPED_TRACE(name);
            ++seen;
            TPngImage png;
            if (name == "xcsn0g01" || name == "xhdn0g08") {
                EXPECT_NO_THROW(png.LoadFromFile(path));
                EXPECT_EQ(png.Width(), 32);
                continue;
            }
            try {
                png.LoadFromFile(path);
                ADD_FAILURE() << "loaded";
            } catch (const EPngError& e) {
                auto it = expected.find(name);
                if (it != expected.end()) {
                    EXPECT_EQ(std::string(e.what()), it->second);
                }
            }
            EXPECT_TRUE(png.Empty()) << "a refused file left a picture behind";
        }
        EXPECT_EQ(seen, 14);
    }

} // namespace
} // namespace vtl::codecs
