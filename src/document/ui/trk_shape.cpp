#include "document/ui/trk_shape.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPolygon>

#include <algorithm>
#include <cstdlib>

namespace vtl::document::ui {

namespace {

    constexpr int kGripSize = 5;

    bool IsLeftZone(int zone) { return zone == 1 || zone == 4 || zone == 7; }
    bool IsRightZone(int zone) { return zone == 3 || zone == 6 || zone == 9; }
    bool IsBottomZone(int zone) { return zone == 1 || zone == 2 || zone == 3; }
    bool IsTopZone(int zone) { return zone == 7 || zone == 8 || zone == 9; }

} // namespace

TTrkShape::TTrkShape(QWidget* parent)
    : QWidget(parent)
{
    // Hit zones and cursors follow the pointer without a button held.
    setMouseTracking(true);
    resize(65, 65);
}

TTrkShape::~TTrkShape()
{
    if (m_manager)
        m_manager->Remove(this);
}

void TTrkShape::SetPen(const TTrkPen& pen)
{
    if (m_pen == pen)
        return;
    m_pen = pen;
    update();
}

void TTrkShape::SetBrush(const QBrush& brush)
{
    if (m_brush == brush)
        return;
    m_brush = brush;
    update();
}

void TTrkShape::SetShape(TTrkShapeType shape)
{
    if (m_shape == shape)
        return;
    m_shape = shape;
    update();
}

void TTrkShape::SetSelectView(bool selectView)
{
    if (m_selectView == selectView)
        return;
    m_selectView = selectView;
    update();
}

void TTrkShape::SetSelected(bool selected)
{
    if (m_selected == selected)
        return;
    m_selected = selected;
    if (selected) {
        setCursor(Qt::PointingHandCursor);
        raise();
    } else {
        unsetCursor();
    }
    update();
    if (selected && m_manager)
        m_manager->SelectOne(this);
}

void TTrkShape::Deselect()
{
    m_selected = false;
    unsetCursor();
    update();
}

void TTrkShape::SetFixedImage(QWidget* image) { m_fixedImage = image; }

void TTrkShape::SetManager(TTrkShapeManager* manager)
{
    if (m_manager == manager)
        return;
    if (m_manager)
        m_manager->Remove(this);
    m_manager = manager;
    if (manager)
        manager->Add(this);
}

QRect TTrkShape::FixedBounds() const
{
    QWidget* image = m_fixedImage;
    QWidget* parent = parentWidget();
    if (!parent || image->parentWidget() == parent)
        return image->geometry();
    // The image may sit in another container than the shape (a scroll area's viewport, say).
    const QPoint topLeft = parent->mapFromGlobal(image->mapToGlobal(QPoint(0, 0)));
    return QRect(topLeft, image->size());
}

void TTrkShape::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const int penWidth = std::max(m_pen.Width, 0);
    QPen pen(m_pen.Color, penWidth, m_pen.Style, Qt::SquareCap, Qt::MiterJoin);
    if (m_pen.Mode == TTrkPenMode::pmNot) {
        // Only the dashes invert the picture below; the gaps leave it as it is.
        p.setCompositionMode(QPainter::RasterOp_NotDestination);
    }
    p.setPen(pen);
    p.setBrush(m_brush);

    int insetX = penWidth / 2;
    int insetY = insetX;
    const int extra = penWidth > 0 ? 1 : 0;
    int w = width() - penWidth + extra;
    int h = height() - penWidth + extra;
    const bool square = m_shape == TTrkShapeType::sktSquare
        || m_shape == TTrkShapeType::sktRoundSquare || m_shape == TTrkShapeType::sktCircle;
    if (square) {
        const int m = std::min(w, h);
        insetX += (w - m) / 2;
        insetY += (h - m) / 2;
        w = h = m;
    }

    // The box runs from (inset) to (inset + w, inset + h) with the far edges excluded, as a
    // rectangle of w by h pixels; Qt's outlines include their far edge, hence the - 1.
    const QRect box(insetX, insetY, std::max(w - 1, 0), std::max(h - 1, 0));
    switch (m_shape) {
    case TTrkShapeType::sktFrame: {
        const int right = insetX + w - 1;
        const int bottom = insetY + h - 1;
        const QPolygon outline({ QPoint(insetX, insetY), QPoint(right, insetY),
            QPoint(right, bottom), QPoint(insetX, bottom), QPoint(insetX, insetY) });
        p.setBrush(Qt::NoBrush);
        p.drawPolyline(outline);
        break;
    }
    case TTrkShapeType::sktRectangle:
    case TTrkShapeType::sktSquare:
        p.drawRect(box);
        break;
    case TTrkShapeType::sktRoundRect:
    case TTrkShapeType::sktRoundSquare: {
        // The corner ellipse is m / 4 across, so its radius is half that.
        const qreal radius = std::min(w, h) / 4 / 2.0;
        p.drawRoundedRect(box, radius, radius);
        break;
    }
    case TTrkShapeType::sktEllipse:
    case TTrkShapeType::sktCircle:
        p.drawEllipse(box);
        break;
    }

    if (m_selected && m_selectView && m_dragMode == TDragMode::Idle) {
        p.setCompositionMode(QPainter::CompositionMode_SourceOver);
        const int right = w - kGripSize;
        const int bottom = h - kGripSize;
        const QPoint grips[] = { { 0, 0 }, { right, 0 }, { right, bottom }, { 0, bottom },
            { right / 2, 0 }, { right, bottom / 2 }, { right / 2, bottom }, { 0, bottom / 2 } };
        for (const QPoint& at : grips)
            p.fillRect(QRect(at, QSize(kGripSize, kGripSize)), m_pen.Color);
    }
}

void TTrkShape::UpdateHitZone(QPoint pos)
{
    const int x = pos.x();
    const int y = pos.y();
    const int w = width();
    const int h = height();
    const int cx = w / 2;
    const int cy = h / 2;
    const bool middleY = cy - 3 < y && y < cy + 3;
    const bool middleX = cx - 3 < x && x < cx + 3;

    // Left edge first, then right edge, then the middle column: in a narrow shape the corner
    // grips win over the middle ones.
    Qt::CursorShape shape = Qt::PointingHandCursor;
    int zone = m_zone;
    if (x <= 2 && y <= 2) {
        shape = Qt::SizeFDiagCursor;
        zone = 7;
    } else if (x <= 2 && y > h - 3) {
        shape = Qt::SizeBDiagCursor;
        zone = 1;
    } else if (x <= 2 && middleY) {
        shape = Qt::SizeHorCursor;
        zone = 4;
    } else if (x > w - 3 && y <= 2) {
        shape = Qt::SizeBDiagCursor;
        zone = 9;
    } else if (x > w - 3 && y > h - 3) {
        shape = Qt::SizeFDiagCursor;
        zone = 3;
    } else if (x > w - 3 && middleY) {
        shape = Qt::SizeHorCursor;
        zone = 6;
    } else if (middleX && y <= 2) {
        shape = Qt::SizeVerCursor;
        zone = 8;
    } else if (middleX && y > h - 3) {
        shape = Qt::SizeVerCursor;
        zone = 2;
    }
    m_zone = zone;
    if (cursor().shape() != shape) {
        setCursor(shape);
        update();
    }
}

void TTrkShape::mousePressEvent(QMouseEvent* event)
{
    emit MouseDown(event);
    // Only the left button drags: a press of another button may open a menu that takes the
    // release, which would leave the shape following the pointer.
    if (event->button() != Qt::LeftButton)
        return;
    if (!m_selected) {
        if (m_manager)
            m_manager->SelectOne(this);
        emit Selected_();
        raise();
        SetSelected(true);
    }
    m_dragMode = cursor().shape() == Qt::PointingHandCursor ? TDragMode::Move : TDragMode::Resize;
    update();
    const QPoint pos = event->position().toPoint();
    m_anchorX = pos.x();
    m_anchorY = pos.y();
    m_startWidth = width();
    m_startHeight = height();
}

void TTrkShape::mouseMoveEvent(QMouseEvent* event)
{
    emit MouseMove(event);
    const QPoint pos = event->position().toPoint();
    switch (m_dragMode) {
    case TDragMode::Idle:
        if (m_selected)
            UpdateHitZone(pos);
        break;
    case TDragMode::Move:
        DragMove(pos);
        break;
    case TDragMode::Resize:
        DragResize(pos);
        break;
    }
}

void TTrkShape::DragMove(QPoint pos)
{
    int left = pos.x() + x() - m_anchorX;
    int top = pos.y() + y() - m_anchorY;
    if (m_fixedImage) {
        const QRect bounds = FixedBounds();
        if (left < bounds.x())
            left = bounds.x();
        else if (left + width() > bounds.x() + bounds.width())
            left = bounds.x() + bounds.width() - width();
        if (top < bounds.y())
            top = bounds.y();
        else if (top + height() > bounds.y() + bounds.height())
            top = bounds.y() + bounds.height() - height();
    }
    setGeometry(left, top, width(), height());
    emit MouseMoveEx(left, top, width(), height());
}

void TTrkShape::DragResize(QPoint pos)
{
    const int px = pos.x();
    const int py = pos.y();
    int left = x();
    int top = y();
    int w = width();
    int h = height();
    int zone = m_zone;

    if (IsLeftZone(zone)) {
        left = px + x() - m_anchorX;
        w = m_anchorX + width() - px;
    } else if (IsRightZone(zone)) {
        w = px + m_startWidth - m_anchorX;
    }
    if (IsBottomZone(zone)) {
        h = py + m_startHeight - m_anchorY;
    } else if (IsTopZone(zone)) {
        h = height() + m_anchorY - py;
        top = y() + py - m_anchorY;
    }

    // Dragging an edge past the opposite one turns the drag into one of the opposite edge.
    if (w < 0) {
        w = -w;
        if (IsLeftZone(zone)) {
            left = x() + width();
            zone += 2;
            // The new right edge keeps its offset from the pointer from here on, as the left
            // edge does after the opposite crossing.
            m_startWidth = w;
            m_anchorX = px + x() - left;
        } else {
            left = x() - w;
            zone -= 2;
            m_anchorX = 0;
        }
    }
    if (h < 0) {
        h = -h;
        if (IsBottomZone(zone)) {
            top = y() - h;
            zone += 6;
            m_anchorY = 0;
        } else {
            top = y() + height();
            zone -= 6;
            m_startHeight = h;
            m_anchorY = py + y() - top;
        }
    }
    m_zone = zone;

    if (m_fixedImage) {
        const QRect bounds = FixedBounds();
        const int boundsRight = bounds.x() + bounds.width();
        const int boundsBottom = bounds.y() + bounds.height();
        if (IsLeftZone(zone) && left < bounds.x()) {
            w -= bounds.x() - left;
            left = bounds.x();
        } else if (IsRightZone(zone) && left + w > boundsRight) {
            w = boundsRight - left;
        }
        if (IsBottomZone(zone) && top + h > boundsBottom) {
            h = boundsBottom - top;
        } else if (IsTopZone(zone) && top < bounds.y()) {
            h -= bounds.y() - top;
            top = bounds.y();
        }
        // A shape that started outside the image could otherwise be cut to a negative size.
        w = std::max(w, 0);
        h = std::max(h, 0);
    }
    setGeometry(left, top, w, h);
    emit MouseMoveEx(left, top, w, h);
}

void TTrkShape::mouseReleaseEvent(QMouseEvent* event)
{
    emit MouseUp(event);
    if (event->button() != Qt::LeftButton)
        return;
    const TDragMode ended = m_dragMode;
    m_dragMode = TDragMode::Idle;
    if (ended == TDragMode::Move)
        emit MoveEnd();
    else if (ended == TDragMode::Resize)
        emit ReSizeEnd();
    update();
    if (m_dblClickPending) {
        m_dblClickPending = false;
        emit DblClickEnd();
    }
}

void TTrkShape::mouseDoubleClickEvent(QMouseEvent* event)
{
    m_dblClickPending = true;
    emit DblClick(event);
    // Qt sends the second press of a double click here instead of to mousePressEvent.
    mousePressEvent(event);
}

TTrkShapeManager::TTrkShapeManager(QObject* parent)
    : QObject(parent)
{
}

TTrkShapeManager::~TTrkShapeManager()
{
    const QList<TTrkShape*> shapes = m_shapes;
    m_shapes.clear();
    for (TTrkShape* shape : shapes)
        shape->SetManager(nullptr);
}

void TTrkShapeManager::Add(TTrkShape* shape)
{
    if (!shape || m_shapes.contains(shape))
        return;
    m_shapes.append(shape);
    if (shape->Manager() != this)
        shape->SetManager(this);
}

void TTrkShapeManager::Remove(TTrkShape* shape)
{
    if (!m_shapes.removeOne(shape))
        return;
    if (shape->Manager() == this)
        shape->SetManager(nullptr);
}

void TTrkShapeManager::SelectOne(TTrkShape* keep)
{
    for (TTrkShape* shape : m_shapes) {
        if (shape != keep && shape->Selected() && shape->SelectView())
            shape->Deselect();
    }
}

} // namespace vtl::document::ui
