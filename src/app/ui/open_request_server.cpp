#include "app/ui/open_request_server.h"

#include <QLocalServer>
#include <QLocalSocket>

namespace vtl::app::ui {

TOpenRequestServer::TOpenRequestServer(
    std::function<void(const QString& macro)> execute, QObject* parent)
    : QObject(parent)
    , m_server(new QLocalServer(this))
    , m_execute(std::move(execute))
{
    // Only this user may connect.
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &TOpenRequestServer::Accept);
}

bool TOpenRequestServer::Listen(const QString& name)
{
    QLocalServer::removeServer(name);
    return m_server->listen(name);
}

void TOpenRequestServer::Accept()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::readyRead, socket, [socket] {
            // Too much for a list of names: the connection is dropped without running anything.
            if (socket->bytesAvailable() > kMaxMacroBytes)
                socket->abort();
        });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket] {
            socket->deleteLater();
            const QByteArray macro = socket->readAll();
            if (!macro.isEmpty() && macro.size() <= kMaxMacroBytes)
                m_execute(QString::fromUtf8(macro));
        });
    }
}

} // namespace vtl::app::ui
