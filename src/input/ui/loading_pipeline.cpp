#include "input/ui/loading_pipeline.h"

#include "app/ui/main_form.h"
#include "codecs/jpeg_decoder.h"
#include "codecs/png_image.h"
#include "document/dib.h"
#include "document/ui/mdi_child.h"
#include "platform/qt/dialog_service.h"

#include <QApplication>
#include <QFileInfo>
#include <QMdiArea>
#include <QStatusBar>

namespace vtl::input::ui {

using app::ui::TMainForm;
using document::ui::TMDIChild;

namespace {
    // The hourglass for the time of a request, restored on every path.
    struct WaitCursor {
        WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
        ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    };

    enum class Builtin { None, ThumbCache, Bmp, Jpeg, Png };

    // The built-in entries of the picture extension list; the comparison alone is lower-cased.
    Builtin BuiltinEntry(const QString& fileName)
    {
        const QString lower = fileName.toLower();
        if (lower.endsWith(QStringLiteral(".snx")))
            return Builtin::ThumbCache;
        if (lower.endsWith(QStringLiteral(".bmp")))
            return Builtin::Bmp;
        if (lower.endsWith(QStringLiteral(".jpg")) || lower.endsWith(QStringLiteral(".jpeg")))
            return Builtin::Jpeg;
        if (lower.endsWith(QStringLiteral(".png")))
            return Builtin::Png;
        return Builtin::None;
    }

    TMDIChild* MakeDocument(TMainForm& main, const QString& fileName)
    {
        auto* child = new TMDIChild(main);
        child->FileNameValue = fileName;
        child->setWindowTitle(QFileInfo(fileName).fileName());
        main.MdiArea()->addSubWindow(child);
        child->show();
        return child;
    }

    // On a palette display, a picture deeper than 8 bits is reduced through the image buffer.
    void ReduceForPaletteDisplay(TMainForm& main, platform::TBitmap& picture)
    {
        if (!main.PaletteDisplayFlag() || picture.BitsPerPixel() <= 8)
            return;
        document::TDIB dib;
        dib.Assign(picture);
        main.SetStatusText(QStringLiteral("減色中..."));
        struct ClearStatus {
            TMainForm& main;
            ~ClearStatus() { main.SetStatusText(QString()); }
        } clear { main };
        dib.SetPixelFormat(document::DibPixelFormat::Dib8Bit);
        dib.AssignTo(picture);
    }

    void ShowProgress(TMainForm& main, const platform::ProgressReport& report)
    {
        if (report.stage == platform::ProgressStage::Running)
            main.SetStatusText(QStringLiteral(" Read %1%").arg(report.percent));
        else
            main.SetStatusText(QString());
    }

    // Decodes a built-in format into `picture`. Errors go to the general error report.
    void DecodeBuiltin(TMainForm& main, Builtin entry, const QString& fileName, platform::TBitmap& picture)
    {
        const std::filesystem::path path = fileName.toStdString();
        platform::ProgressHandler progress = [&main](const platform::ProgressReport& r) { ShowProgress(main, r); };
        switch (entry) {
        case Builtin::Jpeg: {
            codecs::JpegDecodeOptions options;
            options.progress = &progress;
            codecs::DecodeJpegFile(path, picture, options);
            break;
        }
        case Builtin::Png: {
            codecs::TPngImage png;
            png.OnProgress = progress;
            png.LoadFromFile(path);
            png.AssignTo(picture);
            break;
        }
        case Builtin::Bmp: {
            document::TDIB dib;
            dib.LoadFromFile(path);
            dib.AssignTo(picture);
            break;
        }
        default:
            return;
        }
        ReduceForPaletteDisplay(main, picture);
    }
}

QMdiSubWindow* OpenFile(TMainForm& main, const QString& fileName, int zoomIndex)
{
    if (!main.Children().isEmpty())
        main.Item(QStringLiteral("BackBtn"))->setEnabled(true);
    WaitCursor wait;
    TMDIChild* child = nullptr;
    const QFileInfo info(fileName);
    if (!info.exists()) {
        child = MakeDocument(main, fileName);
    } else {
        const Builtin entry = BuiltinEntry(fileName);
        if (entry == Builtin::Bmp || entry == Builtin::Jpeg || entry == Builtin::Png) {
            child = MakeDocument(main, info.absoluteFilePath());
            try {
                DecodeBuiltin(main, entry, fileName, child->Picture);
            } catch (const std::exception& e) {
                // The general error report; the window made before decoding remains.
                platform::qt::ShowError(&main, QString::fromUtf8(e.what()));
            }
        }
    }
    if (child) {
        main.setWindowTitle(child->windowTitle() + QStringLiteral(" - Vistrel"));
        if (!child->Picture.Empty()) {
            child->SetZoom(zoomIndex);
            child->UpdateSizeInfo();
            child->EnableLoadedCommands(zoomIndex);
        }
    }
    main.UpdatePasteState();
    return child;
}

QMdiSubWindow* NewDocumentFromBuffer(TMainForm& main, platform::TBitmap picture, const QString& name)
{
    const QString caption = name.isEmpty() ? QStringLiteral("新規%1").arg(main.Children().size() + 2) : name;
    main.setWindowTitle(caption + QStringLiteral(" - Vistrel"));
    const bool hadChildren = !main.Children().isEmpty();
    auto* child = new TMDIChild(main);
    child->FileNameValue = caption;
    child->setWindowTitle(caption);
    child->Picture = std::move(picture);
    main.MdiArea()->addSubWindow(child);
    child->show();
    if (hadChildren)
        main.Item(QStringLiteral("BackBtn"))->setEnabled(true);
    child->Item(QStringLiteral("ConnectItem"))->setEnabled(true);
    if (!child->Picture.Empty()) {
        child->ModifiedCount = 1;
        child->SetZoom(3);
        child->UpdateSizeInfo();
        child->EnableLoadedCommands(3);
    }
    main.UpdatePasteState();
    return child;
}

} // namespace vtl::input::ui
