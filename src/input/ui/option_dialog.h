#pragma once
// The options dialog: registered plug-ins, and the program's other options.

#include "app/settings.h"
#include "input/plugin_registry.h"
#include "input/ui/limits_dialog.h"

#include <QDialog>
#include <QTreeWidget>
#include <vector>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QToolButton;

namespace vtl::platform::qt {
class TUpDownEdit;
}

namespace vtl::input::ui {

// The plug-in list: rows move by dragging, dropped before the item under the pointer or at the end.
class TPluginListView : public QTreeWidget {
    Q_OBJECT
public:
    explicit TPluginListView(QWidget* parent = nullptr);
    // Moves row `from` before row `before` (-1: to the end).
    void MoveItem(int from, int before);

protected:
    void dropEvent(QDropEvent* event) override;
};

class TOptionDlg : public QDialog {
    Q_OBJECT
public:
    TOptionDlg(const app::Settings& settings, const std::vector<PluginRow>& rows,
        const PluginFolders& folders, QWidget* parent = nullptr);

    // What the dialog shows now.
    std::vector<PluginRow> Rows() const;

protected:
    bool event(QEvent* event) override;

public:
    void ApplyTo(app::Settings& settings) const;

    TPluginListView* ListView1() const { return m_list; }
    QCheckBox* CheckBox(int number) const;
    QComboBox* cbSumSize() const { return m_sumSize; }
    QLineEdit* edWait() const;
    int WaitValue() const;
    void SetWaitValue(int value);

    void SpeedButton1Click(); // spi Read
    void SpeedButton2Click(); // delete
    void SpeedButton3Click(); // configure
    void DetailBtnClick(); // 詳細設定: the memory budget, photos, folder order

private:
    void AddRow(const PluginRow& row);

    PluginFolders m_folders;
    TPluginListView* m_list;
    QCheckBox* m_checks[4];
    QComboBox* m_sumSize;
    platform::qt::TUpDownEdit* m_wait;
    DetailSettings m_details;
};

} // namespace vtl::input::ui
