// The JPEG quality dialog as the user meets it: its size, its place on the screen whatever
// window it was opened from, and the keyboard.
#include "document/ui/jrate_dialog.h"

#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <gtest/gtest.h>

using vtl::document::ui::TJRateDlg;

namespace {

QPoint ScreenCentre() { return QGuiApplication::primaryScreen()->geometry().center(); }

TEST(JRateDlg, ClientIs113By70AndCentredOnTheScreen)
{
    // A parent in a corner: the dialog must not follow it.
    QWidget owner;
    owner.setGeometry(10, 10, 200, 150);
    owner.show();
    TJRateDlg dialog(&owner);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));

    EXPECT_EQ(dialog.size(), QSize(113, 70));
    EXPECT_EQ(dialog.geometry().size(), QSize(113, 70));
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize()) << "a dialog border is not resized";
    const QPoint offset = dialog.frameGeometry().center() - ScreenCentre();
    EXPECT_LE(offset.manhattanLength(), 2) << offset.x() << ", " << offset.y();

    // Every control lies inside the client area.
    for (const char* name : { "Edit1", "UpDown1", "OKBtn" }) {
        auto* control = dialog.findChild<QWidget*>(QString::fromLatin1(name));
        ASSERT_NE(control, nullptr) << name;
        const QRect bounds(control->mapTo(&dialog, QPoint(0, 0)), control->size());
        EXPECT_TRUE(dialog.rect().contains(bounds)) << name;
    }
    EXPECT_EQ(dialog.findChild<QPushButton*>(QStringLiteral("CancelBtn")), nullptr);
    EXPECT_TRUE(dialog.findChild<QPushButton*>(QStringLiteral("OKBtn"))->isDefault());
    dialog.close();

    // Shown a second time after the parent moved, it is still in the middle.
    owner.move(300, 200);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    EXPECT_LE((dialog.frameGeometry().center() - ScreenCentre()).manhattanLength(), 2);
}

TEST(JRateDlg, TypedQualityAndEnterAccept)
{
    TJRateDlg dialog;
    dialog.SetPosition(90);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    QLineEdit* edit = dialog.Edit1();
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, QStringLiteral("250"));
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.Position(), 100) << "clamped as on leaving the field";
}

} // namespace
