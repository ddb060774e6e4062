#include "processing/ui/ufil_dialog.h"

#include "processing/ui/key_filter.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace vtl::processing::ui {

namespace {
    QString U(const char* s) { return QString::fromUtf8(s); }

    // The cell editor lets only the characters of a coefficient through.
    class CoefficientDelegate : public QStyledItemDelegate {
    public:
        using QStyledItemDelegate::QStyledItemDelegate;
        QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
            const QModelIndex& index) const override
        {
            QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
            if (editor)
                InstallKeyFilter(*editor, CoefficientKeyAllowed);
            return editor;
        }
    };

    constexpr int kRowHeight = 24;
}

TUFilDlg::TUFilDlg(
    std::vector<std::string> names, std::vector<std::string> coefficients, QWidget* parent)
    : QDialog(parent)
    , m_edit(std::move(names), std::move(coefficients))
{
    setObjectName(QStringLiteral("UFilDlg"));
    setWindowTitle(U("ユーザーフィルタ設定"));

    auto* label1 = new QLabel(U("フィルタリスト(&F)"), this);
    label1->setObjectName(QStringLiteral("Label1"));
    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("ListBox1"));
    label1->setBuddy(m_list);
    connect(m_list, &QListWidget::itemClicked, this, [this] { ListBox1Click(); });
    connect(m_list, &QListWidget::currentRowChanged, this, [this] { ListBox1Click(); });

    auto* label2 = new QLabel(U("名前(&F)"), this);
    label2->setObjectName(QStringLiteral("Label2"));
    m_name = new QLineEdit(this);
    m_name->setObjectName(QStringLiteral("Edit1"));
    label2->setBuddy(m_name);

    m_size5 = new QCheckBox(U("フィルタサイズ５ｘ５"), this);
    m_size5->setObjectName(QStringLiteral("CheckBox1"));
    connect(m_size5, &QCheckBox::clicked, this, &TUFilDlg::CheckBox1Click);

    auto* label3 = new QLabel(U("フィルタデータ"), this);
    label3->setObjectName(QStringLiteral("Label3"));
    m_grid = new QTableWidget(3, 3, this);
    m_grid->setObjectName(QStringLiteral("StringGrid1"));
    m_grid->horizontalHeader()->hide();
    m_grid->verticalHeader()->hide();
    m_grid->verticalHeader()->setDefaultSectionSize(kRowHeight);
    m_grid->horizontalHeader()->setDefaultSectionSize(56);
    m_grid->setItemDelegate(new CoefficientDelegate(m_grid));
    // Typing on a cell that is not being edited starts the editor with that key: the same rule.
    m_grid->installEventFilter(this);
    SetGridSize(3);

    auto button = [this](const char* name, const char* caption) {
        auto* b = new QPushButton(U(caption), this);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        return b;
    };
    QPushButton* all0 = button("Button4", "All 0");
    connect(all0, &QPushButton::clicked, this, &TUFilDlg::Button4Click);
    QPushButton* add = button("Button1", "追加");
    connect(add, &QPushButton::clicked, this, &TUFilDlg::Button1Click);
    m_update = button("Button2", "更新");
    connect(m_update, &QPushButton::clicked, this, &TUFilDlg::Button2Click);
    m_delete = button("Button3", "削除");
    connect(m_delete, &QPushButton::clicked, this, &TUFilDlg::Button3Click);
    m_up = new QToolButton(this);
    m_up->setObjectName(QStringLiteral("SpeedButton1"));
    m_up->setArrowType(Qt::UpArrow);
    connect(m_up, &QToolButton::clicked, this, &TUFilDlg::SpeedButton1Click);
    m_down = new QToolButton(this);
    m_down->setObjectName(QStringLiteral("SpeedButton2"));
    m_down->setArrowType(Qt::DownArrow);
    connect(m_down, &QToolButton::clicked, this, &TUFilDlg::SpeedButton2Click);
    QPushButton* ok = button("OKBtn", "OK");
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    QPushButton* cancel = button("CancelBtn", "キャンセル");
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* left = new QVBoxLayout;
    left->addWidget(label1);
    auto* listRow = new QHBoxLayout;
    listRow->addWidget(m_list);
    auto* arrows = new QVBoxLayout;
    arrows->addWidget(m_up);
    arrows->addWidget(m_down);
    arrows->addStretch();
    listRow->addLayout(arrows);
    left->addLayout(listRow);
    auto* right = new QVBoxLayout;
    right->addWidget(label2);
    right->addWidget(m_name);
    right->addWidget(m_size5);
    right->addWidget(label3);
    right->addWidget(m_grid);
    auto* gridButtons = new QHBoxLayout;
    for (QPushButton* b : { all0, add, m_update, m_delete })
        gridButtons->addWidget(b);
    right->addLayout(gridButtons);
    auto* top = new QHBoxLayout;
    top->addLayout(left);
    top->addLayout(right);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(ok);
    bottom->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(bottom);

    RefreshList(-1);
}

void TUFilDlg::SetGridSize(int n)
{
    m_grid->setRowCount(n);
    m_grid->setColumnCount(n);
    m_grid->setMinimumSize(56 * 5 + 4, kRowHeight * 5 + 4);
}

long TUFilDlg::Selected() const
{
    const int row = m_list->currentRow();
    return row >= 0 && m_list->item(row)->isSelected() ? row : -1;
}

void TUFilDlg::RefreshList(long selection)
{
    QSignalBlocker block(m_list);
    m_list->clear();
    for (const std::string& name : m_edit.Names())
        m_list->addItem(QString::fromStdString(name));
    if (selection >= 0 && selection < m_list->count())
        m_list->setCurrentRow(int(selection));
    else
        m_list->setCurrentRow(-1);
    block.unblock();
    ListBox1Click();
}

void TUFilDlg::ListBox1Click()
{
    const long selection = Selected();
    const FilterListEdit::Buttons buttons = m_edit.ButtonsFor(selection);
    m_update->setEnabled(buttons.update);
    m_delete->setEnabled(buttons.remove);
    m_up->setEnabled(buttons.up);
    m_down->setEnabled(buttons.down);
    if (selection < 0)
        return;
    m_name->setText(QString::fromStdString(m_edit.Names()[size_t(selection)]));
    const auto cells = m_edit.Cells(size_t(selection));
    if (!cells)
        return;
    const int n = cells->size() == 25 ? 5 : 3;
    m_size5->setChecked(n == 5);
    SetGridSize(n);
    for (int r = 0; r < n; ++r)
        for (int c = 0; c < n; ++c)
            m_grid->setItem(
                r, c, new QTableWidgetItem(QString::fromStdString((*cells)[size_t(r * n + c)])));
}

void TUFilDlg::CheckBox1Click() { SetGridSize(m_size5->isChecked() ? 5 : 3); }

std::vector<std::string> TUFilDlg::Cells() const
{
    const int n = m_grid->rowCount();
    std::vector<std::string> cells;
    for (int r = 0; r < n; ++r)
        for (int c = 0; c < n; ++c) {
            const QTableWidgetItem* item = m_grid->item(r, c);
            cells.push_back(item ? item->text().toStdString() : std::string());
        }
    return cells;
}

void TUFilDlg::Button1Click()
{
    if (m_edit.Add(m_name->text().toStdString(), Cells()))
        RefreshList(-1);
}

void TUFilDlg::Button2Click()
{
    const long selection = Selected();
    if (selection >= 0 && m_edit.Update(size_t(selection), m_name->text().toStdString(), Cells()))
        RefreshList(selection);
}

void TUFilDlg::Button3Click()
{
    const long selection = Selected();
    if (selection >= 0 && m_edit.Delete(size_t(selection)))
        RefreshList(-1);
}

void TUFilDlg::Button4Click()
{
    const int n = m_grid->rowCount();
    for (int r = 0; r < n; ++r)
        for (int c = 0; c < n; ++c)
            m_grid->setItem(r, c, new QTableWidgetItem(QStringLiteral("0")));
}

void TUFilDlg::SpeedButton1Click()
{
    const long selection = Selected();
    if (selection < 0)
        return;
    if (auto moved = m_edit.MoveUp(size_t(selection)))
        RefreshList(long(*moved));
}

void TUFilDlg::SpeedButton2Click()
{
    const long selection = Selected();
    if (selection < 0)
        return;
    if (auto moved = m_edit.MoveDown(size_t(selection)))
        RefreshList(long(*moved));
}

bool TUFilDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_grid && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        const QString text = key->text();
        const bool typed = !text.isEmpty() && text.at(0).isPrint();
        if (typed && !(key->modifiers() & Qt::ControlModifier)
            && !CoefficientKeyAllowed(char32_t(text.at(0).unicode())))
            return true;
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace vtl::processing::ui
