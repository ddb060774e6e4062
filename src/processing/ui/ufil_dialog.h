#pragma once
// The user filter editor: the list of named filters, a 3 x 3 or 5 x 5 grid of coefficients, and the
// buttons that add, update, delete and reorder filters. It works on copies of the lists; the caller
// takes them back on OK.

#include "processing/user_filters.h"

#include <QDialog>

#include <string>
#include <vector>

class QCheckBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTableWidget;
class QToolButton;

namespace vtl::processing::ui {

class TUFilDlg : public QDialog {
    Q_OBJECT
public:
    TUFilDlg(std::vector<std::string> names, std::vector<std::string> coefficients,
        QWidget* parent = nullptr);

    const std::vector<std::string>& Names() const { return m_edit.Names(); }
    const std::vector<std::string>& Data() const { return m_edit.Data(); }
    bool Modified() const { return m_edit.Modified(); }

    QListWidget* ListBox1() const { return m_list; }
    QTableWidget* StringGrid1() const { return m_grid; }
    // The cells of the current size, row by row.
    std::vector<std::string> Cells() const;

    void ListBox1Click();
    void CheckBox1Click();
    void Button1Click(); // 追加
    void Button2Click(); // 更新
    void Button3Click(); // 削除
    void Button4Click(); // All 0
    void SpeedButton1Click(); // up
    void SpeedButton2Click(); // down

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void SetGridSize(int n);
    void RefreshList(long selection);
    long Selected() const;

    FilterListEdit m_edit;
    QListWidget* m_list;
    QLineEdit* m_name;
    QCheckBox* m_size5;
    QTableWidget* m_grid;
    QPushButton* m_update;
    QPushButton* m_delete;
    QToolButton* m_up;
    QToolButton* m_down;
};

} // namespace vtl::processing::ui
