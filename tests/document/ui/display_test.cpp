// The document's display: rendered part by part from the picture, it must show, copy and keep
// exactly what a stretched copy of the whole picture showed, lines drawn over it included, without
// ever holding such a copy.

#include "document/ui/image_view.h"
#include "platform/mapped_block.h"
#include "platform/qt/clipboard.h"
#include "render/canvas_drawing.h"
#include "render/qimage_bridge.h"
#include "support/document_fixture.h"

#include <QApplication>
#include <QMouseEvent>
#include <QTest>
#include <fstream>
#include <random>
#include <string>

using vtl::document::ui::DisplayToPicture;
using vtl::document::ui::RenderZoomed;
using vtl::document::ui::ZoomedLength;
using vtl::platform::TColor;

namespace vtl::testing {
namespace {

    const char* const kZoomItems[]
        = { "S25", "S50", "S75", "S100", "S150", "S200", "S400", "S800" };
    const TPixelFormat kFormats[]
        = { TPixelFormat::pf1bit, TPixelFormat::pf4bit, TPixelFormat::pf8bit, TPixelFormat::pf15bit,
              TPixelFormat::pf16bit, TPixelFormat::pf24bit, TPixelFormat::pf32bit };

    // A picture whose every pixel differs from its neighbours, with a palette of its own (not the
    // default one) for the palette formats.
    TBitmap Noise(int width, int height, TPixelFormat format, uint32_t seed)
    {
        TBitmap b(width, height, format);
        std::mt19937 rng(seed);
        const int bits = b.BitsPerPixel();
        if (bits <= 8) {
            std::vector<vtl::platform::PaletteEntry> palette(size_t(1) << bits);
            for (auto& e : palette)
                e = { uint8_t(rng()), uint8_t(rng()), uint8_t(rng()), 0 };
            b.SetPalette(palette);
        }
        const uint32_t mask = bits >= 32 ? 0xFFFFFFu : (1u << bits) - 1;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                b.SetRawPixel(x, y, uint32_t(rng()) & mask);
        return b;
    }

    // What the document showed before: the whole picture stretched to the zoomed size (at 100 %
    // the picture itself).
    TBitmap WholeStretchedCopy(const TBitmap& picture, int zoom)
    {
        const int width = ZoomedLength(picture.Width(), zoom);
        const int height = ZoomedLength(picture.Height(), zoom);
        if (width == picture.Width() && height == picture.Height())
            return picture;
        TBitmap copy = TBitmap::ForWriting(width, height, picture.PixelFormat());
        if (picture.HasPalette())
            copy.SetPalette(picture.PaletteEntries());
        if (width > 0 && height > 0)
            copy.Canvas().StretchDraw({ 0, 0, width, height }, picture);
        return copy;
    }

    // Pixels of `part` that differ from `region` of `whole`, by their stored values; -1 when the
    // sizes or formats differ.
    int Mismatches(const TBitmap& whole, const TBitmap& part, QRect region)
    {
        if (part.Width() != region.width() || part.Height() != region.height()
            || part.PixelFormat() != whole.PixelFormat())
            return -1;
        int n = 0;
        for (int y = 0; y < region.height(); ++y)
            for (int x = 0; x < region.width(); ++x)
                n += part.Pixel(x, y) != whole.Pixel(region.x() + x, region.y() + y)
                    || (whole.BitsPerPixel() <= 8
                        && part.RawPixel(x, y) != whole.RawPixel(region.x() + x, region.y() + y));
        return n;
    }

    // Regions of a display: all of it, a tiling by odd tiles, single pixels at the corners.
    std::vector<QRect> Regions(QSize display)
    {
        std::vector<QRect> regions { QRect(QPoint(0, 0), display) };
        for (int y = 0; y < display.height(); y += 5)
            for (int x = 0; x < display.width(); x += 7)
                regions.emplace_back(x, y, 7, 5);
        for (QPoint p : { QPoint(0, 0), QPoint(display.width() - 1, display.height() - 1),
                 QPoint(display.width() - 1, 0) })
            regions.emplace_back(p, QSize(1, 1));
        for (QRect& r : regions)
            r &= QRect(QPoint(0, 0), display);
        std::erase_if(regions, [](const QRect& r) { return r.isEmpty(); });
        return regions;
    }

    // What the screen shows of the control, as the user sees it.
    QImage OnScreen(QWidget* image)
    {
        return image->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }
    QImage AsShown(const TBitmap& display)
    {
        return vtl::render::DisplayImage(display).convertToFormat(QImage::Format_RGB32);
    }

    TBitmap FromClipboard()
    {
        vtl::document::TDIB dib;
        vtl::platform::qt::QtClipboard clipboard;
        dib.Assign(clipboard);
        TBitmap b;
        dib.AssignTo(b);
        return b;
    }

    bool SameColours(const TBitmap& a, const TBitmap& b, QRect regionOfB)
    {
        if (a.Width() != regionOfB.width() || a.Height() != regionOfB.height())
            return false;
        for (int y = 0; y < a.Height(); ++y)
            for (int x = 0; x < a.Width(); ++x)
                if (a.Pixel(x, y) != b.Pixel(regionOfB.x() + x, regionOfB.y() + y))
                    return false;
        return true;
    }

    long PeakResidentKiB()
    {
        std::ifstream status("/proc/self/status");
        for (std::string line; std::getline(status, line);)
            if (line.starts_with("VmHWM:"))
                return std::stol(line.substr(6));
        return -1;
    }
    long ResidentKiB()
    {
        std::ifstream status("/proc/self/status");
        for (std::string line; std::getline(status, line);)
            if (line.starts_with("VmRSS:"))
                return std::stol(line.substr(6));
        return -1;
    }
    // Starts a new peak at the present use; false where the system doesn't allow it.
    bool ResetPeak() { return bool(std::ofstream("/proc/self/clear_refs") << "5\n"); }

    void Drag(QWidget* image, const std::vector<QPoint>& path)
    {
        QTest::mousePress(image, Qt::LeftButton, {}, path.front());
        for (size_t i = 1; i < path.size(); ++i) {
            QMouseEvent move(QEvent::MouseMove, QPointF(path[i]),
                image->mapToGlobal(QPointF(path[i])), Qt::NoButton, Qt::LeftButton, {});
            QApplication::sendEvent(image, &move);
        }
        QTest::mouseRelease(image, Qt::LeftButton, {}, path.back());
    }

    class DisplayTest : public CommandTest {
    protected:
        void Zoom(TMDIChild& doc, int zoom)
        {
            doc.Item(QString::fromLatin1(kZoomItems[zoom]))->trigger();
        }
    };

}

TEST(DisplayRendering, EveryRegionMatchesTheWholeStretchedCopy)
{
    // Odd sizes, so that 75 % and 150 % round and the tiles end off the grid.
    for (TPixelFormat format : kFormats)
        for (QSize size : { QSize(13, 7), QSize(1, 3), QSize(31, 18) })
            for (int zoom = 0; zoom < 8; ++zoom) {
                const TBitmap picture = Noise(size.width(), size.height(), format, 7);
                const TBitmap whole = WholeStretchedCopy(picture, zoom);
                const QSize display(whole.Width(), whole.Height());
                for (const QRect& region : Regions(display))
                    ASSERT_EQ(Mismatches(whole, RenderZoomed(picture, display, region), region), 0)
                        << "format " << int(format) << ", " << size.width() << " x "
                        << size.height() << ", zoom " << zoom << ", region " << region.x() << ","
                        << region.y() << " " << region.width() << " x " << region.height();
                // Beyond the display there is nothing.
                EXPECT_TRUE(
                    RenderZoomed(picture, display, QRect(display.width(), 0, 4, 4)).Empty());
            }
}

TEST_F(DisplayTest, TheWindowShowsEveryZoomAsTheWholeCopyDid)
{
    // Large enough at 400 % and 800 % to be painted in several bands.
    for (TPixelFormat format : kFormats) {
        const TBitmap picture = Noise(157, 121, format, 11);
        TMDIChild& doc = Document(picture);
        for (int zoom = 0; zoom < 8; ++zoom) {
            Zoom(doc, zoom);
            const TBitmap whole = WholeStretchedCopy(picture, zoom);
            ASSERT_EQ(doc.Image1()->size(), QSize(whole.Width(), whole.Height()));
            EXPECT_EQ(Mismatches(whole, doc.RenderDisplay(), doc.Image1()->rect()), 0)
                << "format " << int(format) << ", zoom " << zoom;
            if (zoom == 0 || zoom == 2 || zoom == 7 || format == TPixelFormat::pf4bit
                || format == TPixelFormat::pf1bit) {
                EXPECT_EQ(OnScreen(doc.Image1()), AsShown(whole))
                    << "format " << int(format) << ", zoom " << zoom;
            }
        }
        doc.close();
    }
}

TEST_F(DisplayTest, StrokesShowAsOnAStretchedCopyUntilTheNextRedraw)
{
    struct Case {
        TPixelFormat format;
        int zoom;
        const char* colour;
        TColor rgb;
        const char* width;
        int lineWidth;
    };
    // Wide pens and one-pixel ones (1 at 150 %, 3 at 25 % and 1 at 50 % draw one-pixel lines).
    const Case cases[] = {
        { TPixelFormat::pf24bit, 7, "c9", Rgb(255, 0, 0), "lw1", 1 },
        { TPixelFormat::pf8bit, 4, "c12", Rgb(0, 0, 255), "lw1", 1 },
        { TPixelFormat::pf8bit, 1, "c15", Rgb(255, 255, 255), "lw10", 10 },
        { TPixelFormat::pf4bit, 0, "c11", Rgb(255, 255, 0), "lw3", 3 },
        { TPixelFormat::pf24bit, 2, "c7", Rgb(192, 192, 192), "lw5", 5 },
        { TPixelFormat::pf1bit, 5, "c0", Rgb(0, 0, 0), "lw3", 3 },
        { TPixelFormat::pf24bit, 1, "c2", Rgb(0, 128, 0), "lw1", 1 },
        { TPixelFormat::pf16bit, 6, "c13", Rgb(255, 0, 255), "lw5", 5 },
        { TPixelFormat::pf15bit, 3, "c8", Rgb(128, 128, 128), "lw1", 1 },
        { TPixelFormat::pf32bit, 3, "c14", Rgb(0, 255, 255), "lw3", 3 },
    };
    std::mt19937 rng(3);
    for (const Case& c : cases) {
        const TBitmap picture = Noise(61, 47, c.format, 5);
        TMDIChild& doc = Document(picture);
        Zoom(doc, c.zoom);
        m_form->Item("LineBtn")->setChecked(true);
        doc.Item(c.colour)->trigger();
        doc.Item(c.width)->trigger();
        const QSize display = doc.Image1()->size();
        // Long and short moves, some along the edges (the right and bottom edge points are still
        // on the picture).
        TBitmap expected = WholeStretchedCopy(picture, c.zoom);
        TBitmap expectedPicture = picture;
        const int penWidth = ZoomedLength(c.lineWidth, c.zoom);
        auto toPicture = [&c](QPoint p) {
            return vtl::platform::TPoint { DisplayToPicture(p.x(), c.zoom),
                DisplayToPicture(p.y(), c.zoom) };
        };
        for (int stroke = 0; stroke < 3; ++stroke) {
            std::vector<QPoint> path;
            for (int i = 0; i < 12; ++i) {
                QPoint p(int(rng() % uint32_t(display.width() + 1)),
                    int(rng() % uint32_t(display.height() + 1)));
                if (i % 4 == 3)
                    p.setX(display.width());
                if (i > 0 && i % 3 == 0)
                    p = path.back() + QPoint(1, 2);
                // A point off the picture would end the stroke.
                path.push_back(
                    QPoint(std::min(p.x(), display.width()), std::min(p.y(), display.height())));
            }
            Drag(doc.Image1(), path);
            vtl::render::DrawPenLine(expected, { path[0].x(), path[0].y() },
                { path[0].x(), path[0].y() }, c.rgb, penWidth);
            for (size_t i = 1; i < path.size(); ++i)
                vtl::render::DrawPenLine(expected, { path[i - 1].x(), path[i - 1].y() },
                    { path[i].x(), path[i].y() }, c.rgb, penWidth);
            vtl::render::DrawPenLine(
                expectedPicture, toPicture(path[0]), toPicture(path[0]), c.rgb, c.lineWidth);
            for (size_t i = 1; i < path.size(); ++i)
                vtl::render::DrawPenLine(expectedPicture, toPicture(path[i - 1]),
                    toPicture(path[i]), c.rgb, c.lineWidth);
        }
        EXPECT_EQ(doc.ModifiedCount(), 3);
        EXPECT_EQ(Mismatches(expectedPicture, doc.Picture(), QRect(0, 0, 61, 47)), 0)
            << "the picture's strokes";
        for (const QRect& region : Regions(display))
            ASSERT_EQ(Mismatches(expected, doc.RenderDisplay(region), region), 0)
                << "format " << int(c.format) << ", zoom " << c.zoom << ", region " << region.x()
                << "," << region.y() << " " << region.width() << " x " << region.height();
        EXPECT_EQ(OnScreen(doc.Image1()), AsShown(expected)) << "zoom " << c.zoom;

        // Undo redraws from the picture before the last stroke: the screen shows no line of it.
        doc.Item("Undo1")->trigger();
        EXPECT_EQ(Mismatches(WholeStretchedCopy(doc.Picture(), c.zoom), doc.RenderDisplay(),
                      doc.Image1()->rect()),
            0);
        EXPECT_EQ(doc.Image1()->HeldBytes(), 0u);
        m_form->Item("LineBtn")->setChecked(false);
        m_guard.dialogs->messageAnswers.push_back(vtl::platform::qt::MsgResult::No);
        doc.close();
    }
}

TEST_F(DisplayTest, CopiesOfTheDisplayAreRenderedForTheCommand)
{
    const TBitmap picture = Noise(23, 17, TPixelFormat::pf8bit, 9);
    TMDIChild& doc = Document(picture);
    Zoom(doc, 6); // 400 %
    m_form->Item("LineBtn")->setChecked(true);
    doc.Item("c9")->trigger();
    doc.Item("lw1")->trigger();
    Drag(doc.Image1(), { QPoint(3, 3), QPoint(60, 40) });
    m_form->Item("LineBtn")->setChecked(false);
    TBitmap shown = WholeStretchedCopy(picture, 6);
    vtl::render::DrawPenLine(shown, { 3, 3 }, { 3, 3 }, Rgb(255, 0, 0), 4);
    vtl::render::DrawPenLine(shown, { 3, 3 }, { 60, 40 }, Rgb(255, 0, 0), 4);

    ASSERT_EQ(Mismatches(shown, doc.RenderDisplay(), QRect(0, 0, 92, 68)), 0);
    doc.Item("SCopyItem")->trigger();
    const TBitmap copied = FromClipboard();
    EXPECT_TRUE(SameColours(copied, shown, QRect(0, 0, 92, 68)));

    // A range dragged over the line: the copy has the display's scale.
    Drag(doc.Image1(), { QPoint(50, 30), QPoint(80, 60), QPoint(81, 61) });
    ASSERT_TRUE(doc.Item("RCopyItem")->isEnabled());
    m_form->Item("RCopyBtn")->trigger();
    EXPECT_TRUE(SameColours(FromClipboard(), shown, QRect(50, 30, 31, 31)));

    // No memory for the copy: the usual error, and the document goes on as it was.
    vtl::platform::MappedBlock::FailNextMappingsForTesting(1);
    m_guard.dialogs->messageAnswers.push_back(vtl::platform::qt::MsgResult::Ok);
    doc.Item("SCopyItem")->trigger();
    vtl::platform::MappedBlock::FailNextMappingsForTesting(0);
    ASSERT_EQ(m_guard.dialogs->messages.size(), 1u);
    EXPECT_EQ(m_guard.dialogs->messages[0].icon, vtl::platform::qt::MsgIcon::Error);
    EXPECT_EQ(doc.ModifiedCount(), 1);
    doc.Item("SCopyItem")->trigger();
    EXPECT_TRUE(SameColours(FromClipboard(), shown, QRect(0, 0, 92, 68)));
}

TEST_F(DisplayTest, NoDisplaySizedBlockAtAnyZoom)
{
    // 12 MB of picture: a stretched copy at 800 % would be 768 MB.
    TBitmap picture(2000, 2000);
    for (int y = 0; y < 2000; y += 2)
        std::fill_n(picture.ScanLine(y), 6000, uint8_t(y));
    TMDIChild& doc = Document(std::move(picture));
    doc.Image1()->repaint();
    QCoreApplication::processEvents();
    const long blocks = vtl::platform::MappedBlock::LiveBlocks();
    const bool peakKnown = ResetPeak();
    const long before = ResidentKiB();
    for (int zoom : { 7, 0, 6, 5, 4, 3, 2, 1 }) {
        Zoom(doc, zoom);
        doc.Image1()->repaint();
        QCoreApplication::processEvents();
        EXPECT_EQ(vtl::platform::MappedBlock::LiveBlocks(), blocks) << "zoom " << zoom;
    }
    EXPECT_EQ(doc.Image1()->size(), QSize(1000, 1000));
    if (peakKnown) {
        EXPECT_LT(PeakResidentKiB() - before, 64 * 1024) << "KiB over the use before zooming";
    }
}

TEST_F(DisplayTest, APaintWithoutMemoryIsReportedOnce)
{
    // The control's tile is made at its first paint, and again for another pixel format.
    const TBitmap picture = Noise(40, 30, TPixelFormat::pf24bit, 2);
    const TBitmap mono = Noise(40, 30, TPixelFormat::pf1bit, 2);
    vtl::document::ui::TImage image;
    image.SetPicture(&picture, QSize(80, 60));
    auto paintWithoutMemory = [&] {
        vtl::platform::MappedBlock::FailNextMappingsForTesting(100);
        m_guard.dialogs->messageAnswers.push_back(vtl::platform::qt::MsgResult::Ok);
        const QImage shown = OnScreen(&image);
        OnScreen(&image);
        QCoreApplication::processEvents();
        vtl::platform::MappedBlock::FailNextMappingsForTesting(0);
        return shown;
    };
    QImage background(80, 60, QImage::Format_RGB32);
    background.fill(image.palette().window().color());
    EXPECT_EQ(paintWithoutMemory(), background);
    ASSERT_EQ(m_guard.dialogs->messages.size(), 1u);
    EXPECT_EQ(m_guard.dialogs->messages[0].icon, vtl::platform::qt::MsgIcon::Error);
    // Memory again: the picture shows.
    EXPECT_EQ(OnScreen(&image), AsShown(WholeStretchedCopy(picture, 5)));
    EXPECT_EQ(m_guard.dialogs->messages.size(), 1u);

    // After a good paint a failure is reported again.
    image.SetPicture(&mono, QSize(80, 60));
    paintWithoutMemory();
    EXPECT_EQ(m_guard.dialogs->messages.size(), 2u);
    EXPECT_EQ(OnScreen(&image), AsShown(WholeStretchedCopy(mono, 5)));
}

} // namespace vtl::testing
