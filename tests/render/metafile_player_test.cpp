// The metafile player: hand-built metafiles checked pixel by pixel, the public sample metafiles
// played without a crash (and saved as PNG files under the build folder for a look), and help
// graphics of the metafile kind end to end.

#include "input/help_graphic.h"
#include "input/wmf_builder.h"
#include "platform/stream.h"
#include "render/help_graphic_render.h"
#include "render/metafile_player.h"

#include <gtest/gtest.h>

#include <QGuiApplication>

#include <filesystem>

namespace vtl::render {
namespace {

    namespace fs = std::filesystem;
    using input::ParseMetafile;
    using platform::TBitmap;
    using vtl::testing::WmfBuilder;

    const QRgb kWhite = qRgb(255, 255, 255);
    const QRgb kRed = qRgb(255, 0, 0);
    const QRgb kBlue = qRgb(0, 0, 255);

    // Text needs a GUI application; the tests run on the offscreen platform.
    class MetafilePlayerTest : public ::testing::Test {
    protected:
        static void SetUpTestSuite()
        {
            if (QGuiApplication::instance() == nullptr) {
                static int argc = 1;
                static char name[] = "vtl_render_tests";
                static char* argv[] = { name, nullptr };
                static QGuiApplication app(argc, argv);
            }
        }

        // Plays a metafile over a white image of the given size.
        static QImage Play(const std::vector<uint8_t>& wmf, int width, int height)
        {
            QImage image(width, height, QImage::Format_RGB32);
            image.fill(Qt::white);
            QPainter painter(&image);
            PlayMetafile(ParseMetafile(wmf), painter, QRectF(0, 0, width, height));
            return image;
        }
    };

    // CreateBrushIndirect with a solid colour 0xBBGGRR.
    WmfBuilder& SolidBrush(WmfBuilder& b, uint32_t colorRef)
    {
        return b.Record(0x02FC, { 0, int(colorRef & 0xFFFF), int(colorRef >> 16), 0 });
    }
    WmfBuilder& NullPen(WmfBuilder& b) { return b.Record(0x02FA, { 5, 0, 0, 0, 0 }); }

    TEST_F(MetafilePlayerTest, WindowIsMappedOntoTheTarget)
    {
        // Window 0,0 100 x 50 onto 200 x 100: a rectangle 10,10 - 50,40 covers 20,20 - 100,80.
        WmfBuilder b;
        SolidBrush(b, 0x0000FF);
        NullPen(b).Record(0x012D, { 0 }).Record(0x012D, { 1 });
        b.Record(0x020C, { 50, 100 }).Record(0x041B, { 40, 50, 10, 10 });
        QImage image = Play(b.Placeable(0, 0, 100, 50), 200, 100);
        EXPECT_EQ(image.pixel(60, 50), kRed);
        EXPECT_EQ(image.pixel(21, 21), kRed);
        EXPECT_EQ(image.pixel(18, 50), kWhite);
        EXPECT_EQ(image.pixel(102, 50), kWhite);
        EXPECT_EQ(image.pixel(60, 82), kWhite);
    }

    TEST_F(MetafilePlayerTest, NegativeExtentFlipsAndIsotropicKeepsProportions)
    {
        // Window origin 0,100 with extent 100,-100: y grows upwards, so the rectangle at logical
        // y 80..100 lands at the top.
        WmfBuilder flip;
        SolidBrush(flip, 0xFF0000);
        NullPen(flip).Record(0x012D, { 0 }).Record(0x012D, { 1 });
        flip.Record(0x020B, { 100, 0 })
            .Record(0x020C, { -100, 100 })
            .Record(0x041B, { 100, 100, 80, 0 });
        QImage top = Play(flip.Placeable(0, 0, 100, 100), 100, 100);
        EXPECT_EQ(top.pixel(50, 10), kBlue);
        EXPECT_EQ(top.pixel(50, 90), kWhite);

        // Isotropic 100 x 100 window onto a 200 x 100 viewport: the unit stays square, so a
        // full-window rectangle is 100 x 100.
        WmfBuilder iso;
        SolidBrush(iso, 0xFF0000);
        NullPen(iso).Record(0x012D, { 0 }).Record(0x012D, { 1 });
        iso.Record(0x0103, { 7 }).Record(0x020C, { 100, 100 }).Record(0x020E, { 100, 200 });
        iso.Record(0x041B, { 100, 100, 0, 0 });
        QImage square = Play(iso.Placeable(0, 0, 200, 100), 200, 100);
        EXPECT_EQ(square.pixel(50, 50), kBlue);
        EXPECT_EQ(square.pixel(150, 50), kWhite);
    }

    TEST_F(MetafilePlayerTest, ObjectsSaveAndRestore)
    {
        WmfBuilder b;
        SolidBrush(b, 0x0000FF); // object 0: red
        SolidBrush(b, 0xFF0000); // object 1: blue
        NullPen(b); // object 2
        b.Record(0x012D, { 2 }).Record(0x012D, { 0 });
        b.Record(0x001E, {}); // SaveDC with the red brush
        b.Record(0x012D, { 1 }).Record(0x041B, { 50, 50, 0, 0 }); // blue square
        b.Record(0x0127, { -1 }); // back to red
        b.Record(0x041B, { 100, 100, 50, 50 });
        // A deleted object, or an index beyond the table, selects nothing.
        b.Record(0x01F0, { 1 }).Record(0x012D, { 1 }).Record(0x012D, { 999 });
        b.Record(0x041B, { 50, 100, 0, 50 });
        // Restoring a level that was never saved changes nothing.
        b.Record(0x0127, { -3 }).Record(0x0127, { 5 });
        QImage image = Play(b.Placeable(0, 0, 100, 100), 100, 100);
        EXPECT_EQ(image.pixel(25, 25), kBlue);
        EXPECT_EQ(image.pixel(75, 75), kRed);
        EXPECT_EQ(image.pixel(75, 25), kRed);
        EXPECT_EQ(image.pixel(25, 75), kWhite);
    }

    TEST_F(MetafilePlayerTest, PieGoesCounterClockwiseFromStartToEnd)
    {
        // From the ray to the right (start) to the ray upwards (end): the upper right quarter.
        WmfBuilder b;
        SolidBrush(b, 0x0000FF);
        NullPen(b).Record(0x012D, { 0 }).Record(0x012D, { 1 });
        b.Record(0x081A, { 0, 50, 50, 100, 100, 100, 0, 0 });
        QImage image = Play(b.Placeable(0, 0, 100, 100), 100, 100);
        EXPECT_EQ(image.pixel(70, 30), kRed);
        EXPECT_EQ(image.pixel(30, 30), kWhite);
        EXPECT_EQ(image.pixel(30, 70), kWhite);
        EXPECT_EQ(image.pixel(70, 70), kWhite);
    }

    TEST_F(MetafilePlayerTest, StretchedDibAndRasterOperations)
    {
        const auto dib = WmfBuilder::Dib24(2, 2, { 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF });
        auto params = WmfBuilder::Words({ 0x0020, 0x00CC, 0, 2, 2, 0, 0, 40, 40, 10, 10 });
        params.insert(params.end(), dib.begin(), dib.end());
        // The same picture combined by SRCAND below: white keeps the red background.
        auto andParams = WmfBuilder::Words({ 0x00C6, 0x0088, 0, 2, 2, 0, 0, 40, 40, 60, 10 });
        andParams.insert(andParams.end(), dib.begin(), dib.end());
        WmfBuilder b;
        SolidBrush(b, 0x0000FF);
        NullPen(b).Record(0x012D, { 0 }).Record(0x012D, { 1 });
        b.Record(0x041B, { 100, 100, 60, 0 });
        b.Raw(0x0F43, params).Raw(0x0F43, andParams);
        QImage image = Play(b.Placeable(0, 0, 100, 100), 100, 100);
        EXPECT_EQ(image.pixel(15, 15), kRed);
        EXPECT_EQ(image.pixel(45, 15), qRgb(0, 255, 0));
        EXPECT_EQ(image.pixel(15, 45), kBlue);
        EXPECT_EQ(image.pixel(45, 45), kWhite);
        EXPECT_EQ(image.pixel(45, 95), kRed); // white AND red
        EXPECT_EQ(image.pixel(15, 75), kRed); // red AND red
        EXPECT_EQ(image.pixel(45, 75), qRgb(0, 0, 0)); // green AND red
    }

    TEST_F(MetafilePlayerTest, TextIsDrawnInTheTextColour)
    {
        WmfBuilder b;
        b.Record(0x0209, { 0x00FF, 0 }); // red text
        b.Record(0x0102, { 1 }); // transparent background
        auto font = WmfBuilder::Words({ -30, 0, 0, 0, 700 });
        font.insert(font.end(), { 0, 0, 0, 0, 0, 0, 0, 0 });
        font.insert(font.end(), { 'S', 'a', 'n', 's', 0 });
        b.Raw(0x02FB, font).Record(0x012D, { 0 });
        auto text = WmfBuilder::Words({ 4 });
        text.insert(text.end(), { 'M', 'M', 'M', 'M' });
        auto xy = WmfBuilder::Words({ 10, 10 });
        text.insert(text.end(), xy.begin(), xy.end());
        b.Raw(0x0521, text);
        QImage image = Play(b.Placeable(0, 0, 200, 60), 200, 60);
        int red = 0, other = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                QRgb p = image.pixel(x, y);
                if (p == kRed) {
                    ++red;
                    EXPECT_GE(x, 9);
                    EXPECT_GE(y, 9);
                    EXPECT_LT(y, 45);
                } else if (p != kWhite) {
                    ++other;
                }
            }
        EXPECT_GT(red, 100);
        EXPECT_EQ(other, 0); // no antialiasing and no opaque box
    }

    TEST_F(MetafilePlayerTest, HelpGraphicMetafileEndToEnd)
    {
        // A type-8 picture of 2540 x 1270 hundredths of a millimetre is drawn on a 96 x 48
        // bitmap; its window of 100 x 50 units spans the bitmap.
        WmfBuilder b;
        SolidBrush(b, 0x0000FF);
        NullPen(b).Record(0x012D, { 0 }).Record(0x012D, { 1 });
        b.Record(0x020C, { 50, 100 }).Record(0x041B, { 40, 90, 10, 10 });
        const auto wmf = b.Metafile();
        std::vector<uint8_t> file = { 0x6C, 0x70, 1, 0, 8, 0, 0, 0, 8, 0, 16 };
        WmfBuilder::Put16(file, 2540);
        WmfBuilder::Put16(file, 1270);
        for (uint32_t v : { uint32_t(wmf.size()), uint32_t(wmf.size()), 0u })
            WmfBuilder::Put16(file, uint16_t(v << 1));
        // Data offset from the picture's start: type, packing, mapping mode, two sizes, three
        // compressed sizes and the two offsets.
        WmfBuilder::Put32(file, 3 + 4 + 6 + 8);
        WmfBuilder::Put32(file, 0);
        file.insert(file.end(), wmf.begin(), wmf.end());

        TMetafilePlayer player;
        TBitmap bitmap;
        ASSERT_TRUE(input::ReadHelpGraphic(bitmap, file, &player));
        ASSERT_EQ(bitmap.Width(), 96);
        ASSERT_EQ(bitmap.Height(), 48);
        EXPECT_EQ(bitmap.PixelFormat(), platform::TPixelFormat::pf24bit);
        EXPECT_EQ(bitmap.Pixel(48, 24), platform::Rgb(255, 0, 0));
        EXPECT_EQ(bitmap.Pixel(5, 5), platform::Rgb(255, 255, 255));
        EXPECT_EQ(bitmap.Pixel(90, 45), platform::Rgb(255, 255, 255));
    }

    // The frame a sample is drawn in: its placeable bounds at their resolution, or the window
    // it sets, held to at most 800 pixels a side.
    QSize FrameSize(const input::WmfPicture& picture)
    {
        double w = std::abs(picture.bounds.Width());
        double h = std::abs(picture.bounds.Height());
        if (picture.placeable && picture.unitsPerInch != 0) {
            w = w * 96 / picture.unitsPerInch;
            h = h * 96 / picture.unitsPerInch;
        }
        if (w < 1 || h < 1)
            return { 400, 400 };
        const double shrink = std::min(1.0, 800 / std::max(w, h));
        return { std::max(1, int(w * shrink)), std::max(1, int(h * shrink)) };
    }

    TEST_F(MetafilePlayerTest, EverySampleMetafilePlays)
    {
        const fs::path dir = fs::path(VTL_TESTDATA_DIR) / "wmf";
        if (!fs::is_directory(dir))
            GTEST_SKIP() << "sample metafiles not found in " << dir;
        const fs::path out = fs::path(VTL_BINARY_DIR) / "metafile-player";
        fs::create_directories(out);
        int played = 0, drawn = 0;
        for (const auto& entry : fs::recursive_directory_iterator(dir)) {
            if (entry.path().extension() != ".wmf")
                continue;
            SCOPED_TRACE(entry.path().string());
            input::WmfPicture picture = ParseMetafile(platform::ReadWholeFile(entry.path()));
            EXPECT_FALSE(picture.records.empty());
            const QSize size = FrameSize(picture);
            QImage image(size, QImage::Format_RGB32);
            image.fill(Qt::white);
            {
                QPainter painter(&image);
                PlayMetafile(picture, painter, QRectF(QPointF(0, 0), QSizeF(size)));
            }
            ++played;
            for (int y = 0; y < image.height() && drawn < played; ++y)
                for (int x = 0; x < image.width(); ++x)
                    if (image.pixel(x, y) != kWhite) {
                        ++drawn;
                        break;
                    }
            const std::string name = entry.path().parent_path().filename().string() + "_"
                + entry.path().stem().string() + ".png";
            image.save(QString::fromStdString((out / name).string()));
        }
        EXPECT_GT(played, 10);
        EXPECT_EQ(drawn, played);
    }

} // namespace
} // namespace vtl::render
