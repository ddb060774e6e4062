#pragma once
// The JPEG quality dialog: a number from 1 to 100 with up and down buttons, and OK.

#include <QDialog>

class QLineEdit;
class QToolButton;

namespace vtl::document::ui {

class TJRateDlg : public QDialog {
    Q_OBJECT
public:
    explicit TJRateDlg(QWidget* parent = nullptr);
    int Position() const { return m_position; }
    void SetPosition(int position);
    QLineEdit* Edit1() const { return m_edit; }
    // Edit1 lost the focus: its number, clamped to 1 to 100, becomes the position; text that
    // isn't a number gives way to the position.
    void Edit1Exit();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLineEdit* m_edit;
    QToolButton* m_up;
    QToolButton* m_down;
    int m_position = 30;
};

} // namespace vtl::document::ui
