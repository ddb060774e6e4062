#include "document/ui/jrate_dialog.h"

#include "app/settings.h"

#include <QEvent>
#include <QGridLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QToolButton>

namespace vtl::document::ui {

namespace {
    constexpr int kMin = 1;
    constexpr int kMax = 100;
}

TJRateDlg::TJRateDlg(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("JRateDlg"));
    setWindowTitle(QStringLiteral("品質"));
    auto* layout = new QGridLayout(this);
    m_edit = new QLineEdit(QStringLiteral("30"), this);
    m_edit->setObjectName(QStringLiteral("Edit1"));
    m_edit->setAttribute(Qt::WA_InputMethodEnabled, false);
    // Digits only (backspace still edits).
    m_edit->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), m_edit));
    m_edit->installEventFilter(this);
    m_up = new QToolButton(this);
    m_up->setObjectName(QStringLiteral("UpDown1Up"));
    m_up->setArrowType(Qt::UpArrow);
    m_down = new QToolButton(this);
    m_down->setObjectName(QStringLiteral("UpDown1Down"));
    m_down->setArrowType(Qt::DownArrow);
    connect(
        m_up, &QToolButton::clicked, this, [this] { SetPosition(std::min(m_position + 1, kMax)); });
    connect(m_down, &QToolButton::clicked, this,
        [this] { SetPosition(std::max(m_position - 1, kMin)); });
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("OKBtn"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, [this] {
        Edit1Exit();
        accept();
    });
    layout->addWidget(m_edit, 0, 0, 2, 1);
    layout->addWidget(m_up, 0, 1);
    layout->addWidget(m_down, 1, 1);
    layout->addWidget(ok, 2, 0, 1, 2);
}

void TJRateDlg::SetPosition(int position)
{
    m_position = std::clamp(position, kMin, kMax);
    m_edit->setText(QString::number(m_position));
}

void TJRateDlg::Edit1Exit()
{
    auto value = app::StrToInt(m_edit->text().toStdString());
    SetPosition(value ? *value : m_position);
}

bool TJRateDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_edit && event->type() == QEvent::FocusOut)
        Edit1Exit();
    return QDialog::eventFilter(watched, event);
}

} // namespace vtl::document::ui
