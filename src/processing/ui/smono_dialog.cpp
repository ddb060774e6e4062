#include "processing/ui/smono_dialog.h"

#include "processing/ui/key_filter.h"
#include "processing/value_input.h"

#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace vtl::processing::ui {

TSMonoDlg::TSMonoDlg(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("SMonoDlg"));
    setWindowTitle(QString::fromUtf8("２値化"));
    auto* label = new QLabel(QString::fromUtf8("閾値"), this);
    label->setObjectName(QStringLiteral("Label1"));
    m_edit = new QLineEdit(QStringLiteral("1"), this);
    m_edit->setObjectName(QStringLiteral("Edit1"));
    m_edit->setMaxLength(3);
    m_edit->setAttribute(Qt::WA_InputMethodEnabled, false);
    m_edit->installEventFilter(this);
    InstallKeyFilter(*m_edit, DigitKeyAllowed);

    // The up-down: two arrows that step the position, without wrapping.
    auto* upDown = new QWidget(this);
    upDown->setObjectName(QStringLiteral("Lev1"));
    auto* arrows = new QVBoxLayout(upDown);
    arrows->setContentsMargins(0, 0, 0, 0);
    arrows->setSpacing(0);
    auto* up = new QToolButton(upDown);
    up->setObjectName(QStringLiteral("Lev1Up"));
    up->setArrowType(Qt::UpArrow);
    auto* down = new QToolButton(upDown);
    down->setObjectName(QStringLiteral("Lev1Down"));
    down->setArrowType(Qt::DownArrow);
    arrows->addWidget(up);
    arrows->addWidget(down);
    connect(up, &QToolButton::clicked, this, [this] { SetLev1(m_position + 1); });
    connect(down, &QToolButton::clicked, this, [this] { SetLev1(m_position - 1); });

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("OKBtn"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, [this] {
        Edit1Exit();
        accept();
    });
    auto* cancel = new QPushButton(QString::fromUtf8("キャンセル"), this);
    cancel->setObjectName(QStringLiteral("CancelBtn"));
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* layout = new QGridLayout(this);
    layout->addWidget(label, 0, 0);
    auto* value = new QHBoxLayout;
    value->setSpacing(0);
    value->addWidget(m_edit);
    value->addWidget(upDown);
    layout->addLayout(value, 0, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    layout->addLayout(buttons, 1, 0, 1, 2);
    setFixedSize(sizeHint());
}

void TSMonoDlg::SetLev1(int position)
{
    m_position = std::clamp(position, kThresholdMin, kThresholdMax);
    m_edit->setText(QString::number(m_position));
}

void TSMonoDlg::Edit1Exit()
{
    SetLev1(ThresholdFromText(m_edit->text().toStdString(), m_position));
}

bool TSMonoDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_edit && event->type() == QEvent::FocusOut)
        Edit1Exit();
    return QDialog::eventFilter(watched, event);
}

} // namespace vtl::processing::ui
