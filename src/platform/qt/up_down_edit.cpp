#include "platform/qt/up_down_edit.h"

#include "app/settings.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

namespace vtl::platform::qt {

TUpDownEdit::TUpDownEdit(const QString& editName, const QString& upDownName, int minimum,
    int maximum, int position, QWidget* parent)
    : QWidget(parent)
    , m_minimum(minimum)
    , m_maximum(maximum)
    , m_position(position)
{
    m_edit = new QLineEdit(this);
    m_edit->setObjectName(editName);
    m_edit->setAttribute(Qt::WA_InputMethodEnabled, false);
    // Digits only; backspace and the other editing keys still work.
    m_edit->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), m_edit));
    m_edit->installEventFilter(this);

    auto* upDown = new QWidget(this);
    upDown->setObjectName(upDownName);
    auto* arrows = new QVBoxLayout(upDown);
    arrows->setContentsMargins(0, 0, 0, 0);
    arrows->setSpacing(0);
    auto* up = new QToolButton(upDown);
    up->setObjectName(upDownName + QStringLiteral("Up"));
    up->setArrowType(Qt::UpArrow);
    auto* down = new QToolButton(upDown);
    down->setObjectName(upDownName + QStringLiteral("Down"));
    down->setArrowType(Qt::DownArrow);
    // The arrows are clicked, never tabbed to: Tab goes from this edit to the dialog's next one.
    for (QToolButton* arrow : { up, down }) {
        arrow->setFocusPolicy(Qt::NoFocus);
        arrows->addWidget(arrow);
    }
    connect(up, &QToolButton::clicked, this, [this] { Step(+1); });
    connect(down, &QToolButton::clicked, this, [this] { Step(-1); });

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_edit);
    layout->addWidget(upDown);
    SetPosition(position);
}

void TUpDownEdit::SetPosition(int position)
{
    m_position = std::clamp(position, m_minimum, m_maximum);
    m_edit->setText(QString::number(m_position));
}

void TUpDownEdit::Step(int delta)
{
    // The arrows leave the focus in the edit, so a number still being typed is read first, as
    // leaving the edit would read it, and the step starts from there.
    if (m_edit->text() != QString::number(m_position))
        EditExit();
    SetPosition(m_position + delta);
    emit ArrowClicked(m_position);
}

void TUpDownEdit::EditExit()
{
    if (readText) {
        SetPosition(readText(m_edit->text(), m_position));
        return;
    }
    auto value = app::StrToInt(m_edit->text().toStdString());
    SetPosition(value ? *value : m_position);
}

bool TUpDownEdit::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_edit && event->type() == QEvent::FocusOut)
        EditExit();
    return QWidget::eventFilter(watched, event);
}

} // namespace vtl::platform::qt
