#include "input/ui/loading_pipeline.h"

#include "app/ui/main_form.h"
#include "document/ui/mdi_child.h"
#include "browse/thumb_cache.h"
#include "browse/ui/arc_form.h"
#include "input/help_graphic.h"
#include "input/picture_loader.h"
#include "render/help_graphic_render.h"
#include "platform/qt/dialog_service.h"
#include "platform/qt/wait_cursor.h"

#include <QApplication>
#include <QFileInfo>
#include <QMdiArea>
#include <QStatusBar>

namespace vtl::input::ui {

using app::ui::TMainForm;
using document::ui::TMDIChild;

namespace {
    TMDIChild* MakeDocument(TMainForm& main, const QString& fileName)
    {
        auto* child = new TMDIChild(main);
        child->FileNameValue = fileName;
        child->setWindowTitle(QFileInfo(fileName).fileName());
        main.MdiArea()->addSubWindow(child);
        child->show();
        return child;
    }

}

input::DecodeContext FrameDecodeContext(TMainForm& main)
{
    input::DecodeContext context = input::DecodeContext::FromEnvironment(main.AppSettings().sumSize);
    context.paletteDisplay = main.PaletteDisplayFlag();
    context.status = [&main](const std::string& text) {
        main.SetStatusText(QString::fromStdString(text));
    };
    return context;
}

QMdiSubWindow* OpenFile(TMainForm& main, const QString& fileName, int zoomIndex)
{
    if (!main.Children().isEmpty())
        main.Item(QStringLiteral("BackBtn"))->setEnabled(true);
    platform::qt::WaitCursor wait;
    TMDIChild* child = nullptr;
    QMdiSubWindow* archive = nullptr;
    const QFileInfo info(fileName);
    // An archive with a cache file beside it opens from the cache, without any plug-in; when
    // the cache can't be used the file goes through the type dispatch (no help-graphic test).
    const bool archiveCache
        = info.exists() && QFileInfo::exists(fileName + QString::fromUtf8(browse::kCacheExtension));
    // A cache whose numbers don't read is reported, and the open ends there.
    bool cacheBroken = false;
    if (archiveCache) {
        cacheBroken = true;
        platform::qt::RunGuarded(&main, [&] {
            archive = browse::ui::TArcForm::OpenArchiveCache(main, info.absoluteFilePath());
            cacheBroken = false;
        });
    }
    if (archive || cacheBroken) {
        // built from the cache, or reported
    } else if (!info.exists()) {
        child = MakeDocument(main, fileName);
    } else if (!archiveCache && info.suffix().toLower() == QStringLiteral("shg")) {
        child = MakeDocument(main, info.absoluteFilePath());
        try {
            render::TMetafilePlayer player;
            input::ReadHelpGraphicFile(child->Picture, fileName.toStdString(), &player);
        } catch (const std::exception& e) {
            platform::qt::ShowError(&main, QString::fromUtf8(e.what()));
        }
    } else {
        // Built-in readers and picture plug-ins decode before the window is made, so that a
        // file nothing claims opens no window; a built-in reader's error still leaves one.
        const std::filesystem::path path = fileName.toStdString();
        platform::TBitmap picture;
        input::FileOpenResult result;
        try {
            result = input::OpenPictureFile(main.Plugins(), path, picture, FrameDecodeContext(main));
        } catch (const std::exception& e) {
            child = MakeDocument(main, info.absoluteFilePath());
            platform::qt::ShowError(&main, QString::fromUtf8(e.what()));
        }
        if (!child) {
            switch (result.outcome) {
            case input::FileOpenOutcome::Picture:
                child = MakeDocument(main, info.absoluteFilePath());
                child->Picture = std::move(picture);
                break;
            case input::FileOpenOutcome::ThumbCache:
                child = MakeDocument(main, info.absoluteFilePath());
                platform::qt::RunGuarded(&main, [&] {
                    document::TDIB strip;
                    if (browse::LoadCacheImage(path, strip, browse::ThumbSizeOfIndex(main.AppSettings().sumSize)))
                        strip.AssignTo(child->Picture);
                });
                break;
            case input::FileOpenOutcome::Failed:
                platform::qt::ShowError(&main, QString::fromStdString(result.message));
                break;
            case input::FileOpenOutcome::NoPlugin:
                // No picture decoder claims the file: the archive plug-ins may list it into an
                // archive window (which sets the main caption and lays out its grid).
                platform::qt::RunGuarded(&main, [&] {
                    archive = browse::ui::TArcForm::ListArchive(main, info.absoluteFilePath());
                });
                break;
            default:
                break;
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
    return child ? child : archive;
}

QMdiSubWindow* NewDocumentFromBuffer(
    TMainForm& main, platform::TBitmap picture, const QString& name)
{
    const QString caption
        = name.isEmpty() ? QStringLiteral("新規%1").arg(main.Children().size() + 2) : name;
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
