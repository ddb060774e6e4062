#pragma once
// The colour reduction dialogs: the palette of a 256-colour reduction (`TD256Dlg`) and the method
// of a 16-colour one (`TD16Dlg`), each with its dithering check box.

#include "processing/reduce16.h"
#include "processing/reduce256.h"

#include <QDialog>

class QButtonGroup;
class QCheckBox;

namespace vtl::processing::ui {

// A radio group of `items` in one column under the caption "パレット(&P)", named `PalGrp`, plus the
// check box `ErrBox` "ディザを使用(&D)" and the OK and Cancel buttons.
class TPaletteChoiceDlg : public QDialog {
    Q_OBJECT
public:
    int ItemIndex() const;
    void SetItemIndex(int index);
    QCheckBox* ErrBox() const { return m_errBox; }
    bool Dither() const;
    void SetDither(bool dither);

protected:
    TPaletteChoiceDlg(const char* formName, const char* caption,
        std::initializer_list<const char*> items, QWidget* parent);
    // A click on an item (also when the item is set from outside, as a radio group does).
    virtual void PalGrpClick() {}

private:
    QButtonGroup* m_palGrp;
    QCheckBox* m_errBox;
};

// "vtl ２５６色化": "動的１", "ハーフトーン", "指定パレット". Choosing "ハーフトーン" checks `ErrBox`
// and disables it; the other items enable it.
class TD256Dlg : public TPaletteChoiceDlg {
    Q_OBJECT
public:
    explicit TD256Dlg(QWidget* parent = nullptr);
    D256Palette Palette() const { return D256Palette(ItemIndex()); }

protected:
    void PalGrpClick() override;
};

// "vtl １６色化": "動的１", "動的２", "動的３", "システム色", "グレースケール", "指定パレット".
class TD16Dlg : public TPaletteChoiceDlg {
    Q_OBJECT
public:
    explicit TD16Dlg(QWidget* parent = nullptr);
    D16Method Method() const { return D16Method(ItemIndex()); }
};

} // namespace vtl::processing::ui
