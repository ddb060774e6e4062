#include "processing/ui/key_filter.h"

#include <QKeyEvent>
#include <QWidget>

namespace vtl::processing::ui {

KeyFilter::KeyFilter(KeyRule rule, QObject* parent)
    : QObject(parent)
    , m_rule(std::move(rule))
{
}

bool KeyFilter::Allows(const QString& text) const
{
    if (text.isEmpty())
        return true;
    const auto codes = text.toUcs4();
    return std::all_of(codes.begin(), codes.end(), [this](char32_t c) { return m_rule(c); });
}

bool KeyFilter::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        // Backspace types "\b" on some platforms and nothing on others; either way it edits.
        QString text = key->text();
        if (key->key() == Qt::Key_Backspace)
            text = QString(QChar(8));
        // Shortcuts (Ctrl+C, Ctrl+V) are commands, not typed characters.
        if (!(key->modifiers() & Qt::ControlModifier) && !Allows(text))
            return true;
    }
    return QObject::eventFilter(watched, event);
}

void InstallKeyFilter(QWidget& edit, KeyRule rule)
{
    edit.installEventFilter(new KeyFilter(std::move(rule), &edit));
}

} // namespace vtl::processing::ui
