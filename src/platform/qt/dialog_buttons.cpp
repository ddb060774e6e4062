#include "platform/qt/dialog_buttons.h"

#include <QDialog>
#include <QPushButton>

namespace vtl::platform::qt {

QBoxLayout* OkCancelButtons(QDialog& dialog, std::function<void()> ok, QBoxLayout::Direction direction)
{
    auto* okButton = new QPushButton(QStringLiteral("OK"), &dialog);
    okButton->setObjectName(QStringLiteral("OKBtn"));
    okButton->setDefault(true);
    QObject::connect(okButton, &QPushButton::clicked, &dialog, std::move(ok));
    auto* cancel = new QPushButton(QString::fromUtf8("キャンセル"), &dialog);
    cancel->setObjectName(QStringLiteral("CancelBtn"));
    QObject::connect(cancel, &QPushButton::clicked, &dialog, &QDialog::reject);
    auto* buttons = new QBoxLayout(direction);
    buttons->addWidget(okButton);
    buttons->addWidget(cancel);
    return buttons;
}

} // namespace vtl::platform::qt
