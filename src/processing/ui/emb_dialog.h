#pragma once
// The emboss dialog: where the light comes from, and whether it is strong.

#include "processing/neighbourhood_filters.h"

#include <QDialog>

class QButtonGroup;
class QCheckBox;

namespace vtl::processing::ui {

class TembDlg : public QDialog {
    Q_OBJECT
public:
    explicit TembDlg(QWidget* parent = nullptr);

    // `Hpos`'s item index (0 top left, 1 bottom left, 2 top right, 3 bottom right) and `hkyo`.
    EmbossSettings Settings() const;
    void SetSettings(const EmbossSettings& settings);

private:
    QButtonGroup* m_hpos;
    QCheckBox* m_hkyo;
};

} // namespace vtl::processing::ui
