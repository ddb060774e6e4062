// JPEG decoding and encoding against libjpeg-turbo's own djpeg, which decodes with the same
// library and the same defaults, so pixels must match exactly.

#include "codecs/jpeg_decoder.h"
#include "codecs/jpeg_encoder.h"
#include "platform/stream.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace vtl::codecs {
namespace {

    namespace fs = std::filesystem;
    using platform::TBitmap;
    using platform::TPixelFormat;

    const fs::path kJpegDir = fs::path(VTL_TESTDATA_DIR) / "jpeg";

#define SKIP_WITHOUT_TESTDATA()                                                                    \
    if (!fs::is_directory(kJpegDir))                                                               \
    GTEST_SKIP() << "JPEG test pictures not found in " << kJpegDir

    std::vector<uint8_t> ReadBytes(const fs::path& path) { return platform::ReadWholeFile(path); }

    // A PPM or PGM as djpeg writes it.
    struct Pnm {
        int width = 0;
        int height = 0;
        int channels = 0;
        std::vector<uint8_t> pixels;
    };

    struct PipeCloser {
        void operator()(std::FILE* f) const { pclose(f); }
    };

    std::optional<Pnm> RunDjpeg(const fs::path& file, int scaleDenom)
    {
        std::string command = "djpeg -scale 1/" + std::to_string(scaleDenom) + " -pnm '"
            + file.string() + "' 2>/dev/null";
        std::unique_ptr<std::FILE, PipeCloser> pipe(popen(command.c_str(), "r"));
        if (!pipe)
            return std::nullopt;
        Pnm pnm;
        char magic[3] = {};
        int maxval = 0;
        if (std::fscanf(pipe.get(), "%2s %d %d %d", magic, &pnm.width, &pnm.height, &maxval) != 4)
            return std::nullopt;
        std::fgetc(pipe.get());
        pnm.channels = std::string(magic) == "P5" ? 1 : 3;
        pnm.pixels.resize(size_t(pnm.width) * pnm.height * pnm.channels);
        if (std::fread(pnm.pixels.data(), 1, pnm.pixels.size(), pipe.get()) != pnm.pixels.size())
            return std::nullopt;
        return pnm;
    }

    // Red, green, blue of a 24-bit or grey 8-bit bitmap's pixel.
    std::array<int, 3> RgbAt(const TBitmap& bmp, int x, int y)
    {
        const uint8_t* row = bmp.ScanLine(y);
        if (bmp.PixelFormat() == TPixelFormat::pf8bit) {
            const auto& e = bmp.PaletteEntries()[row[x]];
            return { e.peRed, e.peGreen, e.peBlue };
        }
        return { row[3 * x + 2], row[3 * x + 1], row[3 * x] };
    }

    void ExpectSameAsDjpeg(const fs::path& file, JpegScale scale)
    {
        SCOPED_TRACE(file.filename().string() + " at 1/" + std::to_string(int(scale)));
        auto reference = RunDjpeg(file, int(scale));
        ASSERT_TRUE(reference) << "djpeg could not decode the file";
        TBitmap bmp;
        DecodeJpeg(ReadBytes(file), bmp, { scale, nullptr });
        ASSERT_EQ(bmp.Width(), reference->width);
        ASSERT_EQ(bmp.Height(), reference->height);
        if (reference->channels == 1) {
            ASSERT_EQ(bmp.PixelFormat(), TPixelFormat::pf8bit);
            ASSERT_EQ(bmp.PaletteEntries().size(), 256u);
            for (int i = 0; i < 256; ++i)
                ASSERT_EQ(bmp.PaletteEntries()[i],
                    (platform::PaletteEntry { uint8_t(i), uint8_t(i), uint8_t(i), 0 }));
        } else {
            ASSERT_EQ(bmp.PixelFormat(), TPixelFormat::pf24bit);
        }
        int differences = 0;
        for (int y = 0; y < bmp.Height(); ++y)
            for (int x = 0; x < bmp.Width(); ++x) {
                auto rgb = RgbAt(bmp, x, y);
                const uint8_t* ref
                    = &reference->pixels[(size_t(y) * bmp.Width() + x) * reference->channels];
                for (int c = 0; c < 3; ++c)
                    differences += rgb[c] != ref[reference->channels == 1 ? 0 : c];
            }
        EXPECT_EQ(differences, 0);
    }

    TEST(JpegDecoder, MatchesDjpegAtEveryScale)
    {
        SKIP_WITHOUT_TESTDATA();
        const char* files[] = { "libjpeg-turbo/testorig.jpg", "libjpeg-turbo/testimgp.jpg",
            "libjpeg-turbo/testimgint.jpg", "libjpeg-turbo/testimggray.jpg",
            "libjpeg-turbo/testimgari.jpg", "reftest/progressive3.jpg", "reftest/restarts.jpg",
            "reftest/non-interleaved-mcu.jpg", "reftest/grayscale_16x24_sampling2x2.jpg",
            "reftest/grayscale_long.jpg", "reftest/16bit-qtables.jpg",
            "reftest/extraneous-data.jpg" };
        for (const char* name : files)
            for (JpegScale scale :
                { JpegScale::Full, JpegScale::Half, JpegScale::Quarter, JpegScale::Eighth })
                ExpectSameAsDjpeg(kJpegDir / name, scale);
    }

    TEST(JpegDecoder, DamagedProgressiveFilesDecodeAsFarAsTheyGo)
    {
        SKIP_WITHOUT_TESTDATA();
        for (const char* name : { "reftest/partial_progressive.jpg",
                 "reftest/progressive-missing-ac.jpg", "reftest/progressive-missing-dc.jpg" })
            ExpectSameAsDjpeg(kJpegDir / name, JpegScale::Full);
    }

    // Mean absolute difference per channel between a decoded picture and a PPM.
    double MeanDifference(const TBitmap& bmp, const Pnm& ref)
    {
        double sum = 0;
        for (int y = 0; y < bmp.Height(); ++y)
            for (int x = 0; x < bmp.Width(); ++x) {
                auto rgb = RgbAt(bmp, x, y);
                for (int c = 0; c < 3; ++c)
                    sum += std::abs(rgb[c] - ref.pixels[(size_t(y) * ref.width + x) * 3 + c]);
            }
        return sum / (3.0 * bmp.Width() * bmp.Height());
    }

    TEST(JpegDecoder, AdobeYcckFilesGiveTheColoursOfTheirSource)
    {
        SKIP_WITHOUT_TESTDATA();
        // Both were made from testorig.jpg; inverted colours would be off by about a hundred.
        auto reference = RunDjpeg(kJpegDir / "libjpeg-turbo/testorig.jpg", 1);
        ASSERT_TRUE(reference);
        for (const char* name : { "made/cmyk-adobe.jpg", "made/cmyk-progressive.jpg" }) {
            SCOPED_TRACE(name);
            TBitmap bmp;
            DecodeJpeg(ReadBytes(kJpegDir / name), bmp);
            ASSERT_EQ(bmp.PixelFormat(), TPixelFormat::pf24bit);
            ASSERT_EQ(bmp.Width(), reference->width);
            ASSERT_EQ(bmp.Height(), reference->height);
            EXPECT_LT(MeanDifference(bmp, *reference), 6.0);
        }
    }

    // A 16 x 16 CMYK JPEG of one colour, written by libjpeg through our wrapper.
    std::vector<uint8_t> SolidCmykJpeg(std::array<uint8_t, 4> cmyk, bool adobeMarker)
    {
        std::vector<uint8_t> out;
        JpegCompress jpeg(out);
        auto& info = jpeg.Info();
        info.image_width = 16;
        info.image_height = 16;
        info.input_components = 4;
        info.in_color_space = JCS_CMYK;
        jpeg.SetDefaults();
        info.write_Adobe_marker = adobeMarker ? TRUE : FALSE;
        jpeg.SetQuality(100);
        jpeg.StartCompress();
        std::vector<uint8_t> row;
        for (int x = 0; x < 16; ++x)
            row.insert(row.end(), cmyk.begin(), cmyk.end());
        JSAMPROW rows[1] = { row.data() };
        for (int y = 0; y < 16; ++y)
            jpeg.WriteScanlines(rows, 1);
        jpeg.FinishCompress();
        return out;
    }

    TEST(JpegDecoder, CmykWithAndWithoutAdobeMarker)
    {
        // Ink 0 % cyan, 100 % magenta, 100 % yellow, 0 % black: red. With the Adobe marker the
        // values are stored inverted, as Photoshop writes them.
        struct Case {
            std::array<uint8_t, 4> stored;
            bool adobe;
        } cases[] = { { { 255, 0, 0, 255 }, true }, { { 0, 255, 255, 0 }, false } };
        for (const Case& c : cases) {
            SCOPED_TRACE(c.adobe ? "Adobe" : "plain");
            TBitmap bmp;
            DecodeJpeg(SolidCmykJpeg(c.stored, c.adobe), bmp);
            auto rgb = RgbAt(bmp, 8, 8);
            EXPECT_NEAR(rgb[0], 255, 2);
            EXPECT_NEAR(rgb[1], 0, 2);
            EXPECT_NEAR(rgb[2], 0, 2);
        }
        // Half black over no colour is mid grey either way.
        TBitmap bmp;
        DecodeJpeg(SolidCmykJpeg({ 0, 0, 0, 128 }, false), bmp);
        EXPECT_NEAR(RgbAt(bmp, 3, 3)[1], 127, 2);
    }

    TEST(JpegDecoder, RefusesWhatLibjpegCannotReadAndLeavesTheBitmap)
    {
        SKIP_WITHOUT_TESTDATA();
        TBitmap bmp(3, 2, TPixelFormat::pf24bit);
        // 12-bit samples are beyond an 8-bit libjpeg: a clean refusal.
        for (const char* name : { "libjpeg-turbo/testorig12.jpg", "libjpeg-turbo/monkey12.jpg" }) {
            SCOPED_TRACE(name);
            EXPECT_THROW(DecodeJpeg(ReadBytes(kJpegDir / name), bmp), EJpegError);
            EXPECT_EQ(bmp.Width(), 3);
        }
        const uint8_t notJpeg[] = { 0x89, 'P', 'N', 'G', 0, 0, 0, 0 };
        EXPECT_THROW(DecodeJpeg(notJpeg, bmp), EJpegError);
        EXPECT_THROW(ReadJpegSize({}), EJpegError);
        EXPECT_EQ(bmp.Height(), 2);
    }

    TEST(JpegDecoder, TruncatedFileDecodesWhatIsThere)
    {
        SKIP_WITHOUT_TESTDATA();
        auto bytes = ReadBytes(kJpegDir / "libjpeg-turbo/testorig.jpg");
        bytes.resize(bytes.size() / 2);
        TBitmap bmp;
        DecodeJpeg(bytes, bmp);
        EXPECT_EQ(bmp.Width(), 227);
        EXPECT_EQ(bmp.Height(), 149);
        // libjpeg fills what is missing with grey.
        EXPECT_EQ(RgbAt(bmp, 200, 148), (std::array<int, 3> { 128, 128, 128 }));
    }

    TEST(JpegDecoder, PicturesBeyondTheLimitsAreRefusedBeforeAllocating)
    {
        SKIP_WITHOUT_TESTDATA();
        auto bytes = ReadBytes(kJpegDir / "libjpeg-turbo/testorig.jpg");
        // Make the frame header claim 65500 x 65500.
        for (size_t i = 0; i + 9 < bytes.size(); ++i)
            if (bytes[i] == 0xFF && bytes[i + 1] == 0xC0) {
                bytes[i + 5] = bytes[i + 7] = 0xFF;
                bytes[i + 6] = bytes[i + 8] = 0xDC;
                break;
            }
        EXPECT_EQ(ReadJpegSize(bytes), (JpegSize { 65500, 65500 }));
        const long before = platform::MappedBlock::LiveBlocks();
        TBitmap bmp;
        EXPECT_THROW(DecodeJpeg(bytes, bmp), EJpegError);
        EXPECT_EQ(platform::MappedBlock::LiveBlocks(), before);
        EXPECT_TRUE(bmp.Empty());
    }

    TEST(JpegDecoder, ProgressReportsStagesAndRisingPercents)
    {
        SKIP_WITHOUT_TESTDATA();
        for (const char* name : { "libjpeg-turbo/testorig.jpg", "reftest/progressive3.jpg" }) {
            SCOPED_TRACE(name);
            std::vector<platform::ProgressReport> reports;
            platform::ProgressHandler handler
                = [&](const platform::ProgressReport& r) { reports.push_back(r); };
            TBitmap bmp;
            DecodeJpeg(ReadBytes(kJpegDir / name), bmp, { JpegScale::Full, &handler });
            ASSERT_GE(reports.size(), 3u);
            EXPECT_EQ(reports.front().stage, platform::ProgressStage::Starting);
            EXPECT_EQ(reports.back().stage, platform::ProgressStage::Ending);
            EXPECT_EQ(reports.back().percent, 100);
            int last = 0;
            for (size_t i = 1; i + 1 < reports.size(); ++i) {
                EXPECT_EQ(reports[i].stage, platform::ProgressStage::Running);
                EXPECT_GE(reports[i].percent, last);
                EXPECT_LE(reports[i].percent, 100);
                last = reports[i].percent;
            }
        }
    }

    TEST(JpegSize, HeaderAloneGivesTheScaledSize)
    {
        SKIP_WITHOUT_TESTDATA();
        const fs::path file = kJpegDir / "reftest/progressive3.jpg";
        auto bytes = ReadBytes(file);
        // Everything before the first scan is enough.
        size_t sos = 0;
        for (size_t i = 0; i + 1 < bytes.size(); ++i)
            if (bytes[i] == 0xFF && bytes[i + 1] == 0xDA) {
                sos = i;
                break;
            }
        ASSERT_GT(sos, 0u);
        bytes.resize(sos + 40);
        for (JpegScale scale :
            { JpegScale::Full, JpegScale::Half, JpegScale::Quarter, JpegScale::Eighth }) {
            auto reference = RunDjpeg(file, int(scale));
            ASSERT_TRUE(reference);
            const JpegSize expected { reference->width, reference->height };
            EXPECT_EQ(ReadJpegSize(bytes, scale), expected);
            EXPECT_EQ(ReadJpegFileSize(file, scale), expected);
        }
        // 650 x 470 at one eighth rounds up.
        EXPECT_EQ(ReadJpegFileSize(file, JpegScale::Eighth), (JpegSize { 82, 59 }));
        EXPECT_THROW(ReadJpegFileSize(kJpegDir / "no-such-file.jpg"), EJpegError);
    }

    TEST(JpegScaleRule, PicksTheScaleFromTheSizeAtOneEighth)
    {
        struct Case {
            JpegSize eighth;
            int cellW, cellH;
            JpegScale expected;
        } cases[] = {
            // 640 x 480 at 1/8 is 80 x 60: at least a 64 x 48 cell, stays at 1/8.
            { { 80, 60 }, 64, 48, JpegScale::Eighth },
            { { 64, 48 }, 64, 48, JpegScale::Eighth },
            { { 63, 48 }, 64, 48, JpegScale::Quarter },
            { { 80, 47 }, 64, 48, JpegScale::Quarter },
            { { 31, 60 }, 64, 48, JpegScale::Half },
            { { 40, 23 }, 64, 48, JpegScale::Half },
            { { 15, 60 }, 64, 48, JpegScale::Full },
            { { 80, 11 }, 64, 48, JpegScale::Full },
            { { 16, 12 }, 64, 48, JpegScale::Half },
            { { 127, 95 }, 128, 96, JpegScale::Quarter },
            // 112 x 84 cells: quarter widths are 28, half widths 56.
            { { 27, 100 }, 112, 84, JpegScale::Full },
            { { 55, 100 }, 112, 84, JpegScale::Half },
        };
        for (const Case& c : cases)
            EXPECT_EQ(PickJpegScale(c.eighth, c.cellW, c.cellH, JpegScale::Eighth), c.expected)
                << c.eighth.width << " x " << c.eighth.height << " in " << c.cellW << " x "
                << c.cellH;
        // Applied to a full-size decode, pictures at least as large as the cell stay full.
        EXPECT_EQ(PickJpegScale({ 640, 480 }, 64, 48, JpegScale::Full), JpegScale::Full);
    }

    // A picture with some structure: a colour ramp with a dark diagonal.
    TBitmap TestPicture(int w, int h)
    {
        TBitmap bmp(w, h, TPixelFormat::pf24bit);
        for (int y = 0; y < h; ++y) {
            uint8_t* row = bmp.ScanLine(y);
            for (int x = 0; x < w; ++x) {
                bool line = std::abs(x - y) < 3;
                row[3 * x] = line ? 0 : uint8_t(x * 255 / w);
                row[3 * x + 1] = line ? 0 : uint8_t(y * 255 / h);
                row[3 * x + 2] = line ? 0 : uint8_t((x ^ y) & 0xFF);
            }
        }
        return bmp;
    }

    TEST(JpegEncoder, QualityReachesTheEncoder)
    {
        TBitmap picture = TestPicture(96, 80);
        size_t previous = 0;
        for (int quality : { 1, 10, 50, 90, 100 }) {
            auto bytes = EncodeJpeg(picture, quality);
            EXPECT_GT(bytes.size(), previous) << "quality " << quality;
            previous = bytes.size();
        }
        // Out of range values are held to 1..100.
        EXPECT_EQ(EncodeJpeg(picture, 0), EncodeJpeg(picture, 1));
        EXPECT_EQ(EncodeJpeg(picture, 250), EncodeJpeg(picture, 100));
    }

    TEST(JpegEncoder, DjpegReadsWhatWeWriteFromEveryFormat)
    {
        vtl::testing::TempDir dir;
        TBitmap original = TestPicture(48, 40);
        for (TPixelFormat format : { TPixelFormat::pf24bit, TPixelFormat::pf32bit,
                 TPixelFormat::pf16bit, TPixelFormat::pf15bit, TPixelFormat::pf8bit,
                 TPixelFormat::pf4bit, TPixelFormat::pf1bit }) {
            SCOPED_TRACE(static_cast<int>(format));
            TBitmap source = original;
            source.SetPixelFormat(format);
            TBitmap expected = source;
            expected.SetPixelFormat(TPixelFormat::pf24bit);

            const fs::path file = dir / "out.jpg";
            platform::TFileStream stream(file, platform::TFileMode::Create);
            SaveJpegToStream(source, 95, stream);
            stream.Flush();
            auto decoded = RunDjpeg(file, 1);
            ASSERT_TRUE(decoded);
            ASSERT_EQ(decoded->width, 48);
            ASSERT_EQ(decoded->height, 40);
            ASSERT_EQ(decoded->channels, 3);
            EXPECT_LT(MeanDifference(expected, *decoded), 6.0);
        }
    }

    TEST(JpegEncoder, RoundTripAndEmptyBitmap)
    {
        TBitmap picture = TestPicture(33, 17);
        TBitmap back;
        DecodeJpeg(EncodeJpeg(picture, 100), back);
        ASSERT_EQ(back.Width(), 33);
        ASSERT_EQ(back.Height(), 17);
        // Chroma is subsampled, so single pixels of the xor pattern may be far off; the mean
        // stays small.
        double sum = 0;
        for (int y = 0; y < 17; ++y)
            for (int x = 0; x < 33; ++x)
                for (int c = 0; c < 3; ++c)
                    sum += std::abs(RgbAt(back, x, y)[c] - RgbAt(picture, x, y)[c]);
        EXPECT_LT(sum / (33 * 17 * 3), 8.0);
        EXPECT_THROW(EncodeJpeg(TBitmap(), 90), EJpegError);
    }

} // namespace
} // namespace vtl::codecs
