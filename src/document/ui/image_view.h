#pragma once
// The image control of a document window: shows the zoomed display copy at the top left and
// reports the mouse in its own (display) coordinates.

#include <QImage>
#include <QWidget>

namespace vtl::document::ui {

class TImage : public QWidget {
    Q_OBJECT
public:
    explicit TImage(QWidget* parent = nullptr);
    // Shows `image` (which may share memory with a bitmap that must then outlive it).
    void SetPicture(QImage image);
    const QImage& Picture() const { return m_image; }

signals:
    void MouseDown(QMouseEvent* event);
    void MouseMove(QMouseEvent* event);
    void MouseUp(QMouseEvent* event);
    void Clicked(QMouseEvent* event);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QImage m_image;
    bool m_pressed = false;
};

} // namespace vtl::document::ui
