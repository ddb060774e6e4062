#include "processing/ui/smono_dialog.h"

#include "platform/qt/dialog_buttons.h"
#include "platform/qt/up_down_edit.h"
#include "processing/ui/key_filter.h"
#include "processing/value_input.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>

namespace vtl::processing::ui {

TSMonoDlg::TSMonoDlg(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("SMonoDlg"));
    setWindowTitle(QString::fromUtf8("２値化"));
    auto* label = new QLabel(QString::fromUtf8("閾値"), this);
    label->setObjectName(QStringLiteral("Label1"));
    m_threshold = new platform::qt::TUpDownEdit(
        QStringLiteral("Edit1"), QStringLiteral("Lev1"), kThresholdMin, kThresholdMax, 1, this);
    m_threshold->Edit()->setMaxLength(3);
    InstallKeyFilter(*m_threshold->Edit(), DigitKeyAllowed);
    m_threshold->readText = [](const QString& text, int position) {
        return ThresholdFromText(text.toStdString(), position);
    };

    auto* layout = new QGridLayout(this);
    layout->addWidget(label, 0, 0);
    layout->addWidget(m_threshold, 0, 1);
    layout->addLayout(platform::qt::OkCancelButtons(*this,
                          [this] {
                              Edit1Exit();
                              accept();
                          }),
        1, 0, 1, 2);
    setFixedSize(sizeHint());
}

int TSMonoDlg::Lev1() const { return m_threshold->Position(); }
void TSMonoDlg::SetLev1(int position) { m_threshold->SetPosition(position); }
QLineEdit* TSMonoDlg::Edit1() const { return m_threshold->Edit(); }
void TSMonoDlg::Edit1Exit() { m_threshold->EditExit(); }

} // namespace vtl::processing::ui
