#include "app/ui/main_form.h"
#include "document/ui/image_view.h"
#include "document/ui/jrate_dialog.h"
#include "platform/qt/clipboard.h"
#include <QPrintDialog>
#include <QPrinter>
#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>
#include <QValidator>
#include "document/ui/mdi_child.h"
#include "input/ui/loading_pipeline.h"
#include "support/scripted_dialogs.h"
#include "support/temp_dir.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QMdiArea>
#include <QMenuBar>
#include <QTest>
#include <gtest/gtest.h>

using namespace vtl::document::ui;
using vtl::app::ui::TMainForm;
using vtl::platform::TBitmap;
using vtl::platform::TPixelFormat;
using vtl::testing::DialogGuard;
using vtl::testing::TempDir;

namespace {

class DocumentTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        qputenv("VTL_REGISTRY_DIR", QByteArray::fromStdString(m_dir.Path().string()));
        m_form = std::make_unique<TMainForm>(QStringList {});
        m_form->resize(1000, 800);
        m_form->show();
    }
    void TearDown() override
    {
        // Destroyed without closing: documents changed by a test ask nothing.
        m_form.reset();
        qunsetenv("VTL_REGISTRY_DIR");
    }

    TMDIChild* Document(int width, int height, TPixelFormat format = TPixelFormat::pf24bit)
    {
        return Document(TBitmap(width, height, format));
    }
    TMDIChild* Document(TBitmap picture)
    {
        return vtl::input::ui::NewDocument(*m_form, std::move(picture), QStringLiteral("test"),
            QStringLiteral("test"), 3, TMDIChild::Origin::File);
    }

    TempDir m_dir;
    DialogGuard m_guard;
    std::unique_ptr<TMainForm> m_form;
};

QString U(const char* s) { return QString::fromUtf8(s); }

}

TEST(DocumentZoom, TableAndMapping)
{
    const int expected[8] = { 25, 50, 75, 100, 150, 200, 400, 800 };
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(ZoomedLength(100, i), expected[i]);
    EXPECT_EQ(ZoomedLength(3, 0), 0);
    EXPECT_EQ(ZoomedLength(3, 2), 2);
    EXPECT_EQ(ZoomedLength(3, 4), 4);
    EXPECT_EQ(DisplayToPicture(10, 0), 40);
    EXPECT_EQ(DisplayToPicture(10, 2), 13);
    EXPECT_EQ(DisplayToPicture(10, 4), 6);
    EXPECT_EQ(DisplayToPicture(10, 7), 1);
    EXPECT_EQ(PixelFormatName(TPixelFormat::pf1bit), U("白黒"));
    EXPECT_EQ(PixelFormatName(TPixelFormat::pf16bit), U("High Color"));
    EXPECT_EQ(PixelFormatName(TPixelFormat::pf32bit), U("True Color"));
    EXPECT_EQ(PixelFormatName(TPixelFormat::pfDevice), QString());
}

TEST_F(DocumentTest, ZoomingChangesTheDisplayAndChecksOneItem)
{
    TMDIChild* doc = Document(3, 3);
    doc->SetZoom(0);
    EXPECT_EQ(doc->RenderDisplay().Width(), 0);
    EXPECT_EQ(doc->Image1()->size(), QSize(0, 0));

    doc->SetZoom(7);
    EXPECT_EQ(doc->RenderDisplay().Width(), 24);
    EXPECT_EQ(m_form->RateBox()->currentIndex(), 7);
    int checked = 0;
    for (const char* name : { "S25", "S50", "S75", "S100", "S150", "S200", "S400", "S800" })
        checked += doc->Item(U(name))->isChecked();
    EXPECT_EQ(checked, 1);
    EXPECT_TRUE(doc->Item("S800")->isChecked());
    EXPECT_TRUE(doc->Item("SCopyItem")->isEnabled());
    doc->SetZoom(3);
    EXPECT_FALSE(doc->Item("SCopyItem")->isEnabled());
}

TEST_F(DocumentTest, MaximisedZoomKeepsTheWindowBounds)
{
    TMDIChild* doc = Document(40, 30);
    doc->showMaximized();
    QCoreApplication::processEvents();
    const QRect bounds = doc->geometry();
    doc->SetZoom(6);
    EXPECT_EQ(doc->geometry(), bounds);
    EXPECT_EQ(doc->RenderDisplay().Width(), 160);
}

TEST_F(DocumentTest, FormatDependentCommands)
{
    TMDIChild* doc = Document(4, 4, TPixelFormat::pf4bit);
    doc->SetZoom(3);
    EXPECT_FALSE(doc->Item("DC16")->isEnabled());
    EXPECT_TRUE(doc->Item("Mono1")->isEnabled());
    EXPECT_FALSE(doc->Item("Filtter1")->isEnabled());
    TMDIChild* bits8 = Document(4, 4, TPixelFormat::pf8bit);
    bits8->SetZoom(3);
    EXPECT_TRUE(bits8->Item("DC16")->isEnabled());
    EXPECT_FALSE(bits8->Item("DC240")->isVisible()); // shown only with Op/240
    EXPECT_TRUE(bits8->Item("Filtter1")->isEnabled());
    TMDIChild* mono = Document(4, 4, TPixelFormat::pf1bit);
    mono->SetZoom(3);
    EXPECT_FALSE(mono->Item("DC256")->isEnabled());
    EXPECT_FALSE(mono->Item("Mono2")->isEnabled());
    mono->UpdateSizeInfo();
    EXPECT_EQ(mono->Item("Info1")->statusTip(), U("4 x 4 ( 白黒 )"));
}

TEST_F(DocumentTest, ClosingAsksOnlyAboutChanges)
{
    TMDIChild* clean = Document(2, 2);
    clean->close();
    EXPECT_TRUE(m_guard.dialogs->messages.empty());

    TMDIChild* changed = Document(2, 2);
    changed->Item("Cxor1")->trigger();
    m_guard.dialogs->messageAnswers.push_back(vtl::platform::qt::MsgResult::No);
    changed->close();
    ASSERT_EQ(m_guard.dialogs->messages.size(), 1u);
    EXPECT_EQ(m_guard.dialogs->messages[0].text, U("test は変更がありますが保存しますか?"));
    QCoreApplication::processEvents();
    EXPECT_TRUE(m_form->Children().isEmpty());
    // The last window gone: the frame's buttons and caption are reset.
    EXPECT_EQ(m_form->windowTitle(), "Vistrel");
    EXPECT_FALSE(m_form->Item("CopyBtn")->isEnabled());
    EXPECT_FALSE(m_form->RateBox()->isEnabled());
}

TEST_F(DocumentTest, PalettePickStopsAtTheTarget)
{
    TMDIChild* bits8 = Document(20, 20, TPixelFormat::pf8bit);
    bits8->SetZoom(3);
    bits8->SelPalItemClick();
    for (int i = 0; i < 16; ++i)
        QTest::mouseClick(bits8->Image1(), Qt::LeftButton, {}, QPoint(i, 1));
    EXPECT_FALSE(bits8->PalettePick);
    EXPECT_EQ(m_form->palettePicker.Count(), 16);
    EXPECT_EQ(m_form->StatusText(), U(" パレット 16/16 選択"));

    TMDIChild* deep = Document(20, 20);
    deep->SetZoom(3);
    deep->SelPalItemClick();
    for (int i = 0; i < 255; ++i)
        QTest::mouseClick(deep->Image1(), Qt::LeftButton, {}, QPoint(i % 20, i / 20));
    EXPECT_TRUE(deep->PalettePick);
    QTest::mouseClick(deep->Image1(), Qt::LeftButton, {}, QPoint(1, 1));
    EXPECT_FALSE(deep->PalettePick);
    EXPECT_EQ(m_form->StatusText(), U(" パレット 256/256 選択"));
}

TEST_F(DocumentTest, SelectionByDragEnablesRangeCopy)
{
    TMDIChild* doc = Document(50, 40);
    doc->SetZoom(3);
    QTest::mousePress(doc->Image1(), Qt::LeftButton, {}, QPoint(30, 25));
    QMouseEvent move(QEvent::MouseMove, QPointF(10, 5), QPointF(10, 5), Qt::NoButton, Qt::LeftButton, {});
    QApplication::sendEvent(doc->Image1(), &move);
    EXPECT_EQ(m_form->StatusText(), " Rect (30:25) - (10:5)");
    QTest::mouseRelease(doc->Image1(), Qt::LeftButton, {}, QPoint(10, 5));
    EXPECT_EQ(doc->Selection, (vtl::platform::TRect { 10, 5, 30, 25 }));
    EXPECT_TRUE(doc->Item("RCopyItem")->isEnabled());
    EXPECT_TRUE(m_form->Item("RCopyBtn")->isEnabled());
    // A click without a drag selects nothing.
    QTest::mouseClick(doc->Image1(), Qt::LeftButton, {}, QPoint(3, 3));
    EXPECT_FALSE(doc->Item("RCopyItem")->isEnabled());
}

TEST_F(DocumentTest, ArrowKeysNeedTheSlideShowButton)
{
    TMDIChild* doc = Document(5, 5);
    EXPECT_FALSE(m_form->Item("playBtn")->isEnabled());
    QKeyEvent left(QEvent::KeyRelease, Qt::Key_Left, {});
    QApplication::sendEvent(doc, &left); // nothing happens, and nothing crashes
    m_form->Item("playBtn")->setEnabled(true);
    m_form->Item("playBtn")->setChecked(true);
    QKeyEvent escape(QEvent::KeyRelease, Qt::Key_Escape, {});
    QApplication::sendEvent(doc, &escape);
    EXPECT_FALSE(m_form->Item("playBtn")->isChecked());
}

TEST_F(DocumentTest, ActiveDocumentMenusReplaceTheFrames)
{
    TMDIChild* doc = Document(5, 5);
    m_form->MdiArea()->setActiveSubWindow(doc);
    QStringList menus;
    for (QAction* a : m_form->menuBar()->actions())
        menus << a->objectName();
    EXPECT_EQ(menus, (QStringList { "File1", "Edit1", "Insert1", "Show1", "Filtter1", "Window1", "Help1" }));
    EXPECT_EQ(m_form->windowTitle(), U("test - Vistrel"));
}

TEST_F(DocumentTest, OpeningAMissingNameGivesAnEmptyDocument)
{
    auto* window = m_form->OpenFile(QStringLiteral("/no/such/folder/missing.bmp"), 3);
    auto* doc = dynamic_cast<TMDIChild*>(window);
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(doc->windowTitle(), "missing.bmp");
    EXPECT_EQ(doc->FileName(), "/no/such/folder/missing.bmp");
    EXPECT_TRUE(doc->Picture().Empty());
    m_form->FileNewItemClick();
    EXPECT_EQ(m_form->Children().last()->windowTitle(), U("無題2"));
}

TEST_F(DocumentTest, PickedColoursAreSavedAndAWrongPaletteIsRefused)
{
    TMDIChild* doc = Document(20, 20, TPixelFormat::pf8bit);
    doc->SetZoom(3);
    doc->SelPalItemClick();
    const QString file = QString::fromStdString((m_dir / "picked.pal").string());
    m_guard.dialogs->saveAnswers.push_back(file);
    for (int i = 0; i < 16; ++i)
        QTest::mouseClick(doc->Image1(), Qt::LeftButton, {}, QPoint(i, 0));
    QCoreApplication::processEvents(); // the frame answers the posted request
    ASSERT_EQ(m_guard.dialogs->fileDialogs.size(), 1u);
    EXPECT_EQ(m_guard.dialogs->fileDialogs[0].title, U("パレットの保存"));
    EXPECT_EQ(std::filesystem::file_size(m_dir / "picked.pal"), 24u + 16 * 4);

    // Offered where 256 are wanted, the 16-entry file is refused with the program's message.
    m_guard.dialogs->openAnswers.push_back(QStringList { file });
    m_guard.dialogs->messageAnswers.push_back(vtl::platform::qt::MsgResult::Ok);
    EXPECT_FALSE(m_form->LoadPalette(256));
    ASSERT_EQ(m_guard.dialogs->messages.size(), 1u);
    EXPECT_EQ(m_guard.dialogs->messages[0].text, U("パレットがおかしいまたは数が合いません。"));
    EXPECT_EQ(m_guard.dialogs->messages[0].title, "vtl");
    m_guard.dialogs->openAnswers.push_back(QStringList { file });
    auto entries = m_form->LoadPalette(16);
    ASSERT_TRUE(entries);
    EXPECT_EQ(entries->size(), 16u);
}

TEST_F(DocumentTest, SaveAsByFilterIndex)
{
    TMDIChild* doc = Document(8, 6);
    doc->ShowPicture(doc->Picture(), QString::fromStdString((m_dir / "pic.bmp").string()),
        QStringLiteral("pic.bmp"), 3);
    doc->Item("Cxor1")->trigger();
    // PNG: the name gets ".png", the caption follows, the changes count as saved.
    m_guard.dialogs->saveAnswers.push_back(QString::fromStdString((m_dir / "out.bmp").string()));
    m_guard.dialogs->saveFilterIndexes.push_back(4);
    doc->FileSaveAsItemClick();
    EXPECT_TRUE(std::filesystem::exists(m_dir / "out.png"));
    EXPECT_EQ(doc->windowTitle(), "out.png");
    EXPECT_EQ(doc->ModifiedCount(), 0);
    EXPECT_EQ(m_guard.dialogs->fileDialogs.back().fileName, "pic");

    // RLE needs 16 or 256 colours: refused, nothing written, still modified.
    doc->Item("Cxor1")->trigger();
    m_guard.dialogs->saveAnswers.push_back(QString::fromStdString((m_dir / "rle.bmp").string()));
    m_guard.dialogs->saveFilterIndexes.push_back(2);
    m_guard.dialogs->messageAnswers.push_back(vtl::platform::qt::MsgResult::Ok);
    doc->FileSaveAsItemClick();
    EXPECT_EQ(m_guard.dialogs->messages.back().text, U("16色または256色のみ圧縮できます。"));
    EXPECT_FALSE(std::filesystem::exists(m_dir / "rle.bmp"));
    EXPECT_EQ(doc->ModifiedCount(), 1);

    // JPEG: the quality dialog's answer is stored; the document shows the decoded file.
    m_guard.dialogs->saveAnswers.push_back(QString::fromStdString((m_dir / "photo.JPEG").string()));
    m_guard.dialogs->saveFilterIndexes.push_back(3);
    m_guard.dialogs->dialogAnswers.push_back([](QDialog& d) {
        auto& rate = dynamic_cast<TJRateDlg&>(d);
        EXPECT_EQ(rate.Position(), 90);
        rate.SetPosition(55);
        return int(QDialog::Accepted);
    });
    doc->FileSaveAsItemClick();
    EXPECT_TRUE(std::filesystem::exists(m_dir / "photo.JPEG"));
    EXPECT_EQ(m_form->AppSettings().jpg, 55);
    EXPECT_FALSE(doc->UndoPicture().Empty());
    EXPECT_EQ(doc->Picture().Width(), 8);
    EXPECT_EQ(doc->ModifiedCount(), 0);
}

TEST(JpegQualityDialog, InputIsClampedOnLeaving)
{
    TJRateDlg dialog;
    EXPECT_EQ(dialog.windowTitle(), QString::fromUtf8("品質"));
    EXPECT_EQ(dialog.Position(), 30);
    for (auto [text, expected] : { std::pair { "0", 1 }, { "250", 100 }, { "", 100 }, { "42", 42 } }) {
        dialog.Edit1()->setText(QString::fromUtf8(text));
        dialog.Edit1Exit();
        EXPECT_EQ(dialog.Position(), expected) << text;
    }
    int pos = 0;
    QString letters("4a");
    EXPECT_EQ(dialog.Edit1()->validator()->validate(letters, pos), QValidator::Invalid);
}

TEST_F(DocumentTest, DecoderChoiceByNameAndPaletteDisplays)
{
    const std::filesystem::path sample = VTL_SOURCE_DIR "/samples/landscape.jpg";
    std::filesystem::copy_file(sample, m_dir / "PHOTO.JPG");
    std::filesystem::copy_file(sample, m_dir / "photo.jpe");
    auto* upper = dynamic_cast<TMDIChild*>(m_form->OpenFile(QString::fromStdString((m_dir / "PHOTO.JPG").string()), 3));
    ASSERT_NE(upper, nullptr);
    EXPECT_EQ(upper->Picture().Width(), 320);
    EXPECT_EQ(upper->Picture().PixelFormat(), TPixelFormat::pf24bit);
    EXPECT_EQ(m_form->windowTitle(), U("PHOTO.JPG - Vistrel"));
    // ".jpe" is no built-in pattern: the plug-ins are asked, and none of ours reads JPEG.
    const auto before = m_form->Children().size();
    EXPECT_EQ(m_form->OpenFile(QString::fromStdString((m_dir / "photo.jpe").string()), 3), nullptr);
    EXPECT_EQ(m_form->Children().size(), before);

    qputenv("VTL_PALETTE_DISPLAY", "1");
    TMainForm paletted({});
    qunsetenv("VTL_PALETTE_DISPLAY");
    auto* reduced = dynamic_cast<TMDIChild*>(paletted.OpenFile(QStringLiteral(VTL_SOURCE_DIR "/samples/landscape.bmp"), 3));
    ASSERT_NE(reduced, nullptr);
    EXPECT_EQ(reduced->Picture().PixelFormat(), TPixelFormat::pf8bit);
    EXPECT_TRUE(reduced->Item("DC16")->isEnabled());
    paletted.MdiArea()->closeAllSubWindows();
}

TEST_F(DocumentTest, DroppedFilesOpenInOrderAndSettingFilesRestore)
{
    const std::filesystem::path sample = VTL_SOURCE_DIR "/samples/landscape.bmp";
    for (const char* name : { "a.bmp", "b.bmp", "c.bmp" })
        std::filesystem::copy_file(sample, m_dir / name);
    auto path = [&](const char* name) { return QString::fromStdString((m_dir / name).string()); };
    m_form->OpenDroppedFiles({ path("a.bmp"), path("missing.bmp"), path("b.bmp"), path("c.bmp") });
    const auto children = m_form->Children();
    ASSERT_EQ(children.size(), 3);
    EXPECT_EQ(children[0]->windowTitle(), "a.bmp");
    EXPECT_EQ(children[2]->windowTitle(), "c.bmp");
    EXPECT_EQ(dynamic_cast<TMDIChild*>(children[1])->ZoomIndex, 3);

    // A setting file whose extension is in capitals restores what it lists.
    vtl::testing::WriteFile(m_dir / "SET.VTL",
        "%vtl%\r\n5," + (m_dir / "b.bmp").string() + ",\"my caption\",10,20,300,200\r\n");
    m_form->OpenDroppedFiles({ path("SET.VTL") });
    auto* restored = dynamic_cast<TMDIChild*>(m_form->Children().last());
    ASSERT_NE(restored, nullptr);
    EXPECT_EQ(restored->windowTitle(), "my caption");
    EXPECT_EQ(restored->ZoomIndex, 5);
    EXPECT_EQ(restored->geometry(), QRect(10, 20, 300, 200));
}

TEST_F(DocumentTest, PasteUndoAndTheSizeTag)
{
    TBitmap sourcePicture(6, 4);
    sourcePicture.SetPixel(1, 1, vtl::platform::Rgb(10, 200, 30));
    TMDIChild* source = Document(sourcePicture);
    source->Copy1Click();
    EXPECT_TRUE(vtl::platform::qt::ClipboardOffersPicture(QGuiApplication::clipboard()->mimeData()));

    // Into an empty document: nothing to undo afterwards.
    TMDIChild* empty = Document(0, 0);
    empty->Paste1Click();
    EXPECT_EQ(empty->Picture().Width(), 6);
    EXPECT_EQ(empty->Picture().Pixel(1, 1), vtl::platform::Rgb(10, 200, 30));
    EXPECT_TRUE(empty->UndoPicture().Empty());
    EXPECT_EQ(empty->ModifiedCount(), 1);

    // Into a picture: undo brings it back and the count returns, so closing asks nothing.
    TMDIChild* target = Document(3, 3);
    target->Paste1Click();
    EXPECT_EQ(target->ModifiedCount(), 1);
    EXPECT_TRUE(target->Item("Undo1")->isEnabled());
    target->Undo1Click();
    EXPECT_EQ(target->Picture().Width(), 3);
    EXPECT_EQ(target->ModifiedCount(), 0);
    EXPECT_FALSE(target->Item("Undo1")->isEnabled());
    target->close();
    EXPECT_TRUE(m_guard.dialogs->messages.empty());

    source->Rename(QStringLiteral("/pictures/a.jpg"), source->windowTitle());
    source->Info1Click();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "<img src=\"a.jpg\" width=6 height=4>");

    // Nothing usable on the clipboard: the buffer's error, and the document is unchanged.
    QGuiApplication::clipboard()->setText("text");
    EXPECT_THROW(source->Paste1Click(), std::exception);
    EXPECT_EQ(source->ModifiedCount(), 0);
}

namespace {
// Pixels of `colour` in column x of the picture.
int CountInColumn(const TBitmap& b, int x, vtl::platform::TColor colour)
{
    int n = 0;
    for (int y = 0; y < b.Height(); ++y)
        n += b.Pixel(x, y) == colour;
    return n;
}
}

TEST_F(DocumentTest, FreeLinesAtTheZoomAndTheirUndo)
{
    TBitmap black(200, 100);
    black.Canvas().Brush.Color = 0;
    black.Canvas().FillRect({ 0, 0, 200, 100 });
    TMDIChild* doc = Document(black);
    doc->SetZoom(1); // 50 %
    m_form->Item("LineBtn")->setEnabled(true);
    m_form->Item("LineBtn")->setChecked(true);
    doc->Item("c15")->trigger(); // 白
    doc->Item("lw10")->trigger();
    const auto white = vtl::platform::Rgb(255, 255, 255);

    QTest::mousePress(doc->Image1(), Qt::LeftButton, {}, QPoint(10, 25));
    QMouseEvent move(QEvent::MouseMove, QPointF(80, 25), QPointF(80, 25), Qt::NoButton, Qt::LeftButton, {});
    QApplication::sendEvent(doc->Image1(), &move);
    QTest::mouseRelease(doc->Image1(), Qt::LeftButton, {}, QPoint(80, 25));
    EXPECT_EQ(doc->ModifiedCount(), 1);
    EXPECT_EQ(m_form->StatusText(), " Point (80:25)");
    // Ten pixels wide in the picture, five on the screen.
    EXPECT_EQ(CountInColumn(doc->Picture(), 80, white), 10);
    EXPECT_EQ(CountInColumn(doc->RenderDisplay(), 40, white), 5);
    const TBitmap afterFirst = doc->Picture();

    doc->Item("c7")->trigger(); // 銀色
    QTest::mousePress(doc->Image1(), Qt::LeftButton, {}, QPoint(30, 5));
    QTest::mouseRelease(doc->Image1(), Qt::LeftButton, {}, QPoint(30, 5));
    EXPECT_EQ(doc->Picture().Pixel(60, 10), vtl::platform::Rgb(192, 192, 192));
    EXPECT_EQ(doc->ModifiedCount(), 2);
    doc->Undo1Click(); // only the second stroke goes
    EXPECT_EQ(doc->Picture().Pixel(60, 10), afterFirst.Pixel(60, 10));
    EXPECT_EQ(doc->Picture().Pixel(100, 50), white);
    EXPECT_EQ(doc->ModifiedCount(), 1);
}

TEST_F(DocumentTest, TextGoesToTheMappedPointOrNowhere)
{
    TMDIChild* doc = Document(200, 200);
    doc->SetZoom(2); // 75 %
    m_form->Item("MojiBtn")->setEnabled(true);
    m_form->Item("MojiBtn")->setChecked(true);
    const TBitmap before = doc->Picture();
    m_guard.dialogs->dialogAnswers.push_back([](QDialog&) { return int(QDialog::Rejected); });
    QTest::mouseClick(doc->Image1(), Qt::LeftButton, {}, QPoint(30, 60));
    EXPECT_TRUE(doc->UndoPicture().Empty());
    EXPECT_EQ(doc->ModifiedCount(), 0);

    m_guard.dialogs->dialogAnswers.push_back([](QDialog& d) {
        EXPECT_EQ(d.windowTitle(), U("文字の入力"));
        d.findChild<QLineEdit*>("edInp")->setText(QStringLiteral("HH"));
        d.accept();
        return int(QDialog::Accepted);
    });
    QTest::mouseClick(doc->Image1(), Qt::LeftButton, {}, QPoint(30, 60));
    EXPECT_EQ(doc->ModifiedCount(), 1);
    EXPECT_FALSE(doc->UndoPicture().Empty());
    // Ink only below and right of picture point (40, 80).
    int above = 0, inside = 0;
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 200; ++x)
            if (doc->Picture().Pixel(x, y) != before.Pixel(x, y))
                ++((x < 40 || y < 80) ? above : inside);
    EXPECT_EQ(above, 0);
    EXPECT_GT(inside, 0);
}

TEST_F(DocumentTest, RotationAndReductionCommandsRunInTheFrame)
{
    TMDIChild* doc = Document(30, 20);
    doc->SetZoom(3);
    doc->Item("L1")->trigger();
    EXPECT_EQ(doc->Picture().Width(), 20);
    EXPECT_EQ(doc->Picture().Height(), 30);
    EXPECT_EQ(doc->ModifiedCount(), 1);
    EXPECT_TRUE(doc->Item("Undo1")->isEnabled());
    EXPECT_EQ(doc->Item("Info1")->statusTip(), U("20 x 30 ( True Color )"));
    doc->Item("Mono1")->trigger();
    EXPECT_EQ(doc->Picture().PixelFormat(), TPixelFormat::pf1bit);
    EXPECT_EQ(doc->ModifiedCount(), 2);
    // The any-angle rotation asks for its angle; cancelling changes nothing.
    m_guard.dialogs->dialogAnswers.push_back([](QDialog& d) {
        EXPECT_EQ(d.windowTitle(), U("回転/角度の入力"));
        return int(QDialog::Rejected);
    });
    doc->Item("N15")->trigger();
    EXPECT_EQ(doc->ModifiedCount(), 2);
}

TEST_F(DocumentTest, TheRangeMovesWithItsShapeAndADoubleClickDropsIt)
{
    TMDIChild* doc = Document(80, 60);
    doc->SetZoom(3);
    QTest::mousePress(doc->Image1(), Qt::LeftButton, {}, QPoint(10, 5));
    QMouseEvent drag(QEvent::MouseMove, QPointF(40, 35), QPointF(40, 35), Qt::NoButton, Qt::LeftButton, {});
    QApplication::sendEvent(doc->Image1(), &drag);
    QTest::mouseRelease(doc->Image1(), Qt::LeftButton, {}, QPoint(40, 35));
    TTrkShape* shape = doc->Shape();
    ASSERT_TRUE(shape->isVisible());
    EXPECT_EQ(shape->geometry(), QRect(10, 5, 30, 30));

    // Drag the body 5 pixels right: the document's range follows when the move ends.
    QTest::mousePress(shape, Qt::LeftButton, {}, QPoint(15, 15));
    QMouseEvent move(QEvent::MouseMove, QPointF(20, 15), QPointF(20, 15), Qt::NoButton, Qt::LeftButton, {});
    QApplication::sendEvent(shape, &move);
    QTest::mouseRelease(shape, Qt::LeftButton, {}, QPoint(20, 15));
    EXPECT_EQ(doc->Selection, (vtl::platform::TRect { 15, 5, 45, 35 }));
    EXPECT_EQ(m_form->StatusText(), " Rect (15:5) - (45:35)");

    QTest::mouseDClick(shape, Qt::LeftButton, {}, QPoint(10, 10));
    QTest::mouseRelease(shape, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_FALSE(shape->isVisible());
    EXPECT_FALSE(doc->Item("RCopyItem")->isEnabled());
}

TEST_F(DocumentTest, ChoosingTheCurrentZoomRefitsWithoutRedrawing)
{
    TMDIChild* doc = Document(40, 30);
    doc->SetZoom(5);
    // A stroke stays on the screen at display scale until the display is redrawn.
    m_form->Item("LineBtn")->setEnabled(true);
    m_form->Item("LineBtn")->setChecked(true);
    doc->Item("c9")->trigger(); // 赤
    doc->Item("lw1")->trigger();
    QTest::mouseClick(doc->Image1(), Qt::LeftButton, {}, QPoint(11, 11));
    m_form->Item("LineBtn")->setChecked(false);
    const auto red = vtl::platform::Rgb(255, 0, 0);
    ASSERT_EQ(doc->RenderDisplay().Pixel(11, 11), red);
    ASSERT_EQ(doc->RenderDisplay().Pixel(15, 15), vtl::platform::Rgb(255, 255, 255));
    doc->Shape()->show();
    doc->resize(300, 300);
    doc->Item("S200")->trigger();
    EXPECT_EQ(doc->RenderDisplay().Pixel(11, 11), red) << "the display was redrawn";
    EXPECT_EQ(doc->RenderDisplay().Pixel(15, 15), vtl::platform::Rgb(255, 255, 255));
    EXPECT_FALSE(doc->Shape()->isVisible());
    EXPECT_EQ(doc->Image1()->size(), QSize(80, 60));
    EXPECT_LT(doc->width(), 300); // fitted to the picture again
    // Another zoom redraws from the picture, where the stroke is one pixel at (5, 5).
    doc->Item("S400")->trigger();
    EXPECT_EQ(doc->RenderDisplay().Pixel(21, 21), red);
    EXPECT_EQ(doc->RenderDisplay().Pixel(24, 21), vtl::platform::Rgb(255, 255, 255));
}

TEST_F(DocumentTest, PrintingToAPdfFile)
{
    if (std::system("command -v pdftoppm >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "pdftoppm (poppler-utils) is not installed";
    // Wider than the page: printed at one dot per pixel from (50, 50).
    TBitmap red(12000, 300);
    red.Canvas().Brush.Color = vtl::platform::Rgb(255, 0, 0);
    red.Canvas().FillRect({ 0, 0, 12000, 300 });
    TMDIChild* doc = Document(red);
    const std::string pdf = (m_dir / "page.pdf").string();
    m_guard.dialogs->dialogAnswers.push_back([pdf](QDialog& d) {
        auto& dialog = dynamic_cast<QPrintDialog&>(d);
        dialog.printer()->setOutputFormat(QPrinter::PdfFormat);
        dialog.printer()->setOutputFileName(QString::fromStdString(pdf));
        return int(QDialog::Accepted);
    });
    doc->PrintItemClick();
    ASSERT_TRUE(std::filesystem::exists(pdf));
    const std::string page = (m_dir / "page").string();
    ASSERT_EQ(std::system(("pdftoppm -r 100 -png -singlefile '" + pdf + "' '" + page + "'").c_str()), 0);
    QImage image(QString::fromStdString(page + ".png"));
    ASSERT_FALSE(image.isNull());
    // 300 dots of 1200 per inch are 25 pixels at 100 per inch; the red band runs to the page's edge.
    int redRows = 0;
    for (int y = 0; y < image.height(); ++y)
        redRows += qRed(image.pixel(image.width() / 2, y)) > 200 && qGreen(image.pixel(image.width() / 2, y)) < 60;
    EXPECT_GE(redRows, 20);
    EXPECT_LE(redRows, 30);
}

TEST(DocumentMenuForwarding, FrameCommandsRunFromTheDocumentsMenus)
{
    TempDir dir;
    qputenv("VTL_REGISTRY_DIR", QByteArray::fromStdString(dir.Path().string()));
    DialogGuard guard;
    guard.dialogs->dialogAnswers.push_back([](QDialog&) { return int(QDialog::Rejected); });
    TMainForm form({});
    form.show();
    TMDIChild* doc
        = vtl::input::ui::NewDocument(form, TBitmap(4, 4), "x", "x", 3, TMDIChild::Origin::File);
    form.MdiArea()->setActiveSubWindow(doc);
    doc->Item("Option1")->trigger(); // answered below: cancelled
    doc->Item("Info1")->trigger(); // the document's own command
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "<img src=\"x\" width=4 height=4>");
    doc->Item("ToolBar1")->trigger();
    EXPECT_FALSE(form.Item("ToolBar1")->isChecked());
    doc->Item("FileExitItem")->trigger();
    EXPECT_FALSE(form.isVisible());
    qunsetenv("VTL_REGISTRY_DIR");
}
