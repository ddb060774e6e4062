#include "input/ui/limits_dialog.h"

#include "platform/memory_budget.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace vtl::input::ui {

namespace {
    QString U(const char* s) { return QString::fromUtf8(s); }

    QCheckBox* Check(QWidget* parent, const char* name, const char* caption, const char* hint,
        bool checked)
    {
        auto* box = new QCheckBox(U(caption), parent);
        box->setObjectName(QString::fromLatin1(name));
        box->setToolTip(U(hint));
        box->setStatusTip(U(hint));
        box->setChecked(checked);
        return box;
    }
}

DetailSettings DetailSettings::Of(const app::Settings& settings)
{
    return { std::max(settings.memoryBudgetMB, 0), settings.photoUpright,
        settings.photoTrueColours, settings.naturalOrder };
}

void DetailSettings::ApplyTo(app::Settings& settings) const
{
    settings.memoryBudgetMB = memoryMB;
    settings.photoUpright = photoUpright;
    settings.photoTrueColours = photoTrueColours;
    settings.naturalOrder = naturalOrder;
}

TLimitsDlg::TLimitsDlg(const DetailSettings& settings, QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("LimitsDlg"));
    setWindowTitle(U("詳細設定"));
    auto* layout = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    auto* label = new QLabel(U("画像を開くときのメモリの上限 (MB)"), this);
    m_memory = new QSpinBox(this);
    m_memory->setObjectName(QStringLiteral("seMemory"));
    m_memory->setRange(0, 1 << 24);
    m_memory->setSpecialValueText(U("自動"));
    m_memory->setValue(std::max(settings.memoryMB, 0));
    label->setBuddy(m_memory);
    const QString hint = U("これより多くのメモリが必要な画像は開きません。自動では実メモリの半分"
                           "です。サムネイルはその8分の1 (最大 512 MB) までです。");
    m_memory->setToolTip(hint);
    grid->addWidget(label, 0, 0);
    grid->addWidget(m_memory, 0, 1);
    const auto automatic = platform::MemoryBudget::Automatic().bytes >> 20;
    auto* now = new QLabel(U("自動: %1 MB").arg(automatic), this);
    now->setObjectName(QStringLiteral("lbAutomatic"));
    grid->addWidget(now, 1, 1);
    layout->addLayout(grid);

    auto* photos = new QGroupBox(U("写真"), this);
    photos->setObjectName(QStringLiteral("gbPhoto"));
    auto* photoLayout = new QVBoxLayout(photos);
    m_upright = Check(photos, "cbUpright", "撮影時の向きに合わせて回転する(&R)",
        "写真に記録された向き (Exif の Orientation など) に従って、画像を正しい向きで開きます。",
        settings.photoUpright);
    m_trueColours = Check(photos, "cbTrueColours", "埋め込みのカラープロファイルで色を合わせる(&C)",
        "画像に埋め込まれた ICC プロファイルに従って、色を sRGB に変換して開きます。",
        settings.photoTrueColours);
    photoLayout->addWidget(m_upright);
    photoLayout->addWidget(m_trueColours);
    layout->addWidget(photos);

    auto* order = new QGroupBox(U("フォルダ内の移動"), this);
    order->setObjectName(QStringLiteral("gbOrder"));
    auto* orderLayout = new QVBoxLayout(order);
    m_naturalOrder = Check(order, "cbNaturalOrder", "ファイル名の数字を数として並べる(&N)",
        "前後の画像へ移るとき、img2 を img10 より前にするように、ファイル名の中の数字を数の大きさで"
        "比べます。",
        settings.naturalOrder);
    orderLayout->addWidget(m_naturalOrder);
    layout->addWidget(order);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("OKBtn"));
    ok->setDefault(true);
    auto* cancel = new QPushButton(U("キャンセル"), this);
    cancel->setObjectName(QStringLiteral("CancelBtn"));
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
}

DetailSettings TLimitsDlg::Settings() const
{
    return { m_memory->value(), m_upright->isChecked(), m_trueColours->isChecked(),
        m_naturalOrder->isChecked() };
}

} // namespace vtl::input::ui
