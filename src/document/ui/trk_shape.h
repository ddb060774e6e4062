#pragma once
// A shape drawn over its parent that the user moves and resizes with the mouse by its body, edges
// and corners, optionally kept inside an image control. The document window marks its selected
// range with one.

#include <QBrush>
#include <QColor>
#include <QList>
#include <QPointer>
#include <QWidget>

namespace vtl::document::ui {

class TTrkShapeManager;

enum class TTrkShapeType {
    sktFrame = 0,
    sktRectangle = 1,
    sktSquare = 2,
    sktRoundRect = 3,
    sktRoundSquare = 4,
    sktEllipse = 5,
    sktCircle = 6,
};

enum class TTrkPenMode {
    pmCopy,
    // Inverts whatever lies under the outline, so it stays visible on any picture.
    pmNot,
};

struct TTrkPen {
    QColor Color = Qt::black;
    int Width = 1;
    Qt::PenStyle Style = Qt::SolidLine;
    TTrkPenMode Mode = TTrkPenMode::pmCopy;

    bool operator==(const TTrkPen&) const = default;
};

class TTrkShape : public QWidget {
    Q_OBJECT
public:
    enum class TDragMode { Idle = 0, Move = 1, Resize = 2 };

    explicit TTrkShape(QWidget* parent = nullptr);
    ~TTrkShape() override;

    const TTrkPen& Pen() const { return m_pen; }
    void SetPen(const TTrkPen& pen);
    const QBrush& Brush() const { return m_brush; }
    void SetBrush(const QBrush& brush);
    TTrkShapeType Shape() const { return m_shape; }
    void SetShape(TTrkShapeType shape);
    bool Selected() const { return m_selected; }
    void SetSelected(bool selected);
    bool SelectView() const { return m_selectView; }
    void SetSelectView(bool selectView);
    QWidget* FixedImage() const { return m_fixedImage; }
    void SetFixedImage(QWidget* image);
    TTrkShapeManager* Manager() const { return m_manager; }
    void SetManager(TTrkShapeManager* manager);

    TDragMode DragMode() const { return m_dragMode; }
    // The grip last found under the pointer, numbered like a numeric keypad (7 top-left … 3
    // bottom-right); 0 before the pointer has been over a grip.
    int Zone() const { return m_zone; }

    // Used by the manager: deselects without notifying it back.
    void Deselect();

signals:
    // The inherited mouse events, sent before the shape's own handling.
    void MouseDown(QMouseEvent* event);
    void MouseMove(QMouseEvent* event);
    void MouseUp(QMouseEvent* event);
    void DblClick(QMouseEvent* event);

    // A press on a shape that was not selected.
    void Selected_();
    void MoveEnd();
    void ReSizeEnd();
    // After every bounds change of a drag: the new left, top, width and height.
    void MouseMoveEx(int x, int y, int w, int h);
    // The release that ends a double click, after MoveEnd or ReSizeEnd.
    void DblClickEnd();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void UpdateHitZone(QPoint pos);
    void DragMove(QPoint pos);
    void DragResize(QPoint pos);
    // The fixed image's bounds in this shape's parent coordinates.
    QRect FixedBounds() const;

    TTrkPen m_pen;
    QBrush m_brush { Qt::white };
    TTrkShapeType m_shape = TTrkShapeType::sktFrame;
    bool m_selected = false;
    bool m_selectView = true;
    QPointer<QWidget> m_fixedImage;
    QPointer<TTrkShapeManager> m_manager;

    TDragMode m_dragMode = TDragMode::Idle;
    int m_zone = 0;
    int m_anchorX = 0;
    int m_anchorY = 0;
    int m_startWidth = 0;
    int m_startHeight = 0;
    bool m_dblClickPending = false;
};

// A group of shapes of which at most one shows itself selected.
class TTrkShapeManager : public QObject {
    Q_OBJECT
public:
    explicit TTrkShapeManager(QObject* parent = nullptr);
    ~TTrkShapeManager() override;

    // Adding a shape already listed, or removing one that is not, does nothing.
    void Add(TTrkShape* shape);
    void Remove(TTrkShape* shape);
    int Count() const { return static_cast<int>(m_shapes.size()); }
    // Deselects every other shape that is selected and draws its grips.
    void SelectOne(TTrkShape* keep);

private:
    QList<TTrkShape*> m_shapes;
};

} // namespace vtl::document::ui
