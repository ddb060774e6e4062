// vtl-open FILE...: hands files to the running vtl, starting it first when none answers.
//
// The names are made absolute here, where they were given, and sent as one macro to the running
// program's socket; vtl opens them as if they had been named on its command line. When no
// program answers, vtl is started with "-n" (it then waits for the macro instead of reading its
// own command line) and the macro is sent as soon as it listens.

#include "app/open_requests.h"
#include "app/ui/open_request_client.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>

#include <cstdio>

using namespace vtl::app::ui;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    if (arguments.isEmpty()) {
        std::fprintf(stderr, "usage: vtl-open FILE...\n");
        return 2;
    }
    const QByteArray macro = OpenMacroFor(arguments);
    const QString server = QString::fromStdString(vtl::app::OpenGraphicServerName());

    if (SendOpenRequest(server, macro))
        return 0;
    const QString program = QCoreApplication::applicationDirPath() + QStringLiteral("/vtl");
    // The program outlives this helper: it must not write into the caller's pipes, which close
    // when the helper ends (a write would then end the program).
    QProcess vtl;
    vtl.setProgram(program);
    vtl.setArguments({ QStringLiteral("-n") });
    vtl.setWorkingDirectory(QDir::homePath());
    vtl.setStandardInputFile(QProcess::nullDevice());
    vtl.setStandardOutputFile(QProcess::nullDevice());
    vtl.setStandardErrorFile(QProcess::nullDevice());
    if (!vtl.startDetached()) {
        std::fprintf(stderr, "vtl-open: cannot start %s\n", qPrintable(program));
        return 1;
    }
    if (SendOpenRequestWithin(server, macro, OpenRequestWaitMs(20000)))
        return 0;
    std::fputs(
        qPrintable(NotAnsweredMessage(QStringLiteral("vtl-open"), server, arguments)), stderr);
    return 1;
}
