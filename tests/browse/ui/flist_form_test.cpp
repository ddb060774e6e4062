// The thumbnail browser over temporary folders of BMP pictures: opening and closing it from the
// frame, showing a folder, the folder's cache across visits, edit mode, opening and stepping,
// deleting thumbnails and files, and the folder commands of the tree.

#include "browse/ui/flist_form.h"

#include "browse/thumb_cache.h"
#include "input/picture_loader.h"
#include "support/document_fixture.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileSystemModel>
#include <QMdiArea>
#include <QMenu>
#include <QMimeData>
#include <QSplitter>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <QUrl>
#include <chrono>
#include <fstream>
#include <memory>

namespace vtl::browse::ui {
namespace {

    using document::ui::TMDIChild;
    using testing::CommandTest;
    namespace fs = std::filesystem;

    class FlistFormTest : public CommandTest {
    protected:
        void SetUp() override
        {
            CommandTest::SetUp();
            // The trash of the temporary home, on the same file system as the pictures.
            qputenv("XDG_DATA_HOME", QByteArray::fromStdString((m_dir.Path() / "data").string()));
            fs::create_directories(m_dir.Path() / "data");
            fs::create_directories(Folder());
            MakeForm();
        }
        void TearDown() override
        {
            CommandTest::TearDown();
            qunsetenv("XDG_DATA_HOME");
        }
        fs::path Folder(const std::string& name = "pics") const { return m_dir.Path() / name; }
        QString Q(const fs::path& path) const { return QString::fromStdString(path.string()); }
        // A picture `width` pixels wide, so that documents show which file they hold.
        void Picture(const fs::path& file, int width)
        {
            testing::Pattern(width, 20).SaveToFile(file);
        }
        TFlistForm* Browser() const
        {
            return qobject_cast<TFlistForm*>(m_form->thumbnailBrowser.data());
        }
        TFlistForm* OpenBrowser()
        {
            m_form->Item("SumMenu")->trigger();
            return Browser();
        }
        void CloseBrowser()
        {
            m_form->Item("SumMenu")->trigger();
            QCoreApplication::processEvents();
        }
        TMDIChild* ActiveDocument() const
        {
            return dynamic_cast<TMDIChild*>(m_form->MdiArea()->activeSubWindow());
        }
        std::vector<std::string> CacheLines(const fs::path& folder)
        {
            std::vector<std::string> lines;
            TSumImg store(ThumbSizeOfIndex(m_form->AppSettings().sumSize));
            if (!LoadThumbCache(folder / "vtl.snx", lines, store))
                return {};
            return lines;
        }
        static QStringList L(std::initializer_list<const char*> names)
        {
            QStringList list;
            for (const char* n : names)
                list << QString::fromUtf8(n);
            return list;
        }
    };

    TEST_F(FlistFormTest, SumMenuOpensOneBrowserAndASecondClickClosesIt)
    {
        m_form->AppSettings().sumWidth = 120;
        TFlistForm* browser = OpenBrowser();
        ASSERT_NE(browser, nullptr);
        EXPECT_EQ(browser->objectName(), QStringLiteral("FlistForm"));
        EXPECT_EQ(browser->windowTitle(), QString::fromUtf8("ﾃﾞｽｸﾄｯﾌﾟ"));
        EXPECT_EQ(m_form->Children().size(), 1);
        EXPECT_EQ(m_form->MdiArea()->activeSubWindow(), browser);
        EXPECT_TRUE(m_form->Item("SumMenu")->isChecked());
        EXPECT_TRUE(m_form->Item("SumBtn")->isChecked());
        EXPECT_TRUE(browser->Item("SumMenu")->isChecked());
        EXPECT_EQ(browser->FolderView1()->width(), 120);
        EXPECT_EQ(m_form->windowTitle(), QStringLiteral("Vistrel"));
        EXPECT_EQ(browser->ChildMenus().size(), 2);
        for (const char* name : { "CopyBtn", "SaveBtn", "PrintBtn", "UndoBtn", "CloseBtn",
                 "LeftBtn", "RightBtn", "playBtn", "DelBtn" })
            EXPECT_FALSE(m_form->Item(name)->isEnabled()) << name;
        EXPECT_FALSE(m_form->RateBox()->isEnabled());
        // The folder tree lists folders only.
        const QModelIndex pics = browser->FolderModel()->index(Q(Folder()));
        ASSERT_TRUE(pics.isValid());
        EXPECT_TRUE(browser->FolderModel()->filter().testFlag(QDir::AllDirs));
        EXPECT_FALSE(browser->FolderModel()->filter().testFlag(QDir::Files));
        EXPECT_FALSE(browser->FolderModel()->filter().testFlag(QDir::Hidden));

        ASSERT_TRUE(browser->SelectFolder(Q(Folder())));
        browser->Splitter1()->setSizes({ 150, 200 });

        // The browser's own command closes it, as the frame's does; the folder and the tree's
        // width are kept for next time.
        browser->Item("SumMenu")->trigger();
        QCoreApplication::processEvents();
        EXPECT_EQ(Browser(), nullptr);
        EXPECT_TRUE(m_form->Children().isEmpty());
        EXPECT_FALSE(m_form->Item("SumMenu")->isChecked());
        EXPECT_FALSE(m_form->Item("SumBtn")->isChecked());
        EXPECT_EQ(m_form->AppSettings().sumDir, Folder().string());
        EXPECT_EQ(m_form->AppSettings().sumWidth, 150);

        // The tool button opens it again, at the folder last shown; a second click closes it.
        m_form->Item("SumBtn")->trigger();
        browser = Browser();
        ASSERT_NE(browser, nullptr);
        EXPECT_EQ(browser->SelectedPath(), Q(Folder()));
        EXPECT_EQ(browser->windowTitle(), Q(Folder()));
        EXPECT_TRUE(m_form->Item("SumBtn")->isChecked());
        m_form->Item("SumBtn")->trigger();
        QCoreApplication::processEvents();
        EXPECT_EQ(Browser(), nullptr);
        EXPECT_TRUE(m_form->Children().isEmpty());
    }

    TEST_F(FlistFormTest, ClosingTheFrameKeepsTheFolderAndItsCache)
    {
        Picture(Folder() / "a.bmp", 30);
        TFlistForm* browser = OpenBrowser();
        ASSERT_NE(browser, nullptr);
        ASSERT_TRUE(browser->SelectFolder(Q(Folder())));
        m_form->close();
        EXPECT_EQ(m_form->AppSettings().sumDir, Folder().string());
        EXPECT_EQ(CacheLines(Folder()), (std::vector<std::string> { "%vtl%", "a.bmp" }));
        // Stored before the frame wrote its settings: a new frame starts at the folder.
        m_form.reset();
        MakeForm();
        browser = OpenBrowser();
        ASSERT_NE(browser, nullptr);
        EXPECT_EQ(browser->SelectedPath(), Q(Folder()));
        EXPECT_EQ(browser->Names(), L({ "a.bmp" }));
    }

    TEST_F(FlistFormTest, AFolderShowsItsPicturesButNoHiddenOrForeignFiles)
    {
        Picture(Folder() / "b.bmp", 40);
        Picture(Folder() / "a.bmp", 30);
        Picture(Folder() / "C.BMP", 50);
        Picture(Folder() / ".hidden.bmp", 60);
        std::ofstream(Folder() / "notes.txt") << "text";
        fs::create_directories(Folder() / "sub.bmp");
        TFlistForm* browser = OpenBrowser();
        ASSERT_NE(browser, nullptr);
        ASSERT_TRUE(browser->SelectFolder(Q(Folder())));
        EXPECT_EQ(browser->Names(), L({ "a.bmp", "b.bmp", "C.BMP" }));
        EXPECT_EQ(browser->Thumbs().Store().Count(), 3);
        EXPECT_EQ(browser->windowTitle(), Q(Folder()));
        EXPECT_EQ(m_form->StatusText(), QStringLiteral("a.bmp"));
        EXPECT_TRUE(m_form->Item("DelBtn")->isEnabled());
        EXPECT_TRUE(browser->Item("Delete1")->isEnabled());
        EXPECT_FALSE(browser->Item("EMode")->isChecked());
        const ThumbSize size = ThumbSizeOfIndex(m_form->AppSettings().sumSize);
        EXPECT_EQ(browser->DrawGrid1()->Thumbnail(2).size(), QSize(size.width, size.height));
        EXPECT_EQ(browser->FileOf(2), Q(Folder() / "C.BMP"));

        // An empty cell selects nothing.
        browser->resize(800, 400);
        QCoreApplication::processEvents();
        EXPECT_EQ(browser->DrawGrid1()->columnCount(), 3);
        browser->SelectIndex(1);
        EXPECT_EQ(m_form->StatusText(), QStringLiteral("b.bmp"));
        browser->DrawGrid1()->setColumnCount(4);
        browser->SelectIndex(3);
        EXPECT_TRUE(m_form->StatusText().isEmpty());
        EXPECT_FALSE(m_form->Item("DelBtn")->isEnabled());
        EXPECT_FALSE(browser->Item("Delete1")->isEnabled());

        // An empty folder: one empty cell.
        fs::create_directories(Folder("empty"));
        ASSERT_TRUE(browser->SelectFolder(Q(Folder("empty"))));
        EXPECT_TRUE(browser->Names().isEmpty());
        EXPECT_EQ(browser->DrawGrid1()->columnCount(), 1);
        EXPECT_EQ(browser->DrawGrid1()->rowCount(), 1);
        EXPECT_FALSE(m_form->Item("DelBtn")->isEnabled());
        EXPECT_FALSE(fs::exists(Folder("empty") / "vtl.snx"));
    }

    TEST_F(FlistFormTest, TheCacheIsWrittenOnLeavingAndBroughtUpToDateOnTheNextVisit)
    {
        Picture(Folder() / "a.bmp", 30);
        Picture(Folder() / "b.bmp", 40);
        fs::create_directories(Folder("other"));
        TFlistForm* browser = OpenBrowser();
        ASSERT_NE(browser, nullptr);
        ASSERT_TRUE(browser->SelectFolder(Q(Folder())));
        EXPECT_FALSE(fs::exists(Folder() / "vtl.snx")) << "written only when the folder is left";
        std::ofstream(Folder() / "vtl.idx") << "old";
        ASSERT_TRUE(browser->SelectFolder(Q(Folder("other"))));
        EXPECT_EQ(CacheLines(Folder()), (std::vector<std::string> { "%vtl%", "a.bmp", "b.bmp" }));
        EXPECT_FALSE(fs::exists(Folder() / "vtl.idx"));
        EXPECT_FALSE(fs::exists(Folder("other") / "vtl.snx"));

        // b.bmp goes, c.bmp comes, a.bmp changes: a stays cached only while unchanged.
        fs::remove(Folder() / "b.bmp");
        Picture(Folder() / "c.bmp", 50);
        ASSERT_TRUE(browser->SelectFolder(Q(Folder())));
        EXPECT_EQ(browser->Names(), L({ "a.bmp", "c.bmp" }));
        ASSERT_TRUE(browser->SelectFolder(Q(Folder("other"))));
        EXPECT_EQ(CacheLines(Folder()), (std::vector<std::string> { "%vtl%", "a.bmp", "c.bmp" }));

        // A visit that changes nothing doesn't write: the cache keeps its time.
        const auto stamp = fs::last_write_time(Folder() / "vtl.snx");
        ASSERT_TRUE(browser->SelectFolder(Q(Folder())));
        ASSERT_TRUE(browser->SelectFolder(Q(Folder("other"))));
        EXPECT_EQ(fs::last_write_time(Folder() / "vtl.snx"), stamp);

        // A changed file is made again and goes to the end.
        fs::last_write_time(
            Folder() / "a.bmp", fs::file_time_type::clock::now() + std::chrono::hours(2));
        ASSERT_TRUE(browser->SelectFolder(Q(Folder())));
        EXPECT_EQ(browser->Names(), L({ "c.bmp", "a.bmp" }));
        CloseBrowser();
        EXPECT_EQ(CacheLines(Folder()), (std::vector<std::string> { "%vtl%", "c.bmp", "a.bmp" }));

        // Every file gone: the cache is deleted when the folder is left (here by closing).
        fs::remove(Folder() / "a.bmp");
        fs::remove(Folder() / "c.bmp");
        browser = OpenBrowser();
        ASSERT_NE(browser, nullptr);
        EXPECT_EQ(browser->SelectedPath(), Q(Folder()));
        EXPECT_TRUE(browser->Names().isEmpty());
        CloseBrowser();
        EXPECT_FALSE(fs::exists(Folder() / "vtl.snx"));
    }

    TEST_F(FlistFormTest, EditModeKeepsTheCachedListAndItsMarker)
    {
        Picture(Folder() / "a.bmp", 30);
        Picture(Folder() / "b.bmp", 40);
        fs::create_directories(Folder("other"));
        TFlistForm* browser = OpenBrowser();
        ASSERT_NE(browser, nullptr);
        ASSERT_TRUE(browser->SelectFolder(Q(Folder())));
        ASSERT_TRUE(browser->SelectFolder(Q(Folder("other"))));
        ASSERT_EQ(CacheLines(Folder()).front(), "%vtl%");

        // Toggling the mode alone rewrites the cache with the edit marker.
        ASSERT_TRUE(browser->SelectFolder(Q(Folder())));
        browser->Item("EMode")->trigger();
        EXPECT_TRUE(browser->Item("EMode")->isChecked());
        ASSERT_TRUE(browser->SelectFolder(Q(Folder("other"))));
        EXPECT_EQ(CacheLines(Folder()), (std::vector<std::string> { "%vtl_e%", "a.bmp", "b.bmp" }));

        // The files go, a new one comes: the edit-mode list is shown as cached.
        fs::remove(Folder() / "a.bmp");
        fs::remove(Folder() / "b.bmp");
        Picture(Folder() / "c.bmp", 50);
        ASSERT_TRUE(browser->SelectFolder(Q(Folder())));
        EXPECT_TRUE(browser->Item("EMode")->isChecked());
        EXPECT_EQ(browser->Names(), L({ "a.bmp", "b.bmp" }));
        EXPECT_FALSE(browser->DrawGrid1()->Thumbnail(1).isNull());

        // Deleting in edit mode drops the entry only; the hint says so.
        Picture(Folder() / "b.bmp", 40);
        emit browser->Item("Edit1")->menu()->aboutToShow();
        EXPECT_EQ(browser->Item("Delete1")->statusTip(),
            QString::fromUtf8("選択したサムネイル画像を削除します。"));
        browser->SelectIndex(1);
        browser->Item("Delete1")->trigger();
        EXPECT_EQ(browser->Names(), L({ "a.bmp" }));
        EXPECT_TRUE(fs::exists(Folder() / "b.bmp"));
        ASSERT_TRUE(browser->SelectFolder(Q(Folder("other"))));
        EXPECT_EQ(CacheLines(Folder()), (std::vector<std::string> { "%vtl_e%", "a.bmp" }));

        // Turning the mode off takes effect at the next visit, which scans the folder again.
        ASSERT_TRUE(browser->SelectFolder(Q(Folder())));
        browser->Item("EMode")->trigger();
        EXPECT_FALSE(browser->Item("EMode")->isChecked());
        emit browser->Item("Edit1")->menu()->aboutToShow();
        EXPECT_EQ(browser->Item("Delete1")->statusTip(),
            QString::fromUtf8("選択したファイルを削除します。"));
        ASSERT_TRUE(browser->SelectFolder(Q(Folder("other"))));
        EXPECT_EQ(CacheLines(Folder()).front(), "%vtl%");
        ASSERT_TRUE(browser->SelectFolder(Q(Folder())));
        EXPECT_EQ(browser->Names(), L({ "b.bmp", "c.bmp" }));
    }

    TEST_F(FlistFormTest, WithSaveOffNoCacheIsWrittenButCachesAreRead)
    {
        Picture(Folder() / "a.bmp", 30);
        fs::create_directories(Folder("other"));
        TFlistForm* browser = OpenBrowser();
        ASSERT_NE(browser, nullptr);
        m_form->AppSettings().sumSave = false;
        ASSERT_TRUE(browser->SelectFolder(Q(Folder())));
        ASSERT_TRUE(browser->SelectFolder(Q(Folder("other"))));
        EXPECT_FALSE(fs::exists(Folder() / "vtl.snx"));

        // An edit-mode cache made elsewhere is still shown, even without its files.
        m_form->AppSettings().sumSave = true;
        ASSERT_TRUE(browser->SelectFolder(Q(Folder())));
        browser->Item("EMode")->trigger();
        ASSERT_TRUE(browser->SelectFolder(Q(Folder("other"))));
        m_form->AppSettings().sumSave = false;
        fs::remove(Folder() / "a.bmp");
        ASSERT_TRUE(browser->SelectFolder(Q(Folder())));
        EXPECT_EQ(browser->Names(), L({ "a.bmp" }));
        browser->SelectIndex(0);
        browser->Delete1Click();
        CloseBrowser();
        EXPECT_EQ(CacheLines(Folder()), (std::vector<std::string> { "%vtl_e%", "a.bmp" }));
    }

    TEST_F(FlistFormTest, OpeningAPictureAndSteppingWithWrap)
    {
        Picture(Folder() / "a.bmp", 30);
        Picture(Folder() / "b.bmp", 40);
        Picture(Folder() / "c.bmp", 50);
        TFlistForm* browser = OpenBrowser();
        ASSERT_NE(browser, nullptr);
        ASSERT_TRUE(browser->SelectFolder(Q(Folder())));
        browser->SelectIndex(2);
        browser->DrawGrid1DblClick();
        TMDIChild* doc = ActiveDocument();
        ASSERT_NE(doc, nullptr);
        EXPECT_EQ(doc->FileName(), Q(Folder() / "c.bmp"));
        EXPECT_EQ(doc->Picture().Width(), 50);
        EXPECT_EQ(browser->OpenIndex, 2);
        EXPECT_EQ(m_form->navigationSource, 0);
        EXPECT_TRUE(m_form->Item("RightBtn")->isEnabled());
        EXPECT_TRUE(m_form->Item("BackBtn")->isEnabled());

        // Next from the last opens the first, in the same document; previous wraps back.
        m_form->RightBtnClick();
        EXPECT_EQ(ActiveDocument(), doc);
        EXPECT_EQ(doc->FileName(), Q(Folder() / "a.bmp"));
        EXPECT_EQ(doc->windowTitle(), QStringLiteral("a.bmp"));
        EXPECT_EQ(doc->Picture().Width(), 30);
        m_form->LeftBtnClick();
        EXPECT_EQ(doc->Picture().Width(), 50);
        m_form->LeftBtnClick();
        EXPECT_EQ(doc->FileName(), Q(Folder() / "b.bmp"));
        EXPECT_EQ(doc->Picture().Width(), 40);
        EXPECT_EQ(m_form->windowTitle(), QStringLiteral("b.bmp - Vistrel"));
        EXPECT_EQ(m_form->Children().size(), 2);

        // A file gone since: only the name changes.
        fs::remove(Folder() / "c.bmp");
        m_form->RightBtnClick();
        EXPECT_EQ(doc->FileName(), Q(Folder() / "c.bmp"));
        EXPECT_EQ(doc->Picture().Width(), 40);

        // Closing the browser from the frame while the document is active stops the stepping.
        CloseBrowser();
        EXPECT_EQ(Browser(), nullptr);
        EXPECT_FALSE(m_form->Item("LeftBtn")->isEnabled());
        EXPECT_FALSE(m_form->Item("RightBtn")->isEnabled());
        EXPECT_FALSE(m_form->Item("playBtn")->isEnabled());
        m_form->RightBtnClick();
        EXPECT_EQ(doc->FileName(), Q(Folder() / "c.bmp"));
    }

    TEST_F(FlistFormTest, SteppingAwayFromChangesAsksFirst)
    {
        Picture(Folder() / "a.bmp", 30);
        Picture(Folder() / "b.bmp", 40);
        TFlistForm* browser = OpenBrowser();
        ASSERT_TRUE(browser->SelectFolder(Q(Folder())));
        browser->SelectIndex(0);
        browser->DrawGrid1DblClick();
        TMDIChild* doc = ActiveDocument();
        ASSERT_NE(doc, nullptr);
        doc->Item("Cxor1")->trigger();
        const platform::TBitmap changed = doc->Picture();

        // Yes, then the save dialog cancelled: the document stays on its changed picture, and
        // the slide show that asked stops.
        m_form->Item("playBtn")->setChecked(true);
        m_guard.dialogs->messageAnswers = { vtl::platform::qt::MsgResult::Yes };
        m_guard.dialogs->saveAnswers = { std::nullopt };
        m_form->Item("RightBtn")->trigger();
        ASSERT_EQ(m_guard.dialogs->messages.size(), 1u);
        EXPECT_EQ(m_guard.dialogs->messages[0].text,
            QString::fromUtf8("a.bmp は変更がありますが保存しますか?"));
        EXPECT_EQ(doc->FileName(), Q(Folder() / "a.bmp"));
        EXPECT_TRUE(testing::SamePixels(doc->Picture(), changed));
        EXPECT_TRUE(doc->Modified());
        EXPECT_EQ(browser->OpenIndex, 0);
        EXPECT_FALSE(m_form->Item("playBtn")->isChecked());
        EXPECT_FALSE(m_form->Timer1()->isActive());

        // A step while a dialog is open waits for it: the dialog may be working on the picture.
        m_guard.dialogs->dialogAnswers = { [this](QDialog&) {
            m_form->RightBtnClick();
            return int(QDialog::Rejected);
        } };
        doc->Item("TitleItem")->trigger();
        EXPECT_EQ(doc->FileName(), Q(Folder() / "a.bmp"));
        EXPECT_EQ(m_guard.dialogs->messages.size(), 1u);

        // No: the changes are dropped, and the next picture comes with nothing to undo.
        m_guard.dialogs->messageAnswers = { vtl::platform::qt::MsgResult::No };
        m_form->Item("RightBtn")->trigger();
        EXPECT_EQ(doc->FileName(), Q(Folder() / "b.bmp"));
        EXPECT_EQ(doc->Picture().Width(), 40);
        EXPECT_FALSE(doc->Modified());
        EXPECT_FALSE(doc->Item("Undo1")->isEnabled());
        EXPECT_TRUE(doc->UndoPicture().Empty());
    }

    TEST_F(FlistFormTest, ASlideShowStepThatCannotReadReportsAndGoesOn)
    {
        Picture(Folder() / "a.bmp", 30);
        Picture(Folder() / "b.bmp", 40);
        Picture(Folder() / "c.bmp", 50);
        TFlistForm* browser = OpenBrowser();
        ASSERT_TRUE(browser->SelectFolder(Q(Folder())));
        browser->SelectIndex(0);
        browser->DrawGrid1DblClick();
        TMDIChild* doc = ActiveDocument();
        ASSERT_NE(doc, nullptr);
        m_form->AppSettings().wait = 0; // every half second
        m_form->Timer1()->setInterval(50);
        input::FailNextLoadsForTesting(1);
        m_guard.dialogs->messageAnswers = { vtl::platform::qt::MsgResult::Ok };
        m_form->Item("playBtn")->trigger();
        // The timer's step fails: the error box, the document as it was, and the show goes on
        // to the picture after it.
        QTRY_COMPARE_WITH_TIMEOUT(doc->Picture().Width(), 50, 3000);
        m_form->Item("playBtn")->trigger();
        ASSERT_EQ(m_guard.dialogs->messages.size(), 1u);
        EXPECT_TRUE(m_guard.dialogs->messages[0].text.contains(Q(Folder() / "b.bmp")));
        EXPECT_EQ(doc->FileName(), Q(Folder() / "c.bmp"));
    }

    TEST_F(FlistFormTest, DeletingMovesTheFileToTheTrash)
    {
        Picture(Folder() / "a.bmp", 30);
        Picture(Folder() / "b.bmp", 40);
        TFlistForm* browser = OpenBrowser();
        ASSERT_NE(browser, nullptr);
        ASSERT_TRUE(browser->SelectFolder(Q(Folder())));
        browser->SelectIndex(0);
        // The frame's delete button acts on the active browser.
        m_form->Item("DelBtn")->trigger();
        EXPECT_FALSE(fs::exists(Folder() / "a.bmp"));
        EXPECT_EQ(browser->Names(), L({ "b.bmp" }));
        EXPECT_EQ(m_form->StatusText(), QStringLiteral("b.bmp"));
        EXPECT_TRUE(fs::exists(m_dir.Path() / "data" / "Trash" / "files" / "a.bmp"));

        // A file that can't be moved keeps its entry.
        fs::remove(Folder() / "b.bmp");
        browser->SelectIndex(0);
        browser->Delete1Click();
        EXPECT_EQ(browser->Names(), L({ "b.bmp" }));
    }

    TEST_F(FlistFormTest, FolderCommandsOfTheTree)
    {
        TFlistForm* browser = OpenBrowser();
        ASSERT_NE(browser, nullptr);
        ASSERT_TRUE(browser->SelectFolder(Q(Folder())));
        emit browser->PopupMenuEx1()->aboutToShow();
        EXPECT_TRUE(browser->Item("NewFolder")->isEnabled());
        EXPECT_TRUE(browser->Item("DelFolder")->isEnabled());

        const QString plain = QString::fromUtf8("新しいフォルダ");
        browser->NewFolderClick();
        EXPECT_TRUE(QFileInfo(Q(Folder()) + "/" + plain).isDir());
        EXPECT_EQ(browser->SelectedPath(), Q(Folder()) + "/" + plain);
        ASSERT_TRUE(browser->SelectFolder(Q(Folder())));
        browser->NewFolderClick();
        EXPECT_TRUE(QFileInfo(Q(Folder()) + "/" + plain + " (2)").isDir());
        ASSERT_TRUE(browser->SelectFolder(Q(Folder())));
        browser->NewFolderClick();
        EXPECT_TRUE(QFileInfo(Q(Folder()) + "/" + plain + " (3)").isDir());

        // Deleting a folder sends it to the trash and shows its parent.
        browser->DelFolderClick();
        EXPECT_FALSE(QFileInfo::exists(Q(Folder()) + "/" + plain + " (3)"));
        EXPECT_EQ(browser->SelectedPath(), Q(Folder()));
    }

    TEST_F(FlistFormTest, DropsOnTheTreeMoveOrCopyAndRenamedFoldersStayOnShow)
    {
        Picture(Folder() / "a.bmp", 30);
        Picture(Folder() / "b.bmp", 40);
        fs::create_directories(Folder("other"));
        TFlistForm* browser = OpenBrowser();
        ASSERT_NE(browser, nullptr);
        QFileSystemModel* model = browser->FolderModel();
        const QModelIndex other = model->index(Q(Folder("other")));
        auto files = [&](const char* name) {
            auto* mime = new QMimeData;
            mime->setUrls({ QUrl::fromLocalFile(Q(Folder() / name)) });
            return std::unique_ptr<QMimeData>(mime);
        };
        // A plain drop moves, Ctrl copies, Ctrl with Shift (a link) is refused.
        EXPECT_TRUE(model->dropMimeData(files("a.bmp").get(), Qt::MoveAction, -1, -1, other));
        EXPECT_FALSE(fs::exists(Folder() / "a.bmp"));
        EXPECT_TRUE(fs::exists(Folder("other") / "a.bmp"));
        EXPECT_TRUE(model->dropMimeData(files("b.bmp").get(), Qt::CopyAction, -1, -1, other));
        EXPECT_TRUE(fs::exists(Folder() / "b.bmp"));
        EXPECT_TRUE(fs::exists(Folder("other") / "b.bmp"));
        EXPECT_FALSE(model->canDropMimeData(files("b.bmp").get(), Qt::LinkAction, -1, -1, other));
        EXPECT_FALSE(model->dropMimeData(files("b.bmp").get(), Qt::LinkAction, -1, -1, other));

        // Renaming the folder on show: its list is kept under the new name.
        ASSERT_TRUE(browser->SelectFolder(Q(Folder("other"))));
        EXPECT_EQ(browser->Names(), L({ "a.bmp", "b.bmp" }));
        ASSERT_TRUE(model->setData(model->index(Q(Folder("other"))), QStringLiteral("renamed")));
        EXPECT_EQ(browser->SelectedPath(), Q(Folder("renamed")));
        EXPECT_EQ(browser->windowTitle(), Q(Folder("renamed")));
        CloseBrowser();
        EXPECT_EQ(CacheLines(Folder("renamed")),
            (std::vector<std::string> { "%vtl%", "a.bmp", "b.bmp" }));
        EXPECT_EQ(m_form->AppSettings().sumDir, Folder("renamed").string());
    }

} // namespace
} // namespace vtl::browse::ui
