#pragma once
// 詳細設定: the program's settings that the options dialog of old has no place for, reached from
// its 詳細設定... button. For now the memory one picture may take when it opens.

#include <QDialog>

class QSpinBox;
class QLabel;

namespace vtl::input::ui {

class TLimitsDlg : public QDialog {
public:
    // `memoryMB`: the stored budget in MB, 0 for half of the machine's memory.
    TLimitsDlg(int memoryMB, QWidget* parent = nullptr);

    int MemoryMB() const;
    QSpinBox* MemoryBox() const { return m_memory; }

private:
    QSpinBox* m_memory;
};

} // namespace vtl::input::ui
