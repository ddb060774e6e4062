#include "browse/ui/flist_form.h"

#include "app/ui/image_lists.h"
#include "browse/ui/child_menus.h"
#include "browse/ui/folder_drop.h"
#include "document/ui/mdi_child.h"
#include "input/picture_loader.h"
#include "input/ui/loading_pipeline.h"
#include "platform/qt/dialog_service.h"
#include "platform/qt/trash.h"
#include "platform/qt/wait_cursor.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QDrag>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMdiArea>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPointer>
#include <QSplitter>
#include <QTreeView>
#include <QUrl>
#include <functional>
#include <optional>

namespace vtl::browse::ui {

using app::ui::TMainForm;
using document::ui::TMDIChild;

namespace {
    QString U(const char* s) { return QString::fromUtf8(s); }

    const char* const kDesktop = "ﾃﾞｽｸﾄｯﾌﾟ";
    const char* const kNewFolder = "新しいフォルダ";

    void Enable(TMainForm& main, const char* name, bool enabled)
    {
        if (QAction* a = main.Item(U(name)))
            a->setEnabled(enabled);
    }

    void Check(TMainForm& main, const char* name, bool checked)
    {
        if (QAction* a = main.Item(U(name)))
            a->setChecked(checked);
    }

    // The folder tree's model: folders only, no hidden ones. Files and folders dropped on a node
    // are moved there, or copied with Ctrl; Ctrl with Shift asks for a link, which is refused.
    // What can't be moved or copied is reported.
    class FolderTreeModel : public QFileSystemModel {
    public:
        FolderTreeModel(QObject* parent, QWidget* owner)
            : QFileSystemModel(parent)
            , m_owner(owner)
        {
            setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
            setReadOnly(false);
        }
        Qt::DropActions supportedDropActions() const override
        {
            return Qt::CopyAction | Qt::MoveAction;
        }
        bool canDropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
            const QModelIndex& parent) const override
        {
            return (action == Qt::CopyAction || action == Qt::MoveAction)
                && QFileSystemModel::canDropMimeData(data, action, row, column, parent);
        }
        bool dropMimeData(const QMimeData* data, Qt::DropAction action, int, int,
            const QModelIndex& parent) override
        {
            if ((action != Qt::CopyAction && action != Qt::MoveAction) || !parent.isValid())
                return false;
            QStringList sources;
            for (const QUrl& url : data->urls())
                if (url.isLocalFile())
                    sources << url.toLocalFile();
            if (sources.isEmpty())
                return false;
            bool done = false;
            platform::qt::RunGuarded(m_owner, [&] {
                const DropResult result
                    = CopyOrMoveInto(sources, filePath(parent), action == Qt::CopyAction);
                if (!result.errors.isEmpty())
                    platform::qt::ShowError(m_owner, result.errors.join(QStringLiteral("\n\n")));
                done = result.done > 0 && result.errors.isEmpty();
            });
            // A thumbnail dragged from the grid stays listed unless its file really went.
            return done;
        }

    private:
        QWidget* m_owner;
    };

    // Runs `closing` when the watched window is about to close.
    class FrameCloseWatcher : public QObject {
    public:
        FrameCloseWatcher(QObject* parent, std::function<void()> closing)
            : QObject(parent)
            , m_closing(std::move(closing))
        {
        }
        bool eventFilter(QObject* watched, QEvent* event) override
        {
            if (event->type() == QEvent::Close)
                m_closing();
            return QObject::eventFilter(watched, event);
        }

    private:
        std::function<void()> m_closing;
    };

    // Deletes a file or folder as the desktop's file operation does: a question first, then the
    // trash, or deletion for good while Shift is held. A failure is reported. True when the item
    // is gone.
    bool DeleteItem(QWidget* owner, const QString& path, bool folder)
    {
        const QFileInfo info(path);
        if (!info.exists() && !info.isSymLink()) {
            platform::qt::ShowError(owner, U("%1 が見つかりません。").arg(path));
            return false;
        }
        const bool forGood = QGuiApplication::keyboardModifiers() & Qt::ShiftModifier;
        const QString name = info.fileName();
        QString question;
        if (folder)
            question = forGood ? U("フォルダ %1 とその内容をすべて完全に削除しますか?").arg(name)
                               : U("フォルダ %1 とその内容をすべてごみ箱に移動しますか?").arg(name);
        else
            question = forGood ? U("%1 を完全に削除しますか?").arg(name)
                               : U("%1 をごみ箱に移動しますか?").arg(name);
        if (platform::qt::Dialogs().MessageBox(owner,
                folder ? U("フォルダの削除") : U("ファイルの削除"), question,
                forGood ? platform::qt::MsgIcon::Warning : platform::qt::MsgIcon::Question,
                platform::qt::MsgButtons::YesNo)
            != platform::qt::MsgResult::Yes)
            return false;
        if (!forGood) {
            const platform::qt::TrashResult trashed = platform::qt::MoveToTrash(path);
            if (!trashed.moved) {
                platform::qt::ShowError(
                    owner, U("%1 をごみ箱に移動できません。\n%2").arg(path, trashed.error));
                return false;
            }
        } else {
            const bool removed = folder && !info.isSymLink() ? QDir(path).removeRecursively()
                                                             : QFile::remove(path);
            if (!removed) {
                platform::qt::ShowError(owner, U("%1 を削除できません。").arg(path));
                return false;
            }
        }
        return !QFileInfo::exists(path) && !QFileInfo(path).isSymLink();
    }

    FolderScanHooks Hooks(TMainForm& main)
    {
        FolderScanHooks hooks;
        TMainForm* frame = &main;
        hooks.findEntry = [frame](std::string_view name) {
            return frame->Plugins().PictureExtensions().FindEntry(std::string(name), 0);
        };
        hooks.decodeByPlugin
            = [frame](platform::TBitmap& bitmap, const std::filesystem::path& file) {
                  return input::DecodeFileByPlugin(
                      frame->Plugins(), bitmap, file, true, input::ui::FrameDecodeContext(*frame));
              };
        hooks.budget
            = platform::MemoryBudget::FromMegabytes(main.AppSettings().memoryBudgetMB).ForThumbnails();
        hooks.photo = { main.AppSettings().photoUpright, main.AppSettings().photoTrueColours };
        return hooks;
    }
}

TFlistForm::TFlistForm(TMainForm& main)
    : QMdiSubWindow(nullptr)
    , m_main(main)
    , m_thumbs(std::make_unique<FolderThumbnails>(
          ThumbSizeOfIndex(main.AppSettings().sumSize), Hooks(main)))
{
    // The frame finds the browser by this name: "close all" spares it, a change of the
    // thumbnail size closes it.
    setObjectName(QStringLiteral("FlistForm"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowIcon(app::ui::ApplicationIcon());
    setWindowTitle(U(kDesktop));
    resize(366, 237);

    m_splitter = new QSplitter(Qt::Horizontal, this);
    m_splitter->setObjectName(QStringLiteral("Splitter1"));
    m_splitter->setChildrenCollapsible(false);

    m_model = new FolderTreeModel(this, &main);
    m_model->setRootPath(QStringLiteral("/"));
    m_tree = new QTreeView(m_splitter);
    m_tree->setObjectName(QStringLiteral("FolderView1"));
    m_tree->setModel(m_model);
    for (int column = 1; column < m_model->columnCount(); ++column)
        m_tree->hideColumn(column);
    m_tree->header()->hide();
    m_tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_tree->setDragEnabled(true);
    m_tree->setAcceptDrops(true);
    m_tree->setDropIndicatorShown(true);
    m_tree->setDragDropMode(QAbstractItemView::DragDrop);
    m_tree->setDefaultDropAction(Qt::MoveAction);
    m_tree->setContextMenuPolicy(Qt::CustomContextMenu);

    m_grid = new ThumbGrid(m_thumbs->Store().Size(), m_splitter);
    m_grid->SetLayoutOnEveryResize(false);
    m_grid->viewport()->installEventFilter(this);
    // The frame closes without closing its children: the folder, the tree's width and the cache
    // are kept before it writes the settings. (A watcher of its own: the sub-window takes its
    // own filters off the frame.)
    m_main.installEventFilter(new FrameCloseWatcher(this, [this] { FormCloseQuery(); }));
    m_splitter->addWidget(m_tree);
    m_splitter->addWidget(m_grid);
    m_splitter->setStretchFactor(0, 0);
    m_splitter->setStretchFactor(1, 1);
    const int treeWidth = std::max(main.AppSettings().sumWidth, 1);
    m_splitter->setSizes({ treeWidth, std::max(width() - treeWidth, 1) });
    setWidget(m_splitter);

    connect(m_tree->selectionModel(), &QItemSelectionModel::currentChanged, this,
        platform::qt::Guarded(this, [this] {
            FolderView1Changing();
            FolderView1Change();
        }));
    // A renamed folder that is on show is read again under its new name.
    connect(m_model, &QFileSystemModel::fileRenamed, this,
        [this](const QString& path, const QString& oldName, const QString& newName) {
            const QString shown = QString::fromStdString(m_thumbs->FolderPath().string());
            if (QDir(path).filePath(oldName) == shown && !shown.isEmpty()
                && SelectedPath() == QDir(path).filePath(newName))
                platform::qt::RunGuarded(this, [this] { FolderView1Change(); });
        });
    connect(m_grid, &QTableWidget::currentCellChanged, this,
        platform::qt::Guarded(this, [this] { DrawGrid1Click(); }));
    connect(m_grid, &QTableWidget::cellClicked, this,
        platform::qt::Guarded(this, [this] { DrawGrid1Click(); }));
    connect(m_grid, &QTableWidget::cellDoubleClicked, this,
        platform::qt::Guarded(this, [this] { DrawGrid1DblClick(); }));
    BuildMenus();
    BuildPopup();
}

TFlistForm::~TFlistForm() = default;

TFlistForm* TFlistForm::Create(TMainForm& main)
{
    main.SetStatusText(U("フォルダ読み込み中..."));
    Check(main, "SumMenu", true);
    Check(main, "SumBtn", true);
    auto* form = new TFlistForm(main);
    main.thumbnailBrowser = form;
    main.MdiArea()->addSubWindow(form);
    form->show();
    if (main.Children().size() == 2)
        Enable(main, "BackBtn", true);
    const QString dir = QString::fromStdString(main.AppSettings().sumDir);
    if (dir.isEmpty() || !form->SelectFolder(dir))
        main.SetStatusText(QString());
    return form;
}

QAction* TFlistForm::Item(const QString& name) const { return m_items.value(name, nullptr); }

void TFlistForm::BuildMenus()
{
    ChildMenuBuilder build(*this, m_main, m_menus, m_items);
    QMenu* file = build.Menu("File1", "ファイル(&F)");
    build.Forward(file, "FileNewItem", "新規作成(&N)", "FileNewItem", &TMainForm::FileNewItemClick)
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    build.Forward(file, "FileOpenItem", "開く(&O)", "FileOpenItem", &TMainForm::FileOpenItemClick)
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    build.Forward(file, "SetOpen", "設定を開く(&E)", "SetOpen", &TMainForm::SetOpenClick);
    file->addSeparator();
    build.Forward(file, "Q1", "", "ScanImage", &TMainForm::ScanImageExecute);
    build.Forward(file, "L1", "", "SelectDevice", &TMainForm::SelectDeviceExecute);
    file->addSeparator();
    // The frame's command, which closes the browser.
    QAction* sum
        = build.Forward(file, "SumMenu", "サムネイル(&S)", "SumMenu", &TMainForm::SumMenuClick);
    sum->setCheckable(true);
    sum->setChecked(true);
    file->addSeparator();
    build.Forward(file, "FileExitItem", "終了(&X)", "FileExitItem", &TMainForm::FileExitItemClick);

    QMenu* edit = build.Menu("Edit1", "編集(&E)");
    QAction* del = build.Item(
        edit, "Delete1", "削除(&D)", "選択したファイルを削除します。", &TFlistForm::Delete1Click);
    del->setShortcut(QKeySequence(Qt::Key_Delete));
    del->setIcon(app::ui::ToolImage(2));
    del->setEnabled(false);
    QAction* mode = build.Item(edit, "EMode", "編集モード(&E)",
        "サムネイルだけを削除し、並びをフォルダと切り離して保存します。", &TFlistForm::EModeClick);
    mode->setCheckable(true);
    // Deleting removes only the thumbnail in edit mode, the file otherwise.
    connect(edit, &QMenu::aboutToShow, this, [this, del] {
        del->setStatusTip(m_thumbs->EditMode() ? U("選択したサムネイル画像を削除します。")
                                               : U("選択したファイルを削除します。"));
    });
}

void TFlistForm::BuildPopup()
{
    m_popup = new QMenu(this);
    m_popup->setObjectName(QStringLiteral("PopupMenuEx1"));
    auto item = [&](const char* name, const char* caption, void (TFlistForm::*handler)()) {
        QAction* a = m_popup->addAction(U(caption));
        a->setObjectName(U(name));
        m_items.insert(U(name), a);
        connect(a, &QAction::triggered, this,
            platform::qt::Guarded(this, [this, handler] { (this->*handler)(); }));
        return a;
    };
    QAction* create = item("NewFolder", "新規フォルダ", &TFlistForm::NewFolderClick);
    QAction* remove = item("DelFolder", "フォルダ削除", &TFlistForm::DelFolderClick);
    QAction* rename = item("RenameFolder", "フォルダ名変更", &TFlistForm::RenameFolderClick);
    connect(m_popup, &QMenu::aboutToShow, this, [this, create, remove, rename] {
        const QModelIndex current = m_tree->currentIndex();
        const QString path = SelectedPath();
        const bool below = current.isValid() && current.parent().isValid();
        create->setEnabled(!path.isEmpty() && QFileInfo(path).isDir());
        remove->setEnabled(below && QFileInfo(m_model->filePath(current.parent())).isWritable());
        rename->setEnabled(below && (m_model->flags(current) & Qt::ItemIsEditable));
    });
    connect(m_popup, &QMenu::aboutToHide, this, [this] { m_main.SetStatusText(QString()); });
    connect(m_tree, &QWidget::customContextMenuRequested, this,
        [this](const QPoint& at) { m_popup->popup(m_tree->viewport()->mapToGlobal(at)); });
}

// ---- the folder ----

QString TFlistForm::SelectedPath() const
{
    const QModelIndex current = m_tree->currentIndex();
    return current.isValid() ? m_model->filePath(current) : QString();
}

bool TFlistForm::SelectFolder(const QString& path)
{
    const QModelIndex index = m_model->index(QDir::cleanPath(QDir(path).absolutePath()));
    if (!index.isValid())
        return false;
    m_tree->setCurrentIndex(index);
    m_tree->scrollTo(index);
    return true;
}

QStringList TFlistForm::Names() const
{
    QStringList names;
    for (const auto& name : m_thumbs->Names())
        names << QString::fromStdString(name);
    return names;
}

QString TFlistForm::FileOf(int index) const
{
    if (!HoldsThumbnail(index))
        return QString();
    const QString path = QString::fromStdString(m_thumbs->FilePath(index).string());
    if (QFileInfo::exists(path))
        return path;
    // A cache written where names were kept in lower case: the file may have capitals.
    const QFileInfo info(path);
    const QString wanted = info.fileName().toLower();
    for (const QString& name :
        QDir(info.absolutePath()).entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot))
        if (name.toLower() == wanted)
            return info.absoluteDir().filePath(name);
    return path;
}

void TFlistForm::FolderView1Changing() { SaveCache(); }

void TFlistForm::FolderView1Change()
{
    const QString path = SelectedPath();
    // A folder outside the file system has no path, and the caption says none.
    setWindowTitle(path);
    {
        const QSignalBlocker quiet(m_grid);
        m_grid->setCurrentCell(0, 0);
    }
    if (path.isEmpty() || !QFileInfo(path).isDir()) {
        m_thumbs->SelectFolder({});
    } else {
        platform::qt::WaitCursor wait;
        app::ui::StatusGuard status(m_main, U("サムネイル読み込み中..."));
        m_thumbs->SelectFolder(std::filesystem::path(path.toStdString()));
    }
    Item(QStringLiteral("EMode"))->setChecked(m_thumbs->EditMode());
    m_grid->ShowStore(m_thumbs->Store());
    m_grid->LayoutGrid();
    DrawGrid1Click();
    ReportReadFailures();
}

void TFlistForm::ReportReadFailures()
{
    // One box per visit, whatever the number of damaged files: the first is named with its
    // error, the others counted.
    const auto& failures = m_thumbs->Failures();
    if (failures.empty())
        return;
    QString text = QStringLiteral("%1 を読み込めません。\n%2")
                       .arg(QString::fromStdString(failures.front().file.string()),
                           QString::fromStdString(failures.front().message));
    if (failures.size() > 1)
        text += QStringLiteral("\n\nほかに %1 個のファイルを読み込めません。")
                    .arg(failures.size() - 1);
    platform::qt::ShowError(&m_main, text);
}

void TFlistForm::SaveCache()
{
    if (!m_main.AppSettings().sumSave)
        return;
    const bool writes = (m_thumbs->Modified() || m_thumbs->EditMode() != m_thumbs->EditFlag())
        && m_thumbs->Count() > 0;
    std::optional<app::ui::StatusGuard> status;
    if (writes)
        status.emplace(m_main, U("サムネイル保存中..."));
    try {
        m_thumbs->SaveCache(true);
    } catch (const std::exception&) {
        // A cache that can't be written is simply not there next time.
    }
}

void TFlistForm::EModeClick() { m_thumbs->SetEditMode(Item(QStringLiteral("EMode"))->isChecked()); }

// ---- the grid ----

void TFlistForm::SelectIndex(int index)
{
    m_grid->SetSelectedIndex(index);
    DrawGrid1Click();
}

void TFlistForm::DrawGrid1Click()
{
    const int index = SelectedIndex();
    const bool holds = HoldsThumbnail(index);
    m_main.SetStatusText(
        holds ? QString::fromStdString(m_thumbs->Names()[size_t(index)]) : QString());
    Enable(m_main, "DelBtn", holds);
    Item(QStringLiteral("Delete1"))->setEnabled(holds);
}

void TFlistForm::DrawGrid1DblClick()
{
    OpenIndex = SelectedIndex();
    m_main.navigationSource = 0;
    m_main.thumbnailBrowser = this;
    m_main.steppingFlag = true;
    if (HoldsThumbnail(OpenIndex))
        input::ui::OpenFile(m_main, FileOf(OpenIndex), 3);
}

void TFlistForm::ShowFile(TMDIChild& document, const QString& file)
{
    platform::qt::WaitCursor wait;
    const QFileInfo info(file);
    if (!info.exists()) {
        // A file gone since the folder was read: only the name changes.
        document.Rename(file, info.fileName());
        m_main.setWindowTitle(info.fileName() + QStringLiteral(" - Vistrel"));
        return;
    }
    // A file that can't be read leaves the document as it was, name and all: the old picture
    // under the new name would claim a picture that isn't shown.
    platform::TBitmap picture;
    if (!input::ui::ReadStepPicture(m_main, std::filesystem::path(file.toStdString()), picture))
        return;
    document.StepTo(std::move(picture), file, info.fileName());
}

void TFlistForm::StepPicture(QMdiSubWindow* active, bool forward)
{
    const int count = m_thumbs->Count();
    auto* document = dynamic_cast<TMDIChild*>(active);
    if (count == 0 || !document)
        return;
    OpenIndex += forward ? 1 : -1;
    if (OpenIndex < 0)
        OpenIndex = count - 1;
    else if (OpenIndex >= count)
        OpenIndex = 0;
    ShowFile(*document, FileOf(OpenIndex));
}

void TFlistForm::RemoveEntry(int index, int slack)
{
    m_thumbs->RemoveEntry(index);
    m_grid->RemoveThumbnail(index);
    m_grid->LayoutGrid(slack);
    DrawGrid1Click();
}

void TFlistForm::Delete1Click()
{
    const int index = SelectedIndex();
    if (!HoldsThumbnail(index))
        return;
    if (!m_thumbs->EditMode()) {
        // The thumbnail goes only when the file is gone.
        if (!DeleteItem(&m_main, FileOf(index), false))
            return;
    }
    RemoveEntry(index, 2);
}

// ---- folder commands ----

void TFlistForm::NewFolderClick()
{
    const QString parentPath = SelectedPath();
    if (parentPath.isEmpty() || !QFileInfo(parentPath).isDir())
        return;
    const QDir parentDir(parentPath);
    QString name = U(kNewFolder);
    if (parentDir.exists(name)) {
        name.clear();
        for (int n = 2; n <= 100000; ++n) {
            const QString candidate = U(kNewFolder) + QStringLiteral(" (%1)").arg(n);
            if (!parentDir.exists(candidate)) {
                name = candidate;
                break;
            }
        }
        if (name.isEmpty())
            return;
    }
    const QModelIndex created = m_model->mkdir(m_tree->currentIndex(), name);
    if (!created.isValid())
        return;
    m_tree->setCurrentIndex(created);
    m_tree->edit(created);
}

void TFlistForm::DelFolderClick()
{
    const QModelIndex current = m_tree->currentIndex();
    if (!current.isValid() || !current.parent().isValid())
        return;
    if (!DeleteItem(&m_main, m_model->filePath(current), true))
        return;
    // The folder left is gone: nothing of it is to be saved.
    m_thumbs->SelectFolder({});
    m_tree->setCurrentIndex(current.parent());
}

void TFlistForm::RenameFolderClick()
{
    const QModelIndex current = m_tree->currentIndex();
    if (current.isValid() && current.parent().isValid())
        m_tree->edit(current);
}

// ---- dragging out ----

bool TFlistForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_grid->viewport()) {
        switch (event->type()) {
        case QEvent::MouseButtonPress: {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::LeftButton) {
                m_pressed = true;
                m_pressPoint = mouse->position().toPoint();
                m_pressIndex = m_grid->IndexAt(m_pressPoint);
            }
            break;
        }
        case QEvent::MouseMove: {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (!m_pressed)
                break;
            const QPoint d = mouse->position().toPoint() - m_pressPoint;
            if (std::abs(d.x()) > 7 || std::abs(d.y()) > 7) {
                m_pressed = false;
                if (std::abs(d.x()) <= 16 && std::abs(d.y()) <= 16
                    && HoldsThumbnail(m_pressIndex)) {
                    StartDrag();
                    return true;
                }
            }
            break;
        }
        case QEvent::MouseButtonRelease:
            m_pressed = false;
            break;
        default:
            break;
        }
    }
    return QMdiSubWindow::eventFilter(watched, event);
}

void TFlistForm::StartDrag()
{
    const int index = m_pressIndex;
    const QString file = FileOf(index);
    auto* mime = new QMimeData;
    mime->setUrls({ QUrl::fromLocalFile(file) });
    auto* drag = new QDrag(m_grid);
    drag->setMimeData(mime);
    if (const QImage image = m_grid->Thumbnail(index); !image.isNull())
        drag->setPixmap(QPixmap::fromImage(image));
    // The frame would open its own thumbnail as a dropped file.
    const bool frameAccepted = m_main.acceptDrops();
    m_main.setAcceptDrops(false);
    QPointer<TFlistForm> self(this);
    const Qt::DropAction result = drag->exec(Qt::CopyAction | Qt::MoveAction, Qt::CopyAction);
    m_main.setAcceptDrops(frameAccepted);
    if (!self)
        return;
    // Moved away: the file is no longer in this folder.
    if (result == Qt::MoveAction && HoldsThumbnail(index))
        RemoveEntry(index, 1);
}

// ---- activation and closing ----

void TFlistForm::FormActivate()
{
    for (const char* name : { "CopyBtn", "PasteBtn", "SaveBtn", "PrintBtn", "UndoBtn", "CloseBtn",
             "RCopyBtn", "MojiBtn", "LineBtn", "LeftBtn", "RightBtn", "playBtn" })
        Enable(m_main, name, false);
    Check(m_main, "playBtn", false);
    m_main.RateBox()->setEnabled(false);
    m_main.setWindowTitle(QStringLiteral("Vistrel"));
    Enable(m_main, "DelBtn", HoldsThumbnail(SelectedIndex()));
    Item(QStringLiteral("SumMenu"))->setChecked(true);
}

void TFlistForm::FormCloseQuery()
{
    auto& settings = m_main.AppSettings();
    settings.sumDir = SelectedPath().toStdString();
    settings.sumWidth = m_tree->width();
    SaveCache();
}

void TFlistForm::closeEvent(QCloseEvent* event)
{
    FormCloseQuery();
    // FormClose
    Enable(m_main, "DelBtn", false);
    Check(m_main, "playBtn", false);
    Check(m_main, "SumMenu", false);
    Check(m_main, "SumBtn", false);
    m_main.SetStatusText(QString());
    if (m_main.thumbnailBrowser == this)
        m_main.thumbnailBrowser = nullptr;
    m_main.ChildClosing(this);
    QMdiSubWindow::closeEvent(event);
    event->accept();
}

} // namespace vtl::browse::ui
