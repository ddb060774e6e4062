#pragma once
// An edit for a whole number with an up-down beside it, as the program's dialogs use them: the
// edit takes digits only, the up-down steps the position within its range without wrapping, and
// when the edit loses the focus its text becomes the position by the owner's rule. The arrows
// are no tab stops: Tab goes from edit to edit.

#include <QWidget>
#include <functional>

class QLineEdit;
class QToolButton;

namespace vtl::platform::qt {

class TUpDownEdit : public QWidget {
    Q_OBJECT
public:
    // The edit is named `editName`, the up-down `upDownName` and its arrows `upDownName` + "Up"
    // and + "Down".
    TUpDownEdit(const QString& editName, const QString& upDownName, int minimum, int maximum,
        int position, QWidget* parent = nullptr);

    int Position() const { return m_position; }
    // Clamped into the range; the edit shows it.
    void SetPosition(int position);
    QLineEdit* Edit() const { return m_edit; }

    // How the edit's text becomes the position when it loses the focus. By default: its number
    // clamped into the range, or the position unchanged when the text isn't a number.
    std::function<int(const QString& text, int position)> readText;
    // The edit lost the focus (also called by OK buttons before they close).
    void EditExit();

signals:
    // An arrow was clicked; the position is already the new one. Setting the position from code
    // doesn't signal.
    void ArrowClicked(int position);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // An arrow was clicked: one step up (+1) or down (-1) from the edit's number.
    void Step(int delta);

    QLineEdit* m_edit;
    int m_minimum;
    int m_maximum;
    int m_position;
};

} // namespace vtl::platform::qt
