#include "app/ui/open_request_client.h"

#include "app/open_requests.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocalSocket>
#include <QThread>
#include <cstdlib>
#include <vector>

namespace vtl::app::ui {

QByteArray OpenMacroFor(const QStringList& arguments)
{
    std::vector<std::string> names;
    for (const QString& argument : arguments)
        names.push_back(QFileInfo(argument).absoluteFilePath().toStdString());
    return QByteArray::fromStdString(MakeOpenMacro(names));
}

bool SendOpenRequest(const QString& server, const QByteArray& macro)
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

bool SendOpenRequestWithin(
    const QString& server, const QByteArray& macro, int waitMs, const std::function<bool()>& stop)
{
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        if (SendOpenRequest(server, macro))
            return true;
        if ((stop && stop()) || waited.elapsed() >= waitMs)
            return false;
        QThread::msleep(100);
    }
}

int OpenRequestWaitMs(int defaultMs)
{
    const char* text = std::getenv("VTL_OPEN_WAIT");
    if (!text || !*text)
        return defaultMs;
    char* end = nullptr;
    const double seconds = std::strtod(text, &end);
    if (*end != '\0' || !(seconds >= 0) || seconds > 3600)
        return defaultMs;
    return static_cast<int>(seconds * 1000);
}

QString NotAnsweredMessage(const QString& sender, const QString& server, const QStringList& names)
{
    QString message = sender + QStringLiteral(": the running vtl does not answer at ") + server
        + QStringLiteral("; not opened:\n");
    for (const QString& name : names)
        message += QStringLiteral("  ") + QFileInfo(name).absoluteFilePath() + QLatin1Char('\n');
    return message;
}

} // namespace vtl::app::ui
