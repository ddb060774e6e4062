#include "input/ui/twain_commands.h"

#include "app/ui/main_form.h"
#include "input/twain_acquisition.h"
#include "input/ui/gimg_dialog.h"
#include "input/ui/loading_pipeline.h"
#include "platform/qt/dialog_service.h"
#include "platform/qt/screens.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThread>

#include <cstdint>
#include <functional>
#include <memory>

namespace vtl::input::ui {

namespace {

void Warn(app::ui::TMainForm& main, const char* text)
{
    platform::qt::Dialogs().MessageBox(&main, QStringLiteral("vtl"), QString::fromUtf8(text),
        platform::qt::MsgIcon::Warning, platform::qt::MsgButtons::Ok);
}

// The manager library, or nothing (with the warning shown when it isn't installed).
std::unique_ptr<TwainLibrary> LoadManager(app::ui::TMainForm& main)
{
    auto library = std::make_unique<TwainLibrary>(TwainManagerPath());
    switch (library->Status()) {
    case TwainLibrary::State::Loaded:
        return library;
    case TwainLibrary::State::NotInstalled:
        Warn(main, kTwainNotInstalledText);
        return nullptr;
    case TwainLibrary::State::NoEntry:
        break;
    }
    return nullptr;
}

// While the source is enabled the program keeps running its own events; the pause keeps the
// loop from spinning when nothing happens. The loop ends when the main window goes away.
std::function<bool()> EventPump(app::ui::TMainForm& main)
{
    return [window = QPointer<app::ui::TMainForm>(&main)] {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        if (!window || QCoreApplication::closingDown())
            return false;
        QThread::msleep(5);
        return true;
    };
}

// Events run while the manager is in use, so the commands could be started again from inside
// themselves; a second conversation with the manager is not begun.
bool g_busy = false;

struct BusyScope {
    BusyScope() { g_busy = true; }
    ~BusyScope() { g_busy = false; }
};

TW_HANDLE ParentHandle(app::ui::TMainForm& main)
{
    return reinterpret_cast<TW_HANDLE>(static_cast<uintptr_t>(main.winId()));
}

} // namespace

void ScanImage(app::ui::TMainForm& main)
{
    if (g_busy)
        return;
    BusyScope busy;
    app::Settings& settings = main.AppSettings();
    QString basePath;
    if (settings.twainSave) {
        TGImgDlg dialog(settings, &main);
        platform::qt::CentreOnPointer(dialog, main.WorkArea());
        if (platform::qt::Dialogs().Exec(dialog) != QDialog::Accepted)
            return;
        dialog.ApplyTo(settings);
        basePath = dialog.BasePath();
    }
    std::unique_ptr<TwainLibrary> library = LoadManager(main);
    if (!library)
        return;
    TwainSession session(library->Entry(), ParentHandle(main), EventPump(main));
    if (settings.twainSave) {
        const int mode = settings.twainMode >= 0 && settings.twainMode <= 4 ? settings.twainMode : 0;
        const QPointer<app::ui::TMainForm> window(&main);
        const TwainOutcome outcome = session.AcquireToFiles(
            basePath.toStdString(), static_cast<TwainFileFormat>(mode), settings.png);
        if (window && (outcome == TwainOutcome::CannotOpen || session.TransferFailed()))
            Warn(main, kTwainCannotOpenText);
        return;
    }
    const QPointer<app::ui::TMainForm> window(&main);
    const TwainOutcome outcome = session.AcquireForDocuments();
    if (!window)
        return;
    if (outcome == TwainOutcome::CannotOpen) {
        Warn(main, kTwainCannotOpenText);
        return;
    }
    for (;;) {
        platform::TBitmap picture;
        if (!session.NextAcquired(picture))
            break;
        NewDocumentFromBuffer(main, std::move(picture));
    }
    session.ReleaseAcquired();
    // A device that failed or stopped mid-scan: the pages before it are open, and the user is
    // told that the source failed.
    if (session.TransferFailed() && window)
        Warn(main, kTwainCannotOpenText);
}

void SelectDevice(app::ui::TMainForm& main)
{
    if (g_busy)
        return;
    BusyScope busy;
    std::unique_ptr<TwainLibrary> library = LoadManager(main);
    if (!library)
        return;
    TwainSession session(library->Entry(), ParentHandle(main), EventPump(main));
    if (session.SelectSource() == TwainOutcome::CannotOpen)
        Warn(main, kTwainCannotOpenText);
}

} // namespace vtl::input::ui
