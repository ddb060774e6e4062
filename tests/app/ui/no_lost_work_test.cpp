// Nothing the user changed is lost: the frame's close asks about every changed document, a save
// that is cancelled or fails keeps the document open and as it was, and an error inside any
// handler that loads, saves or changes a picture ends in the error box with the program running.
#include "app/ui/main_form.h"
#include "document/ui/image_view.h"
#include "input/picture_loader.h"
#include "platform/atomic_file.h"
#include "platform/mapped_block.h"
#include "support/document_fixture.h"

#include <QCoreApplication>
#include <QMdiArea>
#include <QMessageBox>
#include <QMimeData>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <cstring>

using vtl::platform::TBitmap;
using vtl::platform::TPixelFormat;
using vtl::platform::qt::MsgIcon;
using vtl::platform::qt::MsgResult;
using vtl::testing::CommandTest;
using vtl::testing::Pattern;
using vtl::testing::ReadFile;
using vtl::testing::SamePixels;
using vtl::testing::TMDIChild;

namespace {

QString U(const char* s) { return QString::fromUtf8(s); }

class NoLostWorkTest : public CommandTest {
protected:
    void SetUp() override
    {
        CommandTest::SetUp();
        MakeForm();
    }
    void TearDown() override
    {
        vtl::platform::FailNextWritesForTesting(0);
        vtl::input::FailNextLoadsForTesting(0);
        vtl::platform::MappedBlock::FailNextMappingsForTesting(0);
        CommandTest::TearDown();
    }
    QString Path(const std::string& name) const
    {
        return QString::fromStdString((m_dir / name).string());
    }
    // A picture file opened through the loading pipeline, as the open dialog opens it.
    TMDIChild* Open(const std::string& name, int width)
    {
        Pattern(width, 10).SaveToFile(m_dir / name);
        return dynamic_cast<TMDIChild*>(m_form->OpenFile(Path(name), 3));
    }
    // 編集 → 色反転 on the document.
    void Change(TMDIChild* doc)
    {
        m_form->MdiArea()->setActiveSubWindow(doc);
        doc->Item("Cxor1")->trigger();
        ASSERT_TRUE(doc->Modified());
    }
    TMDIChild* Active() const
    {
        return dynamic_cast<TMDIChild*>(m_form->MdiArea()->activeSubWindow());
    }
    // ファイル → 終了 from the menu bar of the active document.
    void Exit()
    {
        Active()->Item("FileExitItem")->trigger();
        QCoreApplication::processEvents();
    }
    vtl::testing::ScriptedDialogs& Dialogs() { return *m_guard.dialogs; }
    std::vector<QString> Questions() const
    {
        std::vector<QString> texts;
        for (const auto& m : m_guard.dialogs->messages)
            if (m.icon == MsgIcon::Warning)
                texts.push_back(m.text);
        return texts;
    }
    bool HasError(const QString& part) const
    {
        for (const auto& m : m_guard.dialogs->messages)
            if (m.icon == MsgIcon::Error && m.title == "vtl" && m.text.contains(part))
                return true;
        return false;
    }
    // What the user sees of a document: its name, caption, the frame's caption, its changes and
    // what undo would bring back.
    struct Seen {
        QString fileName, caption, frameCaption;
        int modified;
        TBitmap picture, undo;
    };
    Seen Look(TMDIChild* doc) const
    {
        return { doc->FileName(), doc->windowTitle(), m_form->windowTitle(), doc->ModifiedCount(),
            doc->Picture(), doc->UndoPicture() };
    }
    void ExpectUnchanged(TMDIChild* doc, const Seen& before) const
    {
        EXPECT_EQ(doc->FileName(), before.fileName);
        EXPECT_EQ(doc->windowTitle(), before.caption);
        EXPECT_EQ(m_form->windowTitle(), before.frameCaption);
        EXPECT_EQ(doc->ModifiedCount(), before.modified);
        EXPECT_TRUE(SamePixels(doc->Picture(), before.picture));
        EXPECT_TRUE(SamePixels(doc->UndoPicture(), before.undo));
    }
    bool RegistryWritten() const
    {
        return std::filesystem::exists(m_dir / "HKEY_CURRENT_USER.reg");
    }
};

TEST_F(NoLostWorkTest, ExitAsksAboutEachChangedDocumentAndStaysWhenOneIsKept)
{
    TMDIChild* a = Open("a.bmp", 12);
    TMDIChild* b = Open("b.bmp", 14);
    TMDIChild* c = Open("c.bmp", 16);
    const std::string cBytes = ReadFile(m_dir / "c.bmp");
    const TBitmap aOriginal = a->Picture();
    Change(a);
    Change(c);
    const TBitmap aChanged = a->Picture();

    // Yes, then the save dialog cancelled: the program stays, the document keeps its changes,
    // and nothing is written to the settings.
    Dialogs().messageAnswers = { MsgResult::Yes };
    Dialogs().saveAnswers = { std::nullopt };
    Exit();
    EXPECT_TRUE(m_form->isVisible());
    EXPECT_EQ(Questions(), std::vector<QString> { U("a.bmp は変更がありますが保存しますか?") });
    EXPECT_EQ(m_form->Children().size(), 3);
    EXPECT_TRUE(a->Modified());
    EXPECT_FALSE(RegistryWritten());

    // Yes, then a folder that does not exist: the error box, and the document as it was.
    Dialogs().messages.clear();
    const Seen before = Look(a);
    Dialogs().messageAnswers = { MsgResult::Yes, MsgResult::Ok };
    Dialogs().saveAnswers = { Path("missing/a.bmp") };
    Exit();
    EXPECT_TRUE(m_form->isVisible());
    EXPECT_TRUE(HasError(Path("missing/a.bmp")));
    ExpectUnchanged(a, before);
    EXPECT_FALSE(RegistryWritten());

    // Yes with a good name, then No for the second changed document: both questions in window
    // order, the first saved, the second left on disk as it was, and the frame closes.
    Dialogs().messages.clear();
    Dialogs().messageAnswers = { MsgResult::Yes, MsgResult::No };
    Dialogs().saveAnswers = { Path("saved.bmp") };
    Exit();
    EXPECT_EQ(Questions(),
        (std::vector<QString> { U("a.bmp は変更がありますが保存しますか?"),
            U("c.bmp は変更がありますが保存しますか?") }));
    EXPECT_FALSE(m_form->isVisible());
    EXPECT_TRUE(RegistryWritten());
    TBitmap saved;
    saved.LoadFromFile(m_dir / "saved.bmp");
    EXPECT_TRUE(SamePixels(saved, aChanged));
    EXPECT_FALSE(SamePixels(saved, aOriginal));
    EXPECT_EQ(ReadFile(m_dir / "c.bmp"), cBytes);
    (void)b;
}

TEST_F(NoLostWorkTest, ClosingFromTheWindowManagerAsksToo)
{
    TMDIChild* doc = Open("a.bmp", 8);
    Change(doc);
    Dialogs().messageAnswers = { MsgResult::Yes };
    Dialogs().saveAnswers = { std::nullopt };
    EXPECT_FALSE(m_form->close());
    EXPECT_TRUE(doc->Modified());
    // The answer No closes the document without saving, and the frame with it.
    Dialogs().messageAnswers = { MsgResult::No };
    EXPECT_TRUE(m_form->close());
    EXPECT_EQ(Questions().size(), 2u);
}

TEST_F(NoLostWorkTest, ASaveThatFailsOrIsRefusedChangesNothing)
{
    TMDIChild* doc = Open("a.bmp", 8);
    Change(doc); // something to undo, one change
    const Seen before = Look(doc);
    struct Case {
        const char* what;
        std::function<void()> arm;
        QString name;
        int filterIndex;
        QString error;
    };
    const std::string longName = std::string(300, 'n') + ".bmp";
    const Case cases[] = {
        { "full disk", [] { vtl::platform::FailNextWritesForTesting(1); }, Path("full.bmp"), 1,
            QString::fromStdString(std::strerror(ENOSPC)) },
        { "missing folder", [] {}, Path("nowhere/x.png"), 4, Path("nowhere/x.png") },
        { "name too long", [] {}, Path(longName), 1,
            QString::fromStdString(std::strerror(ENAMETOOLONG)) },
        { "RLE of a 24-bit picture", [] {}, Path("rle.bmp"), 2,
            U("16色または256色のみ圧縮できます。") },
        { "a folder of that name",
            [this] { std::filesystem::create_directory(m_dir / "folder.bmp"); }, Path("folder.bmp"),
            1, QString::fromStdString(std::strerror(EISDIR)) },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Dialogs().messages.clear();
        Dialogs().saveAnswers = { c.name };
        Dialogs().saveFilterIndexes = { c.filterIndex };
        Dialogs().messageAnswers = { MsgResult::Ok };
        c.arm();
        doc->Item("FileSaveAsItem")->trigger();
        ASSERT_EQ(Dialogs().messages.size(), 1u);
        EXPECT_EQ(Dialogs().messages[0].icon, MsgIcon::Error);
        EXPECT_TRUE(Dialogs().messages[0].text.contains(c.error))
            << Dialogs().messages[0].text.toStdString();
        ExpectUnchanged(doc, before);
        std::error_code ec;
        EXPECT_FALSE(std::filesystem::is_regular_file(c.name.toStdString(), ec));
    }
    // No temporary file is left beside the pictures.
    for (const auto& entry : std::filesystem::directory_iterator(m_dir.Path()))
        EXPECT_NE(entry.path().filename().string().rfind(".vtl-", 0), 0u) << entry.path();
}

TEST_F(NoLostWorkTest, ANameNearTheLengthLimitSaves)
{
    TMDIChild* doc = Open("a.bmp", 8);
    Change(doc);
    const std::string name = std::string(250, 'p') + ".bmp"; // 254 bytes: the system allows 255
    Dialogs().saveAnswers = { Path(name) };
    doc->Item("FileSaveAsItem")->trigger();
    EXPECT_TRUE(std::filesystem::exists(m_dir / name));
    EXPECT_EQ(doc->FileName(), Path(name));
    EXPECT_EQ(doc->windowTitle(), QString::fromStdString(name));
    EXPECT_EQ(m_form->windowTitle(), Path(name) + " - Vistrel");
    EXPECT_FALSE(doc->Modified());
}

TEST_F(NoLostWorkTest, AJpegWrittenButNotReadBackIsStillSaved)
{
    TMDIChild* doc = Open("a.bmp", 8);
    Change(doc);
    const TBitmap changed = doc->Picture();
    Dialogs().saveAnswers = { Path("photo.jpg") };
    Dialogs().saveFilterIndexes = { 3 };
    Dialogs().dialogAnswers = { [](QDialog&) { return int(QDialog::Accepted); } };
    Dialogs().messageAnswers = { MsgResult::Ok };
    // The encoder works from the picture itself; the decoder's first block is refused.
    vtl::platform::MappedBlock::FailNextMappingsForTesting(1);
    doc->Item("FileSaveAsItem")->trigger();
    ASSERT_TRUE(std::filesystem::exists(m_dir / "photo.jpg"));
    EXPECT_EQ(Dialogs().messages.size(), 1u);
    EXPECT_EQ(doc->FileName(), Path("photo.jpg"));
    EXPECT_FALSE(doc->Modified());
    EXPECT_TRUE(SamePixels(doc->Picture(), changed));
}

TEST_F(NoLostWorkTest, ClosingOneDocumentKeepsItWhenItsSaveFails)
{
    TMDIChild* doc = Open("a.bmp", 8);
    Change(doc);
    const Seen before = Look(doc);
    vtl::platform::FailNextWritesForTesting(1);
    Dialogs().messageAnswers = { MsgResult::Yes, MsgResult::Ok };
    Dialogs().saveAnswers = { Path("b.bmp") };
    doc->Item("FileCloseItem")->trigger();
    QCoreApplication::processEvents();
    ASSERT_EQ(m_form->Children().size(), 1);
    EXPECT_TRUE(HasError(QString::fromStdString(std::strerror(ENOSPC))));
    ExpectUnchanged(doc, before);

    // すべて閉じる stops at the document that stays; the clean one after it is closed first.
    TMDIChild* clean = Open("c.bmp", 8);
    Dialogs().messages.clear();
    vtl::platform::FailNextWritesForTesting(1);
    Dialogs().messageAnswers = { MsgResult::Yes, MsgResult::Ok };
    Dialogs().saveAnswers = { Path("b.bmp") };
    clean->Item("Z1")->trigger();
    QCoreApplication::processEvents();
    EXPECT_EQ(m_form->Children(), QList<QMdiSubWindow*> { doc });
    EXPECT_TRUE(doc->Modified());
    EXPECT_EQ(Dialogs().messages.size(), 2u);
}

TEST_F(NoLostWorkTest, SettingFilesAreWrittenWholeUnderAnyValidName)
{
    Open("a.bmp", 8);
    const std::string name = std::string(250, 's') + ".vtl";
    Dialogs().saveAnswers = { Path(name) };
    Active()->Item("SetSave")->trigger();
    const std::string written = ReadFile(m_dir / name);
    EXPECT_EQ(written.rfind("%vtl%", 0), 0u) << written;

    // A failed write keeps the previous file whole and says so.
    vtl::platform::FailNextWritesForTesting(1);
    Dialogs().saveAnswers = { Path(name) };
    Dialogs().messageAnswers = { MsgResult::Ok };
    Active()->Item("SetSave")->trigger();
    EXPECT_TRUE(HasError(U(" に書き込めません。")));
    EXPECT_EQ(ReadFile(m_dir / name), written);
}

TEST_F(NoLostWorkTest, PickedPaletteIsSavedWithItsOwnColours)
{
    // Sixteen colours whose red and blue differ, copied and pasted so that パレット作成 is offered.
    TBitmap picture(16, 2, TPixelFormat::pf8bit);
    std::vector<vtl::platform::PaletteEntry> palette(256);
    for (int i = 0; i < 16; ++i)
        palette[size_t(i)] = { uint8_t(200 + i), uint8_t(i * 9), uint8_t(3 + i), 0 };
    picture.SetPalette(palette);
    for (int i = 0; i < 16; ++i)
        picture.SetRawPixel(i, 1, uint32_t(15 - i));
    TMDIChild& doc = Document(picture);
    doc.Item("Copy1")->trigger();
    doc.Item("Paste1")->trigger();
    ASSERT_TRUE(doc.Item("SelPalItem")->isEnabled());
    doc.Item("SelPalItem")->trigger();
    for (int x = 0; x < 16; ++x)
        QTest::mouseClick(doc.Image1(), Qt::LeftButton, {}, QPoint(x, 1));
    EXPECT_EQ(m_form->StatusText(), U(" パレット 16/16 選択"));
    Dialogs().saveAnswers = { Path("picked.pal") };
    QCoreApplication::processEvents(); // the frame's private message
    const std::string file = ReadFile(m_dir / "picked.pal");
    ASSERT_EQ(file.size(), 24u + 16 * 4);
    for (int i = 0; i < 16; ++i) {
        const auto& expected = palette[size_t(15 - i)];
        const std::string entry = file.substr(24 + 4 * size_t(i), 4);
        EXPECT_EQ(entry,
            std::string(
                { char(expected.peRed), char(expected.peGreen), char(expected.peBlue), '\0' }))
            << "entry " << i;
    }
}

// Each handler that loads, saves or changes a picture, driven once with a fault: the error box,
// and the program goes on.
TEST_F(NoLostWorkTest, FaultsInEveryHandlerEndInTheErrorBox)
{
    TMDIChild* doc = Open("a.bmp", 8);
    Pattern(5, 5).SaveToFile(m_dir / "dropped.bmp");
    auto expectError = [this](const char* what, const QString& part) {
        SCOPED_TRACE(what);
        QCoreApplication::processEvents();
        EXPECT_TRUE(HasError(part))
            << (Dialogs().messages.empty() ? std::string("no message")
                                           : Dialogs().messages.back().text.toStdString());
        EXPECT_TRUE(m_form->isVisible());
        Dialogs().messages.clear();
    };

    // A file dropped on the frame that can't be read.
    vtl::input::FailNextLoadsForTesting(1);
    Dialogs().messageAnswers = { MsgResult::Ok };
    QMimeData mime;
    mime.setUrls({ QUrl::fromLocalFile(Path("dropped.bmp")) });
    QDropEvent drop(QPointF(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, {});
    // Straight to the frame's handler: outside a real drag the application hands drops to nobody.
    static_cast<QObject*>(m_form.get())->event(&drop);
    expectError("drop", Path("dropped.bmp"));

    // A command that runs out of memory: the picture as it was.
    m_form->MdiArea()->setActiveSubWindow(doc);
    const TBitmap before = doc->Picture();
    vtl::platform::MappedBlock::FailNextMappingsForTesting(1);
    Dialogs().messageAnswers = { MsgResult::Ok };
    doc->Item("Gray1")->trigger();
    expectError("filter", QString());
    EXPECT_TRUE(SamePixels(doc->Picture(), before));
    EXPECT_FALSE(doc->Modified());

    // The zoomed picture for 表示サイズコピー can't be made: the zoom as it was.
    doc->Item("S800")->trigger();
    vtl::platform::MappedBlock::FailNextMappingsForTesting(1);
    Dialogs().messageAnswers = { MsgResult::Ok };
    doc->Item("SCopyItem")->trigger();
    expectError("display-size copy", QString());
    EXPECT_EQ(doc->ZoomIndex, 7);

    // The wallpaper file can't be written.
    vtl::platform::FailNextWritesForTesting(1);
    Dialogs().messageAnswers = { MsgResult::Ok };
    doc->Item("Wall1")->trigger();
    expectError("wallpaper", QString::fromStdString(std::strerror(ENOSPC)));

    // Printing: the page's copy of the picture can't be made.
    Dialogs().dialogAnswers = { [](QDialog& d) {
        dynamic_cast<QPrintDialog&>(d).printer()->setOutputFormat(QPrinter::PdfFormat);
        return int(QDialog::Accepted);
    } };
    vtl::platform::MappedBlock::FailNextMappingsForTesting(1);
    Dialogs().messageAnswers = { MsgResult::Ok };
    doc->Item("PrintItem")->trigger();
    expectError("print", QString());

    // The picked palette's file can't be written.
    m_form->palettePicker.Start(false);
    for (int i = 0; i < 256; ++i)
        m_form->palettePicker.Pick(0);
    vtl::platform::FailNextWritesForTesting(1);
    Dialogs().saveAnswers = { Path("p.pal") };
    Dialogs().messageAnswers = { MsgResult::Ok };
    m_form->RequestPaletteSave(256);
    expectError("palette", QString::fromStdString(std::strerror(ENOSPC)));

    // A setting file named on the command line whose picture can't be read.
    vtl::testing::WriteFile(m_dir / "s.vtl", "%vtl%\r\n3," + (m_dir / "a.bmp").string() + "\r\n");
    vtl::input::FailNextLoadsForTesting(1);
    Dialogs().messageAnswers = { MsgResult::Ok };
    m_form->Item("FileOpenItem")->setEnabled(true);
    m_form->OpenDroppedFiles({ Path("s.vtl") });
    expectError("setting file", Path("a.bmp"));
    EXPECT_TRUE(Dialogs().messageAnswers.empty());
}

TEST_F(NoLostWorkTest, NothingClosesUnderAnOpenDialog)
{
    // The session ends, or a window is closed from outside, while the document asks for its new
    // caption: the dialog's document and the frame stay.
    TMDIChild* doc = Open("a.bmp", 8);
    Change(doc);
    bool frameClosed = true, documentClosed = true;
    Dialogs().dialogAnswers = { [&](QDialog&) {
        frameClosed = m_form->close();
        documentClosed = doc->close();
        return int(QDialog::Rejected);
    } };
    doc->Item("TitleItem")->trigger();
    QCoreApplication::processEvents();
    EXPECT_FALSE(frameClosed);
    EXPECT_FALSE(documentClosed);
    EXPECT_TRUE(m_form->isVisible());
    EXPECT_EQ(m_form->Children(), QList<QMdiSubWindow*> { doc });
    EXPECT_TRUE(doc->Modified());
    EXPECT_TRUE(Questions().empty());
}

TEST_F(NoLostWorkTest, TheQuestionAnswersOnlyYesOrNo)
{
    // The real message box, without the scripted service: Esc leaves it up, the buttons speak
    // the program's language, and いいえ answers.
    auto scripted = vtl::platform::qt::SetDialogs(nullptr);
    bool stayedUp = false;
    QStringList buttons;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        for (QAbstractButton* b : box->buttons())
            buttons << b->text();
        QTest::keyClick(box, Qt::Key_Escape);
        box->close();
        QCoreApplication::processEvents();
        stayedUp = box->isVisible();
        box->button(QMessageBox::No)->click();
    });
    const MsgResult answer = vtl::platform::qt::Dialogs().MessageBox(m_form.get(), "vtl",
        U("a.bmp は変更がありますが保存しますか?"), MsgIcon::Warning,
        vtl::platform::qt::MsgButtons::YesNo);
    vtl::platform::qt::SetDialogs(std::move(scripted));
    EXPECT_TRUE(stayedUp);
    EXPECT_EQ(answer, MsgResult::No);
    buttons.sort();
    EXPECT_EQ(buttons, (QStringList { U("いいえ(&N)"), U("はい(&Y)") }));
}

} // namespace
