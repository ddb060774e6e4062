#include "app/ui/about_box.h"

#include "app/ui/image_lists.h"
#include "render/version.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QVBoxLayout>

namespace vtl::app::ui {

TLabel3D::TLabel3D(const QString& text, QWidget* parent)
    : QWidget(parent)
    , caption(text)
{
    setObjectName(QStringLiteral("Label3D"));
    QFont f = font();
    f.setPointSize(18);
    f.setBold(true);
    setFont(f);
}

QSize TLabel3D::sizeHint() const
{
    QFontMetrics m(font());
    return m.size(0, caption) + QSize(8, 8);
}

void TLabel3D::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setFont(font());
    QRect inner = rect().adjusted(2, 2, -2, -2);
    p.setPen(shadeColor);
    p.drawText(inner.translated(2, 2), Qt::AlignLeft | Qt::AlignVCenter, caption);
    p.setPen(fontColor);
    p.drawText(inner, Qt::AlignLeft | Qt::AlignVCenter, caption);
}

QString VersionText()
{
    return QStringLiteral("Version ") + QString::fromUtf8(render::ProductVersion()).left(32);
}

TAboutBox::TAboutBox(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("バージョン情報"));
    auto* layout = new QHBoxLayout(this);
    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("ProgramIcon"));
    icon->setPixmap(ApplicationIcon().pixmap(48, 48));
    layout->addWidget(icon, 0, Qt::AlignTop);
    auto* texts = new QVBoxLayout;
    auto* product = new TLabel3D(QStringLiteral("Vistrel"), this);
    product->setObjectName(QStringLiteral("ProductName"));
    texts->addWidget(product);
    auto* version = new QLabel(VersionText(), this);
    version->setObjectName(QStringLiteral("Version"));
    texts->addWidget(version);
    layout->addLayout(texts);
    // A click anywhere closes the box, on the labels too.
    for (QWidget* w : { static_cast<QWidget*>(icon), static_cast<QWidget*>(product),
             static_cast<QWidget*>(version) })
        w->installEventFilter(this);
}

void TAboutBox::mousePressEvent(QMouseEvent*) { accept(); }

bool TAboutBox::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonPress) {
        accept();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace vtl::app::ui
