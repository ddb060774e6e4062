#include "document/ui/image_view.h"

#include <QMouseEvent>
#include <QPainter>

namespace vtl::document::ui {

TImage::TImage(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("Image1"));
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(0, 0);
}

void TImage::SetPicture(QImage image)
{
    m_image = std::move(image);
    update();
}

void TImage::paintEvent(QPaintEvent* event)
{
    QPainter p(this);
    // The display copy is already at the zoomed size: drawn one to one, only where exposed.
    const QRect area = event->rect();
    p.fillRect(area, palette().window());
    if (!m_image.isNull())
        p.drawImage(area.topLeft(), m_image, area);
}

void TImage::mousePressEvent(QMouseEvent* event)
{
    m_pressed = true;
    emit MouseDown(event);
}

void TImage::mouseMoveEvent(QMouseEvent* event) { emit MouseMove(event); }

void TImage::mouseReleaseEvent(QMouseEvent* event)
{
    emit MouseUp(event);
    if (m_pressed && rect().contains(event->position().toPoint()))
        emit Clicked(event);
    m_pressed = false;
}

} // namespace vtl::document::ui
