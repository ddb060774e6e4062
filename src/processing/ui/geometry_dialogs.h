#pragma once
// The dialogs of the geometry commands: the new size (`TGScaleDlg`), the clip rectangle
// (`TClpDlg`) and the picture to join (`TConnectDlg`).

#include "processing/geometry.h"

#include <QDialog>
#include <QPointer>

#include <vector>

class QButtonGroup;
class QCheckBox;
class QLineEdit;
class QListWidget;

namespace vtl::platform::qt {
class TUpDownEdit;
}

namespace vtl::processing::ui {

// "拡大/縮小": width `xpos`, height `Ypos` (8..4098) and ratio `rpos` (10..400 %), linked while
// `CheckBox1` "等比変形" is checked. A field's own value is settled when it is left; the fields
// linked to it follow as it is typed.
class TGScaleDlg : public QDialog {
    Q_OBJECT
public:
    explicit TGScaleDlg(QWidget* parent = nullptr);
    ~TGScaleDlg() override;

    // The picture's size when the dialog opened (W0, H0).
    void SetOriginalSize(int32_t width, int32_t height);
    int Xpos() const;
    int Ypos() const;
    int Rpos() const;
    void SetXpos(int width);
    void SetYpos(int height);

    platform::qt::TUpDownEdit* Width() const { return m_x; }
    platform::qt::TUpDownEdit* Height() const { return m_y; }
    platform::qt::TUpDownEdit* Ratio() const { return m_r; }
    QCheckBox* CheckBox1() const { return m_keep; }

    // The edits losing the focus (OK runs the one that has it).
    void EdXExit();
    void EdYExit();
    void EdRExit();
    void OKBtnClick();

private:
    // The linked fields follow a ratio, width or height: the arrows' and exits' positions, or
    // what is being typed, so that they follow each keystroke.
    void RatioChanged(int ratio);
    void WidthChanged(int width);
    void HeightChanged(int height);

    platform::qt::TUpDownEdit* m_x;
    platform::qt::TUpDownEdit* m_y;
    platform::qt::TUpDownEdit* m_r;
    QCheckBox* m_keep;
    int32_t m_width0 = 0;
    int32_t m_height0 = 0;
};

// "クリッピング": the rectangle to keep as left, top, width and height in picture pixels, each
// field checked against the picture's size when it loses the focus. While left (top) is typed,
// the width (height) it cuts follows each keystroke.
class TClpDlg : public QDialog {
    Q_OBJECT
public:
    explicit TClpDlg(QWidget* parent = nullptr);

    void SetPictureSize(int32_t width, int32_t height);
    // The rectangle the dialog starts with; the fields show it.
    void SetArea(const ClipArea& area);
    const ClipArea& Area() const { return m_area; }

    QLineEdit* edLeft() const { return m_edits[0]; }
    QLineEdit* edTop() const { return m_edits[1]; }
    QLineEdit* edWidth() const { return m_edits[2]; }
    QLineEdit* edHeight() const { return m_edits[3]; }
    void edLeftExit();
    void edTopExit();
    void edWidthExit();
    void edHeightExit();
    // Closes with OK, or with Cancel when the rectangle is the whole picture.
    void OKBtnClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // Writes the rectangle into the fields, except the one being typed.
    void ShowArea(const QLineEdit* typing = nullptr);
    // The field's rule on the rectangle as it stood when the field was entered.
    void ApplyField(const QLineEdit* edit);
    void FieldExit(const QLineEdit* edit);
    void FieldTyped(const QLineEdit* edit);

    QLineEdit* m_edits[4];
    ClipArea m_area;
    ClipArea m_settled; // the rectangle after the last field was left
    int32_t m_width = 0;
    int32_t m_height = 0;
};

// "vtl 連結選択": the documents to join the active one with, the direction, the margin colour and
// the margin width.
class TConnectDlg : public QDialog {
    Q_OBJECT
public:
    explicit TConnectDlg(QWidget* parent = nullptr);

    // One line of `GList`: a document's caption, remembering its window.
    void AddDocument(const QString& caption, QObject* window);
    // The window of the chosen line, or nullptr when none is chosen (or it has gone).
    QObject* Chosen() const;
    QListWidget* GList() const { return m_list; }

    JoinSettings Settings() const;
    void SetSettings(const JoinSettings& settings);
    platform::qt::TUpDownEdit* SpUd() const { return m_margin; }

    // Tells the user to choose a document and stays open when none is chosen.
    void OKBtnClick();

private:
    QListWidget* m_list;
    std::vector<QPointer<QObject>> m_windows;
    QButtonGroup* m_direction;
    QButtonGroup* m_colour;
    platform::qt::TUpDownEdit* m_margin;
};

} // namespace vtl::processing::ui
