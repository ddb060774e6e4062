// The document's drawing tools: free-hand lines and text, written straight into the picture.

#include "document/line_colours.h"
#include "document/ui/image_view.h"
#include "document/ui/mdi_child.h"
#include "platform/qt/dialog_service.h"
#include "processing/ui/input_dialog.h"
#include "render/canvas_drawing.h"

#include <QMenu>

namespace vtl::document::ui {

namespace {
    QString U(const char* s) { return QString::fromUtf8(s); }

    platform::TColor LineColour(int index)
    {
        // The settings keep the index in range; a stray one still never reads past the table.
        return kLineColours[static_cast<size_t>(index >= 0 && index < 16 ? index : 0)];
    }

    platform::TPoint ToPicture(QPoint p, int zoomIndex)
    {
        return { DisplayToPicture(p.x(), zoomIndex), DisplayToPicture(p.y(), zoomIndex) };
    }
}

void TMDIChild::WireDrawingTools()
{
    auto toggle = [this](const char* mine, const char* other) {
        QAction* button = m_main.Item(U(mine));
        button->setChecked(!button->isChecked());
        m_main.Item(U(other))->setChecked(false);
    };
    connect(Item("InsStr"), &QAction::triggered, this, [toggle] { toggle("MojiBtn", "LineBtn"); });
    connect(Item("InsLine"), &QAction::triggered, this, [toggle] { toggle("LineBtn", "MojiBtn"); });
    connect(Item("FontMnu2"), &QAction::triggered, &m_main,
        platform::qt::Guarded(&m_main, [this] { m_main.FontChange(); }));
    // The Insert menu shows the tool buttons' state as it opens.
    connect(Item("Insert1")->menu(), &QMenu::aboutToShow, this, [this] {
        for (auto [item, button] :
            { std::pair { "InsStr", "MojiBtn" }, { "InsLine", "LineBtn" } }) {
            Item(U(item))->setCheckable(true);
            Item(U(item))->setChecked(m_main.Item(U(button))->isChecked());
            Item(U(item))->setEnabled(m_main.Item(U(button))->isEnabled());
        }
    });
    for (int n = 0; n < 16; ++n)
        connect(Item(QStringLiteral("c%1").arg(n)), &QAction::triggered, this,
            [this, n] { m_main.AppSettings().lineColor = n; });
    for (int width : { 1, 3, 5, 10 })
        connect(Item(QStringLiteral("lw%1").arg(width)), &QAction::triggered, this,
            [this, width] { m_main.AppSettings().lineSize = width; });
    connect(Item("LC1")->menu(), &QMenu::aboutToShow, this, [this] {
        if (QAction* a = Item(QStringLiteral("c%1").arg(m_main.AppSettings().lineColor)))
            a->setChecked(true);
    });
    connect(Item("W1")->menu(), &QMenu::aboutToShow, this, [this] {
        // A stored width with no item of its own checks none.
        QAction* a = Item(QStringLiteral("lw%1").arg(m_main.AppSettings().lineSize));
        for (int width : { 1, 3, 5, 10 })
            Item(QStringLiteral("lw%1").arg(width))
                ->setChecked(Item(QStringLiteral("lw%1").arg(width)) == a);
    });
}

void TMDIChild::StartLine(QPoint at)
{
    m_undoPicture = m_picture;
    Item("Undo1")->setEnabled(true);
    m_main.Item("UndoBtn")->setEnabled(true);
    m_main.Item("RCopyBtn")->setEnabled(false);
    Dragging = true;
    ++m_modifiedCount;
    m_lineAt = at;
    DrawLineTo(at);
}

void TMDIChild::DrawLineTo(QPoint to)
{
    const platform::TColor colour = LineColour(m_main.AppSettings().lineColor);
    const int width = m_main.AppSettings().lineSize;
    const platform::TPoint from = ToPicture(m_lineAt, ZoomIndex);
    const platform::TPoint end = ToPicture(to, ZoomIndex);
    const auto runs = PenLineRuns(from, end, width, QSize(m_picture.Width(), m_picture.Height()));
    // The screen keeps the strokes at display scale until the next redraw, over the picture as it
    // was then; the picture gets them at its own scale. A pixel that already has the colour stays
    // as it is; every other one takes the colour, or the nearest palette entry.
    m_image->AddLine(
        { m_lineAt.x(), m_lineAt.y() }, { to.x(), to.y() }, colour, ZoomedLength(width, ZoomIndex));
    m_lineAt = to;
    for (const PenRun& run : runs)
        for (int32_t x = run.left; x < run.right; ++x)
            if (m_picture.ColorOfRaw(m_picture.RawPixel(x, run.y)) != colour)
                m_image->KeepShownPixel(x, run.y, m_picture.RawPixel(x, run.y));
    const auto format = m_picture.PixelFormat();
    if (format == platform::TPixelFormat::pf24bit || format == platform::TPixelFormat::pf32bit) {
        render::DrawPenLine(m_picture, from, end, colour, width);
        return;
    }
    // Other formats only where the pen goes, rather than through a 32-bit copy of the whole
    // picture.
    const uint32_t raw = m_picture.RawOfColor(colour);
    for (const PenRun& run : runs)
        for (int32_t x = run.left; x < run.right; ++x)
            if (m_picture.ColorOfRaw(m_picture.RawPixel(x, run.y)) != colour)
                m_picture.SetRawPixel(x, run.y, raw);
    m_picture.Modified = true;
}

void TMDIChild::Image1Click()
{
    if (!m_main.Item("MojiBtn")->isChecked() || PalettePick)
        return;
    auto text = processing::ui::InputText(this, m_main.WorkArea(), U("文字の入力"), QString());
    if (!text || text->isEmpty())
        return;
    int32_t colour = m_main.AppSettings().font.color;
    if (colour < 0)
        colour = 0; // a system colour: the window text, black
    const platform::TPoint at = ToPicture(QPoint(Selection.Left, Selection.Top), ZoomIndex);
    ApplyOperation([this, &text, at, colour](platform::TBitmap& picture, platform::TBitmap* undo) {
        // Drawn on a copy, so that a failure leaves the picture and its undo copy as they were.
        platform::TBitmap drawn = picture;
        render::DrawTextAt(
            drawn, at, *text, m_main.TextToolFont(), static_cast<platform::TColor>(colour));
        *undo = std::move(picture);
        picture = std::move(drawn);
        return true;
    });
}

} // namespace vtl::document::ui
