// The processing dialogs offscreen: what their edits let through, how values are clamped and
// checked, where they open, and the adjustment dialog's curves and preview.
#include "platform/bitmap.h"
#include "processing/ui/emb_dialog.h"
#include "processing/ui/hsi_dialog.h"
#include "processing/ui/input_dialog.h"
#include "processing/ui/smono_dialog.h"
#include "processing/ui/ufil_dialog.h"
#include "support/scripted_dialogs.h"

#include <QCheckBox>
#include <QCursor>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QTableWidget>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace vtl::processing::ui;
using vtl::platform::Rgb;
using vtl::platform::TBitmap;
using vtl::platform::TPixelFormat;
using vtl::platform::TRect;
using vtl::testing::DialogGuard;

namespace {

QString U(const char* s) { return QString::fromUtf8(s); }

void Retype(QLineEdit* edit, const char* keys)
{
    edit->clear();
    QTest::keyClicks(edit, QString::fromLatin1(keys));
}

TEST(SMonoDlg, EditTakesOnlyDigitsAndClampsOnExit)
{
    TSMonoDlg dialog;
    EXPECT_EQ(dialog.windowTitle(), U("２値化"));
    EXPECT_EQ(dialog.Edit1()->text(), QStringLiteral("1"));
    Retype(dialog.Edit1(), "1a-.2x");
    EXPECT_EQ(dialog.Edit1()->text(), QStringLiteral("12"));
    QTest::keyClick(dialog.Edit1(), Qt::Key_Backspace);
    EXPECT_EQ(dialog.Edit1()->text(), QStringLiteral("1"));
    Retype(dialog.Edit1(), "9999");
    EXPECT_EQ(dialog.Edit1()->text(), QStringLiteral("999")) << "three characters at most";

    struct Case {
        const char* text;
        int position;
    };
    dialog.SetLev1(127);
    for (Case c : { Case { "0", 1 }, { "255", 254 }, { "999", 254 }, { "254", 254 }, { "1", 1 },
             { "", 1 }, { "77", 77 } }) {
        dialog.Edit1()->setText(QString::fromLatin1(c.text));
        dialog.Edit1Exit();
        EXPECT_EQ(dialog.Lev1(), c.position) << c.text;
        EXPECT_EQ(dialog.Edit1()->text(), QString::number(c.position)) << c.text;
    }
}

TEST(SMonoDlg, UpDownStopsAtItsEndsAndOkTakesTheTypedValue)
{
    TSMonoDlg dialog;
    dialog.SetLev1(254);
    dialog.findChild<QToolButton*>("Lev1Up")->click();
    EXPECT_EQ(dialog.Lev1(), 254);
    dialog.SetLev1(1);
    dialog.findChild<QToolButton*>("Lev1Down")->click();
    EXPECT_EQ(dialog.Lev1(), 1);
    dialog.Edit1()->setText(QStringLiteral("300"));
    dialog.findChild<QPushButton*>("OKBtn")->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.Lev1(), 254);
}

TEST(InputDlg, KeysDependOnTheMode)
{
    TInputDlg dialog;
    dialog.SetTextMode(QStringLiteral("x"));
    Retype(dialog.edInp(), "a-1.b");
    EXPECT_EQ(dialog.edInp()->text(), QStringLiteral("a-1.b"));
    dialog.SetIntegerMode(10, 1, 256);
    EXPECT_EQ(dialog.edInp()->text(), QStringLiteral("10"));
    Retype(dialog.edInp(), "-1.5e");
    EXPECT_EQ(dialog.edInp()->text(), QStringLiteral("-15"));
    dialog.SetRealMode(1.5, 0, 10);
    EXPECT_EQ(dialog.edInp()->text(), QStringLiteral("1.5"));
    Retype(dialog.edInp(), "-1.5e");
    EXPECT_EQ(dialog.edInp()->text(), QStringLiteral("-1.5"));
}

TEST(InputDlg, OkRefusesBadValuesWithTheirMessages)
{
    DialogGuard guard;
    struct Case {
        bool integer;
        const char* text;
        const char* message; // nullptr: accepted
    };
    const Case cases[] = {
        { true, "", "整数値を入力してください" },
        { true, "-", "整数値を入力してください" },
        { true, "257", "値が大きすぎます" },
        { true, "0", "値が小さすぎます" },
        { true, "256", nullptr },
        { true, "1", nullptr },
        { false, "1.2.3", "数値を入力してください" },
        { false, "10.5", "値が大きすぎます" },
        { false, "-0.5", "値が小さすぎます" },
        { false, "9.75", nullptr },
    };
    for (const Case& c : cases) {
        TInputDlg dialog;
        if (c.integer)
            dialog.SetIntegerMode(10, 1, 256);
        else
            dialog.SetRealMode(1, 0, 10);
        dialog.edInp()->setText(QString::fromLatin1(c.text));
        if (c.message)
            guard.dialogs->messageAnswers.push_back(vtl::platform::qt::MsgResult::Ok);
        dialog.findChild<QPushButton*>("OKBtn")->click();
        if (c.message) {
            ASSERT_FALSE(guard.dialogs->messages.empty()) << c.text;
            EXPECT_EQ(guard.dialogs->messages.back().text, U(c.message)) << c.text;
            EXPECT_EQ(guard.dialogs->messages.back().title, QStringLiteral("vtl"));
            EXPECT_EQ(guard.dialogs->messages.back().icon, vtl::platform::qt::MsgIcon::Error);
            EXPECT_NE(dialog.result(), QDialog::Accepted) << c.text << " must keep it open";
        } else {
            EXPECT_EQ(dialog.result(), QDialog::Accepted) << c.text;
        }
    }
    EXPECT_EQ(guard.dialogs->messages.size(), 7u);

    // Equal bounds take any value of the mode's kind.
    TInputDlg any;
    any.SetIntegerMode(0, 0, 0);
    any.edInp()->setText(QStringLiteral("-99999"));
    any.OKBtnClick();
    EXPECT_EQ(any.result(), QDialog::Accepted);
    EXPECT_EQ(any.IntegerValue(), -99999);
}

TEST(InputDlg, HelpersHandBackTheValueOrNothing)
{
    DialogGuard guard;
    const TRect area { 0, 0, 800, 600 };
    guard.dialogs->dialogAnswers.push_back([](QDialog& d) {
        EXPECT_EQ(d.windowTitle(), U("モザイクサイズの入力"));
        auto& input = static_cast<TInputDlg&>(d);
        input.edInp()->setText(QStringLiteral("33"));
        input.OKBtnClick();
        return d.result();
    });
    EXPECT_EQ(InputInteger(nullptr, area, U("モザイクサイズの入力"), 10, 1, 256), 33);
    guard.dialogs->dialogAnswers.push_back([](QDialog&) { return int(QDialog::Rejected); });
    EXPECT_EQ(InputInteger(nullptr, area, QStringLiteral("p"), 10, 1, 256), std::nullopt);
    // Text mode: OK with an empty text counts as nothing.
    guard.dialogs->dialogAnswers.push_back([](QDialog& d) {
        static_cast<TInputDlg&>(d).edInp()->clear();
        return int(QDialog::Accepted);
    });
    EXPECT_EQ(InputText(nullptr, area, QStringLiteral("p"), QStringLiteral("old")), std::nullopt);
}

TEST(Placement, CentredOnThePointerAndKeptInTheWorkArea)
{
    const TRect area { 10, 20, 810, 620 };
    for (QPoint pointer : { QPoint(400, 300), QPoint(0, 0), QPoint(2000, 2000), QPoint(805, 25) }) {
        QCursor::setPos(pointer);
        TembDlg dialog;
        PlaceOnPointer(dialog, area);
        const QRect frame = dialog.frameGeometry();
        EXPECT_GE(frame.left(), area.Left);
        EXPECT_GE(frame.top(), area.Top);
        EXPECT_LE(frame.left() + frame.width(), area.Right);
        EXPECT_LE(frame.top() + frame.height(), area.Bottom);
        if (pointer == QPoint(400, 300)) {
            ASSERT_EQ(QCursor::pos(), pointer);
            EXPECT_EQ(frame.left(), 400 - frame.width() / 2);
            EXPECT_EQ(frame.top(), 300 - frame.height() / 2);
        }
    }
}

TEST(embDlg, SettingsGoInAndComeOut)
{
    TembDlg dialog;
    EXPECT_EQ(dialog.windowTitle(), U("浮き彫り設定"));
    EXPECT_EQ(dialog.Settings().lightPosition, 0);
    EXPECT_FALSE(dialog.Settings().strong);
    dialog.SetSettings({ 3, true });
    EXPECT_EQ(dialog.Settings().lightPosition, 3);
    EXPECT_TRUE(dialog.Settings().strong);
    dialog.findChild<QAbstractButton*>("Hpos1")->click();
    EXPECT_EQ(dialog.Settings().lightPosition, 1);
}

TBitmap Gradient(int width, int height)
{
    TBitmap b(width, height, TPixelFormat::pf24bit);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            b.SetPixel(x, y, Rgb(uint8_t(x), uint8_t(y), 40));
    return b;
}

TEST(HsiDialog, CaptionsFollowTheMode)
{
    THsiDialog rgb(HsiMode::Rgb);
    EXPECT_EQ(rgb.windowTitle(), U("ＲＧＢ調整"));
    EXPECT_EQ(rgb.findChild<QGroupBox*>("Gp1")->title(), U("赤(Ｒ)"));
    EXPECT_EQ(rgb.findChild<QGroupBox*>("Gp3")->title(), U("青(Ｂ)"));
    THsiDialog hsi(HsiMode::Hsi);
    EXPECT_EQ(hsi.windowTitle(), U("明度/彩度/色相調整"));
    EXPECT_EQ(hsi.findChild<QGroupBox*>("Gp2")->title(), U("彩度"));
    QSlider* gm = hsi.TrackBar("gm", 2);
    EXPECT_EQ(gm->minimum(), 30);
    EXPECT_EQ(gm->maximum(), 300);
    EXPECT_EQ(gm->value(), 100);
    EXPECT_EQ(hsi.TrackBar("of", 1)->minimum(), -256);
    EXPECT_EQ(hsi.TrackBar("of", 1)->maximum(), 511);
    EXPECT_EQ(hsi.TrackBar("of", 1)->pageStep(), 8);
}

TEST(HsiDialog, ThumbnailIsAtMost100OnTheLongerSide)
{
    THsiDialog dialog(HsiMode::Rgb);
    dialog.SetPicture(Gradient(250, 120));
    EXPECT_EQ(dialog.Thumbnail().Width(), 100);
    EXPECT_EQ(dialog.Thumbnail().Height(), 48);
    dialog.SetPicture(Gradient(30, 101));
    EXPECT_EQ(dialog.Thumbnail().Width(), 29);
    EXPECT_EQ(dialog.Thumbnail().Height(), 100);
    dialog.SetPicture(Gradient(100, 60));
    EXPECT_EQ(dialog.Thumbnail().Width(), 100);
    EXPECT_EQ(dialog.Thumbnail().Height(), 60);
}

TEST(HsiDialog, PreviewLabelsAndCurvesFollowTheTrackBars)
{
    THsiDialog dialog(HsiMode::Rgb);
    dialog.SetPicture(Gradient(64, 64));
    const QImage before = dialog.Shown();
    // Neutral curves are the diagonal; blue is drawn last.
    EXPECT_EQ(dialog.Graph().pixelColor(50, 50), QColor(0, 0, 255));
    EXPECT_EQ(dialog.Graph().pixelColor(10, 10), QColor(Qt::white));

    dialog.TrackBar("of", 1)->setValue(100);
    EXPECT_EQ(dialog.findChild<QLabel*>("ofl1")->text(), QStringLiteral("100"));
    // Red now runs 39 pixels higher: its curve leaves the diagonal.
    EXPECT_EQ(dialog.Graph().pixelColor(50, 11), QColor(255, 0, 0));
    const QImage after = dialog.Shown();
    ASSERT_EQ(after.size(), QSize(64, 64));
    EXPECT_NE(after, before);
    EXPECT_EQ(QColor(after.pixel(0, 0)).red(), 100);
    EXPECT_EQ(QColor(after.pixel(0, 0)).green(), 0);

    dialog.TrackBar("gm", 2)->setValue(200);
    EXPECT_EQ(dialog.findChild<QLabel*>("gml2")->text(), QStringLiteral(" 2.00"));
    dialog.TrackBar("ga", 3)->setValue(-150);
    EXPECT_EQ(dialog.findChild<QLabel*>("gal3")->text(), QStringLiteral("-1.50"));

    dialog.Button1Click();
    EXPECT_EQ(dialog.TrackBar("of", 1)->value(), 0);
    EXPECT_EQ(dialog.TrackBar("gm", 2)->value(), 100);
    EXPECT_EQ(dialog.findChild<QLabel*>("ofl1")->text(), QStringLiteral("0"));
    EXPECT_EQ(dialog.findChild<QLabel*>("gml2")->text(), QStringLiteral(" 1.00"));
    EXPECT_EQ(dialog.Shown(), before);
    EXPECT_EQ(dialog.Graph().pixelColor(50, 50), QColor(0, 0, 255));
}

TEST(HsiDialog, OkWithEverythingNeutralClosesAsCancel)
{
    THsiDialog dialog(HsiMode::Hsi);
    dialog.OKBtnClick();
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    dialog.TrackBar("ga", 2)->setValue(101);
    dialog.OKBtnClick();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

TEST(UFilDlg, AddChecksNameAndCells)
{
    TUFilDlg dialog({}, {});
    EXPECT_EQ(dialog.windowTitle(), U("ユーザーフィルタ設定"));
    for (const char* name : { "Button2", "Button3" })
        EXPECT_FALSE(dialog.findChild<QPushButton*>(name)->isEnabled()) << name;
    for (const char* name : { "SpeedButton1", "SpeedButton2" })
        EXPECT_FALSE(dialog.findChild<QToolButton*>(name)->isEnabled()) << name;

    auto* name = dialog.findChild<QLineEdit*>("Edit1");
    dialog.Button4Click();
    dialog.Button1Click();
    EXPECT_TRUE(dialog.Names().empty()) << "no name, no filter";
    name->setText(QStringLiteral("blur, soft"));
    dialog.StringGrid1()->item(1, 1)->setText(QStringLiteral("x"));
    dialog.Button1Click();
    EXPECT_TRUE(dialog.Names().empty()) << "a cell that is no number blocks adding";
    EXPECT_FALSE(dialog.Modified());
    dialog.StringGrid1()->item(1, 1)->setText(QStringLiteral("1"));
    dialog.Button1Click();
    ASSERT_EQ(dialog.Names().size(), 1u);
    EXPECT_EQ(dialog.Names()[0], "blur, soft");
    EXPECT_EQ(dialog.Data()[0], "0,0,0,0,1,0,0,0,0");
    EXPECT_TRUE(dialog.Modified());
    EXPECT_EQ(dialog.ListBox1()->count(), 1);

    // 5 x 5: All 0 fills the 25 cells.
    dialog.findChild<QCheckBox*>("CheckBox1")->click();
    EXPECT_EQ(dialog.StringGrid1()->rowCount(), 5);
    EXPECT_EQ(dialog.StringGrid1()->columnCount(), 5);
    dialog.Button4Click();
    EXPECT_EQ(dialog.Cells(), std::vector<std::string>(25, "0"));
}

TEST(UFilDlg, SelectionUpdateDeleteAndMoves)
{
    std::string twos = "2";
    for (int i = 1; i < 25; ++i)
        twos += ",2";
    const std::vector<std::string> data { "1,1,1,1,1,1,1,1,1", twos };
    TUFilDlg dialog({ "a", "b", "c" }, { data[0], data[1], data[0] });
    dialog.ListBox1()->setCurrentRow(1);
    auto* up = dialog.findChild<QToolButton*>("SpeedButton1");
    auto* down = dialog.findChild<QToolButton*>("SpeedButton2");
    EXPECT_TRUE(dialog.findChild<QPushButton*>("Button2")->isEnabled());
    EXPECT_TRUE(up->isEnabled());
    EXPECT_TRUE(down->isEnabled());
    EXPECT_EQ(dialog.findChild<QLineEdit*>("Edit1")->text(), QStringLiteral("b"));
    EXPECT_TRUE(dialog.findChild<QCheckBox*>("CheckBox1")->isChecked());
    EXPECT_EQ(dialog.StringGrid1()->rowCount(), 5);
    EXPECT_EQ(dialog.StringGrid1()->item(4, 4)->text(), QStringLiteral("2"));

    dialog.ListBox1()->setCurrentRow(0);
    EXPECT_FALSE(up->isEnabled());
    EXPECT_FALSE(dialog.findChild<QCheckBox*>("CheckBox1")->isChecked());
    EXPECT_EQ(dialog.StringGrid1()->rowCount(), 3);
    dialog.SpeedButton2Click();
    EXPECT_EQ(dialog.Names(), (std::vector<std::string> { "b", "a", "c" }));
    EXPECT_EQ(dialog.ListBox1()->currentRow(), 1) << "the selection follows the filter";
    dialog.SpeedButton2Click();
    EXPECT_EQ(dialog.Names(), (std::vector<std::string> { "b", "c", "a" }));
    EXPECT_FALSE(down->isEnabled());

    dialog.findChild<QLineEdit*>("Edit1")->setText(QStringLiteral("z"));
    dialog.StringGrid1()->item(0, 0)->setText(QStringLiteral("-0.5"));
    dialog.Button2Click();
    EXPECT_EQ(dialog.Names()[2], "z");
    EXPECT_EQ(dialog.Data()[2], "-0.5,1,1,1,1,1,1,1,1");

    dialog.Button3Click();
    EXPECT_EQ(dialog.Names(), (std::vector<std::string> { "b", "c" }));
    EXPECT_FALSE(dialog.findChild<QPushButton*>("Button3")->isEnabled());
}

TEST(UFilDlg, GridCellsTakeOnlyCoefficientCharacters)
{
    TUFilDlg dialog({}, {});
    dialog.show();
    QTableWidget* grid = dialog.StringGrid1();
    grid->setCurrentCell(0, 0);
    grid->setItem(0, 0, new QTableWidgetItem);
    grid->editItem(grid->item(0, 0));
    auto* editor = grid->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    QTest::keyClicks(editor, QStringLiteral("-1a.5e/"));
    EXPECT_EQ(editor->text(), QStringLiteral("-1.5"));
}

}
