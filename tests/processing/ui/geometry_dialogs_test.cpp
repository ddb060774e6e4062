// The reduction and geometry dialogs offscreen: their items, the linked fields of the resize
// dialog, the clip dialog's clamping, and the join dialog's choice.
#include "platform/qt/up_down_edit.h"
#include "processing/ui/geometry_dialogs.h"
#include "processing/ui/reduce_dialogs.h"
#include "support/scripted_dialogs.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace vtl::processing;
using namespace vtl::processing::ui;
using vtl::testing::DialogGuard;

namespace {

QString U(const char* s) { return QString::fromUtf8(s); }

QStringList RadioItems(const QDialog& dialog)
{
    QStringList items;
    for (int i = 0;; ++i) {
        auto* radio = dialog.findChild<QRadioButton*>(QStringLiteral("PalGrp%1").arg(i));
        if (!radio)
            return items;
        items << radio->text();
    }
}

void Click(QDialog& dialog, const char* name)
{
    dialog.findChild<QAbstractButton*>(QString::fromUtf8(name))->click();
}

TEST(D256Dlg, HalftoneChecksAndLocksDithering)
{
    TD256Dlg dialog;
    EXPECT_EQ(dialog.windowTitle(), U("vtl ２５６色化"));
    EXPECT_EQ(RadioItems(dialog), (QStringList { U("動的１"), U("ハーフトーン"), U("指定パレット") }));
    EXPECT_EQ(dialog.findChild<QGroupBox*>("PalGrp")->title(), U("パレット(&P)"));
    EXPECT_EQ(dialog.ErrBox()->text(), U("ディザを使用(&D)"));
    EXPECT_EQ(dialog.Palette(), D256Palette::Dynamic);
    EXPECT_FALSE(dialog.Dither());

    Click(dialog, "PalGrp1");
    EXPECT_EQ(dialog.Palette(), D256Palette::Halftone);
    EXPECT_TRUE(dialog.Dither());
    EXPECT_FALSE(dialog.ErrBox()->isEnabled());
    Click(dialog, "PalGrp2");
    EXPECT_TRUE(dialog.ErrBox()->isEnabled());
    EXPECT_TRUE(dialog.Dither()) << "leaving the halftone keeps the check";

    // Presetting the remembered halftone choice applies the same rule.
    TD256Dlg preset;
    preset.SetItemIndex(1);
    EXPECT_FALSE(preset.ErrBox()->isEnabled());
    EXPECT_TRUE(preset.Dither());
    Click(preset, "OKBtn");
    EXPECT_EQ(preset.result(), QDialog::Accepted);
}

TEST(D16Dlg, SixMethodsAndFreeDithering)
{
    TD16Dlg dialog;
    EXPECT_EQ(dialog.windowTitle(), U("vtl １６色化"));
    EXPECT_EQ(RadioItems(dialog),
        (QStringList { U("動的１"), U("動的２"), U("動的３"), U("システム色"), U("グレースケール"),
            U("指定パレット") }));
    dialog.SetItemIndex(4);
    dialog.SetDither(true);
    EXPECT_EQ(dialog.Method(), D16Method::Grey);
    EXPECT_TRUE(dialog.ErrBox()->isEnabled());
    dialog.SetItemIndex(9);
    EXPECT_EQ(dialog.Method(), D16Method::Grey) << "no such item: unchanged";
    Click(dialog, "CancelBtn");
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
}

class GScale : public ::testing::Test {
protected:
    // A 200 x 100 picture, the fields set as the resize command sets them.
    void SetUp() override
    {
        dialog.SetOriginalSize(200, 100);
        dialog.SetXpos(200);
        dialog.SetYpos(100);
    }
    void Arrow(const char* name) { dialog.findChild<QToolButton*>(QString::fromUtf8(name))->click(); }
    void Sizes(int width, int height, int ratio, const char* what)
    {
        EXPECT_EQ(dialog.Xpos(), width) << what;
        EXPECT_EQ(dialog.Ypos(), height) << what;
        EXPECT_EQ(dialog.Rpos(), ratio) << what;
        EXPECT_EQ(dialog.Width()->Edit()->text(), QString::number(width)) << what;
    }
    TGScaleDlg dialog;
};

TEST_F(GScale, ArrowsMoveTheLinkedFields)
{
    EXPECT_EQ(dialog.windowTitle(), U("拡大/縮小"));
    EXPECT_TRUE(dialog.CheckBox1()->isChecked());
    Sizes(200, 100, 100, "opened");
    Arrow("rposUp");
    Sizes(202, 101, 101, "ratio up");
    Arrow("xposUp");
    Sizes(203, 102, 101, "width up: 203·100 div 200, 203·100/200 = 101.5 rounds up");
    Arrow("YposDown");
    Sizes(202, 101, 101, "height down: 101·200/100");
}

TEST_F(GScale, WithoutProportionsTheFieldsAreFree)
{
    dialog.CheckBox1()->setChecked(false);
    EXPECT_FALSE(dialog.Ratio()->isEnabled());
    Arrow("xposUp");
    Sizes(201, 100, 100, "width alone");
    Arrow("YposDown");
    Sizes(201, 99, 100, "height alone");
    // Checking it again sizes both from the ratio.
    dialog.CheckBox1()->setChecked(true);
    EXPECT_TRUE(dialog.Ratio()->isEnabled());
    Sizes(200, 100, 100, "checked again");
}

TEST_F(GScale, TypedValuesAreClampedOnExit)
{
    dialog.Ratio()->Edit()->setText(QStringLiteral("5"));
    dialog.EdRExit();
    Sizes(20, 10, 10, "ratio below 10 becomes 10");
    dialog.Ratio()->Edit()->setText(QStringLiteral("999"));
    dialog.EdRExit();
    Sizes(800, 400, 400, "ratio above 400 becomes 400");

    dialog.Width()->Edit()->setText(QStringLiteral("3"));
    dialog.EdXExit();
    EXPECT_EQ(dialog.Xpos(), 8) << "at most 7 becomes 8";
    EXPECT_EQ(dialog.Ypos(), 8) << "the linked height (4) can't go below 8 either";
    dialog.Width()->Edit()->setText(QStringLiteral("5000"));
    dialog.EdXExit();
    EXPECT_EQ(dialog.Xpos(), 4098);
    EXPECT_EQ(dialog.Ypos(), 2049) << "a typed width keeps the proportions like the arrows";
    dialog.Height()->Edit()->clear();
    dialog.EdYExit();
    EXPECT_EQ(dialog.Ypos(), 2049) << "no integer: the position again";
    EXPECT_EQ(dialog.Height()->Edit()->text(), QStringLiteral("2049"));

    QTest::keyClicks(dialog.Width()->Edit(), QStringLiteral("-1a."));
    EXPECT_EQ(dialog.Width()->Edit()->text(), QStringLiteral("40981")) << "digits only";
}

TEST(ClpDlg, FieldsAreCheckedAgainstThePicture)
{
    TClpDlg dialog;
    EXPECT_EQ(dialog.windowTitle(), U("クリッピング"));
    EXPECT_EQ(dialog.edLeft()->text(), QStringLiteral("0"));
    dialog.SetPictureSize(100, 60);
    dialog.SetArea({ 10, 5, 50, 40 });
    EXPECT_EQ(dialog.edWidth()->text(), QStringLiteral("50"));

    dialog.edLeft()->setText(QStringLiteral("70"));
    dialog.edLeftExit();
    EXPECT_EQ(dialog.edWidth()->text(), QStringLiteral("30")) << "the width follows the left";
    dialog.edTop()->setText(QStringLiteral("60"));
    dialog.edTopExit();
    EXPECT_EQ(dialog.edTop()->text(), QStringLiteral("59"));
    EXPECT_EQ(dialog.edHeight()->text(), QStringLiteral("1"));
    dialog.edWidth()->setText(QStringLiteral("500"));
    dialog.edWidthExit();
    EXPECT_EQ(dialog.edWidth()->text(), QStringLiteral("30"));
    dialog.edHeight()->clear();
    dialog.edHeightExit();
    EXPECT_EQ(dialog.edHeight()->text(), QStringLiteral("1")) << "no integer: the value again";

    EXPECT_EQ(dialog.Area(), (ClipArea { 70, 59, 30, 1 }));
    Click(dialog, "OKBtn");
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

TEST(ClpDlg, OkWithTheWholePictureClosesAsCancel)
{
    TClpDlg dialog;
    dialog.SetPictureSize(100, 60);
    dialog.SetArea({ 0, 0, 100, 60 });
    Click(dialog, "OKBtn");
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
}

TEST(ConnectDlg, OkNeedsAChoiceAndReturnsTheSettings)
{
    DialogGuard guard;
    QObject first, second;
    TConnectDlg dialog;
    EXPECT_EQ(dialog.windowTitle(), U("vtl 連結選択"));
    dialog.AddDocument(QStringLiteral("a.bmp"), &first);
    dialog.AddDocument(QStringLiteral("b.png"), &second);
    dialog.SetSettings({ JoinDirection::Below, MarginColour::Black, 12 });
    EXPECT_EQ(dialog.SpUd()->Edit()->text(), QStringLiteral("12"));

    guard.dialogs->messageAnswers.push_back(vtl::platform::qt::MsgResult::Ok);
    Click(dialog, "OKBtn");
    ASSERT_EQ(guard.dialogs->messages.size(), 1u);
    EXPECT_EQ(guard.dialogs->messages[0].text, U("連結対象を選択してください。"));
    EXPECT_EQ(guard.dialogs->messages[0].title, QStringLiteral("vtl"));
    EXPECT_EQ(dialog.result(), QDialog::Rejected) << "still open";

    dialog.GList()->setCurrentRow(1);
    dialog.SpUd()->Edit()->setText(QStringLiteral("600"));
    dialog.SpUd()->EditExit();
    Click(dialog, "OKBtn");
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.Chosen(), &second);
    const JoinSettings settings = dialog.Settings();
    EXPECT_EQ(settings.direction, JoinDirection::Below);
    EXPECT_EQ(settings.colour, MarginColour::Black);
    EXPECT_EQ(settings.margin, 511);

    // The up-down itself reaches 512.
    dialog.SpUd()->SetPosition(511);
    dialog.findChild<QToolButton*>("SpUdUp")->click();
    dialog.findChild<QToolButton*>("SpUdUp")->click();
    EXPECT_EQ(dialog.Settings().margin, 512);
}

} // namespace
