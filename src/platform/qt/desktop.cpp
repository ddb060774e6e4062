#include "platform/qt/desktop.h"

#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

namespace vtl::platform::qt {

namespace {
    bool Run(const QString& program, const QStringList& arguments)
    {
        if (QStandardPaths::findExecutable(program).isEmpty())
            return false;
        QProcess p;
        p.start(program, arguments);
        return p.waitForFinished(5000) && p.exitStatus() == QProcess::NormalExit
            && p.exitCode() == 0;
    }
}

bool SetDesktopWallpaper(const QString& file)
{
    const QString uri = QUrl::fromLocalFile(file).toString();
    const QString desktop = qEnvironmentVariable("XDG_CURRENT_DESKTOP").toLower();
    if (desktop.contains(QStringLiteral("kde")))
        return Run(QStringLiteral("plasma-apply-wallpaperimage"), { file });
    if (desktop.contains(QStringLiteral("xfce")))
        return Run(QStringLiteral("xfconf-query"),
            { QStringLiteral("-c"), QStringLiteral("xfce4-desktop"), QStringLiteral("-p"),
                QStringLiteral("/backdrop/screen0/monitor0/workspace0/last-image"),
                QStringLiteral("-s"), file });
    if (desktop.contains(QStringLiteral("cinnamon")))
        return Run(QStringLiteral("gsettings"),
            { QStringLiteral("set"), QStringLiteral("org.cinnamon.desktop.background"),
                QStringLiteral("picture-uri"), uri });
    if (desktop.contains(QStringLiteral("mate")))
        return Run(QStringLiteral("gsettings"),
            { QStringLiteral("set"), QStringLiteral("org.mate.background"),
                QStringLiteral("picture-filename"), file });
    if (desktop.contains(QStringLiteral("gnome")) || desktop.contains(QStringLiteral("unity"))) {
        bool done = Run(QStringLiteral("gsettings"),
            { QStringLiteral("set"), QStringLiteral("org.gnome.desktop.background"),
                QStringLiteral("picture-uri"), uri });
        // Newer GNOME keeps a second picture for the dark style.
        Run(QStringLiteral("gsettings"),
            { QStringLiteral("set"), QStringLiteral("org.gnome.desktop.background"),
                QStringLiteral("picture-uri-dark"), uri });
        return done;
    }
    return false;
}

} // namespace vtl::platform::qt
