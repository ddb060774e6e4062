#include "processing/ui/reduce_dialogs.h"

#include "platform/qt/dialog_buttons.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QRadioButton>
#include <QVBoxLayout>

namespace vtl::processing::ui {

TPaletteChoiceDlg::TPaletteChoiceDlg(const char* formName, const char* caption,
    std::initializer_list<const char*> items, QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QString::fromUtf8(formName));
    setWindowTitle(QString::fromUtf8(caption));
    auto* group = new QGroupBox(QString::fromUtf8("パレット(&P)"), this);
    group->setObjectName(QStringLiteral("PalGrp"));
    auto* column = new QVBoxLayout(group);
    m_palGrp = new QButtonGroup(this);
    int index = 0;
    for (const char* item : items) {
        auto* radio = new QRadioButton(QString::fromUtf8(item), group);
        radio->setObjectName(QStringLiteral("PalGrp%1").arg(index));
        m_palGrp->addButton(radio, index++);
        column->addWidget(radio);
    }
    m_palGrp->button(0)->setChecked(true);
    connect(m_palGrp, &QButtonGroup::idClicked, this, [this] { PalGrpClick(); });
    m_errBox = new QCheckBox(QString::fromUtf8("ディザを使用(&D)"), this);
    m_errBox->setObjectName(QStringLiteral("ErrBox"));

    auto* layout = new QHBoxLayout(this);
    auto* left = new QVBoxLayout;
    left->addWidget(group);
    left->addWidget(m_errBox);
    QBoxLayout* buttons
        = platform::qt::OkCancelButtons(*this, [this] { accept(); }, QBoxLayout::TopToBottom);
    buttons->addStretch();
    layout->addLayout(left);
    layout->addLayout(buttons);
}

int TPaletteChoiceDlg::ItemIndex() const { return std::max(0, m_palGrp->checkedId()); }

void TPaletteChoiceDlg::SetItemIndex(int index)
{
    if (QAbstractButton* item = m_palGrp->button(index)) {
        item->setChecked(true);
        PalGrpClick();
    }
}

bool TPaletteChoiceDlg::Dither() const { return m_errBox->isChecked(); }
void TPaletteChoiceDlg::SetDither(bool dither) { m_errBox->setChecked(dither); }

TD256Dlg::TD256Dlg(QWidget* parent)
    : TPaletteChoiceDlg("D256Dlg", "vtl ２５６色化", { "動的１", "ハーフトーン", "指定パレット" }, parent)
{
    setFixedSize(sizeHint());
}

void TD256Dlg::PalGrpClick()
{
    const bool halftone = Palette() == D256Palette::Halftone;
    ErrBox()->setEnabled(!halftone);
    if (halftone)
        ErrBox()->setChecked(true);
}

TD16Dlg::TD16Dlg(QWidget* parent)
    : TPaletteChoiceDlg("D16Dlg", "vtl １６色化",
        { "動的１", "動的２", "動的３", "システム色", "グレースケール", "指定パレット" }, parent)
{
    setFixedSize(sizeHint());
}

} // namespace vtl::processing::ui
