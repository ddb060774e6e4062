#pragma once
// The running program's end of the open requests: a local socket server that takes one execute
// macro from each connection (the bytes sent until the client closes) and hands it on.

#include <QObject>
#include <QString>
#include <functional>

class QLocalServer;

namespace vtl::app::ui {

class TOpenRequestServer : public QObject {
    Q_OBJECT
public:
    explicit TOpenRequestServer(std::function<void(const QString& macro)> execute,
        QObject* parent = nullptr);

    // Listens at `name`, replacing a socket a program that ended without closing left behind
    // (only the single running instance listens). False when the socket can't be made.
    bool Listen(const QString& name);

    // Macros longer than this are dropped: a file list never comes near it.
    static constexpr qint64 kMaxMacroBytes = 1 << 20;

private:
    void Accept();

    QLocalServer* m_server;
    std::function<void(const QString&)> m_execute;
};

} // namespace vtl::app::ui
