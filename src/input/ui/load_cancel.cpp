#include "input/ui/load_cancel.h"

#include <QCoreApplication>
#include <QKeyEvent>

namespace vtl::input::ui {

LoadCancel::LoadCancel()
{
    QCoreApplication::instance()->installEventFilter(this);
}

LoadCancel::~LoadCancel() { QCoreApplication::instance()->removeEventFilter(this); }

bool LoadCancel::Cancelled()
{
    if (!m_cancelled && (!m_ranEvents || m_sinceEvents.elapsed() >= 50)) {
        m_ranEvents = true;
        // Open requests wait on their sockets until the load is over.
        QCoreApplication::processEvents(QEventLoop::ExcludeSocketNotifiers);
        m_sinceEvents.restart();
    }
    return m_cancelled;
}

bool LoadCancel::eventFilter(QObject*, QEvent* event)
{
    switch (event->type()) {
    case QEvent::KeyPress:
        if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape)
            m_cancelled = true;
        return true;
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::Close:
    case QEvent::Drop:
    case QEvent::ContextMenu:
        return true;
    default:
        return false;
    }
}

} // namespace vtl::input::ui
