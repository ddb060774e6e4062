#include "processing/ui/key_filter.h"

#include <QKeyEvent>
#include <QWidget>

#include <algorithm>

namespace vtl::processing::ui {

namespace {
    // Whether a key press's text puts a character into an edit: no control characters.
    bool IsTyped(const QString& text)
    {
        return !text.isEmpty() && std::none_of(text.begin(), text.end(), [](QChar c) {
            return c.category() == QChar::Other_Control;
        });
    }
}

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
        const auto* key = static_cast<const QKeyEvent*>(event);
        // Backspace types "\b" on some platforms and nothing on others; either way it edits.
        // Tab, Enter and Esc carry control characters ("\t", "\r", "\x1b") too, but they move
        // the focus, press the default button and cancel: they must reach the dialog.
        const QString text = key->key() == Qt::Key_Backspace ? QString(QChar(8)) : key->text();
        const bool typed = key->key() == Qt::Key_Backspace || IsTyped(text);
        // Shortcuts (Ctrl+C, Ctrl+V) are commands, not typed characters.
        if (typed && !(key->modifiers() & Qt::ControlModifier) && !Allows(text))
            return true;
    }
    return QObject::eventFilter(watched, event);
}

void InstallKeyFilter(QWidget& edit, KeyRule rule)
{
    edit.installEventFilter(new KeyFilter(std::move(rule), &edit));
}

} // namespace vtl::processing::ui
