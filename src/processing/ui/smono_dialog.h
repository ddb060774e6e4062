#pragma once
// The binarisation dialog: a threshold from 1 to 254 in an edit with an up-down.

#include <QDialog>

class QLineEdit;

namespace vtl::platform::qt {
class TUpDownEdit;
}

namespace vtl::processing::ui {

class TSMonoDlg : public QDialog {
    Q_OBJECT
public:
    explicit TSMonoDlg(QWidget* parent = nullptr);

    // The up-down `Lev1`: its position, kept in 1..254; the edit shows it.
    int Lev1() const;
    void SetLev1(int position);
    QLineEdit* Edit1() const;
    // `Edit1` loses the focus: its number, clamped, becomes the position.
    void Edit1Exit();

private:
    platform::qt::TUpDownEdit* m_threshold;
};

} // namespace vtl::processing::ui
