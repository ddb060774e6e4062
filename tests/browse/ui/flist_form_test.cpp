// The thumbnail browser over temporary folders of BMP pictures: opening and closing it from the
// frame, showing a folder, the folder's cache across visits, edit mode, opening and stepping,
// deleting thumbnails and files, and the folder commands of the tree.

#include "browse/ui/flist_form.h"

#include "browse/thumb_cache.h"
#include "codecs/png_image.h"
#include "input/picture_loader.h"
#include "support/document_fixture.h"

#include <QClipboard>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileSystemModel>
#include <QGuiApplication>
#include <QMdiArea>
#include <QMenu>
#include <QMimeData>
#include <QRegularExpression>
#include <QSplitter>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <QUrl>
#include <chrono>
#include <fstream>
#include <memory>
#include <optional>
#include <sys/stat.h>

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
            if (!m_elsewhere.empty()) {
                std::error_code ec;
                fs::remove_all(m_elsewhere, ec);
            }
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
        // The browser on the pictures folder, and the picture at `index` opened from it.
        TMDIChild* OpenFromBrowser(int index)
        {
            TFlistForm* browser = OpenBrowser();
            if (!browser || !browser->SelectFolder(Q(Folder())))
                return nullptr;
            browser->SelectIndex(index);
            browser->DrawGrid1DblClick();
            return ActiveDocument();
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
        // Holds Shift down, as the keyboard does, for what the next command asks of it.
        void HoldShift(bool held)
        {
            if (held)
                QTest::keyPress(m_form.get(), Qt::Key_Shift, Qt::ShiftModifier);
            else
                QTest::keyRelease(m_form.get(), Qt::Key_Shift);
            ASSERT_EQ(bool(QGuiApplication::keyboardModifiers() & Qt::ShiftModifier), held);
        }
        void Answer(std::initializer_list<platform::qt::MsgResult> answers)
        {
            m_guard.dialogs->messageAnswers = answers;
            m_guard.dialogs->messages.clear();
        }
        QStringList MessageTexts() const
        {
            QStringList texts;
            for (const auto& m : m_guard.dialogs->messages)
                texts << m.text;
            return texts;
        }
        // Drops `items` on the node of `folder` in the browser's tree, with the action the
        // desktop's drag makes of the keys held (Ctrl: copy, none: move), as the tree hands a
        // drop to its model. True when accepted.
        bool Drop(TFlistForm* browser, const fs::path& folder, const std::vector<fs::path>& items,
            Qt::DropAction action)
        {
            QFileSystemModel* model = browser->FolderModel();
            const QModelIndex node = model->index(Q(folder));
            EXPECT_TRUE(node.isValid());
            QMimeData mime;
            QList<QUrl> urls;
            for (const auto& item : items)
                urls << QUrl::fromLocalFile(Q(item));
            mime.setUrls(urls);
            return model->canDropMimeData(&mime, action, -1, -1, node)
                && model->dropMimeData(&mime, action, -1, -1, node);
        }
        // A folder on another file system than the temporary folder, for moves between them.
        std::optional<fs::path> OtherDeviceFolder()
        {
            struct stat here {
            }, there {};
            if (::stat("/dev/shm", &there) != 0 || ::stat(m_dir.Path().c_str(), &here) != 0
                || here.st_dev == there.st_dev || ::access("/dev/shm", W_OK) != 0)
                return std::nullopt;
            std::string pattern = "/dev/shm/vtl-test-XXXXXX";
            if (!mkdtemp(pattern.data()))
                return std::nullopt;
            m_elsewhere = pattern;
            return m_elsewhere;
        }
        fs::path m_elsewhere;

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
        TMDIChild* doc = OpenFromBrowser(0);
        ASSERT_NE(doc, nullptr);
        TFlistForm* browser = Browser();
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
        TMDIChild* doc = OpenFromBrowser(0);
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

    // The trash of a home that has no ~/.local/share yet: made as the desktop expects it, never
    // in the program's working folder.
    TEST_F(FlistFormTest, DeletingAsksThenMovesTheFileToTheTrashOfAFreshHome)
    {
        const fs::path home = m_dir.Path() / "home";
        const QByteArray oldHome = qgetenv("HOME");
        qputenv("HOME", QByteArray::fromStdString(home.string()));
        qunsetenv("XDG_DATA_HOME");
        struct RestoreHome {
            QByteArray value;
            ~RestoreHome() { qputenv("HOME", value); }
        } restore { oldHome };
        const fs::path trash = home / ".local/share/Trash";
        const fs::path workingFolder = fs::current_path();

        Picture(Folder() / "a.bmp", 30);
        Picture(Folder() / "写 1.bmp", 40);
        Picture(Folder() / "c.bmp", 50);
        TFlistForm* browser = OpenBrowser();
        ASSERT_NE(browser, nullptr);
        ASSERT_TRUE(browser->SelectFolder(Q(Folder())));
        ASSERT_EQ(browser->Names(), L({ "a.bmp", "c.bmp", "写 1.bmp" }));

        // No keeps the file and its thumbnail.
        browser->SelectIndex(0);
        Answer({ platform::qt::MsgResult::No });
        m_form->Item("DelBtn")->trigger();
        ASSERT_EQ(m_guard.dialogs->messages.size(), 1u);
        EXPECT_EQ(m_guard.dialogs->messages[0].title, QString::fromUtf8("ファイルの削除"));
        EXPECT_EQ(
            m_guard.dialogs->messages[0].text, QString::fromUtf8("a.bmp をごみ箱に移動しますか?"));
        EXPECT_TRUE(fs::exists(Folder() / "a.bmp"));
        EXPECT_EQ(browser->Names(), L({ "a.bmp", "c.bmp", "写 1.bmp" }));
        EXPECT_FALSE(fs::exists(home));

        // Yes: the home trash is made with its folders, the file goes there with its info.
        browser->SelectIndex(2);
        Answer({ platform::qt::MsgResult::Yes });
        browser->Item("Delete1")->trigger();
        EXPECT_EQ(browser->Names(), L({ "a.bmp", "c.bmp" }));
        EXPECT_FALSE(fs::exists(Folder() / "写 1.bmp"));
        EXPECT_TRUE(fs::exists(trash / "files" / "写 1.bmp"));
        const std::string info = testing::ReadFile(trash / "info" / "写 1.bmp.trashinfo");
        const std::string expected
            = "[Trash Info]\nPath=" + Folder().string() + "/%E5%86%99%201.bmp\n";
        EXPECT_EQ(info.substr(0, expected.size()), expected) << info;
        EXPECT_TRUE(QRegularExpression(
            QStringLiteral("\nDeletionDate=\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\n$"))
                        .match(QString::fromStdString(info))
                        .hasMatch())
            << info;
        EXPECT_FALSE(fs::exists(workingFolder / "info" / "写 1.bmp.trashinfo"));
        EXPECT_FALSE(fs::exists(workingFolder / "files" / "写 1.bmp"));

        // A second file of the same name takes another name in the trash; the first stays.
        browser->SelectIndex(0);
        Answer({ platform::qt::MsgResult::Yes });
        browser->Item("Delete1")->trigger();
        Picture(Folder() / "a.bmp", 60);
        fs::create_directories(Folder("other"));
        ASSERT_TRUE(browser->SelectFolder(Q(Folder("other"))));
        ASSERT_TRUE(browser->SelectFolder(Q(Folder())));
        ASSERT_EQ(browser->Names(), L({ "c.bmp", "a.bmp" }));
        browser->SelectIndex(1);
        Answer({ platform::qt::MsgResult::Yes });
        browser->Item("Delete1")->trigger();
        EXPECT_TRUE(fs::exists(trash / "files" / "a.bmp"));
        EXPECT_TRUE(fs::exists(trash / "files" / "a.2.bmp"));
        EXPECT_TRUE(testing::ReadFile(trash / "info" / "a.2.bmp.trashinfo")
                        .find("Path=" + (Folder() / "a.bmp").string() + "\n")
            != std::string::npos);
        EXPECT_NE(testing::ReadFile(trash / "files" / "a.bmp"),
            testing::ReadFile(trash / "files" / "a.2.bmp"));
        EXPECT_EQ(browser->Names(), L({ "c.bmp" }));

        // Shift deletes for good, after its own warning.
        browser->SelectIndex(0);
        HoldShift(true);
        Answer({ platform::qt::MsgResult::Yes });
        browser->Item("Delete1")->trigger();
        HoldShift(false);
        ASSERT_EQ(m_guard.dialogs->messages.size(), 1u);
        EXPECT_EQ(
            m_guard.dialogs->messages[0].text, QString::fromUtf8("c.bmp を完全に削除しますか?"));
        EXPECT_EQ(m_guard.dialogs->messages[0].icon, platform::qt::MsgIcon::Warning);
        EXPECT_FALSE(fs::exists(Folder() / "c.bmp"));
        EXPECT_FALSE(fs::exists(trash / "files" / "c.bmp"));
        EXPECT_TRUE(browser->Names().isEmpty());

        // A file gone since the folder was read is reported, and its entry stays.
        Picture(Folder() / "d.bmp", 30);
        ASSERT_TRUE(browser->SelectFolder(Q(Folder("other"))));
        ASSERT_TRUE(browser->SelectFolder(Q(Folder())));
        fs::remove(Folder() / "d.bmp");
        browser->SelectIndex(0);
        Answer({ platform::qt::MsgResult::Ok });
        browser->Delete1Click();
        EXPECT_EQ(MessageTexts(),
            QStringList { QString::fromUtf8("%1 が見つかりません。").arg(Q(Folder() / "d.bmp")) });
        EXPECT_EQ(browser->Names(), L({ "d.bmp" }));
    }

    TEST_F(FlistFormTest, AFileOnAnotherFileSystemGoesToTheTrashOfItsMount)
    {
        const auto elsewhere = OtherDeviceFolder();
        if (!elsewhere)
            GTEST_SKIP() << "no second writable file system (/dev/shm)";
        // The mount's own trash is made when missing; one that was there before stays.
        const fs::path mountTrash = "/dev/shm/.Trash-" + std::to_string(::getuid());
        const bool hadTrash = fs::exists(mountTrash);
        Picture(*elsewhere / "far.bmp", 30);
        TFlistForm* browser = OpenBrowser();
        ASSERT_NE(browser, nullptr);
        ASSERT_TRUE(browser->SelectFolder(Q(*elsewhere)));
        ASSERT_EQ(browser->Names(), L({ "far.bmp" }));
        browser->SelectIndex(0);
        Answer({ platform::qt::MsgResult::Yes });
        browser->Item("Delete1")->trigger();
        EXPECT_FALSE(fs::exists(*elsewhere / "far.bmp"));
        EXPECT_TRUE(browser->Names().isEmpty());
        // Found by its recorded place, relative to the mount.
        std::optional<fs::path> found;
        for (const auto& entry : fs::directory_iterator(mountTrash / "info")) {
            const std::string text = testing::ReadFile(entry.path());
            if (text.find("\nPath=" + elsewhere->filename().string() + "/far.bmp\n")
                != std::string::npos)
                found = entry.path();
        }
        ASSERT_TRUE(found.has_value());
        const fs::path trashed = mountTrash / "files" / found->stem();
        EXPECT_TRUE(fs::exists(trashed));
        EXPECT_FALSE(fs::exists(m_dir.Path() / "data" / "Trash" / "files" / "far.bmp"));
        fs::remove(*found);
        fs::remove(trashed);
        if (!hadTrash) {
            std::error_code ec;
            fs::remove_all(mountTrash, ec);
        }
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

        // Deleting a folder asks, sends it to the trash and shows its parent.
        Answer({ platform::qt::MsgResult::No });
        browser->Item("DelFolder")->trigger();
        EXPECT_TRUE(QFileInfo(Q(Folder()) + "/" + plain + " (3)").isDir());
        Answer({ platform::qt::MsgResult::Yes });
        browser->Item("DelFolder")->trigger();
        ASSERT_EQ(m_guard.dialogs->messages.size(), 1u);
        EXPECT_EQ(m_guard.dialogs->messages[0].title, QString::fromUtf8("フォルダの削除"));
        EXPECT_FALSE(QFileInfo::exists(Q(Folder()) + "/" + plain + " (3)"));
        EXPECT_TRUE(
            fs::is_directory(m_dir.Path() / "data/Trash/files" / (plain + " (3)").toStdString()));
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

    TEST_F(FlistFormTest, DroppedFoldersAreCopiedWithCtrlAndMovedAcrossFileSystems)
    {
        fs::create_directories(Folder("src/deep/deeper"));
        Picture(Folder("src") / "a.bmp", 30);
        Picture(Folder("src/deep/deeper") / "b.bmp", 40);
        std::ofstream(Folder("src/deep") / ".hidden") << "kept";
        fs::create_directories(Folder("other"));
        TFlistForm* browser = OpenBrowser();
        ASSERT_NE(browser, nullptr);
        ASSERT_TRUE(browser->SelectFolder(Q(Folder("other"))));

        // Ctrl copies the folder with everything in it; the original stays.
        EXPECT_TRUE(Drop(browser, Folder("other"), { Folder("src") }, Qt::CopyAction));
        EXPECT_TRUE(m_guard.dialogs->messages.empty());
        EXPECT_TRUE(fs::exists(Folder("other/src/deep/deeper") / "b.bmp"));
        EXPECT_EQ(testing::ReadFile(Folder("other/src/deep") / ".hidden"), "kept");
        EXPECT_EQ(testing::ReadFile(Folder("other/src") / "a.bmp"),
            testing::ReadFile(Folder("src") / "a.bmp"));
        EXPECT_TRUE(fs::exists(Folder("src/deep/deeper") / "b.bmp"));

        // A name that is already there is not replaced: the drop is refused and reported.
        Answer({ platform::qt::MsgResult::Ok });
        EXPECT_FALSE(Drop(browser, Folder("other"), { Folder("src") }, Qt::CopyAction));
        ASSERT_EQ(m_guard.dialogs->messages.size(), 1u);
        EXPECT_TRUE(m_guard.dialogs->messages[0].text.contains(Q(Folder("other/src"))));
        // Nor does a folder go into itself.
        Answer({ platform::qt::MsgResult::Ok });
        EXPECT_FALSE(Drop(browser, Folder("src/deep"), { Folder("src") }, Qt::CopyAction));
        EXPECT_EQ(m_guard.dialogs->messages.size(), 1u);
        EXPECT_FALSE(fs::exists(Folder("src/deep/src")));

        const auto elsewhere = OtherDeviceFolder();
        if (!elsewhere)
            GTEST_SKIP() << "no second writable file system (/dev/shm)";
        // A plain drop moves, here to another file system: the folder arrives whole and the
        // original goes.
        fs::create_directories(*elsewhere / "trip/inner");
        Picture(*elsewhere / "trip/inner" / "c.bmp", 50);
        const std::string picture = testing::ReadFile(*elsewhere / "trip/inner" / "c.bmp");
        Answer({});
        EXPECT_TRUE(Drop(browser, Folder("other"), { *elsewhere / "trip" }, Qt::MoveAction));
        EXPECT_TRUE(m_guard.dialogs->messages.empty());
        EXPECT_EQ(testing::ReadFile(Folder("other/trip/inner") / "c.bmp"), picture);
        EXPECT_FALSE(fs::exists(*elsewhere / "trip"));

        // A folder that can't be copied whole stays where it was, and no part of it arrives.
        fs::create_directories(*elsewhere / "odd");
        Picture(*elsewhere / "odd" / "d.bmp", 30);
        ASSERT_EQ(::mkfifo((*elsewhere / "odd" / "pipe").c_str(), 0600), 0);
        Answer({ platform::qt::MsgResult::Ok });
        EXPECT_FALSE(Drop(browser, Folder("other"), { *elsewhere / "odd" }, Qt::MoveAction));
        ASSERT_EQ(m_guard.dialogs->messages.size(), 1u);
        EXPECT_TRUE(m_guard.dialogs->messages[0].text.contains(Q(*elsewhere / "odd")));
        EXPECT_TRUE(fs::exists(*elsewhere / "odd" / "d.bmp"));
        EXPECT_FALSE(fs::exists(Folder("other/odd")));
    }

    TEST_F(FlistFormTest, ADamagedPictureIsLeftOutAndNamedOncePerVisit)
    {
        Picture(Folder() / "a.bmp", 30);
        Picture(Folder() / "c.bmp", 50);
        for (const char* name : { "b.png", "d.png" }) {
            codecs::TPngImage png;
            png.Assign(testing::Pattern(40, 20));
            png.SaveToFile(Folder() / name);
            fs::resize_file(Folder() / name, fs::file_size(Folder() / name) / 2);
        }
        fs::create_directories(Folder("other"));
        TFlistForm* browser = OpenBrowser();
        ASSERT_NE(browser, nullptr);
        for (int visit = 0; visit < 2; ++visit) {
            Answer({ platform::qt::MsgResult::Ok });
            ASSERT_TRUE(browser->SelectFolder(Q(Folder())));
            // The pictures sorted after the damaged ones are there; one box names the first.
            EXPECT_EQ(browser->Names(), L({ "a.bmp", "c.bmp" }));
            ASSERT_EQ(m_guard.dialogs->messages.size(), 1u) << "visit " << visit;
            const QString text = m_guard.dialogs->messages[0].text;
            EXPECT_TRUE(text.startsWith(Q(Folder() / "b.png"))) << text.toStdString();
            EXPECT_TRUE(text.contains(QStringLiteral("Read Error"))) << text.toStdString();
            EXPECT_TRUE(text.contains(QString::fromUtf8("ほかに 1 個"))) << text.toStdString();
            EXPECT_EQ(m_form->StatusText(), QStringLiteral("a.bmp"));
            ASSERT_TRUE(browser->SelectFolder(Q(Folder("other"))));
        }
        EXPECT_EQ(CacheLines(Folder()), (std::vector<std::string> { "%vtl%", "a.bmp", "c.bmp" }));
    }

    TEST_F(FlistFormTest, ThePasteButtonStaysOffWhileTheBrowserIsActive)
    {
        OfferPictureOnClipboard();
        TMDIChild& doc = Document(testing::Pattern(10, 10));
        EXPECT_TRUE(m_form->Item("PasteBtn")->isEnabled());
        Picture(Folder() / "a.bmp", 30);
        TFlistForm* browser = OpenBrowser();
        ASSERT_NE(browser, nullptr);
        ASSERT_TRUE(browser->SelectFolder(Q(Folder())));
        EXPECT_EQ(m_form->MdiArea()->activeSubWindow(), browser);
        EXPECT_FALSE(m_form->Item("PasteBtn")->isEnabled());
        // A new picture on the clipboard doesn't wake it.
        OfferPictureOnClipboard();
        EXPECT_FALSE(m_form->Item("PasteBtn")->isEnabled());
        // The document takes it again.
        m_form->MdiArea()->setActiveSubWindow(&doc);
        EXPECT_TRUE(m_form->Item("PasteBtn")->isEnabled());
        m_form->MdiArea()->setActiveSubWindow(browser);
        EXPECT_FALSE(m_form->Item("PasteBtn")->isEnabled());
    }

    TEST_F(FlistFormTest, ASelectionWithoutAPathAndTheLayoutOnResize)
    {
        for (const char* name : { "a.bmp", "b.bmp", "c.bmp" })
            Picture(Folder() / name, 30);
        TFlistForm* browser = OpenBrowser();
        ASSERT_NE(browser, nullptr);
        ASSERT_TRUE(browser->SelectFolder(Q(Folder())));
        ASSERT_EQ(browser->Names().size(), 3);

        // The grid is laid out again only when the width gives another column count: a change
        // of height alone keeps the grid as it is.
        QTableWidget* grid = browser->DrawGrid1();
        const int pitch = CellPitch(browser->Thumbs().Store().Size()).width;
        browser->resize(browser->FolderView1()->width() + pitch * 2 + 60, 300);
        QCoreApplication::processEvents();
        ASSERT_EQ(grid->columnCount(), 2);
        ASSERT_EQ(grid->rowCount(), 2);
        grid->setRowCount(5); // marks the grid: a layout would set 2 rows again
        browser->resize(browser->width(), 400);
        QCoreApplication::processEvents();
        EXPECT_EQ(grid->rowCount(), 5);
        browser->resize(browser->width() + pitch * 2, 400);
        QCoreApplication::processEvents();
        EXPECT_EQ(grid->columnCount(), 3);
        EXPECT_EQ(grid->rowCount(), 1);

        // No folder selected: an empty caption and an empty grid; no file is touched.
        browser->FolderView1()->setCurrentIndex(QModelIndex());
        EXPECT_TRUE(browser->SelectedPath().isEmpty());
        EXPECT_EQ(browser->windowTitle(), QString());
        EXPECT_TRUE(browser->Names().isEmpty());
        EXPECT_FALSE(m_form->Item("DelBtn")->isEnabled());
        // Back to a folder: its list is shown again.
        ASSERT_TRUE(browser->SelectFolder(Q(Folder())));
        EXPECT_EQ(browser->Names().size(), 3);
    }

} // namespace
} // namespace vtl::browse::ui
