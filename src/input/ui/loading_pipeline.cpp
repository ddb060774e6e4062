#include "input/ui/loading_pipeline.h"

#include "app/ui/main_form.h"
#include "document/ui/mdi_child.h"
#include "browse/thumb_cache.h"
#include "browse/ui/arc_form.h"
#include "input/help_graphic.h"
#include "input/picture_loader.h"
#include "input/ui/load_cancel.h"
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

input::DecodeContext FrameDecodeContext(TMainForm& main)
{
    input::DecodeContext context = input::DecodeContext::FromEnvironment(main.AppSettings().sumSize);
    context.paletteDisplay = main.PaletteDisplayFlag();
    context.budget = platform::MemoryBudget::FromMegabytes(main.AppSettings().memoryBudgetMB);
    context.photo = { main.AppSettings().photoUpright, main.AppSettings().photoTrueColours };
    context.status = [&main](const std::string& text) {
        main.SetStatusText(QString::fromStdString(text));
    };
    return context;
}

bool ReadStepPicture(TMainForm& main, const std::filesystem::path& file, platform::TBitmap& picture)
{
    input::FileOpenResult result;
    try {
        result = input::OpenPictureFile(main.Plugins(), file, picture, FrameDecodeContext(main));
    } catch (const std::exception& e) {
        platform::qt::ShowError(&main, QString::fromUtf8(e.what()));
        return false;
    }
    if (result.outcome == input::FileOpenOutcome::Failed)
        platform::qt::ShowError(&main, QString::fromStdString(result.message));
    return result.outcome == input::FileOpenOutcome::Picture;
}

TMDIChild* NewDocument(TMainForm& main, platform::TBitmap picture, const QString& fileName,
    const QString& caption, int zoomIndex, TMDIChild::Origin origin)
{
    if (!main.Children().isEmpty())
        main.Item(QStringLiteral("BackBtn"))->setEnabled(true);
    auto* child = new TMDIChild(main);
    main.MdiArea()->addSubWindow(child);
    child->show();
    child->ShowPicture(std::move(picture), fileName, caption, zoomIndex, origin);
    main.UpdatePasteState();
    return child;
}

QMdiSubWindow* OpenFile(TMainForm& main, const QString& fileName, int zoomIndex)
{
    if (!main.Children().isEmpty())
        main.Item(QStringLiteral("BackBtn"))->setEnabled(true);
    platform::qt::WaitCursor wait;
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
        main.UpdatePasteState();
        return archive;
    }
    // A document for the file's picture; a built-in reader's error still leaves the window, empty.
    auto document = [&](platform::TBitmap picture, const QString& name) {
        return NewDocument(main, std::move(picture), name, QFileInfo(name).fileName(), zoomIndex,
            TMDIChild::Origin::File);
    };
    if (!info.exists())
        return document({}, fileName);
    const QString fullName = info.absoluteFilePath();
    if (!archiveCache && info.suffix().toLower() == QStringLiteral("shg")) {
        platform::TBitmap picture;
        QString error;
        try {
            render::TMetafilePlayer player;
            input::ReadHelpGraphicFile(picture, fileName.toStdString(), &player);
        } catch (const std::exception& e) {
            picture = platform::TBitmap();
            error = QString::fromUtf8(e.what());
        }
        TMDIChild* child = document(std::move(picture), fullName);
        if (!error.isEmpty())
            platform::qt::ShowError(&main, error);
        return child;
    }
    // Built-in readers and picture plug-ins decode before the window is made, so that a file
    // nothing claims opens no window.
    const std::filesystem::path path = fileName.toStdString();
    platform::TBitmap picture;
    input::FileOpenResult result;
    try {
        LoadCancel escape;
        input::DecodeContext context = FrameDecodeContext(main);
        context.cancelled = [&escape] { return escape.Cancelled(); };
        result = input::OpenPictureFile(main.Plugins(), path, picture, context);
    } catch (const platform::ELoadCancelled&) {
        return nullptr; // Esc: no document, nothing to report (the reader cleared the status)
    } catch (const platform::EPictureTooLarge& e) {
        // Refused before anything was allocated: the message, and no window.
        platform::qt::ShowError(&main, QString::fromUtf8(e.what()));
        return nullptr;
    } catch (const std::exception& e) {
        TMDIChild* child = document({}, fullName);
        platform::qt::ShowError(&main, QString::fromUtf8(e.what()));
        return child;
    }
    switch (result.outcome) {
    case input::FileOpenOutcome::Picture:
        return document(std::move(picture), fullName);
    case input::FileOpenOutcome::ThumbCache: {
        platform::TBitmap strip;
        platform::qt::RunGuarded(&main, [&] {
            document::TDIB dib;
            if (browse::LoadCacheImage(
                    path, dib, browse::ThumbSizeOfIndex(main.AppSettings().sumSize)))
                dib.AssignTo(strip);
        });
        return document(std::move(strip), fullName);
    }
    case input::FileOpenOutcome::Failed:
        platform::qt::ShowError(&main, QString::fromStdString(result.message));
        break;
    case input::FileOpenOutcome::NoPlugin:
        // No picture decoder claims the file: the archive plug-ins may list it into an archive
        // window (which sets the main caption and lays out its grid).
        platform::qt::RunGuarded(&main, [&] {
            archive = browse::ui::TArcForm::ListArchive(main, fullName);
        });
        break;
    default:
        break;
    }
    main.UpdatePasteState();
    return archive;
}

QMdiSubWindow* NewDocumentFromBuffer(
    TMainForm& main, platform::TBitmap picture, const QString& name)
{
    const QString caption
        = name.isEmpty() ? QStringLiteral("新規%1").arg(main.Children().size() + 2) : name;
    TMDIChild* child
        = NewDocument(main, std::move(picture), caption, caption, 3, TMDIChild::Origin::Buffer);
    child->Item(QStringLiteral("ConnectItem"))->setEnabled(true);
    return child;
}

} // namespace vtl::input::ui
