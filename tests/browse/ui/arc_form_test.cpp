// The archive window over zip files made with bsdtar and read by the program's own archive
// plug-in: listing, opening and stepping through members, removing thumbnails, the archive cache
// and saving a member's bytes.

#include "browse/ui/arc_form.h"

#include "browse/thumb_cache.h"
#include "support/document_fixture.h"

#include <QClipboard>
#include <QComboBox>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMdiArea>
#include <QTableWidget>
#include <cstdlib>
#include <fstream>

namespace vtl::browse::ui {
namespace {

    using document::ui::TMDIChild;
    using testing::CommandTest;
    using testing::ReadFile;
    namespace fs = std::filesystem;

    class ArcFormTest : public CommandTest {
    protected:
        // Writes the pictures (names with widths 30, 40, 50 ...) and zips them as `zip`.
        bool MakeZip(const std::string& zip, const std::vector<std::string>& members)
        {
            std::string list;
            int width = 30;
            for (const auto& name : members) {
                testing::Pattern(width, 20).SaveToFile(m_dir.Path() / name);
                width += 10;
                list += " '" + name + "'";
            }
            const std::string command = "cd '" + m_dir.Path().string() + "' && bsdtar -a -cf '"
                + zip + "'" + list + " 2>/dev/null";
            return std::system(command.c_str()) == 0;
        }
        void SetUp() override
        {
            CommandTest::SetUp();
            if (!MakeZip("set.zip", { "a.bmp", "b.bmp", "c.bmp" }))
                GTEST_SKIP() << "bsdtar (libarchive-tools) is not installed";
            MakeForm();
        }
        QString Zip(const std::string& name = "set.zip") const
        {
            return QString::fromStdString((m_dir.Path() / name).string());
        }
        TArcForm* Open(const std::string& name = "set.zip")
        {
            return qobject_cast<TArcForm*>(input::ui::OpenFile(*m_form, Zip(name), 3));
        }
        static std::vector<std::string> Names(const TArcForm& form)
        {
            std::vector<std::string> names;
            for (const auto& m : form.Members())
                names.push_back(m.name);
            return names;
        }
        // Makes the archive plug-ins unusable, so that only a cache can build a window.
        void DisableArchivePlugins()
        {
            auto& plugins = m_form->Plugins();
            for (size_t i = 0; i < plugins.ArchivePaths().size(); ++i)
                plugins.MarkFailed(input::PluginKind::Archive, int(i));
        }
        void CloseWindow(TArcForm* form)
        {
            form->close();
            QCoreApplication::processEvents();
        }
        TMDIChild* ActiveDocument() const
        {
            return dynamic_cast<TMDIChild*>(m_form->MdiArea()->activeSubWindow());
        }
    };

    TEST_F(ArcFormTest, ListingShowsEveryPictureAsAThumbnail)
    {
        TArcForm* form = Open();
        ASSERT_NE(form, nullptr);
        EXPECT_EQ(Names(*form), (std::vector<std::string> { "a.bmp", "b.bmp", "c.bmp" }));
        EXPECT_EQ(form->Store().Count(), 3);
        EXPECT_EQ(form->windowTitle(), QStringLiteral("set.zip"));
        EXPECT_EQ(form->ArchivePath, Zip());
        EXPECT_EQ(m_form->MdiArea()->activeSubWindow(), form);
        EXPECT_TRUE(m_form->windowTitle().endsWith(QStringLiteral(" - Vistrel")));
        EXPECT_EQ(form->objectName(), QStringLiteral("ArcForm"));
        EXPECT_TRUE(m_form->StatusText().isEmpty() || m_form->StatusText() == "a.bmp");

        // Thumbnails are W x H, drawn from the store; a picture narrower than the cell leaves
        // white margins.
        const ThumbSize size = ThumbSizeOfIndex(m_form->AppSettings().sumSize);
        const QImage first = form->Thumbnail(0);
        ASSERT_EQ(first.size(), QSize(size.width, size.height));
        EXPECT_EQ(QColor(first.pixel(0, 0)), QColor(Qt::white));
        EXPECT_TRUE(form->Thumbnail(3).isNull());

        // The frame's controls while the archive window is active.
        for (const char* name : { "CopyBtn", "PrintBtn", "UndoBtn", "LeftBtn", "RightBtn",
                 "playBtn", "MojiBtn", "LineBtn" })
            EXPECT_FALSE(m_form->Item(name)->isEnabled()) << name;
        EXPECT_FALSE(m_form->RateBox()->isEnabled());
        EXPECT_TRUE(m_form->Item("CloseBtn")->isEnabled());

        // Selecting a cell names the member and enables the commands that need one.
        form->SelectIndex(1);
        EXPECT_EQ(m_form->StatusText(), QStringLiteral("b.bmp"));
        for (const char* name : { "DelBtn", "SaveBtn" })
            EXPECT_TRUE(m_form->Item(name)->isEnabled()) << name;
        EXPECT_TRUE(form->Item("Delete1")->isEnabled());
        EXPECT_TRUE(form->Item("Save2")->isEnabled());
        EXPECT_EQ(form->Item("Delete1")->shortcut(), QKeySequence(Qt::Key_Delete));
        EXPECT_EQ(form->Item("Delete1")->statusTip(),
            QString::fromUtf8("選択したサムネイル画像を削除します。"));

        // The window's menus replace the frame's while it is active.
        EXPECT_EQ(form->ChildMenus().size(), 2);

        // Closing disables the buttons that acted on it.
        CloseWindow(form);
        EXPECT_FALSE(m_form->Item("DelBtn")->isEnabled());
        EXPECT_FALSE(m_form->Item("SaveBtn")->isEnabled());
        EXPECT_TRUE(m_form->Children().isEmpty());
    }

    TEST_F(ArcFormTest, GridLayoutFollowsTheWidth)
    {
        TArcForm* form = Open();
        ASSERT_NE(form, nullptr);
        QTableWidget* grid = form->DrawGrid1();
        EXPECT_EQ(grid->objectName(), QStringLiteral("DrawGrid1"));
        const int pitch = CellPitch(form->Store().Size()).width;
        // Wide enough for all three: one row of three.
        form->resize(pitch * 5 + 60, 300);
        QCoreApplication::processEvents();
        EXPECT_EQ(grid->columnCount(), 3);
        EXPECT_EQ(grid->rowCount(), 1);
        // Room for two columns: two rows, the second with an empty cell that selects nothing.
        form->resize(form->width() - grid->viewport()->width() + 2 * pitch + 1, 300);
        QCoreApplication::processEvents();
        ASSERT_EQ(grid->viewport()->width(), 2 * pitch + 1);
        EXPECT_EQ(grid->columnCount(), 2);
        EXPECT_EQ(grid->rowCount(), 2);
        form->SelectIndex(3);
        EXPECT_TRUE(m_form->StatusText().isEmpty());
        EXPECT_FALSE(form->Item("Delete1")->isEnabled());
        EXPECT_FALSE(m_form->Item("SaveBtn")->isEnabled());
        // Narrower than a cell: still one column.
        form->resize(form->width() - grid->viewport()->width() + pitch - 10, 300);
        QCoreApplication::processEvents();
        EXPECT_EQ(grid->columnCount(), 1);
        EXPECT_EQ(grid->rowCount(), 3);
    }

    TEST_F(ArcFormTest, OpeningAMemberAndSteppingWithWrap)
    {
        TArcForm* form = Open();
        ASSERT_NE(form, nullptr);
        form->SelectIndex(2);
        form->Item("FileOpenItem")->trigger();
        TMDIChild* doc = ActiveDocument();
        ASSERT_NE(doc, nullptr);
        EXPECT_EQ(doc->FileName(), QStringLiteral("c.bmp"));
        EXPECT_EQ(doc->windowTitle(), QStringLiteral("c.bmp"));
        EXPECT_EQ(doc->Picture().Width(), 50);
        EXPECT_EQ(m_form->windowTitle(), QStringLiteral("c.bmp - Vistrel"));
        EXPECT_EQ(m_form->navigationSource, 1);
        EXPECT_EQ(m_form->archiveWindow.data(), form);
        EXPECT_TRUE(m_form->Item("RightBtn")->isEnabled());
        EXPECT_TRUE(m_form->Item("SaveBtn")->isEnabled());

        // Next from the last member shows the first, in the same document.
        m_form->RightBtnClick();
        EXPECT_EQ(ActiveDocument(), doc);
        EXPECT_EQ(doc->FileName(), QStringLiteral("a.bmp"));
        EXPECT_EQ(doc->Picture().Width(), 30);
        EXPECT_EQ(m_form->Children().size(), 2);
        // Previous from the first shows the last.
        m_form->LeftBtnClick();
        EXPECT_EQ(doc->FileName(), QStringLiteral("c.bmp"));
        m_form->LeftBtnClick();
        EXPECT_EQ(doc->FileName(), QStringLiteral("b.bmp"));
        EXPECT_EQ(doc->Picture().Width(), 40);
        EXPECT_EQ(m_form->windowTitle(), QStringLiteral("b.bmp - Vistrel"));

        // Double-clicking opens another document for the selected member.
        form->SelectIndex(0);
        form->DrawGrid1DblClick();
        ASSERT_NE(ActiveDocument(), doc);
        EXPECT_EQ(ActiveDocument()->Picture().Width(), 30);
        EXPECT_EQ(form->OpenIndex, 0);
    }

    TEST_F(ArcFormTest, RemovedThumbnailsStayRemovedThroughTheCache)
    {
        TArcForm* form = Open();
        ASSERT_NE(form, nullptr);
        const fs::path cache = m_dir.Path() / "set.zip.snx";
        form->SelectIndex(1);
        form->Item("Delete1")->trigger();
        EXPECT_EQ(Names(*form), (std::vector<std::string> { "a.bmp", "c.bmp" }));
        EXPECT_EQ(form->Store().Count(), 2);
        EXPECT_FALSE(fs::exists(cache)) << "nothing is written before Save1";
        form->Item("Save1")->trigger();
        ASSERT_TRUE(fs::exists(cache));
        EXPECT_TRUE(m_form->StatusText().isEmpty());
        CloseWindow(form);

        // Without usable archive plug-ins only the cache can build the window.
        DisableArchivePlugins();
        form = Open();
        ASSERT_NE(form, nullptr);
        EXPECT_EQ(Names(*form), (std::vector<std::string> { "a.bmp", "c.bmp" }));
        EXPECT_EQ(form->Store().Count(), 2);
        EXPECT_EQ(form->Members()[1].size, uint32_t(fs::file_size(m_dir.Path() / "c.bmp")));
        EXPECT_EQ(m_form->windowTitle(), QStringLiteral("set.zip - Vistrel"));
        EXPECT_FALSE(form->Thumbnail(1).isNull());

        // Removing everything and saving deletes the cache; the archive is listed again after.
        form->SelectIndex(0);
        form->Delete1Click();
        form->SelectIndex(0);
        form->Delete1Click();
        EXPECT_EQ(form->Store().Count(), 0);
        EXPECT_EQ(form->DrawGrid1()->columnCount(), 1);
        EXPECT_EQ(form->DrawGrid1()->rowCount(), 1);
        form->Delete1Click(); // an empty cell: nothing
        form->Save1Click();
        EXPECT_FALSE(fs::exists(cache));
        CloseWindow(form);
        EXPECT_EQ(Open(), nullptr) << "no cache and no plug-in: nothing opens";
        EXPECT_TRUE(m_form->Children().isEmpty());
        m_form->Plugins().ClearFailureMarks();
        form = Open();
        ASSERT_NE(form, nullptr);
        EXPECT_EQ(form->Store().Count(), 3);
    }

    TEST_F(ArcFormTest, NamesWithCommasSurviveTheCache)
    {
        if (!MakeZip("commas.zip", { "one,two, three.bmp", "plain.bmp" }))
            GTEST_SKIP() << "bsdtar failed";
        TArcForm* form = Open("commas.zip");
        ASSERT_NE(form, nullptr);
        const auto listed = form->Members();
        ASSERT_EQ(listed.size(), 2u);
        EXPECT_EQ(listed[0].name, "one,two, three.bmp");
        form->Save1Click();
        CloseWindow(form);

        DisableArchivePlugins();
        form = Open("commas.zip");
        ASSERT_NE(form, nullptr);
        ASSERT_EQ(form->Members().size(), 2u);
        for (size_t i = 0; i < 2; ++i) {
            EXPECT_EQ(form->Members()[i].name, listed[i].name);
            EXPECT_EQ(form->Members()[i].position, listed[i].position);
            EXPECT_EQ(form->Members()[i].size, listed[i].size);
        }
        // Opening a member needs the plug-in again.
        m_form->Plugins().ClearFailureMarks();
        form->SelectIndex(0);
        form->DrawGrid1DblClick();
        ASSERT_NE(ActiveDocument(), nullptr);
        EXPECT_EQ(ActiveDocument()->FileName(), QStringLiteral("one,two, three.bmp"));
        EXPECT_EQ(ActiveDocument()->Picture().Width(), 30);
    }

    TEST_F(ArcFormTest, DamagedOrForeignCaches)
    {
        const fs::path cache = m_dir.Path() / "set.zip.snx";
        TSumImg store(ThumbSizeOfIndex(m_form->AppSettings().sumSize));
        platform::TBitmap work = testing::Pattern(store.Width(), store.Height());
        ASSERT_TRUE(store.Add(work, false));

        // A folder cache beside the archive is not an archive cache: the archive is listed.
        SaveThumbCache(cache, { kFolderMarker, "a.bmp" }, store);
        TArcForm* form = Open();
        ASSERT_NE(form, nullptr);
        EXPECT_EQ(form->Store().Count(), 3);
        CloseWindow(form);

        // A line without two commas: an empty window.
        SaveThumbCache(cache, { kArchiveMarker, "12a.bmp" }, store);
        form = Open();
        ASSERT_NE(form, nullptr);
        EXPECT_EQ(form->Store().Count(), 0);
        EXPECT_TRUE(form->Members().empty());
        CloseWindow(form);

        // A position that isn't a number is reported; no window is left half-built.
        SaveThumbCache(cache, { kArchiveMarker, "x,5,a.bmp" }, store);
        m_guard.dialogs->messageAnswers.push_back(platform::qt::MsgResult::Ok);
        EXPECT_EQ(input::ui::OpenFile(*m_form, Zip(), 3), nullptr);
        EXPECT_EQ(m_guard.dialogs->messages.size(), 1u);
        EXPECT_TRUE(m_form->Children().isEmpty());
    }

    TEST_F(ArcFormTest, SavingAMemberWritesItsBytes)
    {
        TArcForm* form = Open();
        ASSERT_NE(form, nullptr);
        fs::create_directory(m_dir.Path() / "out");
        form->SelectIndex(1);
        const QString chosen = QString::fromStdString((m_dir.Path() / "out" / "copy.png").string());
        m_guard.dialogs->saveAnswers.push_back(chosen);
        form->Item("Save2")->trigger();
        ASSERT_EQ(m_guard.dialogs->fileDialogs.size(), 1u);
        const auto& asked = m_guard.dialogs->fileDialogs[0];
        EXPECT_EQ(asked.fileName, QStringLiteral("b.bmp"));
        EXPECT_EQ(asked.defaultExtension, QStringLiteral("bmp"));
        EXPECT_EQ(asked.folder, QString::fromStdString(m_dir.Path().string()));
        // The member's extension replaces the one typed; the bytes are the member's.
        const fs::path written = m_dir.Path() / "out" / "copy.bmp";
        ASSERT_TRUE(fs::exists(written));
        EXPECT_FALSE(fs::exists(m_dir.Path() / "out" / "copy.png"));
        EXPECT_EQ(ReadFile(written), ReadFile(m_dir.Path() / "b.bmp"));
        EXPECT_EQ(form->SaveFolder, QString::fromStdString((m_dir.Path() / "out").string()));

        // The next save starts in the folder used last; a cancelled dialog writes nothing.
        m_guard.dialogs->saveAnswers.push_back(std::nullopt);
        m_form->Item("SaveBtn")->trigger();
        ASSERT_EQ(m_guard.dialogs->fileDialogs.size(), 2u);
        EXPECT_EQ(m_guard.dialogs->fileDialogs[1].folder, form->SaveFolder);
    }

    // Notes every window shown under a given name.
    class ShowWatcher : public QObject {
    public:
        explicit ShowWatcher(const char* name)
            : m_name(QString::fromUtf8(name))
        {
            qApp->installEventFilter(this);
        }
        ~ShowWatcher() override { qApp->removeEventFilter(this); }
        bool eventFilter(QObject* watched, QEvent* event) override
        {
            if (event->type() == QEvent::Show && watched->objectName() == m_name)
                ++shown;
            return false;
        }
        int shown = 0;

    private:
        QString m_name;
    };

    TEST_F(ArcFormTest, TheExtractionDialogAppearsOnlyForAnArchiveAPlugInTook)
    {
        std::ofstream(m_dir.Path() / "broken.zip") << "no archive at all";
        std::ofstream(m_dir.Path() / "notes.txt") << "text";
        ShowWatcher watcher("ArcvDlg");
        EXPECT_EQ(input::ui::OpenFile(*m_form, Zip("broken.zip"), 3), nullptr);
        EXPECT_EQ(input::ui::OpenFile(*m_form, Zip("notes.txt"), 3), nullptr);
        EXPECT_EQ(watcher.shown, 0);
        EXPECT_TRUE(m_form->Children().isEmpty());
        ASSERT_NE(Open(), nullptr);
        EXPECT_EQ(watcher.shown, 1);
    }

    TEST_F(ArcFormTest, MemberNamesWithLineBreaksStayOutOfTheWindowAndItsCache)
    {
        if (!MakeZip("breaks.zip", { "a.bmp", "two\nlines.bmp", "cr\rname.bmp", "z.bmp" }))
            GTEST_SKIP() << "bsdtar failed";
        TArcForm* form = Open("breaks.zip");
        ASSERT_NE(form, nullptr);
        EXPECT_EQ(Names(*form), (std::vector<std::string> { "a.bmp", "z.bmp" }));
        form->Item("Save1")->trigger();
        std::vector<std::string> lines;
        TSumImg store(ThumbSizeOfIndex(m_form->AppSettings().sumSize));
        ASSERT_TRUE(LoadThumbCache(m_dir.Path() / "breaks.zip.snx", lines, store));
        ASSERT_EQ(lines.size(), 3u);
        EXPECT_EQ(store.Count(), 2);
        EXPECT_TRUE(lines[1].ends_with(",a.bmp"));
        EXPECT_TRUE(lines[2].ends_with(",z.bmp"));
        CloseWindow(form);
        DisableArchivePlugins();
        form = Open("breaks.zip");
        ASSERT_NE(form, nullptr);
        EXPECT_EQ(Names(*form), (std::vector<std::string> { "a.bmp", "z.bmp" }));
    }

    TEST_F(ArcFormTest, ThePasteButtonStaysOffWhileAnArchiveWindowIsActive)
    {
        OfferPictureOnClipboard();
        TMDIChild& doc = Document(testing::Pattern(10, 10));
        EXPECT_TRUE(m_form->Item("PasteBtn")->isEnabled());
        TArcForm* form = Open();
        ASSERT_NE(form, nullptr);
        EXPECT_EQ(m_form->MdiArea()->activeSubWindow(), form);
        EXPECT_FALSE(m_form->Item("PasteBtn")->isEnabled());
        OfferPictureOnClipboard();
        EXPECT_FALSE(m_form->Item("PasteBtn")->isEnabled());
        m_form->MdiArea()->setActiveSubWindow(&doc);
        EXPECT_TRUE(m_form->Item("PasteBtn")->isEnabled());
    }

} // namespace
} // namespace vtl::browse::ui
