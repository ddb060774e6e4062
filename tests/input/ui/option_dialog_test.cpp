#include "app/ui/main_form.h"
#include "input/ui/loading_pipeline.h"
#include "input/ui/option_dialog.h"
#include "platform/registry.h"
#include "support/hostile_pictures.h"
#include "support/scripted_dialogs.h"
#include "support/temp_dir.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QCursor>
#include <QEnterEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>

using vtl::app::ui::TMainForm;
using vtl::input::ui::TOptionDlg;
using vtl::testing::DialogGuard;
using vtl::testing::TempDir;

namespace {

QString U(const char* s) { return QString::fromUtf8(s); }

class OptionDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        qputenv("VTL_REGISTRY_DIR", QByteArray::fromStdString(m_dir.Path().string()));
        m_form = std::make_unique<TMainForm>(QStringList {});
        m_form->Plugins().SetLines({ "f,*.pic,*.pi,\"Pic reader\",\"/opt/pic.spi\"",
            "a,*.lzh,\"Archiver\",\"/opt/arc.spi\",x", "f,*.mag,\"Mag reader\",\"mag.spi\"" });
        m_form->Plugins().SetModified(false);
    }
    void TearDown() override
    {
        m_form.reset();
        qunsetenv("VTL_REGISTRY_DIR");
    }
    TempDir m_dir;
    DialogGuard m_guard;
    std::unique_ptr<TMainForm> m_form;
};

}

TEST_F(OptionDialogTest, ShowsTheListAndTheOptions)
{
    m_form->AppSettings().png = true;
    m_form->AppSettings().wait = 7;
    m_form->AppSettings().sumSize = 2;
    m_guard.dialogs->dialogAnswers.push_back([](QDialog& d) {
        auto& dialog = dynamic_cast<TOptionDlg&>(d);
        EXPECT_EQ(dialog.windowTitle(), U("オプション設定"));
        auto* list = dialog.ListView1();
        EXPECT_EQ(list->headerItem()->text(0), U("説明"));
        EXPECT_EQ(list->headerItem()->text(1), U("拡張子"));
        EXPECT_EQ(list->headerItem()->text(2), U("Susie 32bit plug-in"));
        EXPECT_EQ(list->topLevelItemCount(), 3);
        EXPECT_EQ(list->topLevelItem(0)->text(1), "*.pic,*.pi");
        EXPECT_EQ(list->topLevelItem(1)->checkState(0), Qt::Unchecked);
        EXPECT_TRUE(dialog.CheckBox(2)->isChecked());
        EXPECT_FALSE(dialog.CheckBox(3)->isChecked());
        EXPECT_EQ(dialog.CheckBox(1)->text(), U("サムネイルを保存する"));
        EXPECT_EQ(dialog.cbSumSize()->currentText(), U(" 96 x 72"));
        EXPECT_EQ(dialog.edWait()->text(), "7");
        EXPECT_TRUE(dialog.edWait()->isReadOnly());
        return int(QDialog::Rejected); // Cancel changes nothing
    });
    m_form->Item("Option1")->trigger();
    EXPECT_FALSE(m_form->Plugins().Modified());
    EXPECT_EQ(m_form->AppSettings().wait, 7);
}

TEST_F(OptionDialogTest, OkAppliesOptionsAndTheReorderedList)
{
    m_guard.dialogs->dialogAnswers.push_back([](QDialog& d) {
        auto& dialog = dynamic_cast<TOptionDlg&>(d);
        dialog.CheckBox(1)->setChecked(false);
        dialog.CheckBox(4)->setChecked(true);
        dialog.SetWaitValue(0);
        dialog.SetWaitValue(99); // the up-down stops at 60
        EXPECT_EQ(dialog.WaitValue(), 60);
        dialog.SetWaitValue(0);
        dialog.cbSumSize()->setCurrentIndex(4);
        dialog.ListView1()->MoveItem(2, 0); // Mag reader first
        dialog.ListView1()->topLevelItem(2)->setCheckState(0, Qt::Checked); // archiver enabled
        return int(QDialog::Accepted);
    });
    m_form->Item("Option1")->trigger();
    const auto& s = m_form->AppSettings();
    EXPECT_FALSE(s.sumSave);
    EXPECT_TRUE(s.wall);
    EXPECT_EQ(s.wait, 0);
    EXPECT_EQ(s.sumSize, 4);
    EXPECT_EQ(m_form->Timer1()->interval(), 500);
    EXPECT_TRUE(m_form->Plugins().Modified());
    const auto& lines = m_form->Plugins().Lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "f,*.mag,\"Mag reader\",\"mag.spi\"");
    EXPECT_EQ(lines[2], "a,*.lzh,\"Archiver\",\"/opt/arc.spi\"");
}

TEST_F(OptionDialogTest, DeletingAndConfiguringAMissingPlugin)
{
    m_guard.dialogs->messageAnswers.push_back(vtl::platform::qt::MsgResult::Ok);
    m_guard.dialogs->dialogAnswers.push_back([](QDialog& d) {
        auto& dialog = dynamic_cast<TOptionDlg&>(d);
        dialog.ListView1()->setCurrentItem(dialog.ListView1()->topLevelItem(0));
        dialog.SpeedButton3Click();
        dialog.SpeedButton2Click();
        EXPECT_EQ(dialog.ListView1()->topLevelItemCount(), 2);
        return int(QDialog::Accepted);
    });
    m_form->Item("Option1")->trigger();
    ASSERT_EQ(m_guard.dialogs->messages.size(), 1u);
    EXPECT_EQ(m_guard.dialogs->messages[0].text, U("/opt/pic.spi が見つかりません。"));
    EXPECT_EQ(m_form->Plugins().Lines().size(), 2u);
}

TEST_F(OptionDialogTest, HintsReachTheStatusBarAndTheDialogStaysOnTheWorkArea)
{
    // Opened near the work area's bottom right corner, the dialog is pulled in with the size it
    // shows with, buttons and all.
    const QRect work(m_form->WorkArea().Left, m_form->WorkArea().Top, m_form->WorkArea().Width(),
        m_form->WorkArea().Height());
    QCursor::setPos(work.bottomRight() - QPoint(2, 2));
    m_guard.dialogs->dialogAnswers.push_back([this, work](QDialog& d) {
        d.show();
        QCoreApplication::processEvents();
        EXPECT_TRUE(work.contains(d.frameGeometry()))
            << d.frameGeometry().x() << "," << d.frameGeometry().y() << " "
            << d.frameGeometry().width() << "x" << d.frameGeometry().height();
        auto& dialog = dynamic_cast<TOptionDlg&>(d);
        // The pointer over a check box or the wait time: its hint in the frame's status bar.
        QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
        QCoreApplication::sendEvent(dialog.CheckBox(3), &enter);
        EXPECT_EQ(m_form->StatusText(),
            U("イメージの取得で、画面に表示せずに１つづつファイルに保存します。"));
        QCoreApplication::sendEvent(dialog.edWait(), &enter);
        EXPECT_EQ(
            m_form->StatusText(), U("連続表示時の待ち時間を設定します。ただし0は0.5秒とします。"));
        return int(QDialog::Rejected);
    });
    m_form->Item("Option1")->trigger();
}

// 詳細設定... sets the memory budget: it takes effect on the next picture opened and is kept in
// the registry store when the program ends; キャンセル in either dialog keeps the old value.
TEST_F(OptionDialogTest, DetailsSetTheMemoryBudget)
{
    auto clickDetails = [this](int memoryMB, int detailsResult, int optionsResult) {
        m_guard.dialogs->dialogAnswers.push_back([=, this](QDialog& d) {
            auto* details = d.findChild<QPushButton*>(QStringLiteral("DetailBtn"));
            EXPECT_EQ(details->text(), U("詳細設定..."));
            m_guard.dialogs->dialogAnswers.push_back([=](QDialog& limits) {
                EXPECT_EQ(limits.windowTitle(), U("詳細設定"));
                auto* box = limits.findChild<QSpinBox*>(QStringLiteral("seMemory"));
                EXPECT_EQ(box->text(), U("自動")); // 0 shows as automatic
                box->setValue(memoryMB);
                return detailsResult;
            });
            details->click();
            return optionsResult;
        });
        m_form->Item("Option1")->trigger();
    };
    clickDetails(300, QDialog::Rejected, QDialog::Accepted);
    EXPECT_EQ(m_form->AppSettings().memoryBudgetMB, 0);
    clickDetails(300, QDialog::Accepted, QDialog::Rejected);
    EXPECT_EQ(m_form->AppSettings().memoryBudgetMB, 0);
    clickDetails(300, QDialog::Accepted, QDialog::Accepted);
    EXPECT_EQ(m_form->AppSettings().memoryBudgetMB, 300);

    const auto png = vtl::testing::hostile::HugePng(20000, 20000);
    vtl::testing::WriteFile(m_dir / "huge.png", std::string(png.begin(), png.end()));
    m_guard.dialogs->messageAnswers.push_back(vtl::platform::qt::MsgResult::Ok);
    EXPECT_EQ(m_form->OpenFile(QString::fromStdString((m_dir / "huge.png").string()), 3), nullptr);
    ASSERT_EQ(m_guard.dialogs->messages.size(), 1u);
    EXPECT_TRUE(m_guard.dialogs->messages[0].text.endsWith(U("上限は 300 MB です。")));

    m_form->close();
    vtl::platform::Registry registry(m_dir.Path());
    EXPECT_EQ(registry.ReadString(vtl::platform::RegistryRoot::CurrentUser,
                  "software\\Tamsol\\vtl\\Limits", "MemoryMB"),
        "300");
}

// The photo and folder-order settings of 詳細設定: shown checked as their defaults, changed only
// by OK in both dialogs, carried into the next picture's reading, and stored when the program
// ends; a setting left at its default writes nothing, so older files stay as they were.
TEST_F(OptionDialogTest, DetailsSetThePhotoAndOrderSettings)
{
    auto clickDetails = [this](int detailsResult, int optionsResult) {
        m_guard.dialogs->dialogAnswers.push_back([=, this](QDialog& d) {
            m_guard.dialogs->dialogAnswers.push_back([=](QDialog& limits) {
                auto* upright = limits.findChild<QCheckBox*>(QStringLiteral("cbUpright"));
                auto* colours = limits.findChild<QCheckBox*>(QStringLiteral("cbTrueColours"));
                auto* natural = limits.findChild<QCheckBox*>(QStringLiteral("cbNaturalOrder"));
                EXPECT_TRUE(upright->isChecked());
                EXPECT_TRUE(colours->isChecked());
                EXPECT_FALSE(natural->isChecked());
                upright->click();
                natural->click();
                return detailsResult;
            });
            d.findChild<QPushButton*>(QStringLiteral("DetailBtn"))->click();
            return optionsResult;
        });
        m_form->Item("Option1")->trigger();
    };
    clickDetails(QDialog::Accepted, QDialog::Rejected);
    clickDetails(QDialog::Rejected, QDialog::Accepted);
    EXPECT_TRUE(m_form->AppSettings().photoUpright);
    EXPECT_FALSE(m_form->AppSettings().naturalOrder);
    clickDetails(QDialog::Accepted, QDialog::Accepted);
    EXPECT_FALSE(m_form->AppSettings().photoUpright);
    EXPECT_TRUE(m_form->AppSettings().photoTrueColours);
    EXPECT_TRUE(m_form->AppSettings().naturalOrder);
    const auto context = vtl::input::ui::FrameDecodeContext(*m_form);
    EXPECT_FALSE(context.photo.upright);
    EXPECT_TRUE(context.photo.trueColours);

    m_form->close();
    vtl::platform::Registry registry(m_dir.Path());
    auto stored = [&registry](const char* key, const char* name) {
        return registry.ReadString(vtl::platform::RegistryRoot::CurrentUser,
            std::string("software\\Tamsol\\vtl\\") + key, name);
    };
    EXPECT_EQ(stored("Photo", "Upright"), "0");
    EXPECT_EQ(stored("Order", "Natural"), "1");
    EXPECT_EQ(stored("Photo", "Colours"), std::nullopt);
    EXPECT_EQ(stored("Limits", "MemoryMB"), std::nullopt);
}
