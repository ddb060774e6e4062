#pragma once
// The OK and Cancel buttons of the program's dialogs.

#include <QBoxLayout>
#include <functional>

class QDialog;

namespace vtl::platform::qt {

// `OKBtn` "OK", the default button, runs `ok`; `CancelBtn` "キャンセル" rejects the dialog. The two
// come in a row (or a column) for the caller's layout.
QBoxLayout* OkCancelButtons(QDialog& dialog, std::function<void()> ok,
    QBoxLayout::Direction direction = QBoxLayout::LeftToRight);

} // namespace vtl::platform::qt
