#include "processing/ui/input_dialog.h"

#include "platform/qt/dialog_buttons.h"
#include "platform/qt/dialog_service.h"
#include "platform/qt/screens.h"
#include "processing/ui/key_filter.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QVBoxLayout>

namespace vtl::processing::ui {

using platform::qt::Dialogs;

TInputDlg::TInputDlg(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("InputDlg"));
    m_edit = new QLineEdit(this);
    m_edit->setObjectName(QStringLiteral("edInp"));
    m_edit->setAttribute(Qt::WA_InputMethodEnabled, false);
    InstallKeyFilter(*m_edit, [this](char32_t key) { return InputKeyAllowed(m_mode, key); });
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_edit);
    layout->addLayout(platform::qt::OkCancelButtons(*this, [this] { OKBtnClick(); }));
    setMinimumWidth(240);
}

void TInputDlg::SetTextMode(const QString& initial)
{
    m_mode = InputMode::Text;
    m_edit->setText(initial);
}

void TInputDlg::SetIntegerMode(int32_t initial, int32_t minimum, int32_t maximum)
{
    m_mode = InputMode::Integer;
    m_minimum = minimum;
    m_maximum = maximum;
    m_integer = initial;
    m_edit->setText(QString::number(initial));
}

void TInputDlg::SetRealMode(double initial, double minimum, double maximum)
{
    m_mode = InputMode::Real;
    m_minimum = minimum;
    m_maximum = maximum;
    m_real = initial;
    m_edit->setText(QString::fromStdString(RealToText(initial)));
}

QString TInputDlg::Text() const { return m_edit->text(); }

void TInputDlg::OKBtnClick()
{
    if (m_mode == InputMode::Text) {
        accept();
        return;
    }
    const std::string text = m_edit->text().toStdString();
    const InputCheck check = m_mode == InputMode::Integer
        ? CheckIntegerInput(text, int32_t(m_minimum), int32_t(m_maximum))
        : CheckRealInput(text, m_minimum, m_maximum);
    if (!check.accepted) {
        Dialogs().MessageBox(this, QStringLiteral("vtl"), QString::fromStdString(check.message),
            platform::qt::MsgIcon::Error, platform::qt::MsgButtons::Ok);
        return;
    }
    m_integer = check.integer;
    m_real = check.real;
    accept();
}

void PlaceOnPointer(QDialog& dialog, const platform::TRect& workArea)
{
    dialog.adjustSize();
    platform::qt::CentreOnPointer(dialog, workArea);
}

namespace {
    bool Run(TInputDlg& dialog, const platform::TRect& workArea, const QString& prompt)
    {
        dialog.setWindowTitle(prompt);
        PlaceOnPointer(dialog, workArea);
        return Dialogs().Exec(dialog) == QDialog::Accepted;
    }
}

std::optional<QString> InputText(
    QWidget* parent, const platform::TRect& workArea, const QString& prompt, const QString& initial)
{
    TInputDlg dialog(parent);
    dialog.SetTextMode(initial);
    if (!Run(dialog, workArea, prompt) || dialog.Text().isEmpty())
        return std::nullopt;
    return dialog.Text();
}

std::optional<int32_t> InputInteger(QWidget* parent, const platform::TRect& workArea,
    const QString& prompt, int32_t initial, int32_t minimum, int32_t maximum)
{
    TInputDlg dialog(parent);
    dialog.SetIntegerMode(initial, minimum, maximum);
    if (!Run(dialog, workArea, prompt))
        return std::nullopt;
    return dialog.IntegerValue();
}

std::optional<double> InputReal(QWidget* parent, const platform::TRect& workArea,
    const QString& prompt, double initial, double minimum, double maximum)
{
    TInputDlg dialog(parent);
    dialog.SetRealMode(initial, minimum, maximum);
    if (!Run(dialog, workArea, prompt))
        return std::nullopt;
    return dialog.RealValue();
}

} // namespace vtl::processing::ui
