// The program: one instance at a time, a main window, the message loop.

#include "app/open_requests.h"
#include "app/ui/main_form.h"
#include "platform/named_mutex.h"
#include "platform/qt/dialog_service.h"
#include "platform/qt/translations.h"

#include <QApplication>
#include <QFontDatabase>
#include <QSessionManager>
#include <QTimer>
#include <cstdlib>

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

}

int main(int argc, char** argv)
{
    // A second start ends at once and quietly; files reach the running one through its server.
    auto mutex = vtl::platform::NamedMutex::TryCreate("Tamsol_vtl");
    if (!mutex)
        return 0;

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
