#pragma once
// The binarisation dialog: a threshold from 1 to 254 in an edit with an up-down.

#include <QDialog>

class QLineEdit;
class QToolButton;

namespace vtl::processing::ui {

class TSMonoDlg : public QDialog {
    Q_OBJECT
public:
    explicit TSMonoDlg(QWidget* parent = nullptr);

    // The up-down `Lev1`: its position, kept in 1..254; the edit shows it.
    int Lev1() const { return m_position; }
    void SetLev1(int position);
    QLineEdit* Edit1() const { return m_edit; }
    // `Edit1` loses the focus: its number, clamped, becomes the position.
    void Edit1Exit();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLineEdit* m_edit;
    int m_position = 1;
};

} // namespace vtl::processing::ui
