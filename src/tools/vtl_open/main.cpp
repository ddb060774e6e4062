// vtl-open FILE...: hands files to the running vtl, starting it first when none answers.
//
// The names are made absolute here, where they were given, and sent as one macro to the running
// program's socket; vtl opens them as if they had been named on its command line. When no
// program answers, vtl is started with "-n" (it then waits for the macro instead of reading its
// own command line) and the macro is sent as soon as it listens.

#include "app/open_requests.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>
#include <QThread>

#include <cstdio>

namespace {

bool Send(const QString& server, const QByteArray& macro)
{
    QLocalSocket socket;
    socket.connectToServer(server);
    if (!socket.waitForConnected(1000))
        return false;
    socket.write(macro);
    while (socket.bytesToWrite() > 0)
        if (!socket.waitForBytesWritten(5000))
            return false;
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(5000);
    return true;
}

}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    if (arguments.isEmpty()) {
        std::fprintf(stderr, "usage: vtl-open FILE...\n");
        return 2;
    }
    std::vector<std::string> names;
    for (const QString& argument : arguments)
        names.push_back(QFileInfo(argument).absoluteFilePath().toStdString());
    const QByteArray macro = QByteArray::fromStdString(vtl::app::MakeOpenMacro(names));
    const QString server = QString::fromStdString(vtl::app::OpenGraphicServerName());

    if (Send(server, macro))
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
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 20000) {
        if (Send(server, macro))
            return 0;
        QThread::msleep(100);
    }
    std::fprintf(stderr, "vtl-open: vtl did not answer\n");
    return 1;
}
