// The reader on files built by hand: header checks, chunk placement, transparency forms, damaged
// and lying data, limits.
#include "codecs/png_errors.h"
#include "codecs/png_format.h"
#include "codecs/png_image.h"
#include "codecs/png_test_builder.h"
#include "document/dib.h"
#include "platform/mapped_block.h"
#include "platform/stream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace vtl::codecs {
namespace {

    using platform::TPixelFormat;
    using testing::PngBuilder;

    // Raw rows of `height` rows of `rowBytes` bytes, filter None, filled with the row's number.
    std::vector<uint8_t> PlainRows(size_t rowBytes, size_t height)
    {
        std::vector<uint8_t> raw;
        for (size_t y = 0; y < height; ++y) {
            raw.push_back(0);
            raw.insert(raw.end(), rowBytes, uint8_t(y));
        }
        return raw;
    }

    TPngImage Load(const std::vector<uint8_t>& bytes)
    {
        TPngImage png;
        platform::TSpanStream in(bytes);
        png.LoadFromStream(in);
        return png;
    }

    std::string LoadError(const std::vector<uint8_t>& bytes)
    {
        try {
            Load(bytes);
        } catch (const EPngError& e) {
            return e.what();
        }
        return "loaded";
    }

    TEST(PngRead, HeaderChecksGiveTheirMessages)
    {
        struct Case {
            uint8_t depth, colorType, interlace, compression, filter;
            const char* message;
        };
        const Case cases[] = {
            { 8, 1, 0, 0, 0, kPngErrorColorType },
            { 8, 5, 0, 0, 0, kPngErrorColorType },
            { 8, 7, 0, 0, 0, kPngErrorColorType },
            { 8, 9, 0, 0, 0, kPngErrorColorType },
            { 8, 0, 0, 2, 0, kPngNotSupportCompression },
            { 8, 0, 0, 0, 2, kPngNotSupportFilter },
            { 8, 0, 2, 0, 0, kPngNotInterlaceType },
            { 3, 0, 0, 0, 0, kPngErrorGreyBitdepth },
            { 32, 0, 0, 0, 0, kPngErrorGreyBitdepth },
            { 4, 4, 0, 0, 0, kPngNotUseAlphaChannel },
            { 2, 4, 0, 0, 0, kPngNotUseAlphaChannel },
            { 4, 2, 0, 0, 0, kPngErrorBitDepth },
            { 4, 6, 0, 0, 0, kPngErrorBitDepth },
            { 16, 3, 0, 0, 0, kPngErrorBitDepth },
        };
        for (const auto& c : cases) {
            auto bytes
                = PngBuilder()
                      .Header(4, 4, c.depth, c.colorType, c.interlace, c.compression, c.filter)
                      .Image(PlainRows(16, 4))
                      .End()
                      .Bytes();
            EXPECT_EQ(LoadError(bytes), c.message) << int(c.depth) << "/" << int(c.colorType);
        }
        auto twice = PngBuilder()
                         .Header(1, 1, 8, 0)
                         .Header(1, 1, 8, 0)
                         .Image(PlainRows(1, 1))
                         .End()
                         .Bytes();
        EXPECT_EQ(LoadError(twice), kPngTwoIhdr);
        EXPECT_EQ(LoadError({ 137, 80, 78, 71 }), kPngNotPngFormat);
    }

    TEST(PngRead, TwoBitGreyBecomesFourBitsAndSixteenBitsTheirHighBytes)
    {
        // 2-bit grey: values 0 1 2 3 | 3 2 1 0
        auto grey2 = PngBuilder()
                         .Header(8, 1, 2, 0)
                         .Image(std::vector<uint8_t> { 0, 0x1B, 0xE4 })
                         .End()
                         .Bytes();
        TPngImage png = Load(grey2);
        const auto& b = png.Bitmap();
        ASSERT_EQ(b.PixelFormat(), TPixelFormat::pf4bit);
        ASSERT_EQ(b.PaletteEntries().size(), 4u);
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(b.PaletteEntries()[i].peRed, 85 * i);
        for (int x = 0; x < 8; ++x)
            EXPECT_EQ(b.RawPixel(x, 0), uint32_t(x < 4 ? x : 7 - x)) << x;

        // 16-bit truecolour: R G B = 0x1234 0x5678 0x9ABC
        auto rgb16 = PngBuilder()
                         .Header(1, 1, 16, 2)
                         .Image(std::vector<uint8_t> { 0, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC })
                         .End()
                         .Bytes();
        TPngImage colour = Load(rgb16);
        EXPECT_EQ(colour.Bitmap().PixelFormat(), TPixelFormat::pf24bit);
        EXPECT_EQ(colour.Bitmap().Pixel(0, 0), platform::Rgb(0x12, 0x56, 0x9A));
        EXPECT_EQ(colour.BitDepth(), 16);
    }

    TEST(PngRead, WrongCrcsLoadAndCommentsAccumulate)
    {
        auto bytes = PngBuilder()
                         .Header(2, 1, 8, 0)
                         .Text("Comment", "first")
                         .Text("Title", "ignored")
                         .Image(std::vector<uint8_t> { 0, 7, 9 })
                         .Chunk("IDAT", { 1, 2, 3 }, false) // after the image: ignored
                         .Text("Comment", "second")
                         .End()
                         .Bytes();
        // Spoil every CRC.
        for (size_t at = 8; at + 12 <= bytes.size();) {
            uint32_t len
                = (bytes[at] << 24) | (bytes[at + 1] << 16) | (bytes[at + 2] << 8) | bytes[at + 3];
            bytes[at + 8 + len] ^= 0xFF;
            at += 12 + len;
        }
        TPngImage png = Load(bytes);
        EXPECT_EQ(png.Comment(), "first\r\nsecond\r\n");
        EXPECT_EQ(png.Bitmap().Pixel(1, 0), platform::Rgb(9, 9, 9));
        EXPECT_EQ(png.Gamma(), 0); // the file gave none
    }

    TEST(PngRead, TransparencyForms)
    {
        auto palette = [](std::initializer_list<uint8_t> trns) {
            PngBuilder b;
            b.Header(2, 1, 8, 3).Chunk("PLTE", { 1, 1, 1, 2, 2, 2, 3, 3, 3 }).Chunk("tRNS", trns);
            return Load(b.Image(std::vector<uint8_t> { 0, 1, 2 }).End().Bytes());
        };
        // Exactly one 0 and the rest 255: a transparent index.
        TPngImage single = palette({ 255, 0, 255 });
        EXPECT_EQ(single.TransparentColor(), kPaletteIndexFlag | 1);
        EXPECT_FALSE(single.HadAlpha());
        EXPECT_TRUE(single.Transparent());
        // Anything else: the alpha mask, inverted; entries beyond tRNS are opaque.
        TPngImage partial = palette({ 255, 128 });
        EXPECT_FALSE(partial.TransparentColor());
        ASSERT_TRUE(partial.HadAlpha());
        EXPECT_EQ(partial.AlphaMask().ScanLine(0)[0], 127);
        EXPECT_EQ(partial.AlphaMask().ScanLine(0)[1], 0);

        // Grey: the colour the palette shows for the sample.
        auto grey = [](uint8_t depth, uint16_t sample) {
            return Load(PngBuilder()
                            .Header(1, 1, depth, 0)
                            .Chunk("tRNS", { uint8_t(sample >> 8), uint8_t(sample) })
                            .Image(std::vector<uint8_t>(2 + depth / 8, 0))
                            .End()
                            .Bytes())
                .TransparentColor();
        };
        EXPECT_EQ(grey(8, 0x40), platform::Rgb(0x40, 0x40, 0x40));
        EXPECT_EQ(grey(16, 0x40FF), platform::Rgb(0x40, 0x40, 0x40));
        EXPECT_EQ(grey(1, 1), platform::Rgb(255, 255, 255));
        EXPECT_EQ(grey(2, 1), platform::Rgb(85, 85, 85));
        EXPECT_EQ(grey(4, 2), platform::Rgb(34, 34, 34));
        EXPECT_EQ(grey(4, 16), std::nullopt);

        // Truecolour: low bytes at depth 8, high bytes at 16.
        auto rgb = [](uint8_t depth) {
            return Load(PngBuilder()
                            .Header(1, 1, depth, 2)
                            .Chunk("tRNS", { 0xA1, 0x01, 0xA2, 0x02, 0xA3, 0x03 })
                            .Chunk("bKGD", { 0xB1, 0x04, 0xB2, 0x05, 0xB3, 0x06 })
                            .Image(std::vector<uint8_t>(1 + 3 * depth / 8, 0))
                            .End()
                            .Bytes());
        };
        EXPECT_EQ(rgb(8).TransparentColor(), platform::Rgb(1, 2, 3));
        EXPECT_EQ(rgb(8).BackgroundColor(), platform::Rgb(4, 5, 6));
        EXPECT_EQ(rgb(16).TransparentColor(), platform::Rgb(0xA1, 0xA2, 0xA3));

        // An image with alpha ignores tRNS.
        auto rgba = Load(PngBuilder()
                             .Header(1, 1, 8, 6)
                             .Chunk("tRNS", { 0, 1, 0, 2, 0, 3 })
                             .Image(std::vector<uint8_t> { 0, 1, 2, 3, 64 })
                             .End()
                             .Bytes());
        EXPECT_FALSE(rgba.TransparentColor());
        EXPECT_EQ(rgba.AlphaMask().ScanLine(0)[0], 255 - 64);
    }

    TEST(PngRead, DescriptiveChunksCountOnlyBetweenHeaderAndImage)
    {
        auto bytes = PngBuilder()
                         .Chunk("gAMA", { 0, 0, 0x27, 0x10 }) // before IHDR: ignored
                         .Chunk("tIME", { 0x07, 0xD0, 1, 2, 3, 4, 5 })
                         .Header(1, 1, 8, 2)
                         .Chunk("gAMA", { 0, 1, 0x86, 0xA0 })
                         .Chunk("pHYs", { 0, 0, 0x0E, 0xC4, 0, 0, 0x0E, 0xC4, 1 })
                         .Chunk("sBIT", { 5, 6, 5 })
                         .Chunk("cHRM", std::vector<uint8_t>(32, 1))
                         .Chunk("PLTE", { 9, 9, 9 })
                         .Image(std::vector<uint8_t> { 0, 1, 2, 3 })
                         .Chunk("bKGD", { 0, 1, 0, 1, 0, 1 }) // after the image: ignored
                         .End()
                         .Bytes();
        TPngImage png;
        png.ReadOptions.keepTime = true;
        platform::TSpanStream in(bytes);
        png.LoadFromStream(in);
        EXPECT_DOUBLE_EQ(png.Gamma(), 1.0);
        EXPECT_EQ(png.PhysicalSize(), (PngPhysicalSize { PngUnit::Metre, 3780, 3780 }));
        EXPECT_EQ(png.SignificantBits(), (PngSignificantBits { { 5, 6, 5, 0 }, 3 }));
        EXPECT_EQ(png.WriteTime(), (PngTime { 2000, 1, 2, 3, 4, 5 }));
        EXPECT_FALSE(png.Chromaticities()); // not asked for
        EXPECT_FALSE(png.BackgroundColor());
        EXPECT_EQ(png.Bitmap().PaletteEntries().size(), 1u);
    }

    TEST(PngRead, ImageDataSplitIntoTinyChunksAndInterlacedLoads)
    {
        std::vector<uint8_t> raw;
        for (int y = 0; y < 5; ++y) {
            raw.push_back(uint8_t(y % 5)); // every filter type once
            for (int x = 0; x < 7; ++x)
                raw.push_back(uint8_t(x * 31 + y * 7));
        }
        auto once = Load(PngBuilder().Header(7, 5, 8, 0).Image(raw).End().Bytes());
        auto split = Load(PngBuilder().Header(7, 5, 8, 0).Image(raw, 1).End().Bytes());
        ASSERT_EQ(once.Bitmap().Bits().size(), split.Bitmap().Bits().size());
        EXPECT_EQ(0,
            std::memcmp(once.Bitmap().Bits().data(), split.Bitmap().Bits().data(),
                once.Bitmap().Bits().size()));
        // A zero-length IDAT in the middle does not end the data.
        auto z = PngBuilder::Compress(raw);
        auto gap = PngBuilder()
                       .Header(7, 5, 8, 0)
                       .Chunk("IDAT", std::span(z).first(5))
                       .Chunk("IDAT", std::span<const uint8_t>())
                       .Chunk("IDAT", std::span(z).subspan(5))
                       .End()
                       .Bytes();
        EXPECT_NO_THROW(Load(gap));
    }

    TEST(PngRead, DamagedImageDataIsAReadError)
    {
        auto raw = PlainRows(10, 10);
        auto z = PngBuilder::Compress(raw);
        auto withData = [&](std::span<const uint8_t> data) {
            return LoadError(PngBuilder().Header(10, 10, 8, 0).Chunk("IDAT", data).End().Bytes());
        };
        EXPECT_EQ(withData(std::span(z).first(z.size() / 2)), kPngReadError); // cut short
        auto corrupt = z;
        corrupt[0] = 0x00; // not a zlib header
        EXPECT_EQ(withData(corrupt), kPngReadError);
        auto badFilter = raw;
        badFilter[11] = 5;
        EXPECT_EQ(withData(PngBuilder::Compress(badFilter)), kPngReadError);
        // Too few rows in a complete zlib stream.
        EXPECT_EQ(
            withData(PngBuilder::Compress(std::span(raw).first(raw.size() - 11))), kPngReadError);
        // Image data interrupted by another chunk.
        auto interrupted = PngBuilder()
                               .Header(10, 10, 8, 0)
                               .Chunk("IDAT", std::span(z).first(4))
                               .Text("Comment", "x")
                               .Chunk("IDAT", std::span(z).subspan(4))
                               .End()
                               .Bytes();
        EXPECT_EQ(LoadError(interrupted), kPngReadError);
        // No image data at all, or data before the header.
        EXPECT_EQ(LoadError(PngBuilder().Header(10, 10, 8, 0).End().Bytes()), kPngReadError);
        EXPECT_EQ(
            LoadError(PngBuilder().Image(raw).Header(10, 10, 8, 0).End().Bytes()), kPngReadError);
        // A file that stops after a complete image is fine; one that stops inside a chunk
        // after it too.
        auto good = PngBuilder().Header(10, 10, 8, 0).Image(raw).Bytes();
        EXPECT_NO_THROW(Load(good));
        good.insert(good.end(), { 0, 0, 0, 50, 't', 'E', 'X', 't', 'a' });
        EXPECT_NO_THROW(Load(good));
        good.insert(good.end() - 9, { 0xFF, 0xFF, 0xFF, 0xFF, 'z', 'z', 'z', 'z' });
        EXPECT_NO_THROW(Load(good));
    }

    TEST(PngRead, SizesAreCheckedBeforeAnythingIsAllocated)
    {
        long blocks = platform::MappedBlock::LiveBlocks();
        // Beyond the side limit.
        EXPECT_EQ(
            LoadError(
                PngBuilder().Header(0x7FFFFFFF, 1, 8, 0).Image(PlainRows(1, 1)).End().Bytes()),
            kPngTooLarge);
        EXPECT_EQ(
            LoadError(
                PngBuilder().Header(200000, 200000, 8, 6).Image(PlainRows(1, 1)).End().Bytes()),
            kPngTooLarge);
        EXPECT_EQ(LoadError(PngBuilder().Header(0, 5, 8, 0).Image(PlainRows(1, 1)).End().Bytes()),
            kPngReadError);
        // Within the limits, but far more pixels than the few bytes of data can hold.
        EXPECT_EQ(
            LoadError(PngBuilder().Header(20000, 20000, 8, 2).Image(PlainRows(4, 4)).End().Bytes()),
            kPngReadError);
        // A chunk length the file can't back.
        auto lying = PngBuilder().Header(1, 1, 8, 0).Bytes();
        lying.insert(lying.end(), { 0x7F, 0xFF, 0xFF, 0xF0, 't', 'E', 'X', 't', 'C', 'o' });
        EXPECT_EQ(LoadError(lying), kPngReadError);
        EXPECT_EQ(platform::MappedBlock::LiveBlocks(), blocks);
    }

    TEST(PngRead, FailedLoadKeepsThePreviousPicture)
    {
        auto good = PngBuilder().Header(3, 2, 8, 0).Image(PlainRows(3, 2)).End().Bytes();
        TPngImage png = Load(good);
        png::Inflater::FailNextInitForTesting(1);
        platform::TSpanStream in(good);
        try {
            png.LoadFromStream(in);
            ADD_FAILURE();
        } catch (const EPngError& e) {
            EXPECT_STREQ(e.what(), kPngErrorZlib);
        }
        EXPECT_EQ(png.Width(), 3);
        EXPECT_EQ(png.Bitmap().Pixel(0, 1), platform::Rgb(1, 1, 1));
    }

    TEST(PngRead, GreyWithAlphaFromAPaletteTakesThePalette)
    {
        auto bytes = PngBuilder()
                         .Header(1, 1, 8, 4)
                         .Chunk("tpNG", { 'V', 'T', 'L', '3', 0, 1, 0, 0 })
                         .Chunk("PLTE", { 10, 20, 30, 40, 50, 60 })
                         .Image(std::vector<uint8_t> { 0, 1, 200 })
                         .End()
                         .Bytes();
        TPngImage png = Load(bytes);
        EXPECT_EQ(png.Bitmap().Pixel(0, 0), platform::Rgb(40, 50, 60));
        EXPECT_EQ(png.AlphaMask().ScanLine(0)[0], 55);
    }

    TEST(PngRead, ProgressRunsToTheEnd)
    {
        auto bytes = PngBuilder().Header(4, 100, 8, 0).Image(PlainRows(4, 100)).End().Bytes();
        TPngImage png;
        std::vector<int> seen;
        bool ended = false;
        png.OnProgress = [&](const platform::ProgressReport& r) {
            seen.push_back(r.percent);
            ended = r.stage == platform::ProgressStage::Ending;
        };
        platform::TSpanStream in(bytes);
        png.LoadFromStream(in);
        EXPECT_TRUE(ended);
        EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
        EXPECT_GT(seen.size(), 3u);
    }

    TEST(PngRead, PictureGoesToAndComesFromTheImageBuffer)
    {
        std::vector<uint8_t> raw { 0, 0x12 }; // 4-bit palette: indices 1 and 2
        auto bytes = PngBuilder()
                         .Header(2, 1, 4, 3)
                         .Chunk("PLTE", { 0, 0, 0, 10, 20, 30, 40, 50, 60 })
                         .Image(raw)
                         .End()
                         .Bytes();
        TPngImage png = Load(bytes);
        document::TDIB dib;
        png.AssignTo(dib);
        EXPECT_EQ(dib.BitCount(), 4);
        EXPECT_EQ(dib.Width(), 2);
        EXPECT_EQ(platform::ToColor(dib.ColorTable()[2]), platform::Rgb(40, 50, 60));
        TPngImage again;
        again.Assign(dib);
        EXPECT_EQ(again.Bitmap().Pixel(0, 0), platform::Rgb(10, 20, 30));
        EXPECT_EQ(again.Bitmap().Pixel(1, 0), platform::Rgb(40, 50, 60));
    }

    TEST(PngFilters, UnfilterUndoesEveryFilterAtEveryPixelSize)
    {
        std::vector<uint8_t> row(37), prev(37), filtered(37);
        for (size_t i = 0; i < row.size(); ++i) {
            row[i] = uint8_t(i * 97 + 13);
            prev[i] = uint8_t(i * 53 + 200);
        }
        for (size_t unit : { 1, 2, 3, 4, 6, 8 })
            for (uint8_t type = 0; type < 5; ++type) {
                png::FilterRow(png::FilterType(type), row, prev, unit, filtered);
                ASSERT_TRUE(png::UnfilterRow(type, filtered, prev, unit));
                EXPECT_EQ(filtered, row) << "type " << int(type) << " unit " << unit;
            }
        EXPECT_FALSE(png::UnfilterRow(5, filtered, prev, 1));
        // Paeth by hand. Left edge: a = c = 0, b = 15, so b. Next: a = 25, b = 20, c = 15,
        // p = 30, nearest a.
        std::vector<uint8_t> r { 10, 1 }, p { 15, 20 };
        ASSERT_TRUE(png::UnfilterRow(4, r, p, 1));
        EXPECT_EQ(r[0], 25);
        EXPECT_EQ(r[1], 26);
    }

} // namespace
} // namespace vtl::codecs
