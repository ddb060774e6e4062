#pragma once
// The thumbnail browser: a folder tree beside a grid of the thumbnails of the selected folder's
// pictures, kept in the folder's cache file. Pictures are opened as documents and stepped through
// in the grid's order, dragged out as files, deleted to the trash, or, in edit mode, arranged as a
// hand-made selection.

#include "app/ui/main_form.h"
#include "browse/folder_thumbs.h"
#include "browse/ui/thumb_grid.h"

#include <QMdiSubWindow>
#include <QPoint>
#include <memory>

class QFileSystemModel;
class QSplitter;
class QTreeView;

namespace vtl::document::ui {
class TMDIChild;
}

namespace vtl::browse::ui {

class TFlistForm : public QMdiSubWindow,
                   public app::ui::FrameChild,
                   public app::ui::NavigationSource {
    Q_OBJECT
public:
    // FormCreate: the browser put into the frame, showing the folder of the setting Sum/Dir.
    static TFlistForm* Create(app::ui::TMainForm& main);
    ~TFlistForm() override;

    QTreeView* FolderView1() const { return m_tree; }
    QFileSystemModel* FolderModel() const { return m_model; }
    QSplitter* Splitter1() const { return m_splitter; }
    ThumbGrid* DrawGrid1() const { return m_grid; }
    QMenu* PopupMenuEx1() const { return m_popup; }
    QAction* Item(const QString& name) const;

    // The folder selected in the tree; empty when none (or a folder outside the file system).
    QString SelectedPath() const;
    // Selects the folder in the tree, which saves the cache of the folder left and shows the new
    // one. False when the tree has no such folder.
    bool SelectFolder(const QString& path);

    const FolderThumbnails& Thumbs() const { return *m_thumbs; }
    // The names shown, in the grid's order.
    QStringList Names() const;
    // The file behind an entry; a name kept in lower case finds its file in any case.
    QString FileOf(int index) const;
    int OpenIndex = 0;

    int SelectedIndex() const { return m_grid->SelectedIndex(); }
    // Selects the cell of `index`, as a click on it does.
    void SelectIndex(int index);

    void DrawGrid1Click();
    void DrawGrid1DblClick();
    void Delete1Click();
    void EModeClick();
    void NewFolderClick();
    void DelFolderClick();
    void RenameFolderClick();

    // FrameChild
    QList<QMenu*> ChildMenus() const override { return m_menus; }
    void FormActivate() override;
    void FormDeactivate() override { }
    // The frame's buttons while this window is active: delete the selected thumbnail.
    void DelBtnClick() override { Delete1Click(); }
    // NavigationSource: the previous or next picture of the list replaces the picture of
    // `active`.
    void StepPicture(QMdiSubWindow* active, bool forward) override;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit TFlistForm(app::ui::TMainForm& main);
    void BuildMenus();
    void BuildPopup();
    void FolderView1Changing();
    void FolderView1Change();
    void ReportReadFailures();
    void SaveCache();
    // Keeps the folder, the tree's width and the cache before the window or the frame closes.
    void FormCloseQuery();
    void RemoveEntry(int index, int slack);
    bool HoldsThumbnail(int index) const { return index >= 0 && index < m_thumbs->Count(); }
    void ShowFile(document::ui::TMDIChild& document, const QString& file);
    void StartDrag();

    app::ui::TMainForm& m_main;
    std::unique_ptr<FolderThumbnails> m_thumbs;
    QFileSystemModel* m_model = nullptr;
    QTreeView* m_tree = nullptr;
    QSplitter* m_splitter = nullptr;
    ThumbGrid* m_grid = nullptr;
    QMenu* m_popup = nullptr;
    QList<QMenu*> m_menus;
    QMap<QString, QAction*> m_items;
    bool m_pressed = false;
    QPoint m_pressPoint;
    int m_pressIndex = -1;
};

} // namespace vtl::browse::ui
