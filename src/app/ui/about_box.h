#pragma once
// The about box and its shadowed label.

#include <QDialog>
#include <QWidget>

namespace vtl::app::ui {

// A caption drawn twice: first in its shade colour offset by (2, 2), then in its font colour,
// with no background.
class TLabel3D : public QWidget {
    Q_OBJECT
public:
    explicit TLabel3D(const QString& caption, QWidget* parent = nullptr);
    QColor shadeColor = Qt::black;
    QColor fontColor = Qt::white;
    QString caption;
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};

class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget* parent = nullptr);

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

// "Version " and the product version, at most 32 characters of it.
QString VersionText();

} // namespace vtl::app::ui
