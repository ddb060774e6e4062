#pragma once
// The multiple-document frame: menu, tool bar, status bar and the commands that belong to the
// frame.

#include "app/settings.h"
#include "input/plugin_registry.h"
#include "platform/bitmap.h"
#include "platform/color.h"
#include "platform/geometry.h"
#include "platform/registry.h"
#include "processing/palette_pick.h"

#include <QElapsedTimer>
#include <QFont>
#include <QMainWindow>
#include <QMap>
#include <QPointer>
#include <QStringList>
#include <array>
#include <memory>
#include <optional>
#include <span>
#include <vector>

class QAction;
class QActionGroup;
class QComboBox;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QTimer;
class QToolBar;
class QToolButton;

namespace vtl::app::ui {

// What the frame needs of a document window for setting files; the document window implements it.
class SettingFileDocument {
public:
    virtual ~SettingFileDocument() = default;
    virtual bool Modified() const = 0;
    virtual QString FileName() const = 0;
    virtual int CurrentZoomIndex() const = 0;
    // The document's save-as command; true when the file was written.
    virtual bool SaveAs() = 0;
    // Asks about unsaved changes ("… は変更がありますが保存しますか?") and saves on yes; false when
    // the user keeps them (the save was cancelled or failed). Nothing is asked without changes.
    virtual bool ReadyToReplace() = 0;
};

// A child window of the frame: its menus replace the frame's while it is active, and it hears
// when it becomes or stops being the active child.
class FrameChild {
public:
    virtual ~FrameChild() = default;
    virtual QList<QMenu*> ChildMenus() const = 0;
    virtual void FormActivate() = 0;
    virtual void FormDeactivate() = 0;
    // The frame's save and delete buttons, pressed while this child is active.
    virtual void SaveBtnClick() { }
    virtual void DelBtnClick() { }
};

// A window that serves the previous and next buttons: the thumbnail browser or an archive window.
class NavigationSource {
public:
    virtual ~NavigationSource() = default;
    // Opens the previous or next picture into `active` (the order and wrapping are the source's).
    virtual void StepPicture(QMdiSubWindow* active, bool forward) = 0;
};

class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    // `arguments` is the command line without the program name.
    explicit TMainForm(QStringList arguments, QWidget* parent = nullptr);
    ~TMainForm() override;

    // The process-wide settings, read in FormCreate and written in FormCloseQuery.
    Settings& AppSettings() { return m_settings; }
    const platform::TRect& WorkArea() const { return m_workArea; }
    bool PaletteDisplayFlag() const { return m_paletteDisplay; }
    platform::Registry& Registry() { return *m_registry; }
    input::PluginRegistry& Plugins() { return *m_plugins; }
    QFont& TextToolFont() { return m_textFont; }
    QMdiArea* MdiArea() const { return m_mdiArea; }
    // The child windows in the frame's order (creation order).
    QList<QMdiSubWindow*> Children() const;

    // The first status panel; repainted at once, as long work shows its progress there.
    void SetStatusText(const QString& text);
    QString StatusText() const;

    // A control, tool button or menu item by its name ("OpenBtn", "ToolBar1", "cp9").
    QAction* Item(const QString& name) const;
    QComboBox* RateBox() const { return m_rateBox; }
    QMenu* PopupMenu3() const { return m_popupMenu3; }
    QTimer* Timer1() const { return m_timer1; }
    QWidget* Panel1() const { return m_panel1; }

    // Load setting file: opens each listed picture and restores its caption and bounds.
    void LoadSettingFile(const QString& fileName);
    // A name from the command line or an open request: a setting file (".vtl", any case) is
    // loaded, any other name made absolute and opened at 100 %.
    void OpenNamed(const QString& name);
    // Save setting file: asks about unsaved documents, then for a file name, and writes the list.
    void SaveSettingFile();
    // The entry of the loading pipeline; a later part of the program fills it in. Returns the new
    // document window, or nullptr.
    QMdiSubWindow* OpenFile(const QString& fileName, int zoomIndex);

    // The child windows' menus replace the frame's File, View and Edit menus while they are active;
    // the window list and help stay.
    void MergeMenus(QMdiSubWindow* active);
    // Updates the frame's buttons when a child window is about to close.
    void ChildClosing(QMdiSubWindow* child);

    // Set by the thumbnail browser and archive windows when they open a picture.
    bool steppingFlag = false;
    // Colours picked in a document for a palette file (shared by the documents; the active one
    // uses it).
    processing::TPalettePicker palettePicker;

    // Palette files and join state used by the document's commands.
    int navigationSource = 0; // 0 thumbnail browser, 1 archive window
    // The windows behind navigation sources 0 and 1, while they exist.
    QPointer<QObject> thumbnailBrowser;
    QPointer<QObject> archiveWindow;
    int joinDirection = 0;
    int joinColour = 0;
    int joinMargin = 0;

    // Handlers of the menu and the tool bar.
    void FileNewItemClick();
    void FileOpenItemClick();
    void SetOpenClick();
    void ScanImageExecute();
    void SelectDeviceExecute();
    void SumBtnClick();
    void SumMenuClick();
    void FileExitItemClick();
    void ToolBar1Click();
    void StatusBar1Click();
    void Option1Click();
    void Filter1Click();
    void KanrenClick();
    void V1Click();
    void WindowTileItemClick();
    void WindowCascadeItemClick();
    void WindowMinimizeItemClick();
    void WindowArrangeItemClick();
    void SearchforHelpOn1Click();
    void HelpAboutItemClick();
    void SaveBtnClick();
    void PrintBtnClick();
    void UndoBtnClick();
    void CopyItemClick();
    void RCopyBtnClick();
    void PasteItemClick();
    void DelBtnClick();
    void RateBoxChange();
    void MojiBtnClick();
    void FontChange();
    void LineBtnClick();
    void BackBtnClick();
    void CloseBtnClick();
    void LeftBtnClick();
    void RightBtnClick();
    void playBtnClick();
    void cp15Click(int colourNumber);
    void PopupMenu3Change();
    void Timer1Timer();
    void UpdatePasteState();
    // Z1: closes every child but the thumbnail browser, last to first; stops at a window that
    // stays open (its changes could not be saved).
    void CloseAllClick();
    // Closes every child window in the frame's order, each with its own closing work (the
    // documents' save question, the browsers' caches); false when one of them stays open.
    bool CloseChildren();
    // The files named on the command line, opened at the first activation.
    void HandleCommandLine();
    // Files dropped on the frame, in the drop's order: setting files are loaded, other files
    // opened at 100 %; names of files that don't exist are skipped.
    void OpenDroppedFiles(const QStringList& files);
    // Open requests from outside (the desktop's `vtl-open`): listens at `name` for macros; false
    // when the socket can't be made.
    bool ListenForOpenRequests(const QString& name);
    // A macro's names in order: setting files are loaded, other names made absolute and opened
    // at 100 %; then the frame comes to the front.
    void OpenGraphicExecuteMacro(const QString& macro);
    // Posts the request to save `count` picked colours as a palette file (answered later).
    void RequestPaletteSave(int count);
    // Saves the picked colours: asks for a palette file name and writes the first `count`.
    void SavePickedPalette(int count);
    // Save palette of a bitmap: 256 entries for 8 bits, 16 for 4 bits, nothing for other depths.
    void SaveBitmapPalette(const QString& documentFile, const platform::TBitmap& picture);
    // Load palette for the reduction dialogs: `count` entries, or nullopt (refusals are shown).
    std::optional<std::vector<platform::PaletteEntry>> LoadPalette(int count);

protected:
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void BuildMenus();
    void BuildToolBar();
    void BuildPopupMenu3();
    QAction* MakeItem(
        const QString& name, const QString& caption, const QString& hint, int image = -1);
    QAction* MakeButton(
        const QString& name, const QString& hint, int image, bool check, bool enabled);
    void FormCreate();
    void FormCloseQuery();
    void FormDestroy();
    void ApplyTextFont();
    void StoreTextFont();
    void FillWindowMenu();
    // The windows that tiling and cascading place: neither minimised nor hidden.
    QList<QMdiSubWindow*> ArrangeableChildren() const;
    void ArrangeChildren(bool stacked);
    void StepPicture(bool forward);
    std::optional<QString> AskPaletteFileName(const QString& documentFile);
    void SavePaletteFile(const QString& fileName, std::span<const platform::PaletteEntry> entries);

    QStringList m_arguments;
    std::unique_ptr<platform::Registry> m_registry;
    std::unique_ptr<input::PluginRegistry> m_plugins;
    Settings m_settings;
    platform::TRect m_workArea;
    bool m_paletteDisplay = false;
    QFont m_textFont;
    QString m_setOpenFolder;
    QString m_setSaveFolder;
    QString m_paletteFolder;
    QString m_paletteOpenFile;
    QObject* m_openRequests = nullptr;
    bool m_destroyed = false;
    bool m_commandLineDone = false;
    bool m_shown = false;

    QMap<QString, QAction*> m_items;
    QWidget* m_panel1 = nullptr;
    QToolBar* m_toolBar = nullptr;
    QComboBox* m_rateBox = nullptr;
    QMdiArea* m_mdiArea = nullptr;
    QLabel* m_statusPanel = nullptr;
    QElapsedTimer m_statusPainted;
    QMenu* m_popupMenu3 = nullptr;
    QMenu* m_filterPopUp = nullptr;
    QMenu* m_windowMenu = nullptr;
    QList<QMenu*> m_frameMenus;
    QPointer<QMdiSubWindow> m_activeChild;
    QActionGroup* m_colourGroup = nullptr;
    QTimer* m_timer1 = nullptr;
};

// A text in the first status panel for the life of the guard, cleared on every path.
class StatusGuard {
public:
    StatusGuard(TMainForm& form, const QString& text)
        : m_form(form)
    {
        form.SetStatusText(text);
    }
    ~StatusGuard() { m_form.SetStatusText(QString()); }
    StatusGuard(const StatusGuard&) = delete;
    StatusGuard& operator=(const StatusGuard&) = delete;

private:
    TMainForm& m_form;
};

// The private message that re-arms the slide show after each step.
inline constexpr int kWmAppRearm = 0x8001;
// The private message that asks the frame to save a picked palette.
inline constexpr int kWmAppSavePalette = 0x8002;

} // namespace vtl::app::ui
