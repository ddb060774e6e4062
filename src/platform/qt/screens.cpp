#include "platform/qt/screens.h"

#include "app/settings.h"

#include <QCursor>
#include <QLayout>
#include <QWindow>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace vtl::platform::qt {

TRect PrimaryWorkArea()
{
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return { 0, 0, 640, 480 };
    QRect r = screen->availableGeometry();
    if (r.isEmpty())
        r = screen->geometry();
    return { r.left(), r.top(), r.left() + r.width(), r.top() + r.height() };
}

void CentreOnPointer(QWidget& dialog, const TRect& workArea)
{
    const QPoint pointer = QCursor::pos();
    // The size the dialog will show with: before its layout has run, it is only a guess, and a
    // dialog clamped with the guess runs off the work area once it grows.
    dialog.ensurePolished();
    if (QLayout* layout = dialog.layout())
        layout->activate();
    dialog.adjustSize();
    // With its frame, which the window system adds once the window exists.
    dialog.winId();
    const QMargins frame
        = dialog.windowHandle() ? dialog.windowHandle()->frameMargins() : QMargins();
    const QSize size = dialog.size().grownBy(frame);
    TRect bounds { pointer.x() - size.width() / 2, pointer.y() - size.height() / 2, 0, 0 };
    bounds.Right = bounds.Left + size.width();
    bounds.Bottom = bounds.Top + size.height();
    bounds = app::ClampIntoWorkArea(bounds, workArea);
    dialog.move(bounds.Left, bounds.Top);
}

} // namespace vtl::platform::qt
