#pragma once
// Esc during a long load. Pictures are decoded in the handler that opened them; while one
// decodes, its progress reports let the window repaint and the status show " Read n%", and Esc
// stops the load. Everything else the user does meanwhile is ignored: no menu, key or click
// reaches a window whose picture is half read, and nothing closes or steps (the load counts as
// an open dialog).

#include "platform/qt/dialog_service.h"

#include <QElapsedTimer>
#include <QObject>

namespace vtl::input::ui {

class LoadCancel : public QObject {
public:
    LoadCancel();
    ~LoadCancel() override;
    LoadCancel(const LoadCancel&) = delete;
    LoadCancel& operator=(const LoadCancel&) = delete;

    // Lets waiting events run (at most every 50 ms) and answers whether Esc was pressed.
    bool Cancelled();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    platform::qt::ModalScope m_busy;
    QElapsedTimer m_sinceEvents;
    bool m_ranEvents = false;
    bool m_cancelled = false;
};

} // namespace vtl::input::ui
