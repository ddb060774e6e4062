// ◀ ▶ and the slide show for pictures opened from a file, through the frame's buttons: the folder
// listed as the browser lists it, in its order or in natural order, unsaved changes asked about,
// failed steps, files renamed or deleted; the neighbours decoded ahead, used, refused when their
// file changed, and abandoned when the document closes. And the zoom from the keyboard and the
// wheel.

#include "codecs/jpeg_encoder.h"
#include "document/ui/folder_stepping.h"
#include "document/ui/image_view.h"
#include "input/ui/neighbour_cache.h"
#include "platform/stream.h"
#include "support/document_fixture.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QMdiArea>
#include <QScrollArea>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>
#include <fstream>

namespace vtl::document::ui {
namespace {

    namespace fs = std::filesystem;
    using app::ui::TMainForm;
    using input::ui::NeighbourCache;
    using platform::qt::MsgResult;
    using testing::CommandTest;
    using testing::Pattern;
    using testing::SamePixels;

    class FolderSteppingTest : public CommandTest {
    protected:
        void SetUp() override
        {
            CommandTest::SetUp();
            qputenv("VTL_DECODE_AHEAD", "1");
            fs::create_directories(Folder());
        }
        fs::path Folder() const { return m_dir / "pics"; }
        static QString Q(const fs::path& path) { return QString::fromStdString(path.string()); }
        // A picture `width` pixels wide, so that the document shows which file it holds.
        void Picture(const std::string& name, int width)
        {
            Pattern(width, 20).SaveToFile(Folder() / name);
        }
        TMDIChild* Active() const
        {
            return dynamic_cast<TMDIChild*>(m_form->MdiArea()->activeSubWindow());
        }
        // The program started with the picture on its command line: the document it opened.
        TMDIChild* StartWith(const std::string& name)
        {
            m_form = std::make_unique<TMainForm>(QStringList { Q(Folder() / name) });
            m_form->resize(1000, 800);
            m_form->show();
            for (int i = 0; i < 500 && !Active(); ++i)
                QTest::qWait(10);
            return Active();
        }
        QString Name(TMDIChild* doc) const { return QFileInfo(doc->FileName()).fileName(); }
        void Right() { m_form->Item("RightBtn")->trigger(); }
        void Left() { m_form->Item("LeftBtn")->trigger(); }
        bool StepsEnabled() const
        {
            return m_form->Item("LeftBtn")->isEnabled() && m_form->Item("RightBtn")->isEnabled()
                && m_form->Item("playBtn")->isEnabled();
        }
        static bool WaitUntil(const std::function<bool()>& done)
        {
            for (int i = 0; i < 1000 && !done(); ++i)
                QTest::qWait(10);
            return done();
        }
        static TFolderStepper& Stepper(TMDIChild* doc) { return *doc->FolderStepper(); }
        bool AheadReady(TMDIChild* doc, const std::string& name)
        {
            return WaitUntil([&] { return Stepper(doc).Ahead().Ready(Folder() / name); });
        }
    };

    TEST_F(FolderSteppingTest, APictureFromTheCommandLineStepsThroughItsFolderAsTheBrowserLists)
    {
        Picture("b.bmp", 30);
        Picture("a.bmp", 20);
        Picture("c.bmp", 40);
        Picture(".hidden.bmp", 50);
        testing::WriteFile(Folder() / "notes.txt", "not a picture");
        fs::create_directory(Folder() / "sub.bmp");
        TMDIChild* doc = StartWith("b.bmp");
        ASSERT_NE(doc, nullptr);
        EXPECT_TRUE(StepsEnabled());

        Right();
        EXPECT_EQ(doc->FileName(), Q(Folder() / "c.bmp"));
        EXPECT_EQ(doc->windowTitle(), QStringLiteral("c.bmp"));
        EXPECT_EQ(m_form->windowTitle(), QStringLiteral("c.bmp - Vistrel"));
        EXPECT_EQ(doc->Picture().Width(), 40);
        Right(); // past the last: the first, skipping what the browser doesn't show
        EXPECT_EQ(Name(doc), QStringLiteral("a.bmp"));
        EXPECT_EQ(doc->Picture().Width(), 20);
        Left();
        EXPECT_EQ(Name(doc), QStringLiteral("c.bmp"));
        // The arrow keys step as the buttons do.
        QKeyEvent left(QEvent::KeyRelease, Qt::Key_Left, Qt::NoModifier);
        QCoreApplication::sendEvent(doc, &left);
        EXPECT_EQ(Name(doc), QStringLiteral("b.bmp"));
        EXPECT_EQ(doc->Picture().Width(), 30);
        EXPECT_EQ(m_form->Children().size(), 1);
        EXPECT_FALSE(doc->Modified());

        // The file shown is deleted: the step goes on from where its name stood.
        fs::remove(Folder() / "b.bmp");
        Left();
        EXPECT_EQ(Name(doc), QStringLiteral("a.bmp"));
        fs::rename(Folder() / "a.bmp", Folder() / "d.bmp");
        Right();
        EXPECT_EQ(Name(doc), QStringLiteral("c.bmp"));
        Right();
        EXPECT_EQ(Name(doc), QStringLiteral("d.bmp"));
        EXPECT_EQ(doc->Picture().Width(), 20);

        // A new picture has no folder: the buttons go grey, and come back with the picture.
        m_form->Item("FileNewItem")->trigger();
        ASSERT_NE(Active(), doc);
        QTest::qWait(50);
        EXPECT_FALSE(StepsEnabled());
        EXPECT_TRUE(Stepper(doc).Ahead().Files().empty()) << "only the active document decodes ahead";
        m_form->MdiArea()->setActiveSubWindow(doc);
        EXPECT_TRUE(StepsEnabled());
    }

    TEST_F(FolderSteppingTest, NaturalOrderPutsImg2BeforeImg10)
    {
        Picture("img10.bmp", 30);
        Picture("img2.bmp", 20);
        Picture("img1.bmp", 10);
        TMDIChild* doc = StartWith("img2.bmp");
        ASSERT_NE(doc, nullptr);
        // The browser's order: img1, img10, img2.
        Right();
        EXPECT_EQ(Name(doc), QStringLiteral("img1.bmp"));
        Right();
        EXPECT_EQ(Name(doc), QStringLiteral("img10.bmp"));

        m_form->AppSettings().naturalOrder = true;
        Left();
        EXPECT_EQ(Name(doc), QStringLiteral("img2.bmp"));
        EXPECT_EQ(doc->Picture().Width(), 20);
        Right();
        Right();
        EXPECT_EQ(Name(doc), QStringLiteral("img1.bmp"));
        EXPECT_EQ(doc->Picture().Width(), 10);
    }

    TEST_F(FolderSteppingTest, ChangesAreAskedAboutAndAPictureThatCantBeReadKeepsTheDocument)
    {
        Picture("a.bmp", 20);
        testing::WriteFile(Folder() / "b.bmp", "BM but nothing else");
        Picture("c.bmp", 40);
        TMDIChild* doc = StartWith("a.bmp");
        ASSERT_NE(doc, nullptr);
        doc->Item("Cxor1")->trigger();
        const platform::TBitmap changed = doc->Picture();

        // Yes, then the save dialog cancelled: nothing moves, and the slide show that asked stops.
        m_form->Item("playBtn")->setChecked(true);
        m_guard.dialogs->messageAnswers = { MsgResult::Yes };
        m_guard.dialogs->saveAnswers = { std::nullopt };
        Right();
        ASSERT_EQ(m_guard.dialogs->messages.size(), 1u);
        EXPECT_EQ(m_guard.dialogs->messages[0].text,
            QString::fromUtf8("a.bmp は変更がありますが保存しますか?"));
        EXPECT_EQ(Name(doc), QStringLiteral("a.bmp"));
        EXPECT_TRUE(SamePixels(doc->Picture(), changed));
        EXPECT_FALSE(m_form->Item("playBtn")->isChecked());

        // No: the next picture can't be read (its decode ahead failed too, silently); the error is
        // shown once and the document keeps its picture and name.
        m_guard.dialogs->messages.clear();
        m_guard.dialogs->messageAnswers = { MsgResult::No, MsgResult::Ok };
        Right();
        ASSERT_EQ(m_guard.dialogs->messages.size(), 2u);
        EXPECT_EQ(m_guard.dialogs->messages[1].icon, platform::qt::MsgIcon::Error);
        EXPECT_EQ(Name(doc), QStringLiteral("a.bmp"));
        EXPECT_TRUE(SamePixels(doc->Picture(), changed));
        EXPECT_TRUE(doc->Modified());

        // The next step goes past the picture that failed.
        m_guard.dialogs->messageAnswers = { MsgResult::No };
        Right();
        EXPECT_EQ(Name(doc), QStringLiteral("c.bmp"));
        EXPECT_EQ(doc->Picture().Width(), 40);
        EXPECT_FALSE(doc->Modified());
        EXPECT_TRUE(doc->UndoPicture().Empty());
        EXPECT_TRUE(m_guard.dialogs->messageAnswers.empty());
    }

    TEST_F(FolderSteppingTest, ANeighbourDecodedAheadIsShownUntilItsFileChanges)
    {
        Picture("a.bmp", 20);
        Picture("b.bmp", 30);
        Picture("c.bmp", 40);
        Picture("d.bmp", 50);
        TMDIChild* doc = StartWith("a.bmp");
        ASSERT_NE(doc, nullptr);
        // The next and the previous picture (wrapping), no more.
        ASSERT_TRUE(AheadReady(doc, "b.bmp"));
        ASSERT_TRUE(AheadReady(doc, "d.bmp"));
        EXPECT_EQ(Stepper(doc).Ahead().Files().size(), 2u);

        // b.bmp is rewritten in place (the same file) with other pixels of the same size and
        // given its old time back: a step that shows the old pixels took the picture decoded
        // ahead.
        const platform::TBitmap decodedAhead = Pattern(30, 20);
        platform::TBitmap other = Pattern(30, 20);
        other.SetPixel(0, 0, platform::Rgb(1, 2, 3));
        const auto time = fs::last_write_time(Folder() / "b.bmp");
        platform::TMemoryStream rewritten;
        other.SaveToStream(rewritten);
        testing::WriteFile(Folder() / "b.bmp",
            std::string_view(reinterpret_cast<const char*>(rewritten.Bytes().data()),
                rewritten.Bytes().size()));
        fs::last_write_time(Folder() / "b.bmp", time);
        const int finished = NeighbourCache::FinishedDecodes();
        Right();
        EXPECT_EQ(Name(doc), QStringLiteral("b.bmp"));
        EXPECT_TRUE(SamePixels(doc->Picture(), decodedAhead));
        EXPECT_EQ(Stepper(doc).StepsFromAhead(), 1);
        EXPECT_EQ(doc->ZoomIndex, 3);
        EXPECT_FALSE(doc->Modified());

        // Now a.bmp and c.bmp; d.bmp is released. c.bmp was not a neighbour before, a.bmp is
        // decoded again (the document had it).
        ASSERT_TRUE(AheadReady(doc, "a.bmp"));
        ASSERT_TRUE(AheadReady(doc, "c.bmp"));
        const auto files = Stepper(doc).Ahead().Files();
        EXPECT_EQ(files.size(), 2u);
        EXPECT_EQ(std::count(files.begin(), files.end(), Folder() / "d.bmp"), 0);
        EXPECT_EQ(NeighbourCache::FinishedDecodes() - finished, 2);

        // c.bmp changes after its decode: the step reads the file again.
        Picture("c.bmp", 41);
        Right();
        EXPECT_EQ(Name(doc), QStringLiteral("c.bmp"));
        EXPECT_EQ(doc->Picture().Width(), 41);
        EXPECT_EQ(Stepper(doc).StepsFromAhead(), 1);

        // Back to b.bmp, decoded ahead again as a neighbour of c.bmp: the rewritten pixels now.
        ASSERT_TRUE(AheadReady(doc, "b.bmp"));
        Left();
        EXPECT_TRUE(SamePixels(doc->Picture(), other));
        EXPECT_EQ(Stepper(doc).StepsFromAhead(), 2);
    }

    TEST_F(FolderSteppingTest, ANeighbourThatStaysOneIsKeptAcrossTheStep)
    {
        Picture("a.bmp", 20);
        Picture("b.bmp", 30);
        Picture("c.bmp", 40);
        TMDIChild* doc = StartWith("a.bmp");
        ASSERT_NE(doc, nullptr);
        ASSERT_TRUE(AheadReady(doc, "b.bmp"));
        ASSERT_TRUE(AheadReady(doc, "c.bmp"));
        const int finished = NeighbourCache::FinishedDecodes();
        Right();
        // Around b.bmp: c.bmp as it was decoded before the step, and a.bmp decoded anew.
        ASSERT_TRUE(AheadReady(doc, "a.bmp"));
        ASSERT_TRUE(AheadReady(doc, "c.bmp"));
        EXPECT_EQ(NeighbourCache::FinishedDecodes() - finished, 1);
        Right();
        EXPECT_EQ(doc->Picture().Width(), 40);
        EXPECT_EQ(Stepper(doc).StepsFromAhead(), 2);
    }

    TEST_F(FolderSteppingTest, WithAFolderOfOnePictureNothingIsDecodedAhead)
    {
        Picture("a.bmp", 20);
        TMDIChild* doc = StartWith("a.bmp");
        ASSERT_NE(doc, nullptr);
        EXPECT_TRUE(Stepper(doc).Ahead().Files().empty());
        // It steps to itself, as the browser's single thumbnail does.
        Right();
        EXPECT_EQ(Name(doc), QStringLiteral("a.bmp"));
        EXPECT_EQ(doc->Picture().Width(), 20);
    }

    TEST_F(FolderSteppingTest, ClosingTheDocumentWhileItsNeighboursDecodeIsSafe)
    {
        Picture("a.bmp", 20);
        // Large enough that their decode is still running when the document closes.
        const platform::TBitmap big = Pattern(3000, 2000);
        const std::vector<uint8_t> jpeg = codecs::EncodeJpeg(big, 90);
        for (const char* name : { "b.jpg", "c.jpg" })
            std::ofstream(Folder() / name, std::ios::binary)
                .write(reinterpret_cast<const char*>(jpeg.data()), std::streamsize(jpeg.size()));
        for (int round = 0; round < 3; ++round) {
            TMDIChild* doc = round == 0 ? StartWith("a.bmp")
                                        : dynamic_cast<TMDIChild*>(m_form->OpenFile(
                                            Q(Folder() / "a.bmp"), 3));
            ASSERT_NE(doc, nullptr);
            ASSERT_TRUE(WaitUntil([doc] { return Stepper(doc).Ahead().Files().size() == 2; }));
            ASSERT_TRUE(doc->close());
            EXPECT_TRUE(WaitUntil([this] { return m_form->Children().isEmpty(); }));
        }
        // The abandoned decodes end by themselves, touching nothing of the documents.
        EXPECT_TRUE(WaitUntil([] { return NeighbourCache::RunningDecodes() == 0; }));
        EXPECT_TRUE(m_form->isVisible());
    }

    TEST_F(FolderSteppingTest, TheSlideShowStepsADirectlyOpenedPicture)
    {
        Picture("a.bmp", 20);
        Picture("b.bmp", 30);
        Picture("c.bmp", 40);
        TMDIChild* doc = StartWith("a.bmp");
        ASSERT_NE(doc, nullptr);
        m_form->Timer1()->setInterval(30);
        m_form->Item("playBtn")->trigger();
        ASSERT_TRUE(m_form->Item("playBtn")->isChecked());
        EXPECT_TRUE(WaitUntil([&] { return Name(doc) == QStringLiteral("c.bmp"); }));
        m_form->Item("playBtn")->trigger();
        EXPECT_EQ(doc->Picture().Width(), 40);
        EXPECT_GE(Stepper(doc).StepsFromAhead(), 1);
    }

    TEST_F(FolderSteppingTest, PicturesFromTheBrowserAndNewPicturesKeepTheirStepping)
    {
        // A picture made in the program has no folder to step through.
        MakeForm();
        m_form->Item("FileNewItem")->trigger();
        ASSERT_NE(Active(), nullptr);
        EXPECT_FALSE(StepsEnabled());
        EXPECT_EQ(Active()->FolderSteps(), nullptr);
        // One the browser opened steps through the browser (its own tests cover that), even
        // after it closed: the buttons go grey as they always did.
        m_form->steppingFlag = true;
        Picture("a.bmp", 20);
        auto* listed = dynamic_cast<TMDIChild*>(m_form->OpenFile(Q(Folder() / "a.bmp"), 3));
        ASSERT_NE(listed, nullptr);
        EXPECT_TRUE(StepsEnabled());
        EXPECT_EQ(listed->FolderSteps(), nullptr);
        QTest::qWait(50);
        EXPECT_TRUE(Stepper(listed).Ahead().Files().empty());
        m_form->MdiArea()->activateNextSubWindow();
        m_form->MdiArea()->setActiveSubWindow(listed);
        EXPECT_FALSE(StepsEnabled());
    }

    // ---- zoom from the keyboard and the wheel ----

    class ZoomKeysTest : public CommandTest {
    protected:
        QScrollArea* Scroll(TMDIChild& doc) { return doc.findChild<QScrollArea*>("ScrollArea"); }
        void Wheel(TMDIChild& doc, int delta, Qt::KeyboardModifiers modifiers)
        {
            QWidget* viewport = Scroll(doc)->viewport();
            QWheelEvent wheel(QPointF(5, 5), viewport->mapToGlobal(QPointF(5, 5)), QPoint(),
                QPoint(0, delta), Qt::NoButton, modifiers, Qt::NoScrollPhase, false);
            // Where the picture's wheel ends: it leaves the wheel to the area around it.
            QCoreApplication::sendEvent(viewport, &wheel);
        }
        // The zoom the user sees: the zoom box, the checked zoom item and the picture's size.
        void ExpectZoom(TMDIChild& doc, int zoom, const platform::TBitmap& original)
        {
            EXPECT_EQ(m_form->RateBox()->currentIndex(), zoom);
            EXPECT_EQ(doc.ZoomIndex, zoom);
            static const char* const items[]
                = { "S25", "S50", "S75", "S100", "S150", "S200", "S400", "S800" };
            EXPECT_TRUE(doc.Item(QString::fromUtf8(items[zoom]))->isChecked());
            EXPECT_EQ(doc.Image1()->width(), ZoomedLength(original.Width(), zoom));
            ExpectUntouched(doc, original);
        }
    };

    TEST_F(ZoomKeysTest, FittingZoomIsTheLargestStepThatFits)
    {
        EXPECT_EQ(FittingZoom(100, 100, QSize(800, 800)), 7);
        EXPECT_EQ(FittingZoom(100, 100, QSize(799, 800)), 6);
        EXPECT_EQ(FittingZoom(100, 50, QSize(150, 74)), 3); // 150 % would need 75 rows
        EXPECT_EQ(FittingZoom(101, 101, QSize(75, 75)), 2); // 75 % of 101 is 75
        EXPECT_EQ(FittingZoom(3000, 3000, QSize(100, 100)), 0); // nothing fits: the smallest
        EXPECT_EQ(FittingZoom(3, 3, QSize(0, 0)), 0);
    }

    TEST_F(ZoomKeysTest, CtrlWheelPlusAndMinusStepTheZoomAndLeaveThePictureAlone)
    {
        const platform::TBitmap original = Pattern(40, 30);
        TMDIChild& doc = Document(original);
        ExpectZoom(doc, 3, original);

        Wheel(doc, 120, Qt::ControlModifier);
        ExpectZoom(doc, 4, original);
        Wheel(doc, -240, Qt::ControlModifier);
        ExpectZoom(doc, 2, original);
        // A fine wheel: half notches add up.
        Wheel(doc, 60, Qt::ControlModifier);
        ExpectZoom(doc, 2, original);
        Wheel(doc, 60, Qt::ControlModifier);
        ExpectZoom(doc, 3, original);
        // Without Ctrl the wheel zooms nothing.
        Wheel(doc, 120, Qt::NoModifier);
        ExpectZoom(doc, 3, original);

        // Keys pressed on the picture reach the window; the keypad's too.
        QTest::keyClick(doc.Image1(), Qt::Key_Plus);
        ExpectZoom(doc, 4, original);
        QTest::keyClick(doc.Image1(), Qt::Key_Plus, Qt::KeypadModifier);
        ExpectZoom(doc, 5, original);
        for (int i = 0; i < 4; ++i)
            QTest::keyClick(doc.Image1(), Qt::Key_Plus);
        ExpectZoom(doc, 7, original);
        for (int i = 0; i < 9; ++i)
            QTest::keyClick(doc.Image1(), Qt::Key_Minus, i % 2 ? Qt::KeypadModifier : Qt::NoModifier);
        ExpectZoom(doc, 0, original);
        Wheel(doc, -120, Qt::ControlModifier);
        ExpectZoom(doc, 0, original);

        // The zoom box's own choice is the same path, seen the other way round.
        m_form->RateBox()->setCurrentIndex(5);
        m_form->RateBoxChange();
        QTest::keyClick(doc.Image1(), Qt::Key_Minus);
        ExpectZoom(doc, 4, original);
    }

    TEST_F(ZoomKeysTest, FitShowsTheWholePictureInTheWindow)
    {
        const platform::TBitmap original = Pattern(300, 200);
        TMDIChild& doc = Document(original);
        QAction* fit = doc.Item("SFit");
        ASSERT_NE(fit, nullptr);
        EXPECT_EQ(fit->text(), QString::fromUtf8("ウインドウに合わせる(&W)"));
        EXPECT_FALSE(fit->statusTip().isEmpty());
        EXPECT_EQ(fit->shortcut(), QKeySequence(Qt::Key_Asterisk));

        // Maximised in a frame of 1000 x 800: 200 % (600 x 400) fits, 400 % is too wide.
        doc.showMaximized();
        QCoreApplication::processEvents();
        fit->trigger();
        ExpectZoom(doc, 5, original);
        EXPECT_TRUE(doc.isMaximized());

        // A window of its own size fits what its client area holds: 150 x 100 at 50 %.
        doc.showNormal();
        QCoreApplication::processEvents();
        doc.resize(doc.size() - Scroll(doc)->size() + QSize(200, 140));
        QCoreApplication::processEvents();
        fit->trigger();
        QCoreApplication::processEvents();
        ExpectZoom(doc, 1, original);
        // The window took the picture's size; fitting again changes nothing.
        EXPECT_EQ(Scroll(doc)->size(), QSize(150, 100));
        fit->trigger();
        QCoreApplication::processEvents();
        ExpectZoom(doc, 1, original);

        // The key, through the frame's menu bar, as the user presses it.
        m_form->activateWindow();
        QApplication::setActiveWindow(m_form.get());
        doc.SetZoom(0);
        doc.resize(doc.size() - Scroll(doc)->size() + QSize(700, 500));
        QCoreApplication::processEvents();
        QTest::keyClick(doc.Image1(), Qt::Key_Asterisk);
        ExpectZoom(doc, 5, original);
    }

    TEST_F(ZoomKeysTest, AWindowBeyondTheFrameFitsWhatTheFrameShows)
    {
        const platform::TBitmap original = Pattern(2000, 1500);
        TMDIChild& doc = Document(original);
        QCoreApplication::processEvents();
        ASSERT_GT(Scroll(doc)->width(), m_form->MdiArea()->viewport()->width());
        doc.Item("SFit")->trigger();
        // 50 % would be 1000 wide: more than the frame's client area leaves the window.
        ExpectZoom(doc, 0, original);
        EXPECT_LE(doc.width(), m_form->MdiArea()->viewport()->width());
    }

} // namespace
} // namespace vtl::document::ui
