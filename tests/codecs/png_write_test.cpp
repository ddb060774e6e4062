// The writer: every option combination gives a file pngcheck accepts and libpng decodes to the
// pixels the options promise; the written chunks follow the program's order and forms.
#include "codecs/png_errors.h"
#include "codecs/png_image.h"
#include "codecs/png_oracle.h"
#include "codecs/png_test_builder.h"
#include "codecs/png_write_stream.h"
#include "platform/stream.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <sys/wait.h>

namespace vtl::codecs {
namespace {

    using platform::PaletteEntry;
    using platform::TBitmap;
    using platform::TColor;
    using platform::TPixelFormat;
    using testing::ListChunks;

    uint8_t Grey(TColor c)
    {
        return uint8_t((77 * platform::GetRValue(c) + 150 * platform::GetGValue(c)
                           + 29 * platform::GetBValue(c))
            / 256);
    }

    // A picture of random pixels (and a random palette for the palette formats).
    TBitmap RandomBitmap(TPixelFormat format, int32_t width, int32_t height, uint32_t seed)
    {
        std::mt19937 rng(seed);
        TBitmap bitmap(width, height, format);
        if (bitmap.BitsPerPixel() <= 8) {
            std::vector<PaletteEntry> palette(size_t(1) << bitmap.BitsPerPixel());
            for (auto& e : palette)
                e = { uint8_t(rng()), uint8_t(rng()), uint8_t(rng()), 0 };
            bitmap.SetPalette(palette);
        }
        for (int32_t y = 0; y < height; ++y) {
            uint8_t* row = bitmap.ScanLine(y);
            for (size_t i = 0; i < bitmap.RowBytes(); ++i)
                row[i] = uint8_t(rng());
        }
        return bitmap;
    }

    TBitmap RandomMask(int32_t width, int32_t height)
    {
        return RandomBitmap(TPixelFormat::pf8bit, width, height, 99);
    }

    std::vector<uint8_t> SaveToBytes(const TPngImage& png)
    {
        platform::TMemoryStream out;
        png.SaveToStream(out);
        return out.TakeBytes();
    }

    // pngcheck's verdict and its report.
    std::pair<int, std::string> RunPngcheck(const std::filesystem::path& file)
    {
        std::string command = "pngcheck -v '" + file.string() + "' 2>&1";
        std::FILE* pipe = popen(command.c_str(), "r");
        if (!pipe)
            return { -1, "popen failed" };
        std::string output;
        char buffer[512];
        while (size_t n = std::fread(buffer, 1, sizeof buffer, pipe))
            output.append(buffer, n);
        int status = pclose(pipe);
        return { WIFEXITED(status) ? WEXITSTATUS(status) : -1, output };
    }

    struct Combination {
        TPixelFormat format;
        bool interlace;
        bool greyscale;
        bool alpha;
        bool transparent;
        int level;
        int idatSize;
    };

    std::string Describe(const Combination& c)
    {
        return "bits " + std::to_string(platform::BitsPerPixel(c.format))
            + (c.interlace ? " interlace" : "") + (c.greyscale ? " grey" : "")
            + (c.alpha ? " alpha" : "") + (c.transparent ? " trns" : "") + " level "
            + std::to_string(c.level) + " idat " + std::to_string(c.idatSize);
    }

#ifdef VTL_HAVE_LIBPNG
    // What libpng must decode from a written picture, pixel by pixel (RGBA).
    std::array<uint8_t, 4> Expected(
        const TBitmap& bitmap, const TBitmap* mask, const Combination& c, int32_t x, int32_t y)
    {
        TColor colour = bitmap.Pixel(x, y);
        uint8_t r = platform::GetRValue(colour), g = platform::GetGValue(colour),
                b = platform::GetBValue(colour);
        int bits = bitmap.BitsPerPixel();
        if (c.greyscale) {
            uint8_t v = Grey(colour);
            if (bits == 1) {
                const auto& pal = bitmap.PaletteEntries();
                bool invert = Grey(platform::ToColor(pal[0])) > Grey(platform::ToColor(pal[1]));
                v = (bitmap.RawPixel(x, y) ^ (invert ? 1u : 0u)) ? 255 : 0;
            } else if (bits == 4) {
                v = uint8_t((v * 15 + 127) / 255 * 17);
            }
            r = g = b = v;
        }
        uint8_t a = mask ? uint8_t(255 - mask->ScanLine(y)[x]) : 255;
        return { r, g, b, a };
    }

    class PngWriteMatrix : public ::testing::TestWithParam<TPixelFormat> { };

    TEST_P(PngWriteMatrix, EveryOptionCombinationPassesPngcheckAndDecodesInLibpng)
    {
        vtl::testing::TempDir dir;
        const int32_t width = 13, height = 11; // odd sizes leave some Adam7 passes short
        const TPixelFormat format = GetParam();
        const TBitmap bitmap = RandomBitmap(format, width, height, 7);
        const TBitmap mask = RandomMask(width, height);
        const std::array<std::pair<int, int>, 3> levels
            = { { { -1, 32768 }, { 9, 256 }, { 0, 1000 } } };
        for (int combo = 0; combo < 16 * 3; ++combo) {
            Combination c { format, bool(combo & 1), bool(combo & 2), bool(combo & 4),
                bool(combo & 8), levels[combo / 16].first, levels[combo / 16].second };
            SCOPED_TRACE(Describe(c));
            TPngImage png;
            png.Assign(bitmap);
            png.SetInterlace(c.interlace);
            png.SetGreyscale(c.greyscale);
            png.SetCompressionLevel(c.level);
            png.SetIdatSize(c.idatSize);
            if (c.alpha)
                png.SetAlphaMask(mask);
            TColor lowerLeft = bitmap.Pixel(0, height - 1);
            if (c.transparent)
                png.SetTransparentColor(lowerLeft);
            auto bytes = SaveToBytes(png);

            auto file = dir / "out.png";
            testing::WriteFile(
                file, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
            auto [status, report] = RunPngcheck(file);
            EXPECT_EQ(status, 0) << report;

            for (const auto& chunk : ListChunks(bytes))
                if (chunk.type == "IDAT") {
                    EXPECT_LE(chunk.data.size(), size_t(c.idatSize));
                }

            auto decoded = testing::DecodeWithLibpng(bytes);
            ASSERT_TRUE(decoded);
            int bits = bitmap.BitsPerPixel();
            bool maskWritten = c.alpha && (c.greyscale ? bits >= 8 : bits >= 15);
            auto lowerLeftWant = Expected(bitmap, nullptr, c, 0, height - 1);
            int mismatches = 0;
            for (int32_t y = 0; y < height; ++y)
                for (int32_t x = 0; x < width; ++x) {
                    auto want = Expected(bitmap, maskWritten ? &mask : nullptr, c, x, y);
                    if (c.transparent && !maskWritten
                        && std::equal(want.begin(), want.begin() + 3, lowerLeftWant.begin()))
                        want[3] = 0;
                    const uint8_t* got = decoded->At(uint32_t(x), uint32_t(y));
                    if (!std::equal(want.begin(), want.end(), got) && ++mismatches <= 3)
                        ADD_FAILURE() << "pixel " << x << "," << y << " want " << int(want[0])
                                      << "," << int(want[1]) << "," << int(want[2]) << ","
                                      << int(want[3]) << " got " << int(got[0]) << ","
                                      << int(got[1]) << "," << int(got[2]) << "," << int(got[3]);
                }

            // The program's own reader sees the same colours.
            TPngImage back;
            platform::TSpanStream in(bytes);
            ASSERT_NO_THROW(back.LoadFromStream(in));
            EXPECT_EQ(back.Interlace(), c.interlace);
            for (int32_t y = 0; y < height; ++y)
                for (int32_t x = 0; x < width; ++x) {
                    const uint8_t* got = decoded->At(uint32_t(x), uint32_t(y));
                    ASSERT_EQ(back.Bitmap().Pixel(x, y), platform::Rgb(got[0], got[1], got[2]))
                        << x << "," << y;
                }
        }
    }

    INSTANTIATE_TEST_SUITE_P(AllFormats, PngWriteMatrix,
        ::testing::Values(TPixelFormat::pf1bit, TPixelFormat::pf4bit, TPixelFormat::pf8bit,
            TPixelFormat::pf15bit, TPixelFormat::pf16bit, TPixelFormat::pf24bit,
            TPixelFormat::pf32bit));
#endif

    TEST(PngWrite, ChunksComeInTheProgramsOrderAndRowsAreUnfiltered)
    {
        TBitmap bitmap = RandomBitmap(TPixelFormat::pf8bit, 20, 9, 3);
        TPngImage png;
        png.Assign(bitmap);
        png.SetWriteTime(PngTime { 2024, 2, 29, 23, 59, 60 });
        auto bytes = SaveToBytes(png);
        auto chunks = ListChunks(bytes);
        std::vector<std::string> names;
        for (const auto& c : chunks)
            names.push_back(c.type);
        std::vector<std::string> want
            = { "IHDR", "tIME", "tEXt", "tpNG", "gAMA", "PLTE", "IDAT", "IEND" };
        EXPECT_EQ(names, want);
        EXPECT_EQ(chunks[1].data, (std::vector<uint8_t> { 0x07, 0xE8, 2, 29, 23, 59, 60 }));
        std::string software(chunks[2].data.begin(), chunks[2].data.end());
        EXPECT_EQ(software, std::string("Software\0VTLPNG ver 3.4", 23));
        EXPECT_EQ(chunks[3].data, (std::vector<uint8_t> { 'V', 'T', 'L', '3', 0, 0, 0, 0 }));
        EXPECT_EQ(chunks[4].data, (std::vector<uint8_t> { 0, 0, 0xB1, 0x8F })); // 45455
        EXPECT_EQ(chunks[5].data.size(), 256u * 3);

        // Inflate the image data: every row starts with filter type 0.
        std::vector<uint8_t> z = chunks[6].data;
        std::vector<uint8_t> raw(9 * 21);
        uLongf size = raw.size();
        ASSERT_EQ(uncompress(raw.data(), &size, z.data(), z.size()), Z_OK);
        ASSERT_EQ(size, raw.size());
        for (int y = 0; y < 9; ++y) {
            EXPECT_EQ(raw[y * 21], 0);
            EXPECT_EQ(0, std::memcmp(&raw[y * 21 + 1], bitmap.ScanLine(y), 20));
        }
    }

    TEST(PngWrite, OptionalChunksAppearOnlyWhenSetAndValid)
    {
        TBitmap bitmap = RandomBitmap(TPixelFormat::pf24bit, 4, 4, 5);
        TPngImage png;
        png.Assign(bitmap);
        png.SetWriteTime(PngTime { 2024, 13, 1, 0, 0, 0 }); // month out of range: no tIME
        png.SetComment("hello");
        png.SetGamma(0.000001); // rounds to 0: no gAMA
        png.SetPhysicalSize(PngPhysicalSize { PngUnit::Inch, 96, 300 });
        png.SetBackgroundColor(platform::Rgb(1, 2, 3));
        png.SetGifExtension(PngGifExtension { 2, 1, 500 });
        png.SetChromaticities(
            PngChromaticities { 31270, 32900, 64000, 33000, 30000, 60000, 15000, 6000 });
        png.SetSignificantBits(PngSignificantBits { { 7, 7, 7, 0 }, 3 });
        auto chunks = ListChunks(SaveToBytes(png));
        std::vector<std::string> names;
        for (const auto& c : chunks)
            names.push_back(c.type);
        std::vector<std::string> want = { "IHDR", "tEXt", "tEXt", "tpNG", "gIFg", "cHRM", "sBIT",
            "bKGD", "pHYs", "IDAT", "IEND" };
        ASSERT_EQ(names, want);
        EXPECT_EQ(std::string(chunks[1].data.begin(), chunks[1].data.end()),
            std::string("Comment\0hello", 13));
        EXPECT_EQ(chunks[7].data, (std::vector<uint8_t> { 0, 1, 0, 2, 0, 3 }));
        // 96 and 300 dots per inch in dots per metre, unit 1.
        EXPECT_EQ(chunks[8].data, (std::vector<uint8_t> { 0, 0, 0x0E, 0xC4, 0, 0, 0x2E, 0x23, 1 }));
    }

    TEST(PngWrite, OneBitPictureSavedGreyIsDepthOneWithBlackAsZero)
    {
        TBitmap bitmap(10, 2, TPixelFormat::pf1bit);
        bitmap.SetPalette(std::vector<PaletteEntry> { { 255, 255, 255, 0 }, { 0, 0, 0, 0 } });
        std::memset(bitmap.Bits().data(), 0, bitmap.Bits().size());
        bitmap.ScanLine(0)[0] = 0xF0; // four black pixels, then white
        TPngImage png;
        png.Assign(bitmap);
        png.SetGreyscale(true);
        auto bytes = SaveToBytes(png);
        auto chunks = ListChunks(bytes);
        EXPECT_EQ(chunks[0].data[8], 1); // depth
        EXPECT_EQ(chunks[0].data[9], 0); // grey
        TPngImage back;
        platform::TSpanStream in(bytes);
        back.LoadFromStream(in);
        EXPECT_EQ(back.Bitmap().PixelFormat(), TPixelFormat::pf1bit);
        EXPECT_EQ(back.Bitmap().Pixel(0, 0), platform::Rgb(0, 0, 0));
        EXPECT_EQ(back.Bitmap().Pixel(4, 0), platform::Rgb(255, 255, 255));
        EXPECT_EQ(back.Bitmap().Pixel(9, 1), platform::Rgb(255, 255, 255));
    }

    TEST(PngWrite, TransparentColourForms)
    {
        TBitmap bitmap = RandomBitmap(TPixelFormat::pf8bit, 4, 4, 11);
        auto tRNS = [](const TPngImage& png) {
            for (const auto& c : ListChunks(SaveToBytes(png)))
                if (c.type == "tRNS")
                    return c.data;
            return std::vector<uint8_t> { 0xEE };
        };
        TPngImage png;
        png.Assign(bitmap);
        png.SetTransparentColor(platform::ToColor(bitmap.PaletteEntries()[5]));
        auto data = tRNS(png);
        ASSERT_EQ(data.size(), 6u);
        EXPECT_EQ(data, (std::vector<uint8_t> { 255, 255, 255, 255, 255, 0 }));
        png.SetTransparentColor(kPaletteIndexFlag | 2);
        EXPECT_EQ(tRNS(png), (std::vector<uint8_t> { 255, 255, 0 }));
        // A colour the palette doesn't hold makes nothing transparent.
        std::vector<PaletteEntry> grey(256, PaletteEntry { 10, 10, 10, 0 });
        bitmap.SetPalette(grey);
        png.Assign(bitmap);
        png.SetTransparentColor(platform::Rgb(1, 2, 3));
        EXPECT_EQ(tRNS(png), std::vector<uint8_t> { 0xEE });

        TPngImage colour;
        colour.Assign(RandomBitmap(TPixelFormat::pf24bit, 3, 3, 1));
        colour.SetTransparentColor(platform::Rgb(0x12, 0x34, 0x56));
        EXPECT_EQ(tRNS(colour), (std::vector<uint8_t> { 0, 0x12, 0, 0x34, 0, 0x56 }));
        colour.SetAlphaMask(RandomMask(3, 3)); // an alpha channel leaves no room for tRNS
        EXPECT_EQ(tRNS(colour), std::vector<uint8_t> { 0xEE });
    }

    TEST(PngWrite, HighColourIsExpandedWithSignificantBits)
    {
        for (auto format : { TPixelFormat::pf15bit, TPixelFormat::pf16bit }) {
            TBitmap bitmap(2, 1, format);
            // Pure red at full intensity and a mid value.
            uint16_t red = format == TPixelFormat::pf15bit ? 0x7C00 : 0xF800;
            uint16_t mid = format == TPixelFormat::pf15bit ? (16 << 10 | 16 << 5 | 16)
                                                           : (16 << 11 | 32 << 5 | 16);
            uint8_t* row = bitmap.ScanLine(0);
            row[0] = uint8_t(red), row[1] = uint8_t(red >> 8), row[2] = uint8_t(mid),
            row[3] = uint8_t(mid >> 8);
            TPngImage png;
            png.Assign(bitmap);
            auto bytes = SaveToBytes(png);
            std::vector<uint8_t> sbit;
            for (const auto& c : ListChunks(bytes))
                if (c.type == "sBIT")
                    sbit = c.data;
            EXPECT_EQ(sbit,
                (std::vector<uint8_t> { 5, uint8_t(format == TPixelFormat::pf16bit ? 6 : 5), 5 }));
            TPngImage back;
            platform::TSpanStream in(bytes);
            back.LoadFromStream(in);
            EXPECT_EQ(back.Bitmap().PixelFormat(), TPixelFormat::pf24bit);
            EXPECT_EQ(back.Bitmap().Pixel(0, 0), platform::Rgb(255, 0, 0));
            EXPECT_EQ(back.Bitmap().Pixel(1, 0),
                format == TPixelFormat::pf15bit ? platform::Rgb(0x84, 0x84, 0x84)
                                                : platform::Rgb(0x84, 0x82, 0x84));
            // Asked to keep high colour, the reader gives the format back.
            TPngImage keep;
            keep.ReadOptions.keepHighColor = true;
            platform::TSpanStream again(bytes);
            keep.LoadFromStream(again);
            EXPECT_EQ(keep.Bitmap().PixelFormat(), format);
            EXPECT_EQ(keep.Bitmap().RawPixel(0, 0), red);
            EXPECT_EQ(keep.Bitmap().RawPixel(1, 0), mid);
        }
    }

    TEST(PngWrite, IdatSizeOutsideItsRangeIsRefused)
    {
        TPngImage png;
        for (int bad : { 255, 100001, 0, -1 }) {
            try {
                png.SetIdatSize(bad);
                ADD_FAILURE() << bad << " accepted";
            } catch (const EPngError& e) {
                EXPECT_STREQ(e.what(), "Write PNG Param: Err IDAT Size(min:256  max:100000)");
            }
        }
        EXPECT_EQ(png.IdatSize(), 32768);
        png.SetIdatSize(256);
        png.SetIdatSize(100000);
        EXPECT_EQ(png.IdatSize(), 100000);
        platform::TMemoryStream out;
        PngWriteOptions options;
        options.idatSize = 255;
        EXPECT_THROW(TPngWriteStream(out, options), EPngError);
    }

    TEST(PngWrite, LevelAndFilterModeReachTheImageData)
    {
        TBitmap bitmap(64, 64, TPixelFormat::pf24bit);
        for (int32_t y = 0; y < 64; ++y)
            for (int32_t x = 0; x < 64 * 3; ++x)
                bitmap.ScanLine(y)[x] = uint8_t(x + y);
        TPngImage png;
        png.Assign(bitmap);
        png.SetCompressionLevel(0);
        size_t stored = SaveToBytes(png).size();
        png.SetCompressionLevel(12); // out of range: zlib's default
        EXPECT_EQ(png.CompressionLevel(), -1);
        size_t deflated = SaveToBytes(png).size();
        EXPECT_LT(deflated * 4, stored);
        for (int mode = 1; mode <= 5; ++mode) {
            png.SetFilterMode(mode);
            auto bytes = SaveToBytes(png);
            TPngImage back;
            platform::TSpanStream in(bytes);
            back.LoadFromStream(in);
            EXPECT_EQ(0,
                std::memcmp(
                    back.Bitmap().Bits().data(), bitmap.Bits().data(), bitmap.Bits().size()))
                << "mode " << mode;
        }
    }

    TEST(PngWrite, SaveToFileKeepsTheOldFileWhenWritingFails)
    {
        vtl::testing::TempDir dir;
        auto file = dir / "keep.png";
        testing::WriteFile(file, "old");
        TPngImage empty; // nothing to write
        EXPECT_THROW(empty.SaveToFile(file), EPngError);
        EXPECT_EQ(testing::ReadFile(file), "old");
        EXPECT_FALSE(std::filesystem::exists(dir / "keep.png.vtl-partial"));
        TPngImage png;
        png.Assign(RandomBitmap(TPixelFormat::pf4bit, 5, 5, 2));
        png.SaveToFile(file);
        TPngImage back;
        back.LoadFromFile(file);
        EXPECT_EQ(back.Width(), 5);
    }

} // namespace
} // namespace vtl::codecs
