// The reduction, resize, clip and join commands from a document's menu, with their dialogs answered
// through the dialog service: remembered choices, palette files asked for and refused, untouched
// dialogs doing nothing, the selection turned into the clip rectangle, and the joined document.
#include "platform/qt/up_down_edit.h"
#include "processing/palette_file.h"
#include "processing/ui/geometry_dialogs.h"
#include "processing/ui/reduce_dialogs.h"
#include "support/document_fixture.h"

#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>

using namespace vtl::processing;
using namespace vtl::processing::ui;
using vtl::platform::GetBValue;
using vtl::platform::GetGValue;
using vtl::platform::GetRValue;
using vtl::platform::PaletteEntry;
using vtl::platform::Rgb;
using vtl::platform::TBitmap;
using vtl::platform::TColor;
using vtl::platform::TPixelFormat;
using vtl::platform::qt::MsgResult;
using vtl::testing::CommandTest;
using vtl::testing::Pattern;
using vtl::testing::SamePixels;
using vtl::testing::TMDIChild;

namespace {

QString U(const char* s) { return QString::fromUtf8(s); }

using GeometryCommandTest = CommandTest;

TEST_F(GeometryCommandTest, DC256RemembersItsChoicesAndRunsTheReduction)
{
    const TBitmap original = Pattern(20, 10);
    TMDIChild& doc = Document(original);
    m_guard.dialogs->dialogAnswers.push_back([](QDialog& d) {
        auto& dialog = static_cast<TD256Dlg&>(d);
        EXPECT_EQ(dialog.Palette(), D256Palette::Dynamic);
        EXPECT_FALSE(dialog.Dither());
        dialog.SetDither(true);
        return int(QDialog::Accepted);
    });
    doc.Item("DC256")->trigger();
    ExpectOneChange(doc, original);
    EXPECT_EQ(doc.Picture().PixelFormat(), TPixelFormat::pf8bit);

    m_guard.dialogs->dialogAnswers.push_back([](QDialog& d) {
        auto& dialog = static_cast<TD256Dlg&>(d);
        EXPECT_EQ(dialog.objectName(), QStringLiteral("D256Dlg"));
        EXPECT_TRUE(dialog.Dither()) << "the last choice is offered again";
        return int(QDialog::Rejected);
    });
    doc.Item("DC256")->trigger();
    EXPECT_EQ(doc.ModifiedCount(), 1);
}

TEST_F(GeometryCommandTest, SpecifiedPaletteCancelledOrRefusedLeavesThePicture)
{
    const TBitmap original = Pattern(20, 10);
    TMDIChild& doc = Document(original);
    auto chooseSpecified = [this] {
        m_guard.dialogs->dialogAnswers.push_back([](QDialog& d) {
            static_cast<TD256Dlg&>(d).SetItemIndex(int(D256Palette::Specified));
            return int(QDialog::Accepted);
        });
    };
    chooseSpecified();
    m_guard.dialogs->openAnswers.push_back(std::nullopt);
    doc.Item("DC256")->trigger();
    ExpectUntouched(doc, original);
    ASSERT_FALSE(m_guard.dialogs->fileDialogs.empty());
    EXPECT_EQ(m_guard.dialogs->fileDialogs.back().title, U("パレットの読み込み"));

    // A palette file of 16 entries where 256 are wanted is refused with a message.
    std::vector<PaletteEntry> sixteen(16, PaletteEntry { 10, 20, 30, 0 });
    const auto small = m_dir.Path() / "sixteen.pal";
    WritePaletteFile(small, sixteen, 16);
    chooseSpecified();
    m_guard.dialogs->openAnswers.push_back(QStringList { QString::fromStdString(small.string()) });
    m_guard.dialogs->messageAnswers.push_back(MsgResult::Ok);
    doc.Item("DC256")->trigger();
    ExpectUntouched(doc, original);
    ASSERT_EQ(m_guard.dialogs->messages.size(), 1u);
    EXPECT_EQ(m_guard.dialogs->messages[0].title, QStringLiteral("vtl"));

    // A file written by the program itself is taken: every pixel lands on one of its colours.
    std::vector<PaletteEntry> grey(256);
    for (int i = 0; i < 256; ++i)
        grey[size_t(i)] = { uint8_t(i), uint8_t(i), uint8_t(i), 0 };
    const auto full = m_dir.Path() / "grey.pal";
    WritePaletteFile(full, grey, 256);
    chooseSpecified();
    m_guard.dialogs->openAnswers.push_back(QStringList { QString::fromStdString(full.string()) });
    doc.Item("DC256")->trigger();
    ExpectOneChange(doc, original);
    ASSERT_EQ(doc.Picture().PixelFormat(), TPixelFormat::pf8bit);
    for (int x = 0; x < 20; ++x) {
        const TColor c = doc.Picture().Pixel(x, 3);
        EXPECT_TRUE(GetRValue(c) == GetGValue(c) && GetGValue(c) == GetBValue(c)) << x;
    }

    // The next palette dialog starts at the file read last.
    chooseSpecified();
    m_guard.dialogs->openAnswers.push_back(std::nullopt);
    doc.Item("DC256")->trigger();
    EXPECT_EQ(m_guard.dialogs->fileDialogs.back().fileName, QString::fromStdString(full.string()));
    EXPECT_EQ(doc.ModifiedCount(), 1);
}

TEST_F(GeometryCommandTest, DC16RunsTheChosenMethodAndRemembersIt)
{
    const TBitmap original = Pattern(21, 9);
    TMDIChild& doc = Document(original);
    m_guard.dialogs->dialogAnswers.push_back([](QDialog& d) {
        auto& dialog = static_cast<TD16Dlg&>(d);
        EXPECT_EQ(dialog.Method(), D16Method::Dynamic1);
        dialog.SetItemIndex(int(D16Method::Grey));
        return int(QDialog::Accepted);
    });
    doc.Item("DC16")->trigger();
    ExpectOneChange(doc, original);
    ASSERT_EQ(doc.Picture().PixelFormat(), TPixelFormat::pf4bit);
    const TColor c = doc.Picture().Pixel(20, 8);
    EXPECT_TRUE(GetRValue(c) == GetGValue(c) && GetGValue(c) == GetBValue(c));

    m_guard.dialogs->dialogAnswers.push_back([](QDialog& d) {
        EXPECT_EQ(static_cast<TD16Dlg&>(d).Method(), D16Method::Grey);
        return int(QDialog::Rejected);
    });
    doc.Item("DC16")->trigger();
    EXPECT_EQ(doc.ModifiedCount(), 1);
}

TEST_F(GeometryCommandTest, ResizeTakesTheDialogsSizeAndAnUntouchedDialogDoesNothing)
{
    const TBitmap original = Pattern(100, 60);
    TMDIChild& doc = Document(original);
    m_guard.dialogs->dialogAnswers.push_back([](QDialog& d) {
        auto& dialog = static_cast<TGScaleDlg&>(d);
        EXPECT_EQ(dialog.Xpos(), 100);
        EXPECT_EQ(dialog.Ypos(), 60);
        dialog.OKBtnClick();
        return d.result();
    });
    doc.Item("GLM1")->trigger();
    ExpectUntouched(doc, original);

    m_guard.dialogs->dialogAnswers.push_back([](QDialog& d) {
        auto& dialog = static_cast<TGScaleDlg&>(d);
        dialog.Ratio()->Edit()->setText(QStringLiteral("50"));
        dialog.EdRExit();
        dialog.OKBtnClick();
        return d.result();
    });
    doc.Item("GLM1")->trigger();
    ExpectOneChange(doc, original);
    EXPECT_EQ(doc.Picture().Width(), 50);
    EXPECT_EQ(doc.Picture().Height(), 30);
}

TEST_F(GeometryCommandTest, PictureBeyondTheDialogsRangeIsNotDistortedByOk)
{
    // 5000 x 10 opens as 4098 x 10 (the most the dialog shows); OK alone must not resize.
    const TBitmap original = Pattern(5000, 10);
    TMDIChild& doc = Document(original);
    m_guard.dialogs->dialogAnswers.push_back([](QDialog& d) {
        auto& dialog = static_cast<TGScaleDlg&>(d);
        EXPECT_EQ(dialog.Xpos(), 4098);
        dialog.OKBtnClick();
        return d.result();
    });
    doc.Item("GLM1")->trigger();
    ExpectUntouched(doc, original);
}

TEST_F(GeometryCommandTest, ClipStartsFromTheSelectionInPicturePixels)
{
    const TBitmap original = Pattern(8, 8);
    TMDIChild& doc = Document(original);
    doc.ZoomClick(5); // 200 %
    doc.Selection = { 4, 4, 10, 12 };
    doc.Shape()->show();
    m_guard.dialogs->dialogAnswers.push_back([](QDialog& d) {
        auto& dialog = static_cast<TClpDlg&>(d);
        EXPECT_EQ(dialog.Area(), (ClipArea { 2, 2, 3, 4 }));
        EXPECT_EQ(dialog.edHeight()->text(), QStringLiteral("4"));
        dialog.OKBtnClick();
        return d.result();
    });
    doc.Item("ClpMnu")->trigger();
    ExpectOneChange(doc, original);
    ASSERT_EQ(doc.Picture().Width(), 3);
    ASSERT_EQ(doc.Picture().Height(), 4);
    EXPECT_EQ(doc.Picture().Pixel(0, 0), original.Pixel(2, 2));
    EXPECT_EQ(doc.Picture().Pixel(2, 3), original.Pixel(4, 5));

    // Without a selection the whole picture is offered, and OK with it is Cancel.
    doc.Shape()->hide();
    m_guard.dialogs->dialogAnswers.push_back([](QDialog& d) {
        auto& dialog = static_cast<TClpDlg&>(d);
        EXPECT_EQ(dialog.Area(), (ClipArea { 0, 0, 3, 4 }));
        dialog.OKBtnClick();
        return d.result();
    });
    doc.Item("ClpMnu")->trigger();
    EXPECT_EQ(doc.ModifiedCount(), 1);
}

TEST_F(GeometryCommandTest, JoinMakesANewDocumentAndKeepsTheSettings)
{
    MakeForm();
    auto open = [this](int w, int h, const char* name) {
        return vtl::input::ui::NewDocument(
            *m_form, Pattern(w, h), U(name), U(name), 3, TMDIChild::Origin::File);
    };
    TMDIChild* a = open(100, 50, "a.bmp");
    TMDIChild* b = open(60, 80, "b.png");
    vtl::input::ui::NewDocumentFromBuffer(*m_form, TBitmap {}, U("empty"));
    m_form->MdiArea()->setActiveSubWindow(a);

    m_guard.dialogs->dialogAnswers.push_back([](QDialog& d) {
        auto& dialog = static_cast<TConnectDlg&>(d);
        EXPECT_EQ(dialog.GList()->count(), 2) << "documents without a picture aren't offered";
        EXPECT_EQ(dialog.GList()->item(0)->text(), QStringLiteral("a.bmp"));
        dialog.GList()->setCurrentRow(1);
        dialog.SpUd()->SetPosition(10);
        dialog.OKBtnClick();
        return d.result();
    });
    a->Item("ConnectItem")->trigger();
    const auto children = m_form->Children();
    auto* joined = dynamic_cast<TMDIChild*>(children.back());
    ASSERT_NE(joined, nullptr);
    EXPECT_EQ(joined->windowTitle(), U("a b"));
    EXPECT_EQ(joined->Picture().Width(), 170);
    EXPECT_EQ(joined->Picture().Height(), 80);
    EXPECT_EQ(joined->Picture().Pixel(105, 40), Rgb(255, 255, 255)) << "white margin";
    EXPECT_EQ(joined->Picture().Pixel(162, 10), b->Picture().Pixel(52, 10));
    EXPECT_EQ(m_form->joinMargin, 10);

    m_guard.dialogs->dialogAnswers.push_back([](QDialog& d) {
        EXPECT_EQ(static_cast<TConnectDlg&>(d).SpUd()->Position(), 10) << "remembered";
        return int(QDialog::Rejected);
    });
    const auto before = m_form->Children().size();
    a->Item("ConnectItem")->trigger();
    EXPECT_EQ(m_form->Children().size(), before);
}

} // namespace
