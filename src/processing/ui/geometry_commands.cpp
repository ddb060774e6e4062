#include "processing/ui/geometry_commands.h"

#include "app/ui/main_form.h"
#include "document/ui/mdi_child.h"
#include "input/ui/loading_pipeline.h"
#include "platform/qt/dialog_service.h"
#include "platform/qt/wait_cursor.h"
#include "processing/geometry.h"
#include "processing/reduce16.h"
#include "processing/reduce256.h"
#include "processing/rotate.h"
#include "processing/ui/geometry_dialogs.h"
#include "processing/ui/input_dialog.h"
#include "processing/ui/processing_commands.h"
#include "processing/ui/reduce_dialogs.h"

#include <QAction>
#include <QGuiApplication>
#include <QMdiArea>
#include <QScreen>

namespace vtl::processing::ui {

using app::ui::TMainForm;
using document::ui::TMDIChild;
using platform::PaletteEntry;
using platform::TBitmap;
using Palette = std::optional<std::vector<PaletteEntry>>;

namespace {
    void DC256Click(TMDIChild& document, TMainForm& main)
    {
        ProcessingState& kept = StateOf(main);
        TD256Dlg dialog(&document);
        dialog.SetItemIndex(int(kept.d256Palette));
        dialog.SetDither(kept.d256Dither);
        if (!AskOnPointer(dialog, main))
            return;
        kept.d256Palette = dialog.Palette();
        kept.d256Dither = dialog.Dither();
        const D256Palette palette = kept.d256Palette;
        const bool dither = kept.d256Dither;
        Palette specified;
        if (palette == D256Palette::Specified && !(specified = main.LoadPalette(256)))
            return;
        RunOnDocument(document, main, [&](TBitmap& p, TBitmap* u, const ProcessContext& c) {
            return Reduce256(p, u, palette, dither, specified ? &*specified : nullptr, c);
        });
    }

    void DC16Click(TMDIChild& document, TMainForm& main)
    {
        ProcessingState& kept = StateOf(main);
        TD16Dlg dialog(&document);
        dialog.SetItemIndex(int(kept.d16Method));
        dialog.SetDither(kept.d16Dither);
        if (!AskOnPointer(dialog, main))
            return;
        kept.d16Method = dialog.Method();
        kept.d16Dither = dialog.Dither();
        const D16Method method = kept.d16Method;
        const bool dither = kept.d16Dither;
        Palette specified;
        if (method == D16Method::Specified && !(specified = main.LoadPalette(16)))
            return;
        RunOnDocument(document, main, [&](TBitmap& p, TBitmap* u, const ProcessContext& c) {
            return Reduce16(p, u, method, dither, specified ? &*specified : nullptr, c);
        });
    }

    void GLM1Click(TMDIChild& document, TMainForm& main)
    {
        const int32_t width0 = document.Picture().Width();
        const int32_t height0 = document.Picture().Height();
        TGScaleDlg dialog(&document);
        dialog.SetOriginalSize(width0, height0);
        dialog.SetXpos(width0);
        dialog.SetYpos(height0);
        // A picture outside 8..4098 pixels opens with the nearest size the dialog can show; OK
        // without touching the fields must not resize (and distort) it to that size.
        const int openedX = dialog.Xpos(), openedY = dialog.Ypos();
        if (!AskOnPointer(dialog, main))
            return;
        const int width = dialog.Xpos(), height = dialog.Ypos();
        if ((width == width0 && height == height0) || (width == openedX && height == openedY))
            return;
        RunOnDocument(document, main, [=](TBitmap& p, TBitmap* u, const ProcessContext& c) {
            return Resize(p, u, width, height, c);
        });
    }

    void ClpMnuClick(TMDIChild& document, TMainForm& main)
    {
        const int32_t width = document.Picture().Width();
        const int32_t height = document.Picture().Height();
        TClpDlg dialog(&document);
        dialog.SetPictureSize(width, height);
        const platform::TRect* selection
            = document.Shape()->isHidden() ? nullptr : &document.Selection;
        dialog.SetArea(ClipAreaFromSelection(selection, document.ZoomIndex, width, height));
        if (!AskOnPointer(dialog, main))
            return;
        const ClipArea area = dialog.Area();
        RunOnDocument(document, main, [area](TBitmap& p, TBitmap* u, const ProcessContext& c) {
            return Clip(p, u, area, c);
        });
    }

    TMDIChild* ActiveDocument(TMainForm& main)
    {
        QMdiSubWindow* window = main.MdiArea()->activeSubWindow();
        if (!window)
            window = main.MdiArea()->currentSubWindow();
        return dynamic_cast<TMDIChild*>(window);
    }

    void CentreOnScreen(QDialog& dialog)
    {
        const QScreen* screen = QGuiApplication::primaryScreen();
        const QRect area = screen ? screen->geometry() : QRect(0, 0, 640, 480);
        dialog.adjustSize();
        dialog.move(area.center() - QPoint(dialog.width() / 2, dialog.height() / 2));
    }
}

void ConnectItemClick(TMainForm& main)
{
    TMDIChild* active = ActiveDocument(main);
    if (!active)
        return;
    TConnectDlg dialog(&main);
    for (QMdiSubWindow* window : main.MdiArea()->subWindowList())
        if (auto* document = dynamic_cast<TMDIChild*>(window); document && !document->Picture().Empty())
            dialog.AddDocument(document->windowTitle(), document);
    dialog.SetSettings({ JoinDirection(main.joinDirection), MarginColour(main.joinColour),
        main.joinMargin });
    CentreOnScreen(dialog);
    if (platform::qt::Dialogs().Exec(dialog) != QDialog::Accepted)
        return;
    const JoinSettings settings = dialog.Settings();
    main.joinDirection = int(settings.direction);
    main.joinColour = int(settings.colour);
    main.joinMargin = settings.margin;
    auto* chosen = dynamic_cast<TMDIChild*>(dialog.Chosen());
    if (!chosen || active->Picture().Empty())
        return;
    TBitmap joined;
    {
        platform::qt::WaitCursor wait;
        FramePanelSink sink(main);
        joined = JoinPictures(active->Picture(), chosen->Picture(), settings,
            ProcessContext { &sink, main.PaletteDisplayFlag() });
    }
    const std::string caption = JoinCaption(
        active->windowTitle().toStdString(), chosen->windowTitle().toStdString());
    input::ui::NewDocumentFromBuffer(main, std::move(joined), QString::fromStdString(caption));
}

void WireGeometryCommands(TMDIChild& document, TMainForm& main)
{
    TMDIChild* doc = &document;
    TMainForm* frame = &main;
    auto on = [doc](const char* name, auto body) {
        QObject::connect(doc->Item(QString::fromUtf8(name)), &QAction::triggered, doc,
            platform::qt::Guarded(doc, body));
    };
    auto run = [doc, frame](Operation op) { RunOnDocument(*doc, *frame, op); };
    on("L1", [run] { run(RotateLeft); });
    on("R1", [run] { run(RotateRight); });
    on("N180R1", [run] { run(Rotate180); });
    on("R2", [run, doc] {
        std::string refusal;
        run([&refusal](TBitmap& p, TBitmap* u, const ProcessContext& c) {
            return FlipVertical(p, u, c, &refusal);
        });
        if (!refusal.empty())
            platform::qt::ShowError(doc, QString::fromStdString(refusal));
    });
    on("N15", [run, doc, frame] {
        auto angle = InputReal(doc, frame->WorkArea(), QStringLiteral("回転/角度の入力"), 0, -180, 180);
        if (!angle)
            return;
        const double value = *angle;
        run([value](TBitmap& p, TBitmap* u, const ProcessContext& c) {
            return RotateByAngle(p, u, value, c);
        });
    });
    on("DC256", [doc, frame] { DC256Click(*doc, *frame); });
    on("DC240", [run] { run(ReduceSys240); });
    on("DC16", [doc, frame] { DC16Click(*doc, *frame); });
    on("Mono1", [run] { run(ReduceMonochrome); });
    on("GLM1", [doc, frame] { GLM1Click(*doc, *frame); });
    on("ClpMnu", [doc, frame] { ClpMnuClick(*doc, *frame); });
    // Forwarded to the frame's command, which joins the active document.
    on("ConnectItem", [frame] { ConnectItemClick(*frame); });
}

} // namespace vtl::processing::ui
