#pragma once
// The archive window: the picture members of one archive as a grid of thumbnails, from which
// members are opened as documents, stepped through, saved as files, and from which the archive's
// thumbnail cache is written.

#include "app/ui/main_form.h"
#include "browse/sum_img.h"
#include "browse/ui/thumb_grid.h"
#include "input/archive_access.h"

#include <QImage>
#include <QMdiSubWindow>
#include <vector>

namespace vtl::document::ui {
class TMDIChild;
}

namespace vtl::browse::ui {

class TArcForm : public QMdiSubWindow,
                 public app::ui::FrameChild,
                 public app::ui::NavigationSource {
    Q_OBJECT
public:
    // A window for the archive at `archivePath`, captioned with its file name; not yet in the
    // frame and holding no thumbnails.
    TArcForm(app::ui::TMainForm& main, const QString& archivePath);
    ~TArcForm() override;

    // Lists the archive through the archive plug-ins: a window holding every member that decodes
    // as a picture, put into the frame, or nullptr when nothing was listed (a broken plug-in's
    // message has been shown then).
    static TArcForm* ListArchive(app::ui::TMainForm& main, const QString& archivePath);
    // Builds the window from the archive's cache file (archive path + ".snx"): nullptr when the
    // file can't be read, was made for another thumbnail size, or isn't an archive cache. A line
    // without two commas leaves an empty window. A position or size that isn't a number throws
    // input::EConvertError and builds nothing.
    static TArcForm* OpenArchiveCache(app::ui::TMainForm& main, const QString& archivePath);

    // The members shown, in the grid's order (display name, position, size), parallel to the
    // store.
    const std::vector<input::ArchiveMember>& Members() const { return m_members; }
    const TSumImg& Store() const { return m_store; }
    QString ArchivePath;
    QString SaveFolder;
    int OpenIndex = 0;

    ThumbGrid* DrawGrid1() const { return m_grid; }
    QAction* Item(const QString& name) const;
    // The index of the selected cell (column + row x columns).
    int SelectedIndex() const;
    // Selects the cell of `index`, as a click on it does.
    void SelectIndex(int index);
    // The thumbnail of `index` as drawn in its cell.
    QImage Thumbnail(int index) const;

    // Columns and rows from the grid's width and the thumbnail count; then a repaint.
    void LayoutGrid();

    void DrawGrid1Click();
    void DrawGrid1DblClick();
    void Delete1Click();
    void Save1Click();
    void Save2Click();

    // FrameChild
    QList<QMenu*> ChildMenus() const override { return m_menus; }
    void FormActivate() override;
    void FormDeactivate() override { }
    // The frame's buttons while this window is active: save the selected member, delete its thumbnail.
    void SaveBtnClick() override { Save2Click(); }
    void DelBtnClick() override { Delete1Click(); }
    // NavigationSource: the previous or next member replaces the picture of `active`.
    void StepPicture(QMdiSubWindow* active, bool forward) override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildMenus();
    bool HoldsThumbnail(int index) const { return index >= 0 && index < m_store.Count(); }
    void SetSelectionCommands(bool enabled);
    void OpenMember(const input::ArchiveMember& member);
    void ShowMember(document::ui::TMDIChild& document, const input::ArchiveMember& member);
    // The picture of a member decoded in full, or false (a broken plug-in's message is shown).
    bool DecodeMember(const input::ArchiveMember& member, platform::TBitmap& picture);
    // Puts the window into the frame with its grid laid out and the main caption set.
    void ShowInFrame();

    app::ui::TMainForm& m_main;
    TSumImg m_store;
    std::vector<input::ArchiveMember> m_members;
    ThumbGrid* m_grid = nullptr;
    QList<QMenu*> m_menus;
    QMap<QString, QAction*> m_items;
};

} // namespace vtl::browse::ui
