#include "document/ui/jrate_dialog.h"

#include "platform/qt/up_down_edit.h"

#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>

namespace vtl::document::ui {

namespace {
    // The form's client area and the places of its two controls in it.
    constexpr QSize kClientSize(113, 70);
    constexpr QRect kQualityBounds(16, 8, 81, 21);
    constexpr QRect kOkBounds(19, 38, 75, 25);
}

TJRateDlg::TJRateDlg(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("JRateDlg"));
    setWindowTitle(QString::fromUtf8("品質"));
    m_quality = new platform::qt::TUpDownEdit(
        QStringLiteral("Edit1"), QStringLiteral("UpDown1"), 1, 100, 30, this);
    m_quality->setGeometry(kQualityBounds);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("OKBtn"));
    ok->setDefault(true);
    ok->setGeometry(kOkBounds);
    connect(ok, &QPushButton::clicked, this, [this] {
        Edit1Exit();
        accept();
    });
    // A dialog border: the size is the form's, not the user's.
    setFixedSize(kClientSize);
    CentreOnScreen();
}

int TJRateDlg::Position() const { return m_quality->Position(); }
void TJRateDlg::SetPosition(int position) { m_quality->SetPosition(position); }
QLineEdit* TJRateDlg::Edit1() const { return m_quality->Edit(); }
void TJRateDlg::Edit1Exit() { m_quality->EditExit(); }

void TJRateDlg::CentreOnScreen()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->geometry();
    // Before the window is shown its frame is not known yet; the client stands for it then.
    const QSize outer = frameGeometry().size();
    move(area.x() + (area.width() - outer.width()) / 2,
        area.y() + (area.height() - outer.height()) / 2);
}

void TJRateDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // Once shown, the frame is known; a dialog with a parent would otherwise stand over it.
    CentreOnScreen();
}

} // namespace vtl::document::ui
