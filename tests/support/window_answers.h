#pragma once
// Answering a window that is not the program's own, such as the scanner manager's: the window is
// found among the top-level widgets by its objectName once it shows, from inside the event loop
// that shows it (a modal dialog's own loop, or the events a command runs while it waits), and the
// test's action runs on it once, as a user's clicks would.

#include <QApplication>
#include <QElapsedTimer>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <exception>
#include <functional>
#include <memory>

namespace vtl::testing {

class WindowAnswer {
public:
    WindowAnswer(QString name, std::function<void(QWidget&)> action, int timeoutMs = 20000)
        : m_name(std::move(name))
        , m_action(std::move(action))
        , m_timer(std::make_unique<QTimer>())
    {
        m_clock.start();
        m_timer->setInterval(10);
        QObject::connect(m_timer.get(), &QTimer::timeout, [this, timeoutMs] {
            if (m_clock.elapsed() > timeoutMs) {
                m_timer->stop();
                return;
            }
            for (QWidget* widget : QApplication::topLevelWidgets()) {
                if (widget->isVisible() && widget->objectName() == m_name) {
                    m_timer->stop();
                    m_answered = true;
                    // Nothing may leave the timer's slot; the window is closed so that whatever
                    // waits for it goes on.
                    try {
                        m_action(*widget);
                    } catch (const std::exception& e) {
                        ADD_FAILURE() << e.what();
                        widget->close();
                    }
                    return;
                }
            }
        });
        m_timer->start();
    }
    WindowAnswer(const WindowAnswer&) = delete;
    WindowAnswer& operator=(const WindowAnswer&) = delete;

    // The window showed and the action ran.
    bool Answered() const { return m_answered; }

private:
    QString m_name;
    std::function<void(QWidget&)> m_action;
    std::unique_ptr<QTimer> m_timer;
    QElapsedTimer m_clock;
    bool m_answered = false;
};

// The visible top-level window named `name`, or null.
inline QWidget* VisibleWindow(const QString& name)
{
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->isVisible() && widget->objectName() == name)
            return widget;
    return nullptr;
}

} // namespace vtl::testing
