// The program: one instance at a time, a main window, the message loop.

#include "app/open_requests.h"
#include "app/ui/main_form.h"
#include "app/ui/open_request_client.h"
#include "platform/named_mutex.h"
#include "platform/qt/dialog_service.h"
#include "platform/qt/translations.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFontDatabase>
#include <QSessionManager>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <optional>

namespace {

// The last line of defence: every handler of the program runs its work guarded, but should an
// error still reach the event loop, the user sees it and the program goes on with its documents.
class TApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override
    {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception& e) {
            vtl::platform::qt::ShowError(nullptr, QString::fromUtf8(e.what()));
        } catch (...) {
            vtl::platform::qt::ShowError(nullptr, QStringLiteral("Unknown error"));
        }
        return false;
    }
};

// "MS UI Gothic" where installed, else a Japanese font from the system's packages.
QFont InterfaceFont()
{
    const QStringList families = QFontDatabase::families();
    for (const char* name : { "MS UI Gothic", "IPAGothic", "IPAPGothic", "Noto Sans CJK JP" }) {
        if (families.contains(QString::fromUtf8(name))) {
            QFont font(QString::fromUtf8(name));
            font.setPointSize(9);
            return font;
        }
    }
    QFont font = QApplication::font();
    font.setPointSize(9);
    return font;
}

constexpr const char* kMutexName = "Tamsol_vtl";

// A second start hands its command line to the running program as vtl-open would, and ends: 0
// when the names were sent (or there was nothing to open), 1 with a message naming them when the
// running program doesn't answer. Nullopt when the running program ended meanwhile: this start
// then holds the lock in `mutex` and becomes the program.
std::optional<int> HandToRunningProgram(
    int argc, char** argv, std::unique_ptr<vtl::platform::NamedMutex>& mutex)
{
    QCoreApplication app(argc, argv);
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    // "-n" first opens nothing, as on a first start.
    if (arguments.isEmpty() || arguments.first() == QStringLiteral("-n"))
        return 0;
    const QByteArray macro = vtl::app::ui::OpenMacroFor(arguments);
    const QString server = QString::fromStdString(vtl::app::OpenGraphicServerName());
    // A program that has just taken the lock listens once its window stands.
    const bool sent = vtl::app::ui::SendOpenRequestWithin(server, macro,
        vtl::app::ui::OpenRequestWaitMs(10000),
        [&mutex] { return (mutex = vtl::platform::NamedMutex::TryCreate(kMutexName)) != nullptr; });
    if (sent)
        return 0;
    if (mutex)
        return std::nullopt;
    std::fputs(
        qPrintable(vtl::app::ui::NotAnsweredMessage(QStringLiteral("vtl"), server, arguments)),
        stderr);
    return 1;
}

}

int main(int argc, char** argv)
{
    // One program at a time: a second start sends its files to the running one and ends.
    auto mutex = vtl::platform::NamedMutex::TryCreate(kMutexName);
    if (!mutex)
        if (auto status = HandToRunningProgram(argc, argv, mutex))
            return *status;

    TApplication app(argc, argv);
    // No display name: the window system's titles are the program's captions as they stand.
    QApplication::setApplicationName(QStringLiteral("vtl"));
    QApplication::setFont(InterfaceFont());
    vtl::platform::qt::InstallJapaneseTranslations(app);

    QStringList arguments = QApplication::arguments();
    arguments.removeFirst();
    vtl::app::ui::TMainForm form(arguments);
    form.show();
    // The session ending closes the frame as the user would: unsaved documents are asked about,
    // and a document the user keeps cancels the logout.
    QObject::connect(
        &app, &QGuiApplication::commitDataRequest, &form, [&form](QSessionManager& manager) {
            if (manager.allowsInteraction()) {
                if (!form.close())
                    manager.cancel();
                manager.release();
            }
        });
    // The desktop's vtl-open hands files to this instance through the server.
    form.ListenForOpenRequests(QString::fromStdString(vtl::app::OpenGraphicServerName()));

    // Tests and tools/run without a display: a picture of the window once it stands, then quit.
    if (const char* shot = std::getenv("VTL_SCREENSHOT"); shot && *shot) {
        QString path = QString::fromLocal8Bit(shot);
        QTimer::singleShot(1500, &form, [&form, path] {
            form.grab().save(path);
            form.close();
        });
    }
    return app.exec();
}
