// The processing dialogs driven by the keyboard, as a user drives them: digits typed into the
// focused field, Tab to the next field, Enter for OK and Esc for Cancel, and the linked fields
// following every keystroke.
#include "platform/qt/up_down_edit.h"
#include "processing/ui/geometry_dialogs.h"
#include "processing/ui/input_dialog.h"
#include "processing/ui/smono_dialog.h"
#include "support/scripted_dialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace vtl::processing;
using namespace vtl::processing::ui;
using vtl::testing::DialogGuard;

namespace {

// Shows the dialog as the user sees it (active, so that the focus and Tab work) and puts the
// focus into `edit` with its text selected, as tabbing into it does.
void ShowWithFocus(QDialog& dialog, QLineEdit* edit)
{
    dialog.show();
    dialog.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    edit->setFocus(Qt::TabFocusReason);
    edit->selectAll();
    ASSERT_TRUE(edit->hasFocus());
}

// Types `keys` one by one into the focused widget.
void Type(const char* keys)
{
    for (const char* k = keys; *k; ++k)
        QTest::keyClick(QApplication::focusWidget(), *k);
}

void Press(Qt::Key key) { QTest::keyClick(QApplication::focusWidget(), key); }

QString FocusName()
{
    QWidget* focus = QApplication::focusWidget();
    return focus ? focus->objectName() : QString();
}

// ---- 拡大/縮小 ----

class GScaleKeys : public ::testing::Test {
protected:
    // A 200 x 100 picture, the fields set as the resize command sets them.
    void SetUp() override
    {
        dialog.SetOriginalSize(200, 100);
        dialog.SetXpos(200);
        dialog.SetYpos(100);
    }
    QString X() const { return dialog.Width()->Edit()->text(); }
    QString Y() const { return dialog.Height()->Edit()->text(); }
    QString R() const { return dialog.Ratio()->Edit()->text(); }

    TGScaleDlg dialog;
};

TEST_F(GScaleKeys, TabGoesToTheNextFieldAndEnterTakesTheTypedSizes)
{
    dialog.CheckBox1()->setChecked(false);
    ShowWithFocus(dialog, dialog.Width()->Edit());
    Type("600");
    Press(Qt::Key_Tab);
    EXPECT_EQ(FocusName(), QStringLiteral("EdY")) << "not the width's arrows, not the same field";
    EXPECT_EQ(X(), QStringLiteral("600"));
    Type("450");
    EXPECT_EQ(X(), QStringLiteral("600")) << "the digits went into the height";
    EXPECT_EQ(Y(), QStringLiteral("450"));
    Press(Qt::Key_Return);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.Xpos(), 600);
    EXPECT_EQ(dialog.Ypos(), 450);
}

TEST_F(GScaleKeys, TabWalksEveryControlOnce)
{
    ShowWithFocus(dialog, dialog.Width()->Edit());
    QStringList order;
    for (int i = 0; i < 6; ++i) {
        order << FocusName();
        Press(Qt::Key_Tab);
    }
    EXPECT_EQ(order, (QStringList { "EdX", "EdY", "EdR", "CheckBox1", "OKBtn", "CancelBtn" }));
    EXPECT_EQ(FocusName(), QStringLiteral("EdX")) << "round again";
}

TEST_F(GScaleKeys, LinkedFieldsFollowEachKeystroke)
{
    ShowWithFocus(dialog, dialog.Width()->Edit());
    // The typed field keeps its text; the others show what leaving it now would give.
    const struct {
        const char* key;
        const char* width;
        const char* height;
        const char* ratio;
    } steps[] = {
        { "3", "3", "8", "10" }, // 3 counts as 8: height 4 and ratio 4 are clamped too
        { "0", "30", "15", "15" },
        { "0", "300", "150", "150" },
    };
    for (const auto& step : steps) {
        Type(step.key);
        EXPECT_EQ(X(), QString::fromLatin1(step.width)) << step.width;
        EXPECT_EQ(Y(), QString::fromLatin1(step.height)) << step.width;
        EXPECT_EQ(R(), QString::fromLatin1(step.ratio)) << step.width;
    }
    Press(Qt::Key_Backspace);
    EXPECT_EQ(Y(), QStringLiteral("15")) << "deleting is typing too";
    Type("1");
    EXPECT_EQ(Y(), QStringLiteral("151")) << "301·100/200 = 150.5 rounds up";

    // The ratio drives both sizes while it is typed.
    Press(Qt::Key_Tab);
    Press(Qt::Key_Tab);
    ASSERT_EQ(FocusName(), QStringLiteral("EdR"));
    Type("50");
    EXPECT_EQ(X(), QStringLiteral("100"));
    EXPECT_EQ(Y(), QStringLiteral("50"));
    Press(Qt::Key_Enter);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.Xpos(), 100);
    EXPECT_EQ(dialog.Ypos(), 50);
    EXPECT_EQ(dialog.Rpos(), 50);
}

TEST_F(GScaleKeys, AnArrowStepsFromTheNumberBeingTyped)
{
    ShowWithFocus(dialog, dialog.Width()->Edit());
    Type("60");
    QTest::mouseClick(dialog.findChild<QToolButton*>(QStringLiteral("xposUp")), Qt::LeftButton);
    EXPECT_TRUE(dialog.Width()->Edit()->hasFocus()) << "the arrows take no focus";
    EXPECT_EQ(X(), QStringLiteral("61"));
    EXPECT_EQ(Y(), QStringLiteral("31"));
    EXPECT_EQ(R(), QStringLiteral("30"));
}

TEST_F(GScaleKeys, EscCancelsAndLettersStayOut)
{
    ShowWithFocus(dialog, dialog.Height()->Edit());
    Type("2a0x");
    EXPECT_EQ(Y(), QStringLiteral("20"));
    Press(Qt::Key_Escape);
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_FALSE(dialog.isVisible());
}

// ---- クリッピング ----

class ClpKeys : public ::testing::Test {
protected:
    void SetUp() override
    {
        dialog.SetPictureSize(100, 60);
        dialog.SetArea({ 10, 5, 50, 40 });
    }
    TClpDlg dialog;
};

TEST_F(ClpKeys, WidthFollowsTheTypedLeftAndEnterTakesTheRectangle)
{
    ShowWithFocus(dialog, dialog.edLeft());
    Type("7");
    EXPECT_EQ(dialog.edWidth()->text(), QStringLiteral("50")) << "7 + 50 fits";
    Type("0");
    EXPECT_EQ(dialog.edWidth()->text(), QStringLiteral("30")) << "70 leaves 30";
    Press(Qt::Key_Backspace);
    EXPECT_EQ(dialog.edWidth()->text(), QStringLiteral("50"))
        << "back to 7: the width is not cut twice";
    Type("5");
    EXPECT_EQ(dialog.edWidth()->text(), QStringLiteral("25"));
    EXPECT_EQ(dialog.edLeft()->text(), QStringLiteral("75"));

    Press(Qt::Key_Tab);
    EXPECT_EQ(FocusName(), QStringLiteral("edTop"));
    Type("30");
    EXPECT_EQ(dialog.edLeft()->text(), QStringLiteral("75"));
    EXPECT_EQ(dialog.edTop()->text(), QStringLiteral("30"));
    EXPECT_EQ(dialog.edHeight()->text(), QStringLiteral("30"));
    Press(Qt::Key_Return);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.Area(), (ClipArea { 75, 30, 25, 30 }));
}

TEST_F(ClpKeys, ALeftBeyondThePictureIsSettledWhenLeft)
{
    ShowWithFocus(dialog, dialog.edLeft());
    Type("150");
    EXPECT_EQ(dialog.edLeft()->text(), QStringLiteral("150")) << "not rewritten while typed";
    EXPECT_EQ(dialog.edWidth()->text(), QStringLiteral("1"));
    Press(Qt::Key_Tab);
    EXPECT_EQ(dialog.edLeft()->text(), QStringLiteral("99"));
    // Tab order runs left, top, width, height.
    Press(Qt::Key_Tab);
    EXPECT_EQ(FocusName(), QStringLiteral("edWidth"));
    Type("1");
    Press(Qt::Key_Tab);
    EXPECT_EQ(FocusName(), QStringLiteral("edHeight"));
    EXPECT_EQ(dialog.Area(), (ClipArea { 99, 5, 1, 40 }));
    Press(Qt::Key_Escape);
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
}

// ---- the one-field dialogs ----

TEST(OneFieldKeys, EnterTakesTheTypedValueAndEscCancels)
{
    {
        TSMonoDlg threshold;
        threshold.SetLev1(127);
        ShowWithFocus(threshold, threshold.Edit1());
        Type("200");
        Press(Qt::Key_Return);
        EXPECT_EQ(threshold.result(), QDialog::Accepted);
        EXPECT_EQ(threshold.Lev1(), 200);
    }
    {
        TSMonoDlg threshold;
        ShowWithFocus(threshold, threshold.Edit1());
        Type("9");
        Press(Qt::Key_Escape);
        EXPECT_EQ(threshold.result(), QDialog::Rejected);
    }
    {
        TInputDlg input;
        input.SetIntegerMode(3, 2, 64);
        ShowWithFocus(input, input.edInp());
        Type("-1x6");
        EXPECT_EQ(input.edInp()->text(), QStringLiteral("-16"));
        // Out of range: the message, and the dialog stays open for another try.
        DialogGuard guard;
        guard.dialogs->messageAnswers.push_back(vtl::platform::qt::MsgResult::Ok);
        Press(Qt::Key_Return);
        ASSERT_EQ(guard.dialogs->messages.size(), 1u);
        EXPECT_TRUE(input.isVisible());
        input.edInp()->selectAll();
        Type("16");
        Press(Qt::Key_Return);
        EXPECT_EQ(input.result(), QDialog::Accepted);
        EXPECT_EQ(input.IntegerValue(), 16);
    }
    {
        TConnectDlg join;
        ShowWithFocus(join, join.SpUd()->Edit());
        Type("7");
        Press(Qt::Key_Escape);
        EXPECT_EQ(join.result(), QDialog::Rejected);
    }
}

} // namespace
