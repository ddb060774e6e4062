#include "source_select_dialog.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace vtl::twain_sane {

namespace {

    QString U(const char* text) { return QString::fromUtf8(text); }

    const char* const kCaption = "ソースの選択";
    const char* const kListLabel = "ソース:";
    const char* const kNoDevice = "スキャナが見つかりません。";
    const char* const kSelect = "選択";
    const char* const kCancel = "キャンセル";

} // namespace

std::optional<std::string> ChooseSource(
    QWidget* parent, const std::vector<DeviceEntry>& devices, const std::string& current)
{
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("SourceSelectDlg"));
    dialog.setWindowTitle(U(kCaption));
    auto* layout = new QVBoxLayout(&dialog);
    auto* label = new QLabel(U(devices.empty() ? kNoDevice : kListLabel), &dialog);
    label->setObjectName(QStringLiteral("SourceLabel"));
    layout->addWidget(label);
    auto* list = new QListWidget(&dialog);
    list->setObjectName(QStringLiteral("SourceList"));
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    layout->addWidget(list);
    for (const DeviceEntry& device : devices) {
        QString text = QString::fromStdString(device.name);
        const QString what = QString::fromStdString(device.vendor + " " + device.model).trimmed();
        if (!what.isEmpty())
            text += QStringLiteral("  (") + what + QStringLiteral(")");
        auto* item = new QListWidgetItem(text, list);
        item->setData(Qt::UserRole, QString::fromStdString(device.name));
        if (device.name == current)
            list->setCurrentItem(item);
    }
    // Without a remembered source that is still there, the first device is offered.
    if (!list->currentItem() && list->count() > 0)
        list->setCurrentRow(0);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    auto* select = new QPushButton(U(kSelect), &dialog);
    select->setObjectName(QStringLiteral("SelectBtn"));
    select->setDefault(true);
    select->setEnabled(list->count() > 0);
    auto* cancel = new QPushButton(U(kCancel), &dialog);
    cancel->setObjectName(QStringLiteral("CancelBtn"));
    buttons->addWidget(select);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
    QObject::connect(select, &QPushButton::clicked, &dialog, [&] {
        if (list->currentItem())
            dialog.accept();
    });
    QObject::connect(cancel, &QPushButton::clicked, &dialog, &QDialog::reject);
    QObject::connect(list, &QListWidget::itemDoubleClicked, &dialog, [&] { dialog.accept(); });
    QObject::connect(list, &QListWidget::currentItemChanged, &dialog,
        [select](QListWidgetItem* item) { select->setEnabled(item != nullptr); });

    if (dialog.exec() != QDialog::Accepted || !list->currentItem())
        return std::nullopt;
    return list->currentItem()->data(Qt::UserRole).toString().toStdString();
}

} // namespace vtl::twain_sane
