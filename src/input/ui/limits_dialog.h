#pragma once
// 詳細設定: the program's settings that the options dialog of old has no place for, reached from
// its 詳細設定... button: the memory one picture may take when it opens, how photos are shown
// (upright by their orientation tag, in the colours of their embedded profile), and the order in
// which a folder is stepped through.

#include "app/settings.h"

#include <QDialog>

class QCheckBox;
class QSpinBox;

namespace vtl::input::ui {

// The settings this dialog shows, carried by the options dialog until its OK.
struct DetailSettings {
    int memoryMB = 0; // 0: half of the machine's memory
    bool photoUpright = true;
    bool photoTrueColours = true;
    bool naturalOrder = false;

    static DetailSettings Of(const app::Settings& settings);
    void ApplyTo(app::Settings& settings) const;
};

class TLimitsDlg : public QDialog {
public:
    TLimitsDlg(const DetailSettings& settings, QWidget* parent = nullptr);

    DetailSettings Settings() const;

private:
    QSpinBox* m_memory;
    QCheckBox* m_upright;
    QCheckBox* m_trueColours;
    QCheckBox* m_naturalOrder;
};

} // namespace vtl::input::ui
