#include "document/ui/jrate_dialog.h"

#include "platform/qt/up_down_edit.h"

#include <QGridLayout>
#include <QPushButton>

namespace vtl::document::ui {

TJRateDlg::TJRateDlg(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("JRateDlg"));
    setWindowTitle(QStringLiteral("品質"));
    auto* layout = new QGridLayout(this);
    m_quality = new platform::qt::TUpDownEdit(QStringLiteral("Edit1"), QStringLiteral("UpDown1"), 1, 100, 30, this);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("OKBtn"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, [this] {
        Edit1Exit();
        accept();
    });
    layout->addWidget(m_quality, 0, 0);
    layout->addWidget(ok, 1, 0);
}

int TJRateDlg::Position() const { return m_quality->Position(); }
void TJRateDlg::SetPosition(int position) { m_quality->SetPosition(position); }
QLineEdit* TJRateDlg::Edit1() const { return m_quality->Edit(); }
void TJRateDlg::Edit1Exit() { m_quality->EditExit(); }

} // namespace vtl::document::ui
