#pragma once
// The value input dialog: one edit for a text, an integer or a real, with OK checking the value
// before it lets the dialog close. The caller sets the caption to its prompt.

#include "platform/geometry.h"
#include "processing/value_input.h"

#include <QDialog>

#include <optional>

class QLineEdit;

namespace vtl::processing::ui {

class TInputDlg : public QDialog {
    Q_OBJECT
public:
    explicit TInputDlg(QWidget* parent = nullptr);

    void SetTextMode(const QString& initial);
    void SetIntegerMode(int32_t initial, int32_t minimum, int32_t maximum);
    void SetRealMode(double initial, double minimum, double maximum);
    InputMode Mode() const { return m_mode; }

    QLineEdit* edInp() const { return m_edit; }
    // OK: in the number modes the value is checked; a refusal is told in a message box and the
    // dialog stays open.
    void OKBtnClick();

    QString Text() const;
    int32_t IntegerValue() const { return m_integer; }
    double RealValue() const { return m_real; }

private:
    QLineEdit* m_edit;
    InputMode m_mode = InputMode::Text;
    double m_minimum = 0;
    double m_maximum = 0;
    int32_t m_integer = 0;
    double m_real = 0;
};

// The dialog shown modally with `prompt` as its caption, placed on the pointer inside `workArea`.
// Text: the text when OK was pressed and it is not empty.
std::optional<QString> InputText(QWidget* parent, const platform::TRect& workArea,
    const QString& prompt, const QString& initial);
std::optional<int32_t> InputInteger(QWidget* parent, const platform::TRect& workArea,
    const QString& prompt, int32_t initial, int32_t minimum, int32_t maximum);
std::optional<double> InputReal(QWidget* parent, const platform::TRect& workArea,
    const QString& prompt, double initial, double minimum, double maximum);

// Every parameter dialog opens centred on the pointer and kept inside the work area.
void PlaceOnPointer(QDialog& dialog, const platform::TRect& workArea);

} // namespace vtl::processing::ui
