#include "input/ui/limits_dialog.h"

#include "platform/memory_budget.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace vtl::input::ui {

namespace {
    QString U(const char* s) { return QString::fromUtf8(s); }
}

TLimitsDlg::TLimitsDlg(int memoryMB, QWidget* parent)
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
    m_memory->setValue(std::max(memoryMB, 0));
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

int TLimitsDlg::MemoryMB() const { return m_memory->value(); }

} // namespace vtl::input::ui
