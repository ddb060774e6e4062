#pragma once
// The key filters of the processing dialogs' edits: a typed character that the rule refuses never
// reaches the edit. Keys that type nothing (arrows, Delete) and the dialog's keys (Tab, Enter,
// Esc) are not characters and pass, as they do past a key-press handler.

#include <QObject>

#include <functional>

class QWidget;

namespace vtl::processing::ui {

using KeyRule = std::function<bool(char32_t)>;

class KeyFilter : public QObject {
    Q_OBJECT
public:
    KeyFilter(KeyRule rule, QObject* parent);
    // Whether a key press with this text is let through.
    bool Allows(const QString& text) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    KeyRule m_rule;
};

// Installs a filter on `edit`, owned by it.
void InstallKeyFilter(QWidget& edit, KeyRule rule);

} // namespace vtl::processing::ui
