#pragma once
// The JPEG quality dialog: a number from 1 to 100 with up and down buttons, and OK. Its client
// area is 113 x 70 and it stands in the middle of the screen, not over the document.

#include <QDialog>

class QLineEdit;

namespace vtl::platform::qt {
class TUpDownEdit;
}

namespace vtl::document::ui {

class TJRateDlg : public QDialog {
    Q_OBJECT
public:
    explicit TJRateDlg(QWidget* parent = nullptr);
    int Position() const;
    void SetPosition(int position);
    QLineEdit* Edit1() const;
    // Edit1 lost the focus: its number, clamped to 1 to 100, becomes the position; text that
    // isn't a number gives way to the position.
    void Edit1Exit();

protected:
    void showEvent(QShowEvent* event) override;

private:
    // Centres the window, frame included, on the primary screen.
    void CentreOnScreen();

    platform::qt::TUpDownEdit* m_quality;
};

} // namespace vtl::document::ui
