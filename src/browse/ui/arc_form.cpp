#include "browse/ui/arc_form.h"

#include "app/ui/image_lists.h"
#include "browse/thumb_cache.h"
#include "browse/thumb_size.h"
#include "browse/ui/child_menus.h"
#include "document/ui/mdi_child.h"
#include "input/ui/loading_pipeline.h"
#include "platform/qt/dialog_service.h"
#include "platform/qt/wait_cursor.h"
#include "render/qimage_bridge.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMdiArea>
#include <QMenu>
#include <QPointer>
#include <QTableWidget>
#include <filesystem>
#include <memory>
#include <optional>

namespace vtl::browse::ui {

using app::ui::TMainForm;
using document::ui::TMDIChild;
using platform::qt::Dialogs;

namespace {
    QString U(const char* s) { return QString::fromUtf8(s); }

    std::filesystem::path FsPath(const QString& name)
    {
        return std::filesystem::path(name.toStdString());
    }

    ThumbSize CurrentSize(TMainForm& main) { return ThumbSizeOfIndex(main.AppSettings().sumSize); }

    void Enable(TMainForm& main, const char* name, bool enabled)
    {
        if (QAction* a = main.Item(U(name)))
            a->setEnabled(enabled);
    }

    // The small window that shows each thumbnail while an archive is listed.
    class TArcvDlg : public QDialog {
    public:
        TArcvDlg(TMainForm& main, ThumbSize size)
            : QDialog(&main,
                Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint
                    | Qt::WindowTitleHint)
        {
            setObjectName(QStringLiteral("ArcvDlg"));
            setWindowTitle(U("抽出中画像"));
            setFixedSize(size.width + 40, size.height + 16);
            m_image = new QLabel(this);
            m_image->setObjectName(QStringLiteral("Image1"));
            m_image->setGeometry(20, 8, size.width, size.height);
            const QRect frame = main.geometry();
            move(frame.left() + (frame.width() - width()) / 2,
                frame.top() + (frame.height() - height()) / 2);
        }
        void ShowPicture(const platform::TBitmap& bitmap)
        {
            m_image->setPixmap(QPixmap::fromImage(render::DisplayImage(bitmap).copy()));
        }

    private:
        QLabel* m_image = nullptr;
    };
}

TArcForm::TArcForm(TMainForm& main, const QString& archivePath)
    : QMdiSubWindow(nullptr)
    , ArchivePath(archivePath)
    , m_main(main)
    , m_store(CurrentSize(main))
{
    // The frame closes every archive window by this name when the thumbnail size changes.
    setObjectName(QStringLiteral("ArcForm"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowIcon(app::ui::ApplicationIcon());
    setWindowTitle(QFileInfo(archivePath).fileName());
    m_grid = new ThumbGrid(m_store.Size(), this);
    setWidget(m_grid);
    resize(413, 240);
    connect(m_grid, &QTableWidget::currentCellChanged, this,
        platform::qt::Guarded(this, [this] { DrawGrid1Click(); }));
    connect(m_grid, &QTableWidget::cellClicked, this,
        platform::qt::Guarded(this, [this] { DrawGrid1Click(); }));
    connect(m_grid, &QTableWidget::cellDoubleClicked, this,
        platform::qt::Guarded(this, [this] { DrawGrid1DblClick(); }));
    BuildMenus();
}

TArcForm::~TArcForm() = default;

QAction* TArcForm::Item(const QString& name) const { return m_items.value(name, nullptr); }

void TArcForm::BuildMenus()
{
    ChildMenuBuilder build(*this, m_main, m_menus, m_items);
    QMenu* file = build.Menu("File1", "ファイル(&F)");
    build.Forward(file, "FileNewItem", "新規作成(&N)", "FileNewItem", &TMainForm::FileNewItemClick)
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    QAction* open = build.Item(
        file, "FileOpenItem", "開く(&O)", "選択した画像を開きます。", &TArcForm::DrawGrid1DblClick);
    open->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    open->setIcon(app::ui::ToolImage(15));
    // The frame's open command, with its file-open dialog.
    build.Forward(file, "SetOpen", "設定を開く(&E)", "FileOpenItem", &TMainForm::FileOpenItemClick);
    file->addSeparator();
    QAction* save2 = build.Item(
        file, "Save2", "保存(&S)", "選択した画像をファイルに保存します。", &TArcForm::Save2Click);
    save2->setIcon(app::ui::ToolImage(0));
    save2->setEnabled(false);
    build.Item(file, "Save1", "アーカイブサムネイル保存(&S)",
        "アーカイブのサムネイルを保存します。", &TArcForm::Save1Click);
    connect(build.Item(file, "FileCloseItem", "閉じる(&C)", "ウインドウを閉じます。", nullptr),
        &QAction::triggered, this, &QWidget::close);
    file->addSeparator();
    build.Forward(file, "Q1", "", "ScanImage", &TMainForm::ScanImageExecute);
    build.Forward(file, "L1", "", "SelectDevice", &TMainForm::SelectDeviceExecute);
    file->addSeparator();
    QAction* sum = build.Forward(file, "SumMenu", "サムネイル(&S)", "SumMenu", nullptr);
    sum->setCheckable(true);
    // No command of its own: the check only mirrors the frame's item.
    connect(sum, &QAction::triggered, this, [this, sum] {
        if (QAction* frameSum = m_main.Item(QStringLiteral("SumMenu")))
            sum->setChecked(frameSum->isChecked());
    });
    file->addSeparator();
    build.Forward(file, "FileExitItem", "終了(&X)", "FileExitItem", &TMainForm::FileExitItemClick);

    QMenu* edit = build.Menu("Edit1", "編集(&E)");
    QAction* del = build.Item(edit, "Delete1", "削除(&D)", "選択したサムネイル画像を削除します。",
        &TArcForm::Delete1Click);
    del->setShortcut(QKeySequence(Qt::Key_Delete));
    del->setIcon(app::ui::ToolImage(2));
    del->setEnabled(false);
}

// ---- building ----

void TArcForm::ShowInFrame()
{
    m_main.MdiArea()->addSubWindow(this);
    show();
    m_main.setWindowTitle(windowTitle() + QStringLiteral(" - Vistrel"));
    LayoutGrid();
    DrawGrid1Click();
}

TArcForm* TArcForm::ListArchive(TMainForm& main, const QString& archivePath)
{
    const ThumbSize size = CurrentSize(main);
    auto form = std::make_unique<TArcForm>(main, archivePath);
    std::vector<input::ArchiveMember> members;
    input::ArchiveResult result;
    {
        // The dialog appears only once a plug-in has taken the archive.
        std::optional<TArcvDlg> dialog;
        platform::TBitmap work;
        TSumImg& store = form->m_store;
        const bool writeBack = main.PaletteDisplayFlag();
        auto listing = [&] {
            dialog.emplace(main, size);
            dialog->show();
        };
        auto sink = [&](const input::ArchiveMember&, document::TDIB& picture) {
            FitPicture(picture, work, size);
            const bool taken = store.Add(work, writeBack);
            if (dialog)
                dialog->ShowPicture(work);
            QCoreApplication::processEvents();
            return taken;
        };
        result = input::ListArchive(main.Plugins(), FsPath(archivePath),
            input::ui::FrameDecodeContext(main), sink, members, listing);
    }
    main.SetStatusText(QString());
    if (result.outcome == input::ArchiveOutcome::Broken)
        platform::qt::ShowError(&main, QString::fromStdString(result.message));
    if (result.outcome != input::ArchiveOutcome::Done || members.empty()
        || int(members.size()) != form->m_store.Count())
        return nullptr;
    form->m_members = std::move(members);
    form->m_grid->ShowStore(form->m_store);
    TArcForm* window = form.release();
    window->ShowInFrame();
    return window;
}

TArcForm* TArcForm::OpenArchiveCache(TMainForm& main, const QString& archivePath)
{
    auto form = std::make_unique<TArcForm>(main, archivePath);
    std::optional<std::vector<input::ArchiveMember>> members;
    {
        app::ui::StatusGuard status(main, U("サムネイル読み込み中..."));
        std::vector<std::string> lines;
        if (!LoadThumbCache(
                FsPath(archivePath + QString::fromUtf8(kCacheExtension)), lines, form->m_store))
            return nullptr;
        // A position or size that isn't a number throws: no window is left behind.
        members = input::ParseArchiveCacheLines(lines);
    }
    if (!members)
        return nullptr; // another marker: the archive is listed afresh
    if (int(members->size()) != form->m_store.Count()) {
        // A line without two commas ends the cache: the window stays, empty.
        members->clear();
        form->m_store.Clear();
    }
    form->m_members = std::move(*members);
    form->m_grid->ShowStore(form->m_store);
    TArcForm* window = form.release();
    window->ShowInFrame();
    return window;
}

QImage TArcForm::Thumbnail(int index) const { return m_grid->Thumbnail(index); }

// ---- the grid ----

void TArcForm::LayoutGrid() { m_grid->LayoutGrid(); }

int TArcForm::SelectedIndex() const { return m_grid->SelectedIndex(); }

void TArcForm::SelectIndex(int index)
{
    m_grid->SetSelectedIndex(index);
    DrawGrid1Click();
}

void TArcForm::SetSelectionCommands(bool enabled)
{
    Enable(m_main, "DelBtn", enabled);
    Enable(m_main, "SaveBtn", enabled);
    Item(QStringLiteral("Delete1"))->setEnabled(enabled);
    Item(QStringLiteral("Save2"))->setEnabled(enabled);
}

void TArcForm::DrawGrid1Click()
{
    const int index = SelectedIndex();
    const bool holds = HoldsThumbnail(index);
    m_main.SetStatusText(holds ? QString::fromStdString(m_members[size_t(index)].name) : QString());
    SetSelectionCommands(holds);
}

// ---- commands ----

void TArcForm::DrawGrid1DblClick()
{
    OpenIndex = SelectedIndex();
    m_main.navigationSource = 1;
    m_main.archiveWindow = this;
    m_main.steppingFlag = true;
    if (HoldsThumbnail(OpenIndex))
        OpenMember(m_members[size_t(OpenIndex)]);
}

bool TArcForm::DecodeMember(const input::ArchiveMember& member, platform::TBitmap& picture)
{
    std::error_code ec;
    if (!std::filesystem::exists(FsPath(ArchivePath), ec))
        return false;
    document::TDIB dib;
    const auto result = input::OpenMember(m_main.Plugins(), FsPath(ArchivePath), member.name,
        member.size, member.position, dib, input::ui::FrameDecodeContext(m_main));
    if (result.outcome == input::ArchiveOutcome::Broken)
        platform::qt::ShowError(&m_main, QString::fromStdString(result.message));
    if (result.outcome != input::ArchiveOutcome::Done)
        return false;
    dib.AssignTo(picture);
    return !picture.Empty();
}

void TArcForm::OpenMember(const input::ArchiveMember& member)
{
    platform::qt::WaitCursor wait;
    platform::TBitmap picture;
    if (!DecodeMember(member, picture))
        return;
    const QString name = QString::fromStdString(member.name);
    input::ui::NewDocument(m_main, std::move(picture), name, name, 3, TMDIChild::Origin::File);
}

void TArcForm::ShowMember(TMDIChild& document, const input::ArchiveMember& member)
{
    platform::qt::WaitCursor wait;
    platform::TBitmap picture;
    if (!DecodeMember(member, picture))
        return;
    const QString name = QString::fromStdString(member.name);
    document.StepTo(std::move(picture), name, name);
}

void TArcForm::StepPicture(QMdiSubWindow* active, bool forward)
{
    const int count = int(m_members.size());
    auto* document = dynamic_cast<TMDIChild*>(active);
    if (count == 0 || !document)
        return;
    OpenIndex += forward ? 1 : -1;
    if (OpenIndex < 0)
        OpenIndex = count - 1;
    else if (OpenIndex >= count)
        OpenIndex = 0;
    ShowMember(*document, m_members[size_t(OpenIndex)]);
}

void TArcForm::Delete1Click()
{
    const int index = SelectedIndex();
    if (!HoldsThumbnail(index))
        return;
    m_members.erase(m_members.begin() + index);
    m_grid->RemoveThumbnail(index);
    m_store.Delete(index);
    LayoutGrid();
    DrawGrid1Click();
}

void TArcForm::Save1Click()
{
    const auto cache = FsPath(ArchivePath + QString::fromUtf8(kCacheExtension));
    if (m_store.Count() == 0) {
        std::error_code ignored;
        std::filesystem::remove(cache, ignored);
        return;
    }
    platform::qt::WaitCursor wait;
    app::ui::StatusGuard status(m_main, U("保存中..."));
    std::vector<std::string> lines { input::kArchiveCacheMarker };
    for (const auto& member : m_members)
        lines.push_back(input::FormatArchiveCacheLine(member));
    SaveThumbCache(cache, lines, m_store);
}

void TArcForm::Save2Click()
{
    if (SaveFolder.isEmpty())
        SaveFolder = QFileInfo(ArchivePath).absolutePath();
    const int index = SelectedIndex();
    if (!HoldsThumbnail(index))
        return;
    const input::ArchiveMember member = m_members[size_t(index)];
    const auto setup = input::SaveMemberDialog(member.name);
    platform::qt::FileDialogOptions o;
    o.folder = SaveFolder;
    // The member's own name is proposed; a folder inside the archive is not one on disk.
    o.fileName = QFileInfo(QString::fromStdString(member.name)).fileName();
    o.defaultExtension = QString::fromStdString(setup.defaultExtension);
    o.filter = QString::fromStdString(setup.filter);
    const auto chosen = Dialogs().SaveFileName(this, o);
    if (!chosen)
        return;
    SaveFolder = QFileInfo(*chosen).absolutePath();
    const auto target = input::SaveMemberTarget(FsPath(*chosen), member.name);
    platform::qt::WaitCursor wait;
    const auto result = input::SaveMember(
        m_main.Plugins(), FsPath(ArchivePath), member.position, member.size, target);
    if (result.outcome == input::ArchiveOutcome::Broken)
        platform::qt::ShowError(this, QString::fromStdString(result.message));
}

// ---- activation and closing ----

void TArcForm::FormActivate()
{
    for (const char* name : { "CopyBtn", "PasteBtn", "PrintBtn", "UndoBtn", "RCopyBtn", "MojiBtn",
             "LineBtn", "LeftBtn", "RightBtn", "playBtn" })
        Enable(m_main, name, false);
    if (QAction* play = m_main.Item(QStringLiteral("playBtn")))
        play->setChecked(false);
    m_main.RateBox()->setEnabled(false);
    Enable(m_main, "CloseBtn", true);
    m_main.setWindowTitle(ArchivePath + QStringLiteral(" - Vistrel"));
    const bool holds = HoldsThumbnail(SelectedIndex());
    Enable(m_main, "SaveBtn", holds);
    Enable(m_main, "DelBtn", holds);
    if (QAction* frameSum = m_main.Item(QStringLiteral("SumMenu")))
        Item(QStringLiteral("SumMenu"))->setChecked(frameSum->isChecked());
}

void TArcForm::closeEvent(QCloseEvent* event)
{
    // FormCloseQuery
    Enable(m_main, "DelBtn", false);
    Enable(m_main, "SaveBtn", false);
    // FormClose
    m_main.SetStatusText(QString());
    m_main.ChildClosing(this);
    QMdiSubWindow::closeEvent(event);
    event->accept();
}

} // namespace vtl::browse::ui
