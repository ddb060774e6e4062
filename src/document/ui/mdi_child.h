#pragma once
// The document window: one open picture with its undo copy, zoom, status texts and menu.

#include "app/ui/main_form.h"
#include "document/ui/trk_shape.h"
#include "platform/bitmap.h"
#include "platform/geometry.h"

#include <QMdiSubWindow>
#include <QPointer>
#include <functional>
#include <initializer_list>
#include <memory>
#include <utility>

class QActionGroup;
class QScrollArea;

namespace vtl::document::ui {

class TImage;
class TFolderStepper;

// The eight zoom steps: display size from picture size (divisions truncate).
int ZoomedLength(int length, int zoomIndex);
// Display coordinate to picture coordinate at a zoom step, as the drawing tools map them.
int DisplayToPicture(int value, int zoomIndex);
// The name of a pixel format in the size information ("256 色", "True Color").
QString PixelFormatName(platform::TPixelFormat format);
// The largest zoom step at which a picture of `width` x `height` fits into `room`; the smallest
// step when none does.
int FittingZoom(int width, int height, QSize room);

class TMDIChild : public QMdiSubWindow,
                  public app::ui::SettingFileDocument,
                  public app::ui::FrameChild {
    Q_OBJECT
public:
    explicit TMDIChild(app::ui::TMainForm& main);
    ~TMDIChild() override;

    // What the document holds; only the document changes it, through the calls below.
    const platform::TBitmap& Picture() const { return m_picture; }
    const platform::TBitmap& UndoPicture() const { return m_undoPicture; }
    int ModifiedCount() const { return m_modifiedCount; }
    int ZoomIndex = -1;
    bool Dragging = false;
    bool PalettePick = false;
    platform::TRect Selection;

    // Where a picture shown by ShowPicture comes from: a file (unchanged) or a buffer made in the
    // program (a scan, a join), which counts as one unsaved change.
    enum class Origin { File, Buffer };
    // The one way a new picture enters the document: the picture with its file name and caption,
    // shown at `zoomIndex`, with nothing to undo. An empty picture only names the document.
    void ShowPicture(platform::TBitmap picture, const QString& fileName, const QString& caption,
        int zoomIndex, Origin origin = Origin::File);
    // Another picture of a folder or archive in place of this one, at the document's zoom.
    void StepTo(platform::TBitmap picture, const QString& fileName, const QString& caption);
    // The file name and caption alone (a folder's picture that no longer exists).
    void Rename(const QString& fileName, const QString& caption);
    // Before the picture is replaced by another, or the window closed: asks about unsaved
    // changes. False when the user keeps them (the save was cancelled or failed).
    bool ReadyToReplace() override;
    // An operation that makes a new picture from the current one: it gets the picture and the undo
    // picture and returns whether it replaced the picture; then one change is counted and the
    // picture redrawn at its zoom. What it throws leaves the document as it was.
    using Operation = std::function<bool(platform::TBitmap& picture, platform::TBitmap* undo)>;
    bool ApplyOperation(const Operation& operation);

    // SettingFileDocument
    bool Modified() const override { return m_modifiedCount != 0; }
    QString FileName() const override { return m_fileName; }
    int CurrentZoomIndex() const override { return ZoomIndex; }
    bool SaveAs() override;
    // FrameChild
    QList<QMenu*> ChildMenus() const override { return m_menus; }

    QAction* Item(const QString& name) const;
    TImage* Image1() const { return m_image; }
    TTrkShape* Shape() const;
    // What the picture control shows in `region` (display coordinates), or all of it: rendered
    // from the picture on demand, as the copies of the display and the tests read it.
    platform::TBitmap RenderDisplay(QRect region) const;
    platform::TBitmap RenderDisplay() const;

    void SetZoom(int zoomIndex);
    void ZoomClick(int zoomIndex); // S25Click to S800Click
    // The zoom `steps` entries up (or down) the zoom table, as the zoom box sets it: "+", "-" and
    // Ctrl with the wheel. The ends of the table stop it.
    void StepZoom(int steps);
    // SFit: the largest zoom at which the whole picture fits the window's client area (as far as
    // the frame's client area leaves room for it), as the zoom box sets it. Display only.
    void SFitClick();
    void UpdateSizeInfo();
    void TitleItemClick();
    void SelPalItemClick();
    // After a command replaced the picture: redraw at the same zoom and refresh the size.
    void PictureChanged();
    // The commands a loaded picture enables (the loading pipeline calls this).
    void EnableLoadedCommands(int zoomIndex);

    void FormActivate() override;
    void FormDeactivate() override;

    // FormCloseQuery: asks about unsaved changes; false when the window must stay open.
    bool FormCloseQuery();
    // What serves ◀ ▶ for this document when it steps through its own folder: a picture opened
    // from a file, not from the thumbnail browser or an archive window. Null otherwise.
    app::ui::NavigationSource* FolderSteps() const;
    TFolderStepper* FolderStepper() const { return m_folderSteps.get(); }

    // Edit and output commands.
    void FileSaveAsItemClick() { SaveAs(); }
    void Undo1Click();
    void Copy1Click();
    void SCopyItemClick();
    void RCopyItemClick();
    void Paste1Click();
    void PrintItemClick();
    void Wall1Click();
    void Info1Click(); // the size tag
    // Drawing tools.
    void StartLine(QPoint at);
    void DrawLineTo(QPoint to);
    void Image1Click();
    // Puts a copy of `picture` on the clipboard as a DIB.
    static void CopyPicture(const platform::TBitmap& picture);

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    void BuildMenus();
    void SetSystemMenuHints();
    void WireDrawingTools();
    // Shows the picture at the zoom's size; drops the lines drawn over the display.
    void RedrawDisplay(int zoomIndex);
    void FitWindow();
    // The file name changed: a document that now steps through its folder enables ◀ ▶ and
    // decodes its neighbours ahead, while it is the active one.
    void FolderStepsChanged();
    void EnableFormatCommands();
    enum class ItemState { Same, Off, On };
    // Enables or disables each named item; Same leaves it as it is.
    void SetItemStates(std::initializer_list<std::pair<const char*, ItemState>> states);
    void Image1MouseDown(QMouseEvent* event);
    // A click while picking palette colours: the picked colours and the count wanted are the
    // frame's, shared by the documents.
    void PalettePickClick(QPoint at);
    void Image1MouseMove(QMouseEvent* event);
    void Image1MouseUp(QMouseEvent* event);
    void ShowRect(int left, int top, int right, int bottom);
    void FormClose();
    void WheelScroll(bool down);
    // Runs `handler` when the item is chosen; its errors go to the general error report.
    void On(QAction* action, void (TMDIChild::*handler)());
    QAction* Forward(
        QMenu* menu, const char* name, const char* caption, void (app::ui::TMainForm::*handler)());

    app::ui::TMainForm& m_main;
    platform::TBitmap m_picture;
    platform::TBitmap m_undoPicture;
    QString m_fileName;
    int m_modifiedCount = 0;
    QScrollArea* m_scroll = nullptr;
    TImage* m_image = nullptr;
    TTrkShape* m_shape = nullptr;
    QList<QMenu*> m_menus;
    QMap<QString, QAction*> m_items;
    QActionGroup* m_zoomGroup = nullptr;
    QPoint m_lineAt; // the end of the stroke so far, in display coordinates
    std::unique_ptr<TFolderStepper> m_folderSteps;
    // Set at the first activation: the picture came from the thumbnail browser or an archive
    // window, which then serve its steps.
    bool m_activated = false;
    bool m_fromList = false;
    int m_wheelZoom = 0; // Ctrl+wheel turns not yet a whole notch
};

} // namespace vtl::document::ui
