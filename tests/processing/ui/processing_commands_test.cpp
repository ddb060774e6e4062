// The processing commands run from a document's menu: dialogs answered through the dialog service,
// the picture replaced, one modification counted and undo enabled; Cancel and declining
// operations change nothing. Also the user filter pop-up and its editor.
#include "app/ui/main_form.h"
#include "document/ui/mdi_child.h"
#include "input/ui/loading_pipeline.h"
#include "processing/ui/emb_dialog.h"
#include "processing/ui/hsi_dialog.h"
#include "processing/ui/input_dialog.h"
#include "processing/ui/processing_commands.h"
#include "processing/ui/smono_dialog.h"
#include "processing/ui/ufil_dialog.h"
#include "support/document_fixture.h"

#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMenu>
#include <QSlider>
#include <gtest/gtest.h>

using namespace vtl::processing::ui;
using vtl::app::ui::TMainForm;
using vtl::document::ui::TMDIChild;
using vtl::platform::Rgb;
using vtl::platform::TBitmap;
using vtl::platform::TPixelFormat;
using vtl::testing::CommandTest;
using vtl::testing::DialogGuard;
using vtl::testing::Pattern;
using vtl::testing::ReadFile;
using vtl::testing::SamePixels;
using vtl::testing::TempDir;
using vtl::testing::WriteFile;

namespace {

QString U(const char* s) { return QString::fromUtf8(s); }

TEST_F(CommandTest, CaptionsAndHintsAreTheFilterMenus)
{
    TMDIChild& doc = Document(Pattern(8, 8));
    struct Case {
        const char* name;
        const char* caption;
        const char* hint;
    };
    for (Case c : { Case { "Gauss2", "小", "画像をぼかします。" },
             { "Gauss3", "大", "大きく画像をぼかします。" },
             { "enboss1", "浮き彫り(&E)", "画像を浮き彫り調にします。" },
             { "Edge2", "輪郭線(&L)",
                 "画像の輪郭を線として抽出します。グレースケール化を行ってから実行してください。（B"
                 "の値で抽出してます）" },
             { "Oil3", "大", "大まかに画像を油絵調にします。" },
             { "ChgRgb", "ＲＧＢ調整(&R)", "ＲＧＢを調整します。" },
             { "N14", "ユーザーフィルタ(&U)", "ユーザーで定義したフィルタです。" },
             { "Filtter1", "フィルタ(&T)",
                 "フィルタに関するコマンドです。（一部を除きフルカラー化してから変換します）" } }) {
        EXPECT_EQ(doc.Item(U(c.name))->text(), U(c.caption)) << c.name;
        EXPECT_EQ(doc.Item(U(c.name))->statusTip(), U(c.hint)) << c.name;
    }
    EXPECT_EQ(doc.Item("Sepia3")->data().toInt(), 1);
}

TEST_F(CommandTest, PlainCommandsReplaceThePictureOnceAndEnableUndo)
{
    for (const char* item :
        { "Gray1", "Sepia4", "Cxor1", "Gauss2", "Sharp1", "Edge1", "Edge2", "Median1", "Oil2" }) {
        SCOPED_TRACE(item);
        const TBitmap original = Pattern(16, 16);
        TMDIChild& doc = Document(original);
        doc.Item(U(item))->trigger();
        ExpectOneChange(doc, original);
        EXPECT_FALSE(SamePixels(doc.Picture(), original));
        m_guard.dialogs->messageAnswers.push_back(vtl::platform::qt::MsgResult::No);
        doc.close();
    }
    // Wiring twice must not run a command twice.
    const TBitmap original = Pattern(4, 4);
    TMDIChild& doc = Document(original);
    WireProcessingCommands(doc, *m_form);
    doc.Item("Cxor1")->trigger();
    EXPECT_EQ(doc.ModifiedCount(), 1);
    EXPECT_EQ(doc.Picture().Pixel(1, 1), Rgb(255 - 20, 255 - 30, 255 - 10));
}

TEST_F(CommandTest, FrameShowsStatusInPanelZeroAndRestoresEverythingOnErrors)
{
    const TBitmap original = Pattern(4, 4);
    TMDIChild& doc = Document(original);
    QString seen;
    bool waiting = false;
    RunOnDocument(doc, *m_form, [&](TBitmap&, TBitmap*, const vtl::processing::ProcessContext& c) {
        vtl::processing::StatusText status(c, vtl::processing::kConvertingText);
        seen = m_form->StatusText();
        waiting = QApplication::overrideCursor() != nullptr;
        return false;
    });
    EXPECT_EQ(seen, U("変換中..."));
    EXPECT_TRUE(waiting);
    EXPECT_TRUE(m_form->StatusText().isEmpty());
    ExpectUntouched(doc, original);

    EXPECT_THROW(RunOnDocument(doc, *m_form,
                     [](TBitmap&, TBitmap*, const vtl::processing::ProcessContext& c) -> bool {
                         vtl::processing::StatusText status(c, vtl::processing::kReducingText);
                         throw std::runtime_error("out of memory");
                     }),
        std::runtime_error);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(m_form->StatusText().isEmpty());
    ExpectUntouched(doc, original);
}

TEST_F(CommandTest, DecliningOperationsChangeNothing)
{
    const TBitmap small = Pattern(5, 5);
    TMDIChild& doc = Document(small);
    for (const char* item : { "Gauss3", "Edge2", "Oil3" })
        doc.Item(U(item))->trigger();
    ExpectUntouched(doc, small);
}

TEST_F(CommandTest, BinarisationStoresTheThresholdAndCancelDoesNothing)
{
    const TBitmap original = Pattern(8, 8);
    TMDIChild& doc = Document(original);
    m_form->AppSettings().lev = 99;
    m_guard.dialogs->dialogAnswers.push_back([this](QDialog& d) {
        auto& mono = static_cast<TSMonoDlg&>(d);
        EXPECT_EQ(mono.Lev1(), 99);
        const QRect frame = d.frameGeometry();
        const auto& area = m_form->WorkArea();
        EXPECT_GE(frame.left(), area.Left);
        EXPECT_LE(frame.right() + 1, area.Right);
        return int(QDialog::Rejected);
    });
    doc.Item("Mono2")->trigger();
    ExpectUntouched(doc, original);

    m_guard.dialogs->dialogAnswers.push_back([](QDialog& d) {
        auto& mono = static_cast<TSMonoDlg&>(d);
        mono.Edit1()->setText(QStringLiteral("300"));
        mono.Edit1Exit();
        return int(QDialog::Accepted);
    });
    doc.Item("Mono2")->trigger();
    EXPECT_EQ(m_form->AppSettings().lev, 254);
    EXPECT_EQ(doc.Picture().PixelFormat(), TPixelFormat::pf1bit);
    ExpectOneChange(doc, original);
}

TEST_F(CommandTest, EmbossKeepsItsSettingsBetweenRuns)
{
    const TBitmap original = Pattern(8, 8);
    TMDIChild& doc = Document(original);
    m_guard.dialogs->dialogAnswers.push_back([](QDialog& d) {
        auto& emb = static_cast<TembDlg&>(d);
        EXPECT_EQ(emb.Settings().lightPosition, 0);
        emb.SetSettings({ 2, true });
        return int(QDialog::Accepted);
    });
    doc.Item("enboss1")->trigger();
    ExpectOneChange(doc, original);
    m_guard.dialogs->dialogAnswers.push_back([](QDialog& d) {
        auto& emb = static_cast<TembDlg&>(d);
        EXPECT_EQ(emb.Settings().lightPosition, 2);
        EXPECT_TRUE(emb.Settings().strong);
        return int(QDialog::Rejected);
    });
    doc.Item("enboss1")->trigger();
    EXPECT_EQ(doc.ModifiedCount(), 1);
}

TEST_F(CommandTest, MosaicAsksForTheBlockSize)
{
    const TBitmap original = Pattern(8, 8);
    TMDIChild& doc = Document(original);
    m_guard.dialogs->dialogAnswers.push_back([](QDialog& d) {
        auto& input = static_cast<TInputDlg&>(d);
        EXPECT_EQ(d.windowTitle(), U("モザイクサイズの入力"));
        EXPECT_EQ(input.edInp()->text(), QStringLiteral("10"));
        input.edInp()->setText(QStringLiteral("4"));
        input.OKBtnClick();
        return d.result();
    });
    doc.Item("Mosaic1")->trigger();
    ExpectOneChange(doc, original);
    EXPECT_EQ(doc.Picture().Pixel(0, 0), doc.Picture().Pixel(3, 3));
    EXPECT_NE(doc.Picture().Pixel(3, 3), doc.Picture().Pixel(4, 4));

    m_guard.dialogs->dialogAnswers.push_back([](QDialog&) { return int(QDialog::Rejected); });
    doc.Item("Mosaic1")->trigger();
    EXPECT_EQ(doc.ModifiedCount(), 1);
}

TEST_F(CommandTest, MosaicCoversOnlyAVisibleSelection)
{
    const TBitmap original = Pattern(8, 8);
    TMDIChild& doc = Document(original);
    doc.ZoomClick(5); // 200 %: display pixels are half picture pixels
    doc.Selection = { 4, 4, 10, 10 };
    doc.Shape()->show();
    m_guard.dialogs->dialogAnswers.push_back([](QDialog& d) {
        auto& input = static_cast<TInputDlg&>(d);
        input.edInp()->setText(QStringLiteral("256"));
        input.OKBtnClick();
        return d.result();
    });
    doc.Item("Mosaic1")->trigger();
    ExpectOneChange(doc, original);
    // Picture columns and rows 2..5, both ends included, became one colour.
    EXPECT_EQ(doc.Picture().Pixel(2, 2), doc.Picture().Pixel(5, 5));
    EXPECT_NE(doc.Picture().Pixel(2, 2), original.Pixel(2, 2));
    EXPECT_EQ(doc.Picture().Pixel(1, 1), original.Pixel(1, 1));
    EXPECT_EQ(doc.Picture().Pixel(6, 6), original.Pixel(6, 6));
    EXPECT_EQ(doc.Picture().Pixel(6, 2), original.Pixel(6, 2));
}

TEST_F(CommandTest, AdjustmentRunsWithTheDialogsTrackBars)
{
    const TBitmap original = Pattern(8, 8);
    TMDIChild& doc = Document(original);
    // Neutral OK closes as Cancel: nothing at all.
    m_guard.dialogs->dialogAnswers.push_back([](QDialog& d) {
        static_cast<THsiDialog&>(d).OKBtnClick();
        return d.result();
    });
    doc.Item("ChgHsi")->trigger();
    ExpectUntouched(doc, original);

    // Gain -1 and offset 255 on every channel inverts.
    m_guard.dialogs->dialogAnswers.push_back([](QDialog& d) {
        auto& hsi = static_cast<THsiDialog&>(d);
        EXPECT_EQ(hsi.Mode(), HsiMode::Rgb);
        EXPECT_EQ(hsi.Thumbnail().Width(), 8);
        for (int k = 1; k <= 3; ++k) {
            hsi.TrackBar("of", k)->setValue(255);
            hsi.TrackBar("ga", k)->setValue(-100);
        }
        hsi.OKBtnClick();
        return d.result();
    });
    doc.Item("ChgRgb")->trigger();
    ExpectOneChange(doc, original);
    EXPECT_EQ(doc.Picture().Pixel(1, 1), Rgb(255 - 20, 255 - 30, 255 - 10));
}

const char* const kFilters = "\"identity\",0,0,0,0,1,0,0,0,0\r\n"
                             "\"broken\",0,0,0,0,x,0,0,0,0\r\n"
                             "\"a, b\",1,1,1,1,1,1,1,1,1\r\n";

TEST_F(CommandTest, UserFilterPopUpIsBuiltFromTheFileAndApplies)
{
    WriteFile(m_dir / "vtl.fil", kFilters);
    const TBitmap original = Pattern(6, 6);
    TMDIChild& doc = Document(original);
    QMenu* popup = m_form->findChild<QMenu*>("FilterPopUp");
    ASSERT_NE(popup, nullptr);
    ASSERT_EQ(popup->actions().size(), 3);
    EXPECT_EQ(popup->actions()[2]->text(), U("a, b"));
    EXPECT_EQ(popup->actions()[2]->data().toInt(), 2);

    popup->actions()[1]->trigger();
    ExpectUntouched(doc, original);
    popup->actions()[0]->trigger();
    ExpectOneChange(doc, original);
    EXPECT_TRUE(SamePixels(doc.Picture(), original)) << "the identity filter keeps every pixel";
}

TEST_F(CommandTest, EditorOkRebuildsThePopUpAndSavesOnlyChanges)
{
    WriteFile(m_dir / "vtl.fil", kFilters);
    MakeForm();
    // OK without a change: the file stays as it was written.
    m_guard.dialogs->dialogAnswers.push_back([](QDialog&) { return int(QDialog::Accepted); });
    OpenUserFilterDialog(*m_form);
    EXPECT_EQ(ReadFile(m_dir / "vtl.fil"), kFilters);

    // Cancel discards a move.
    m_guard.dialogs->dialogAnswers.push_back([](QDialog& d) {
        auto& editor = static_cast<TUFilDlg&>(d);
        editor.ListBox1()->setCurrentRow(2);
        editor.SpeedButton1Click();
        return int(QDialog::Rejected);
    });
    OpenUserFilterDialog(*m_form);
    QMenu* popup = m_form->findChild<QMenu*>("FilterPopUp");
    EXPECT_EQ(popup->actions()[1]->text(), QStringLiteral("broken"));

    m_guard.dialogs->dialogAnswers.push_back([](QDialog& d) {
        auto& editor = static_cast<TUFilDlg&>(d);
        editor.ListBox1()->setCurrentRow(2);
        editor.SpeedButton1Click();
        return int(QDialog::Accepted);
    });
    OpenUserFilterDialog(*m_form);
    ASSERT_EQ(popup->actions().size(), 3);
    EXPECT_EQ(popup->actions()[1]->text(), U("a, b"));
    EXPECT_EQ(popup->actions()[1]->data().toInt(), 1);
    EXPECT_EQ(ReadFile(m_dir / "vtl.fil"),
        "\"identity\",0,0,0,0,1,0,0,0,0\r\n"
        "\"a, b\",1,1,1,1,1,1,1,1,1\r\n"
        "\"broken\",0,0,0,0,x,0,0,0,0\r\n");
}

TEST_F(CommandTest, NoFilterFileMeansAnEmptyPopUp)
{
    TMDIChild& doc = Document(Pattern(4, 4));
    EXPECT_TRUE(m_form->findChild<QMenu*>("FilterPopUp")->actions().isEmpty());
    doc.Item("N14")->trigger(); // nothing to pop up
    EXPECT_FALSE(m_form->findChild<QMenu*>("FilterPopUp")->isVisible());
}

}
