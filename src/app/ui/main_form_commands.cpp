#include "app/ui/main_form.h"
#include "app/ui/main_form_texts.h"
#include "processing/ui/processing_commands.h"

#include "app/open_requests.h"
#include "app/setting_file.h"
#include "app/ui/about_box.h"
#include "app/ui/help_window.h"
#include "app/ui/image_lists.h"
#include "app/ui/open_request_server.h"
#include "browse/ui/flist_form.h"
#include "document/ui/mdi_child.h"
#include "input/ui/loading_pipeline.h"
#include "input/ui/option_dialog.h"
#include "input/ui/twain_commands.h"
#include "platform/atomic_file.h"
#include "platform/environment.h"
#include "platform/qt/clipboard.h"
#include "platform/qt/dialog_service.h"
#include "platform/qt/screens.h"
#include "processing/palette_file.h"
#include "shell/ui/spi_reg_dialog.h"

#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMimeData>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <QWidgetAction>
#include <cmath>
#include <cstdio>

// The frame's commands: opening, setting files, windows, tools, the slide show, the clipboard,
// palette files and help.

namespace vtl::app::ui {

using platform::qt::Dialogs;
using platform::qt::FileDialogOptions;
using platform::qt::MsgButtons;
using platform::qt::MsgIcon;
using platform::qt::MsgResult;
using namespace texts;

namespace {
    QString Str(const std::string& s) { return QString::fromStdString(s); }
}

// ---- File ----

void TMainForm::FileExitItemClick() { close(); }

QMdiSubWindow* TMainForm::OpenFile(const QString& fileName, int zoomIndex)
{
    return input::ui::OpenFile(*this, fileName, zoomIndex);
}

void TMainForm::FileNewItemClick()
{
    OpenFile(QStringLiteral("無題%1").arg(Children().size() + 1), 3);
}

void TMainForm::FileOpenItemClick()
{
    FileDialogOptions o;
    o.title = QStringLiteral("画像/アーカイブの読み込み");
    o.filter = QString::fromStdString(m_plugins->OpenFilter());
    o.multiple = true;
    auto chosen = Dialogs().OpenFileNames(this, o);
    if (!chosen)
        return;
    m_plugins->ClearFailureMarks();
    for (const QString& name : *chosen)
        OpenFile(name, 3);
}

void TMainForm::CloseAllClick()
{
    auto windows = Children();
    for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
        if ((*it)->objectName() == QStringLiteral("FlistForm"))
            continue; // the thumbnail browser stays
        if (!(*it)->close())
            return; // the user kept a document whose changes could not be saved
        QCoreApplication::processEvents();
    }
}

bool TMainForm::CloseChildren()
{
    for (const QPointer<QMdiSubWindow> window : Children())
        if (window && !window->close())
            return false;
    return true;
}

void TMainForm::RateBoxChange()
{
    if (auto* document = dynamic_cast<document::ui::TMDIChild*>(m_mdiArea->activeSubWindow()))
        document->SetZoom(m_rateBox->currentIndex());
}

void TMainForm::HandleCommandLine()
{
    if (m_commandLineDone)
        return;
    // "-n" defers the command line to the next activation.
    if (!m_arguments.isEmpty() && m_arguments.first() == QStringLiteral("-n"))
        return;
    m_commandLineDone = true;
    if (!m_arguments.isEmpty())
        m_plugins->ClearFailureMarks();
    for (const QString& argument : std::as_const(m_arguments))
        OpenNamed(argument);
}

void TMainForm::OpenNamed(const QString& name)
{
    if (name.toLower().endsWith(QStringLiteral(".vtl")))
        LoadSettingFile(name);
    else
        OpenFile(QFileInfo(name).absoluteFilePath(), 3);
}

bool TMainForm::ListenForOpenRequests(const QString& name)
{
    delete m_openRequests;
    auto* server = new TOpenRequestServer(
        [this](const QString& macro) {
            platform::qt::RunGuarded(this, [this, macro] { OpenGraphicExecuteMacro(macro); });
        },
        this);
    m_openRequests = server;
    return server->Listen(name);
}

void TMainForm::OpenGraphicExecuteMacro(const QString& macro)
{
    m_plugins->ClearFailureMarks();
    for (const std::string& name : MacroFileNames(macro.toStdString()))
        OpenNamed(QString::fromStdString(name));
    // The user asked for these files from outside: show them.
    if (isMinimized())
        showNormal();
    raise();
    activateWindow();
}

void TMainForm::OpenDroppedFiles(const QStringList& files)
{
    m_plugins->ClearFailureMarks();
    for (const QString& name : files) {
        if (!QFileInfo::exists(name))
            continue;
        if (name.toLower().endsWith(QStringLiteral(".vtl")))
            LoadSettingFile(name);
        else
            OpenFile(name, 3);
    }
}

void TMainForm::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void TMainForm::dropEvent(QDropEvent* event)
{
    QStringList files;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile())
            files << url.toLocalFile();
    event->acceptProposedAction();
    platform::qt::RunGuarded(this, [this, files] { OpenDroppedFiles(files); });
}

void TMainForm::SetOpenClick()
{
    FileDialogOptions o;
    o.title = QString::fromUtf8(kSetOpenTitle);
    o.filter = QString::fromUtf8(kSettingFilter);
    o.folder = m_setOpenFolder;
    auto chosen = Dialogs().OpenFileNames(this, o);
    if (!chosen || chosen->isEmpty())
        return;
    m_setOpenFolder = QFileInfo(chosen->first()).absolutePath();
    LoadSettingFile(chosen->first());
}

void TMainForm::LoadSettingFile(const QString& fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return;
    auto entries = ParseSettingFile(file.readAll().toStdString());
    if (!entries)
        return; // not a setting file: ignored without a message
    m_plugins->ClearFailureMarks();
    for (const auto& entry : *entries) {
        QMdiSubWindow* window = OpenFile(Str(entry.path), entry.zoomIndex);
        if (!window || !entry.caption)
            continue;
        window->setWindowTitle(Str(*entry.caption));
        if (entry.bounds)
            window->setGeometry(entry.bounds->Left, entry.bounds->Top, entry.bounds->Width(),
                entry.bounds->Height());
    }
}

void TMainForm::SaveSettingFile()
{
    std::vector<SettingEntry> entries;
    for (QMdiSubWindow* window : Children()) {
        auto* document = dynamic_cast<SettingFileDocument*>(window);
        if (!document)
            continue; // the thumbnail browser and archive windows are not saved
        // A changed document is asked about; a save that fails has shown why, and the document
        // is then left out if it has no file.
        document->ReadyToReplace();
        if (!QFileInfo::exists(document->FileName()))
            continue;
        QRect g = window->geometry();
        entries.push_back({ document->CurrentZoomIndex(), document->FileName().toStdString(),
            window->windowTitle().toStdString(),
            platform::TRect { g.left(), g.top(), g.left() + g.width(), g.top() + g.height() } });
    }
    if (entries.empty())
        return;
    FileDialogOptions o;
    o.title = QString::fromUtf8(kSetSaveTitle);
    o.filter = QString::fromUtf8(kSettingFilter);
    o.defaultExtension = QStringLiteral("vtl");
    o.folder = m_setSaveFolder;
    auto chosen = Dialogs().SaveFileName(this, o);
    if (!chosen)
        return;
    m_setSaveFolder = QFileInfo(*chosen).absolutePath();
    // Written whole and put in place in one step, as every file of the program.
    try {
        platform::WriteFileAtomically(chosen->toStdString(), FormatSettingFile(entries));
    } catch (const std::exception&) {
        platform::qt::ShowError(this, QStringLiteral("%1 に書き込めません。").arg(*chosen));
    }
}

// The commands below are carried out by the document window, the loading pipeline, the plug-in
// options, the thumbnail browser and the scanner, which connect here as they are built.
void TMainForm::ScanImageExecute() { input::ui::ScanImage(*this); }
void TMainForm::SelectDeviceExecute() { input::ui::SelectDevice(*this); }
void TMainForm::SumBtnClick() { SumMenuClick(); }
void TMainForm::SumMenuClick()
{
    auto* browser = qobject_cast<QMdiSubWindow*>(thumbnailBrowser.data());
    if (!browser) {
        browse::ui::TFlistForm::Create(*this);
        return;
    }
    // Closing the browser unchecks the frame's command and releases its button.
    browser->close();
    QMdiSubWindow* active = m_mdiArea->activeSubWindow();
    if (!active || active == browser)
        return;
    if (auto* sum = active->findChild<QAction*>(QStringLiteral("SumMenu")))
        sum->setChecked(false);
    // A document that steps through its own folder goes on doing so.
    auto* document = dynamic_cast<document::ui::TMDIChild*>(active);
    if (document && navigationSource == 0 && !document->FolderSteps()) {
        Item("LeftBtn")->setEnabled(false);
        Item("RightBtn")->setEnabled(false);
        Item("playBtn")->setChecked(false);
        Item("playBtn")->setEnabled(false);
    }
}
void TMainForm::Option1Click()
{
    input::ui::TOptionDlg dialog(m_settings, m_plugins->Rows(), m_plugins->Folders(), this);
    platform::qt::CentreOnPointer(dialog, m_workArea);
    if (Dialogs().Exec(dialog) != QDialog::Accepted)
        return;
    dialog.ApplyTo(m_settings);
    m_timer1->setInterval(SlideShowInterval(m_settings.wait));
    const int size = dialog.cbSumSize()->currentIndex();
    if (size != m_settings.sumSize) {
        // Thumbnails of the old size can't stay on screen.
        auto windows = Children();
        for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
            const QString kind = (*it)->objectName();
            if (kind == QStringLiteral("FlistForm") || kind == QStringLiteral("ArcForm")) {
                (*it)->close();
                QCoreApplication::processEvents();
            }
        }
        m_settings.sumSize = size;
    }
    m_plugins->SetRows(dialog.Rows());
}
void TMainForm::Filter1Click() { processing::ui::OpenUserFilterDialog(*this); }
void TMainForm::KanrenClick()
{
    shell::ui::ShowAssociationDialog(this, WorkArea(), m_plugins->Lines());
}
void TMainForm::SaveBtnClick()
{
    if (auto* document = dynamic_cast<SettingFileDocument*>(m_mdiArea->activeSubWindow()))
        document->SaveAs();
    else if (auto* child = dynamic_cast<FrameChild*>(m_mdiArea->activeSubWindow()))
        child->SaveBtnClick();
}
void TMainForm::PrintBtnClick()
{
    if (auto* document = dynamic_cast<document::ui::TMDIChild*>(m_mdiArea->activeSubWindow()))
        document->PrintItemClick();
}
void TMainForm::UndoBtnClick()
{
    if (auto* document = dynamic_cast<document::ui::TMDIChild*>(m_mdiArea->activeSubWindow()))
        document->Undo1Click();
}
void TMainForm::CopyItemClick()
{
    if (auto* document = dynamic_cast<document::ui::TMDIChild*>(m_mdiArea->activeSubWindow()))
        document::ui::TMDIChild::CopyPicture(document->Picture());
}
void TMainForm::RCopyBtnClick()
{
    if (auto* document = dynamic_cast<document::ui::TMDIChild*>(m_mdiArea->activeSubWindow()))
        document->RCopyItemClick();
}
void TMainForm::PasteItemClick()
{
    if (auto* document = dynamic_cast<document::ui::TMDIChild*>(m_mdiArea->activeSubWindow()))
        document->Paste1Click();
}
void TMainForm::DelBtnClick()
{
    if (auto* child = dynamic_cast<FrameChild*>(m_mdiArea->activeSubWindow()))
        child->DelBtnClick();
}
void TMainForm::StepPicture(bool forward)
{
    QMdiSubWindow* active = m_mdiArea->activeSubWindow();
    auto* document = dynamic_cast<document::ui::TMDIChild*>(active);
    // A picture opened from a file steps through its own folder; one opened from the browser or
    // an archive window through that window.
    NavigationSource* source = document ? document->FolderSteps() : nullptr;
    if (!source) {
        QObject* window = navigationSource == 1 ? archiveWindow.data() : thumbnailBrowser.data();
        source = dynamic_cast<NavigationSource*>(window);
    }
    // A slide-show step waits while a dialog is open: the dialog may be working on the picture.
    if (!source || platform::qt::DialogOpen())
        return;
    // The next picture takes the document's place: unsaved changes are asked about first. A user
    // who keeps them also stops the slide show, which would otherwise ask again at every step.
    if (document && !document->ReadyToReplace()) {
        Item("playBtn")->setChecked(false);
        m_timer1->stop();
        return;
    }
    source->StepPicture(active, forward);
}

void TMainForm::LeftBtnClick() { StepPicture(false); }
void TMainForm::RightBtnClick() { StepPicture(true); }

void TMainForm::MergeMenus(QMdiSubWindow* active)
{
    auto* owner = dynamic_cast<FrameChild*>(active);
    QList<QMenu*> menus = owner ? owner->ChildMenus() : m_frameMenus;
    if (owner) {
        menus << m_windowMenu;
        menus << m_frameMenus.last(); // help
    }
    QMenuBar* bar = menuBar();
    bar->clear();
    for (QMenu* m : menus)
        bar->addMenu(m);
}

void TMainForm::ChildClosing(QMdiSubWindow* child)
{
    const auto children = Children();
    if (!children.contains(child))
        return;
    if (children.size() == 1) {
        for (const char* name : { "CopyBtn", "PasteBtn", "SaveBtn", "PrintBtn", "UndoBtn",
                 "CloseBtn", "RCopyBtn", "MojiBtn", "LineBtn" })
            Item(QString::fromUtf8(name))->setEnabled(false);
        m_rateBox->setEnabled(false);
        setWindowTitle(QString::fromUtf8(kCaption));
        MergeMenus(nullptr);
    } else if (children.size() == 2) {
        Item("BackBtn")->setEnabled(false);
    }
}

// ---- View ----

void TMainForm::ToolBar1Click()
{
    m_settings.toolBar = Item("ToolBar1")->isChecked();
    m_panel1->setVisible(m_settings.toolBar);
}

void TMainForm::StatusBar1Click()
{
    m_settings.statusBar = Item("StatusBar1")->isChecked();
    statusBar()->setVisible(m_settings.statusBar);
}

// ---- Window ----

QList<QMdiSubWindow*> TMainForm::ArrangeableChildren() const
{
    // Icons keep their place; hidden windows take none.
    QList<QMdiSubWindow*> windows;
    for (QMdiSubWindow* w : Children())
        if (!w->isMinimized() && w->isVisible())
            windows << w;
    return windows;
}

void TMainForm::ArrangeChildren(bool stacked)
{
    const QList<QMdiSubWindow*> windows = ArrangeableChildren();
    if (windows.isEmpty())
        return;
    const QRect area = m_mdiArea->viewport()->rect();
    const int n = static_cast<int>(windows.size());
    // Up to three windows share the area in strips; more make a grid, as the system's tiling
    // does: as many lines as the square root of the count, the last lines one window longer when
    // the count doesn't divide. Side by side the lines are columns, stacked they are rows.
    const int lines = n <= 3 ? n : static_cast<int>(std::sqrt(double(n)));
    const int perLine = n / lines;
    const int longer = n % lines;
    const int along = stacked ? area.height() : area.width();
    const int across = stacked ? area.width() : area.height();
    int index = 0;
    for (int line = 0; line < lines; ++line) {
        const int count = perLine + (line >= lines - longer ? 1 : 0);
        const int lineStart = along * line / lines;
        const int lineSize = along * (line + 1) / lines - lineStart;
        for (int k = 0; k < count; ++k, ++index) {
            const int start = across * k / count;
            const int size = across * (k + 1) / count - start;
            QMdiSubWindow* w = windows[index];
            w->showNormal();
            if (stacked)
                w->setGeometry(start, lineStart, size, lineSize);
            else
                w->setGeometry(lineStart, start, lineSize, size);
        }
    }
}

void TMainForm::V1Click() { ArrangeChildren(true); }
void TMainForm::WindowTileItemClick() { ArrangeChildren(false); }
void TMainForm::WindowCascadeItemClick()
{
    // Each window one caption lower and to the right of the one before, all of one usable size:
    // three quarters of the area, never below what shows a caption and its buttons. Windows come
    // back from maximised or tiny sizes to that size.
    QList<QMdiSubWindow*> windows = ArrangeableChildren();
    if (windows.isEmpty())
        return;
    // The active window ends on top.
    if (QMdiSubWindow* active = m_mdiArea->activeSubWindow(); windows.removeOne(active))
        windows << active;
    const QRect area = m_mdiArea->viewport()->rect();
    const int step = std::max(20, style()->pixelMetric(QStyle::PM_TitleBarHeight));
    const QSize size(std::max(area.width() * 3 / 4, 240), std::max(area.height() * 3 / 4, 160));
    int offset = 0;
    for (QMdiSubWindow* w : windows) {
        w->showNormal();
        // Back to the top left once the next window would leave the area.
        if (offset > 0
            && (offset + size.width() > area.width() || offset + size.height() > area.height()))
            offset = 0;
        w->setGeometry(offset, offset, size.width(), size.height());
        w->raise();
        offset += step;
    }
}

void TMainForm::WindowMinimizeItemClick()
{
    auto windows = Children();
    for (auto it = windows.rbegin(); it != windows.rend(); ++it)
        (*it)->showMinimized();
}

void TMainForm::WindowArrangeItemClick()
{
    // Minimised windows line up along the bottom edge, left to right.
    const QRect area = m_mdiArea->viewport()->rect();
    int x = 0;
    int row = 0;
    for (QMdiSubWindow* w : Children()) {
        if (!w->isMinimized())
            continue;
        QSize size = w->size();
        if (x > 0 && x + size.width() > area.width()) {
            x = 0;
            ++row;
        }
        w->move(x, area.height() - size.height() * (row + 1));
        x += size.width();
    }
}

void TMainForm::FillWindowMenu()
{
    // The window list follows the fixed items, as in every multiple-document frame.
    const auto actions = m_windowMenu->actions();
    for (QAction* a : actions)
        if (a->property("windowListItem").toBool())
            m_windowMenu->removeAction(a), a->deleteLater();
    const auto windows = Children();
    if (windows.isEmpty())
        return;
    QAction* separator = m_windowMenu->addSeparator();
    separator->setProperty("windowListItem", true);
    int number = 1;
    for (QMdiSubWindow* w : windows) {
        QAction* a
            = m_windowMenu->addAction(QStringLiteral("&%1 %2").arg(number++).arg(w->windowTitle()));
        a->setProperty("windowListItem", true);
        a->setCheckable(true);
        a->setChecked(w == m_mdiArea->activeSubWindow());
        connect(a, &QAction::triggered, this, [this, w] { m_mdiArea->setActiveSubWindow(w); });
    }
}

void TMainForm::BackBtnClick() { m_mdiArea->activateNextSubWindow(); }
void TMainForm::CloseBtnClick() { m_mdiArea->closeActiveSubWindow(); }

// ---- Tools ----

void TMainForm::MojiBtnClick()
{
    if (Item("MojiBtn")->isChecked())
        Item("LineBtn")->setChecked(false);
}

void TMainForm::LineBtnClick()
{
    if (Item("LineBtn")->isChecked())
        Item("MojiBtn")->setChecked(false);
}

void TMainForm::FontChange()
{
    // The text tool draws in the font's colour, chosen in the same dialog.
    if (auto chosen = Dialogs().ChooseFont(this, { m_textFont, m_settings.font.color })) {
        m_textFont = chosen->font;
        m_settings.font.color = chosen->colour;
        StoreTextFont();
    }
}

void TMainForm::cp15Click(int colourNumber) { m_settings.lineColor = colourNumber; }

void TMainForm::PopupMenu3Change()
{
    if (QAction* a = Item(QStringLiteral("cp%1").arg(m_settings.lineColor)))
        a->setChecked(true);
}

// ---- Slide show ----

void TMainForm::playBtnClick()
{
    if (Item("playBtn")->isChecked())
        m_timer1->start();
    else
        m_timer1->stop();
}

void TMainForm::Timer1Timer()
{
    m_timer1->stop();
    if (!Item("playBtn")->isChecked())
        return;
    RightBtnClick();
    QCoreApplication::processEvents();
    // The delay runs from the end of each load: the timer is armed again once the step is done.
    QCoreApplication::postEvent(this, new QEvent(QEvent::Type(QEvent::User + kWmAppRearm)));
}

// ---- Clipboard ----

void TMainForm::UpdatePasteState()
{
    // Without a child window there is nothing to paste into.
    if (Children().isEmpty()) {
        Item("PasteBtn")->setEnabled(false);
        return;
    }
    const bool canPaste
        = platform::qt::ClipboardOffersPicture(QGuiApplication::clipboard()->mimeData());
    // The browser and the archive windows take no picture.
    const bool intoDocument = !dynamic_cast<NavigationSource*>(m_activeChild.data());
    Item("PasteBtn")->setEnabled(canPaste && intoDocument);
    for (QMdiSubWindow* child : Children())
        if (auto* document = dynamic_cast<document::ui::TMDIChild*>(child))
            document->Item(QStringLiteral("Paste1"))->setEnabled(canPaste);
}

// ---- Palette files ----

void TMainForm::RequestPaletteSave(int count)
{
    QCoreApplication::postEvent(this, new PaletteSaveEvent(count));
}

std::optional<QString> TMainForm::AskPaletteFileName(const QString& documentFile)
{
    FileDialogOptions o;
    o.title = QStringLiteral("パレットの保存");
    o.filter = QStringLiteral("パレット|*.pal");
    o.defaultExtension = QStringLiteral("pal");
    const QString folder = QFileInfo(documentFile).path();
    o.folder = documentFile.contains('/') ? folder : m_paletteFolder;
    auto chosen = Dialogs().SaveFileName(this, o);
    if (chosen)
        m_paletteFolder = QFileInfo(*chosen).absolutePath();
    return chosen;
}

void TMainForm::SavePaletteFile(
    const QString& fileName, std::span<const platform::PaletteEntry> entries)
{
    try {
        processing::WritePaletteFile(fileName.toStdString(), entries, entries.size());
    } catch (const std::exception& e) {
        platform::qt::ShowError(this, QString::fromUtf8(e.what()));
    }
}

void TMainForm::SaveBitmapPalette(const QString& documentFile, const platform::TBitmap& picture)
{
    const std::vector<platform::PaletteEntry> entries = processing::PaletteForSaving(picture);
    if (entries.empty())
        return; // only 16- and 256-colour pictures have a palette to save
    if (auto chosen = AskPaletteFileName(documentFile))
        SavePaletteFile(*chosen, entries);
}

void TMainForm::SavePickedPalette(int count)
{
    auto* document = dynamic_cast<SettingFileDocument*>(m_mdiArea->activeSubWindow());
    auto chosen = AskPaletteFileName(document ? document->FileName() : QString());
    if (!chosen)
        return;
    const auto& picked = palettePicker.Colours();
    SavePaletteFile(*chosen,
        std::span(picked.data(), std::min(picked.size(), static_cast<size_t>(std::max(count, 0)))));
}

std::optional<std::vector<platform::PaletteEntry>> TMainForm::LoadPalette(int count)
{
    FileDialogOptions o;
    o.title = QStringLiteral("パレットの読み込み");
    o.filter = QStringLiteral("パレット|*.pal");
    o.defaultExtension = QStringLiteral("pal");
    // The last palette read, or before the first one the folder of the palette save dialog.
    o.fileName = m_paletteOpenFile;
    o.folder = m_paletteOpenFile.isEmpty() ? m_paletteFolder : QFileInfo(m_paletteOpenFile).path();
    auto chosen = Dialogs().OpenFileNames(this, o);
    if (!chosen || chosen->isEmpty())
        return std::nullopt;
    m_paletteOpenFile = chosen->first();
    std::vector<platform::PaletteEntry> entries;
    std::string refusal;
    try {
        if (processing::ReadPaletteFile(
                chosen->first().toStdString(), static_cast<size_t>(count), entries, refusal))
            return entries;
    } catch (const std::exception& e) {
        refusal = e.what();
    }
    platform::qt::ShowError(this, QString::fromStdString(refusal));
    return std::nullopt;
}

// ---- Help ----

void TMainForm::SearchforHelpOn1Click()
{
    // The program's own help document, in a window of the program's own.
    ShowHelp(this);
}

void TMainForm::HelpAboutItemClick()
{
    TAboutBox box(this);
    box.move(QCursor::pos() - QPoint(100, 30));
    Dialogs().Exec(box);
}

} // namespace vtl::app::ui
