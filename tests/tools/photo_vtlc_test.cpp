// Photos through vtlc as a user runs it: pictures come out upright and in sRGB, unless
// --keep-orientation or --keep-colours say otherwise, and what is written carries no tag that
// would turn it again. Expected pictures come from the upright source or from ImageMagick.
#include "support/photo_pictures.h"
#include "vtlc_fixture.h"

#include <gtest/gtest.h>

namespace vtl::testing {
namespace {

    using platform::TBitmap;

    class PhotoVtlcTest : public VtlcTest {
    protected:
        void SetUp() override
        {
            if (!HavePhotoTools())
                GTEST_SKIP() << "exiftool or ImageMagick is not installed";
        }
        TBitmap ReadBmp(const std::string& name)
        {
            TBitmap b;
            b.LoadFromFile(P(name));
            return b;
        }
        // ImageMagick's reading of `file`, with `options` before the output, as a BMP.
        TBitmap Magick(const std::string& file, const std::string& options = "")
        {
            const std::string out = P(file + ".magick.bmp");
            EXPECT_TRUE(Shell(
                std::string(kMagick) + " '" + P(file) + "' " + options + " BMP3:'" + out + "'"));
            TBitmap b;
            b.LoadFromFile(out);
            return b;
        }
        std::string Exif(const std::string& file, const std::string& tag)
        {
            const std::string out = P("exif.txt");
            std::system(
                ("exiftool -s3 -n -" + tag + " '" + P(file) + "' >'" + out + "' 2>/dev/null")
                    .c_str());
            return ReadFile(out);
        }

        const TBitmap m_source = BlockPicture();
    };

    TEST_F(PhotoVtlcTest, AllEightOrientationsConvertUprightOrAsStored)
    {
        for (int orientation = 1; orientation <= 8; ++orientation) {
            const std::string n = std::to_string(orientation);
            ASSERT_TRUE(WriteOrientedJpeg(m_source, P("o" + n + ".jpg"), orientation));
            ASSERT_EQ(
                Vtlc("convert '" + P("o" + n + ".jpg") + "' '" + P("u" + n + ".bmp") + "'").status,
                0);
            EXPECT_LE(MaxDifference(ReadBmp("u" + n + ".bmp"), Oriented(m_source, orientation)), 3)
                << n;
            ASSERT_EQ(Vtlc("convert --keep-orientation '" + P("o" + n + ".jpg") + "' '"
                          + P("k" + n + ".bmp") + "'")
                          .status,
                0);
            EXPECT_LE(MaxDifference(ReadBmp("k" + n + ".bmp"), m_source), 3) << n;
        }
    }

    TEST_F(PhotoVtlcTest, SavedPicturesAreUprightWithoutAnOrientationTag)
    {
        ASSERT_TRUE(WriteOrientedJpeg(m_source, P("photo.jpg"), 6));
        ASSERT_EQ(Exif("photo.jpg", "Orientation"), "6\n");
        for (const char* out : { "saved.jpg", "saved.png" }) {
            ASSERT_EQ(
                Vtlc("convert --quality 100 '" + P("photo.jpg") + "' '" + P(out) + "'").status, 0)
                << out;
            EXPECT_EQ(Exif(out, "Orientation"), "") << out;
            // Another program shows the saved file as the photo was meant to be seen.
            EXPECT_LE(
                MaxBlockCentreDifference(Magick(out, "-auto-orient"), Oriented(m_source, 6)), 6)
                << out;
        }
        // apply reads the same way, the picture joined by `join` included.
        ASSERT_EQ(Vtlc("apply '" + P("photo.jpg") + "' '" + P("joined.bmp") + "' join '"
                      + P("photo.jpg") + "' side 0 white")
                      .status,
            0);
        const TBitmap joined = ReadBmp("joined.bmp");
        EXPECT_EQ(joined.Width(), 2 * m_source.Height());
        EXPECT_EQ(joined.Height(), m_source.Width());
    }

    TEST_F(PhotoVtlcTest, PngAndTiffOrientationsAreExact)
    {
        for (int orientation : { 3, 6, 7 }) {
            const std::string n = std::to_string(orientation);
            ASSERT_TRUE(WriteOrientedPng(m_source, P("o" + n + ".png"), orientation));
            ASSERT_EQ(
                Vtlc("convert '" + P("o" + n + ".png") + "' '" + P("p" + n + ".bmp") + "'").status,
                0);
            EXPECT_TRUE(SamePixels(ReadBmp("p" + n + ".bmp"), Oriented(m_source, orientation)))
                << n;
        }
        // TIFF: ImageMagick writes the tag; the plug-in delivers the rows as stored.
        m_source.SaveToFile(P("s.bmp"));
        const std::pair<const char*, int> tiffs[]
            = { { "TopRight", 2 }, { "RightTop", 6 }, { "LeftBottom", 8 } };
        for (const auto& [name, orientation] : tiffs) {
            const std::string n = std::to_string(orientation);
            ASSERT_TRUE(Shell(std::string(kMagick) + " '" + P("s.bmp") + "' -orient " + name
                + " -compress none '" + P("t" + n + ".tif") + "'"));
            const Outcome info = Vtlc("info '" + P("t" + n + ".tif") + "'");
            ASSERT_EQ(info.status, 0) << info.err;
            EXPECT_NE(info.out.find("orientation: " + n + "\n"), std::string::npos) << info.out;
            ASSERT_EQ(
                Vtlc("convert '" + P("t" + n + ".tif") + "' '" + P("t" + n + ".bmp") + "'").status,
                0);
            EXPECT_TRUE(SamePixels(ReadBmp("t" + n + ".bmp"), Oriented(m_source, orientation)))
                << name;
        }
    }

    TEST_F(PhotoVtlcTest, InfoShowsTheTagsAfterItsLines)
    {
        ASSERT_TRUE(WriteOrientedJpeg(m_source, P("photo.jpg"), 8));
        const Outcome upright = Vtlc("info '" + P("photo.jpg") + "'");
        ASSERT_EQ(upright.status, 0) << upright.err;
        EXPECT_EQ(upright.out,
            "file: " + P("photo.jpg")
                + "\ndecoder: jpeg\nwidth: 24\nheight: 32\nbits: 24\nformat: 24bit\npalette: 0\n"
                  "orientation: 8\ncolour-profile: none\n");
        const Outcome stored = Vtlc("info --keep-orientation '" + P("photo.jpg") + "'");
        EXPECT_NE(stored.out.find("width: 32\nheight: 24\n"), std::string::npos) << stored.out;
        // The options belong to the commands that read pictures.
        EXPECT_EQ(Vtlc("cache '" + P("photo.jpg") + "' --keep-colours").status, 2);
        EXPECT_EQ(Vtlc("palette '" + P("photo.jpg") + "' --keep-orientation").status, 2);
    }

    // ---- colour profiles (expected colours from ImageMagick's conversion to sRGB) ----

    class PhotoProfileTest : public PhotoVtlcTest {
    protected:
        void SetUp() override
        {
            PhotoVtlcTest::SetUp();
            WriteBytes(P("srgb.icc"), SrgbProfile());
        }
        // Strong colours, where a wide gamut differs most from sRGB.
        TBitmap Colourful()
        {
            TBitmap b = BlockPicture();
            b.Canvas().Brush.Color = platform::Rgb(255, 0, 0);
            b.Canvas().FillRect({ 0, 0, 8, 8 });
            b.Canvas().Brush.Color = platform::Rgb(0, 255, 0);
            b.Canvas().FillRect({ 8, 0, 16, 8 });
            return b;
        }
        // vtlc's picture against ImageMagick's conversion from the embedded profile to sRGB, and
        // --keep-colours against ImageMagick's reading without conversion.
        void CheckAgainstMagick(const std::string& file)
        {
            const Outcome info = Vtlc("info '" + P(file) + "'");
            EXPECT_NE(info.out.find("colour-profile: embedded\n"), std::string::npos) << info.out;
            ASSERT_EQ(Vtlc("convert '" + P(file) + "' '" + P(file + ".bmp") + "'").status, 0);
            const TBitmap converted = ReadBmp(file + ".bmp");
            const TBitmap expected = Magick(file, "-profile '" + P("srgb.icc") + "'");
            EXPECT_LE(MaxDifference(converted, expected), 2) << file;
            // The conversion did change the colours.
            EXPECT_GT(MaxDifference(converted, Magick(file)), 10) << file;

            ASSERT_EQ(
                Vtlc("convert --keep-colours '" + P(file) + "' '" + P(file + ".kept.bmp") + "'")
                    .status,
                0);
            EXPECT_LE(MaxDifference(ReadBmp(file + ".kept.bmp"), Magick(file)), 2) << file;
        }
    };

    TEST_F(PhotoProfileTest, JpegWithOneProfileMarker)
    {
        WriteBytes(P("wide.icc"), WideGamutProfile());
        ASSERT_TRUE(WriteOrientedJpeg(Colourful(), P("photo.jpg"), 0));
        ASSERT_TRUE(Shell("exiftool -q -q -overwrite_original '-icc_profile<=" + P("wide.icc")
            + "' '" + P("photo.jpg") + "'"));
        CheckAgainstMagick("photo.jpg");
    }

    TEST_F(PhotoProfileTest, JpegWithAProfileSplitOverSeveralMarkers)
    {
        const std::vector<uint8_t> big = WideGamutProfile(150000);
        ASSERT_GT(big.size(), 2u * 65519u);
        ASSERT_TRUE(WriteOrientedJpeg(Colourful(), P("plain.jpg"), 0));
        WriteBytes(P("photo.jpg"), WithSegments(ReadBytes(P("plain.jpg")), IccMarkers(big, 65519)));
        CheckAgainstMagick("photo.jpg");
    }

    TEST_F(PhotoProfileTest, PngWithAnIccpChunk)
    {
        WriteBytes(P("wide.icc"), WideGamutProfile());
        Colourful().SaveToFile(P("s.bmp"));
        // A picture without a profile gets this one attached, its pixels untouched.
        ASSERT_TRUE(Shell(std::string(kMagick) + " '" + P("s.bmp") + "' -profile '" + P("wide.icc")
            + "' PNG24:'" + P("photo.png") + "'"));
        CheckAgainstMagick("photo.png");
    }

} // namespace
} // namespace vtl::testing
