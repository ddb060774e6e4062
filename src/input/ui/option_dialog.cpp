#include "input/ui/option_dialog.h"

#include "input/ui/limits_dialog.h"
#include "app/ui/image_lists.h"
#include "platform/environment.h"
#include "platform/qt/dialog_service.h"
#include "platform/qt/up_down_edit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDropEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QToolButton>
#include <QVBoxLayout>

namespace vtl::input::ui {

namespace {
    QString U(const char* s) { return QString::fromUtf8(s); }
    QString S(const std::string& s) { return QString::fromStdString(s); }
    constexpr int kKindColumn = 3;
}

TPluginListView::TPluginListView(QWidget* parent)
    : QTreeWidget(parent)
{
    setObjectName(QStringLiteral("ListView1"));
    setColumnCount(4);
    setHeaderLabels({ U("説明"), U("拡張子"), U("Susie 32bit plug-in"), QString() });
    setColumnHidden(kKindColumn, true);
    setColumnWidth(0, 120);
    header()->setStretchLastSection(false);
    header()->setSectionResizeMode(2, QHeaderView::Stretch);
    setRootIsDecorated(false);
    setSortingEnabled(false);
    setAllColumnsShowFocus(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setDragDropMode(QAbstractItemView::InternalMove);
    setAlternatingRowColors(false);
}

void TPluginListView::MoveItem(int from, int before)
{
    if (from < 0 || from >= topLevelItemCount() || from == before)
        return;
    QTreeWidgetItem* item = takeTopLevelItem(from);
    if (before < 0 || before > topLevelItemCount() + 1)
        addTopLevelItem(item);
    else
        insertTopLevelItem(before > from ? before - 1 : before, item);
    setCurrentItem(item);
}

void TPluginListView::dropEvent(QDropEvent* event)
{
    QTreeWidgetItem* moving = currentItem();
    if (!moving) {
        event->ignore();
        return;
    }
    QTreeWidgetItem* target = itemAt(event->position().toPoint());
    MoveItem(indexOfTopLevelItem(moving), target ? indexOfTopLevelItem(target) : -1);
    event->setDropAction(Qt::IgnoreAction); // the move is done; the view must not remove the row
    event->accept();
}

TOptionDlg::TOptionDlg(const app::Settings& settings, const std::vector<PluginRow>& rows,
    const PluginFolders& folders, QWidget* parent)
    : QDialog(parent)
    , m_folders(folders)
{
    setObjectName(QStringLiteral("OptionDlg"));
    setWindowTitle(U("オプション設定"));
    resize(352, 263);
    auto* layout = new QVBoxLayout(this);

    m_list = new TPluginListView(this);
    layout->addWidget(m_list, 1);
    for (const auto& row : rows)
        AddRow(row);

    auto* tools = new QHBoxLayout;
    struct Tool {
        const char* name;
        const char* hint;
        const char* tip;
        int image;
        void (TOptionDlg::*handler)();
    };
    for (const Tool& t :
        { Tool { "SpeedButton1", "spi Read", "spiの情報を読み込み、リストに追加します。", 15,
              &TOptionDlg::SpeedButton1Click },
            Tool { "SpeedButton2", "削除", "選択したspiをリストから削除します。", 2,
                &TOptionDlg::SpeedButton2Click },
            Tool { "SpeedButton3", "spi環境設定", "spiの環境設定ダイアログを表示します。", 40,
                &TOptionDlg::SpeedButton3Click } }) {
        auto* b = new QToolButton(this);
        b->setObjectName(U(t.name));
        b->setIcon(app::ui::ToolImage(t.image));
        b->setToolTip(U(t.hint));
        b->setStatusTip(U(t.tip));
        connect(b, &QToolButton::clicked, this, t.handler);
        tools->addWidget(b);
    }
    tools->addStretch();
    layout->addLayout(tools);

    auto* grid = new QGridLayout;
    const char* const captions[4] = { "サムネイルを保存する", "png形式の保存で圧縮率最高",
        "TWAINは保存する", "壁紙を調整する" };
    const char* const hints[4]
        = { "サムネイル表示でサムネイル画像を保存し、次回表示時のスペードアップを図ります。",
              "pngで保存する場合に、圧縮率を最高にします。",
              "イメージの取得で、画面に表示せずに１つづつファイルに保存します。", "" };
    for (int i = 0; i < 4; ++i) {
        m_checks[i] = new QCheckBox(U(captions[i]), this);
        m_checks[i]->setObjectName(QStringLiteral("CheckBox%1").arg(i + 1));
        m_checks[i]->setToolTip(U(hints[i]));
        m_checks[i]->setStatusTip(U(hints[i]));
        grid->addWidget(m_checks[i], i / 2, i % 2);
    }
    m_checks[0]->setChecked(settings.sumSave);
    m_checks[1]->setChecked(settings.png);
    m_checks[2]->setChecked(settings.twainSave);
    m_checks[3]->setChecked(settings.wall);
    m_details = DetailSettings::Of(settings);

    auto* sizeLabel = new QLabel(U("サムネイルサイズ"), this);
    sizeLabel->setObjectName(QStringLiteral("Label2"));
    m_sumSize = new QComboBox(this);
    m_sumSize->setObjectName(QStringLiteral("cbSumSize"));
    for (const char* size : { " 64 x 48", " 80 x 60", " 96 x 72", "112 x 84", "128 x 96" })
        m_sumSize->addItem(U(size));
    m_sumSize->setCurrentIndex(settings.sumSize);
    grid->addWidget(sizeLabel, 2, 0);
    grid->addWidget(m_sumSize, 2, 1);

    auto* waitLabel = new QLabel(U("Wait時間"), this);
    waitLabel->setObjectName(QStringLiteral("Label1"));
    m_wait = new platform::qt::TUpDownEdit(
        QStringLiteral("edWait"), QStringLiteral("udWait"), 0, 60, settings.wait, this);
    m_wait->Edit()->setReadOnly(true);
    const QString waitHint = U("連続表示時の待ち時間を設定します。ただし0は0.5秒とします。");
    m_wait->Edit()->setToolTip(waitHint);
    m_wait->Edit()->setStatusTip(waitHint);
    grid->addWidget(waitLabel, 3, 0);
    grid->addWidget(m_wait, 3, 1);
    layout->addLayout(grid);

    auto* buttons = new QHBoxLayout;
    // Settings of the program's own beyond the dialog's old ones have a dialog of their own.
    auto* details = new QPushButton(U("詳細設定..."), this);
    details->setObjectName(QStringLiteral("DetailBtn"));
    details->setAutoDefault(false);
    connect(details, &QPushButton::clicked, this, &TOptionDlg::DetailBtnClick);
    buttons->addWidget(details);
    buttons->addStretch();
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("OKBtn"));
    auto* cancel = new QPushButton(U("キャンセル"), this);
    cancel->setObjectName(QStringLiteral("CancelBtn"));
    cancel->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
    cancel->setFocus();
}

QCheckBox* TOptionDlg::CheckBox(int number) const { return m_checks[number - 1]; }

QLineEdit* TOptionDlg::edWait() const { return m_wait->Edit(); }
int TOptionDlg::WaitValue() const { return m_wait->Position(); }
void TOptionDlg::SetWaitValue(int value) { m_wait->SetPosition(value); }

void TOptionDlg::AddRow(const PluginRow& row)
{
    auto* item = new QTreeWidgetItem(
        m_list, { S(row.description), S(row.extensions), S(row.path), S(row.kind) });
    item->setFlags(
        (item->flags() | Qt::ItemIsUserCheckable | Qt::ItemIsDragEnabled) & ~Qt::ItemIsDropEnabled);
    item->setCheckState(0, row.enabled ? Qt::Checked : Qt::Unchecked);
}

bool TOptionDlg::event(QEvent* event)
{
    // The hints of the dialog's controls go to the frame's status bar, as every hint does.
    if (event->type() == QEvent::StatusTip && parentWidget()) {
        QCoreApplication::sendEvent(parentWidget(), event);
        return true;
    }
    return QDialog::event(event);
}

std::vector<PluginRow> TOptionDlg::Rows() const
{
    std::vector<PluginRow> rows;
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = m_list->topLevelItem(i);
        rows.push_back({ item->text(kKindColumn).toStdString(), item->text(0).toStdString(),
            item->text(1).toStdString(), item->text(2).toStdString(),
            item->checkState(0) == Qt::Checked });
    }
    return rows;
}

void TOptionDlg::ApplyTo(app::Settings& settings) const
{
    settings.sumSave = m_checks[0]->isChecked();
    settings.png = m_checks[1]->isChecked();
    settings.twainSave = m_checks[2]->isChecked();
    settings.wall = m_checks[3]->isChecked();
    settings.wait = m_wait->Position();
    m_details.ApplyTo(settings);
}

void TOptionDlg::DetailBtnClick()
{
    TLimitsDlg dialog(m_details, this);
    if (platform::qt::Dialogs().Exec(dialog) == QDialog::Accepted)
        m_details = dialog.Settings();
}

void TOptionDlg::SpeedButton1Click()
{
    platform::qt::FileDialogOptions o;
    o.title = U("Susie 32bit plug-in の選択");
    o.filter = U("Susie 32bit plug-in|*.spi");
    o.folder = QString::fromStdString(platform::PluginFolder().string());
    auto chosen = platform::qt::Dialogs().OpenFileNames(this, o);
    if (!chosen || chosen->isEmpty())
        return;
    for (const PluginRow& row : ReadPluginRows(chosen->first().toStdString(), m_folders))
        AddRow(row);
}

void TOptionDlg::SpeedButton2Click() { delete m_list->currentItem(); }

void TOptionDlg::SpeedButton3Click()
{
    QTreeWidgetItem* item = m_list->currentItem();
    if (!item)
        return;
    const std::string path = item->text(2).toStdString();
    if (!ConfigurePlugin(path, m_folders, this))
        platform::qt::ShowError(this, S(FormatMessage(kNotFoundMessage, path)));
}

} // namespace vtl::input::ui
