#include "processing/ui/emb_dialog.h"

#include "platform/qt/dialog_buttons.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QRadioButton>
#include <QVBoxLayout>

namespace vtl::processing::ui {

TembDlg::TembDlg(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("embDlg"));
    setWindowTitle(QString::fromUtf8("浮き彫り設定"));
    auto* box = new QGroupBox(QString::fromUtf8("光源の位置"), this);
    box->setObjectName(QStringLiteral("Hpos"));
    auto* grid = new QGridLayout(box);
    m_hpos = new QButtonGroup(this);
    const char* const items[] = { "左上", "左下", "右上", "右下" };
    // Two columns, filled top to bottom as a radio group fills them.
    for (int i = 0; i < 4; ++i) {
        auto* radio = new QRadioButton(QString::fromUtf8(items[i]), box);
        radio->setObjectName(QStringLiteral("Hpos%1").arg(i));
        m_hpos->addButton(radio, i);
        grid->addWidget(radio, i % 2, i / 2);
    }
    m_hpos->button(0)->setChecked(true);
    m_hkyo = new QCheckBox(QString::fromUtf8("光源の強い"), this);
    m_hkyo->setObjectName(QStringLiteral("hkyo"));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(box);
    layout->addWidget(m_hkyo);
    layout->addLayout(platform::qt::OkCancelButtons(*this, [this] { accept(); }));
    setFixedSize(sizeHint());
}

EmbossSettings TembDlg::Settings() const
{
    return { std::max(0, m_hpos->checkedId()), m_hkyo->isChecked() };
}

void TembDlg::SetSettings(const EmbossSettings& settings)
{
    if (QAbstractButton* b = m_hpos->button(settings.lightPosition))
        b->setChecked(true);
    m_hkyo->setChecked(settings.strong);
}

} // namespace vtl::processing::ui
