// The association dialog offscreen over a registry in a temporary folder: its check list, what
// "設定" writes and what "キャンセル" doesn't, and the command that runs it from the main window.
#include "shell/ui/spi_reg_dialog.h"

#include "platform/registry.h"
#include "support/scripted_dialogs.h"
#include "support/temp_dir.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <gtest/gtest.h>

using namespace vtl::shell::ui;
using vtl::platform::Registry;
using vtl::platform::RegistryRoot;
using vtl::testing::DialogGuard;
using vtl::testing::ReadFile;
using vtl::testing::TempDir;

namespace {

constexpr RegistryRoot HKCR = RegistryRoot::ClassesRoot;
constexpr RegistryRoot HKLM = RegistryRoot::LocalMachine;
const char* const kShellKey = "SOFTWARE\\Tamsol\\vtl";

QString U(const char* s) { return QString::fromUtf8(s); }

const std::vector<std::string> kPlugins = {
    R"(f,*.pic,"PIC 形式","ifpic.spi")",
    R"(f,*.gif,"GIF 形式","ifgif.spi",x)",
};

QStringList Items(const QListWidget* list, Qt::CheckState state)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        if (list->item(i)->checkState() == state)
            out << list->item(i)->text();
    return out;
}

TEST(SpiRegDlg, ListsTheExtensionsAndChecksTheSavedOnes)
{
    TempDir dir;
    Registry reg(dir.Path());
    reg.WriteString(HKLM, kShellKey, "shell", ".png,.pic");
    TSpiRegDlg dialog(reg, kPlugins);
    EXPECT_EQ(dialog.windowTitle(), U("レジストリ設定"));
    EXPECT_EQ(dialog.findChild<QLabel*>()->text(), U("関連付けする拡張子をチェック"));
    EXPECT_EQ(dialog.Button1()->text(), U("設定"));
    EXPECT_EQ(dialog.Button2()->text(), U("キャンセル"));
    ASSERT_EQ(dialog.findChild<QListWidget*>("CheckListBox1"), dialog.CheckListBox1());

    const QListWidget* list = dialog.CheckListBox1();
    ASSERT_EQ(list->count(), 5);
    EXPECT_EQ(Items(list, Qt::Checked), (QStringList { ".png", ".pic" }));
    EXPECT_EQ(Items(list, Qt::Unchecked), (QStringList { ".bmp", ".jpg", ".jpeg" }));
    for (int i = 0; i < list->count(); ++i)
        EXPECT_TRUE(list->item(i)->flags() & Qt::ItemIsUserCheckable);
}

TEST(SpiRegDlg, SettingWritesTheCheckedAssociationsAndTheirList)
{
    TempDir dir;
    Registry reg(dir.Path());
    reg.WriteString(HKCR, ".jpg", "", "jpegfile");
    reg.WriteString(HKLM, kShellKey, "shell", ".bmp");
    TSpiRegDlg dialog(reg, kPlugins);
    QListWidget* list = dialog.CheckListBox1();
    list->item(0)->setCheckState(Qt::Unchecked); // .bmp
    list->item(1)->setCheckState(Qt::Checked); // .jpg
    list->item(4)->setCheckState(Qt::Checked); // .pic
    dialog.Button1()->click();

    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(reg.ReadString(HKLM, kShellKey, "shell"), ".jpg,.pic");
    EXPECT_EQ(reg.ReadString(HKCR, ".jpg", ""), "vtl.jpg");
    EXPECT_EQ(reg.ReadString(HKCR, ".jpg", "vtl.bak"), "jpegfile");
    EXPECT_EQ(reg.ReadString(HKCR, "vtl.pic", ""), "PIC 形式");
    const std::string program = (vtl::shell::AssociatedProgram()).string();
    EXPECT_EQ(reg.ReadString(HKCR, "vtl.pic\\shell\\open\\command", ""), "\"" + program + "\" -n");
    EXPECT_FALSE(reg.KeyExists(HKCR, ".bmp"));
}

TEST(SpiRegDlg, CancelWritesNothingButClosesAsSettingDoes)
{
    TempDir dir;
    Registry reg(dir.Path());
    reg.WriteString(HKLM, kShellKey, "shell", ".png");
    const std::string classes = reg.Serialise(HKCR);
    const std::string machine = reg.Serialise(HKLM);
    TSpiRegDlg dialog(reg, kPlugins);
    dialog.CheckListBox1()->item(0)->setCheckState(Qt::Checked);
    dialog.CheckListBox1()->item(3)->setCheckState(Qt::Unchecked);
    dialog.Button2()->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(reg.Serialise(HKCR), classes);
    EXPECT_EQ(reg.Serialise(HKLM), machine);
}

TEST(SpiRegDlg, CommandTakesBackVanishedExtensionsAndWritesTheFilesEvenWhenCancelled)
{
    TempDir dir;
    {
        Registry reg(dir.Path());
        reg.WriteString(HKCR, ".gif", "", "giffile");
        vtl::shell::Associate(reg, ".gif", "GIF 形式");
        reg.WriteString(HKLM, kShellKey, "shell", ".gif");
        reg.Flush();
    }
    DialogGuard guard;
    const vtl::platform::TRect workArea { 0, 0, 800, 600 };
    QRect placed;
    guard.dialogs->dialogAnswers.push_back([&](QDialog& d) {
        placed = d.geometry();
        static_cast<TSpiRegDlg&>(d).Button2()->click();
        return d.result();
    });
    Registry reg(dir.Path());
    ShowAssociationDialog(nullptr, workArea, reg, kPlugins);
    EXPECT_EQ(guard.dialogs->dialogsShown, (std::vector<QString> { "SpiRegDlg" }));
    EXPECT_GE(placed.left(), 0);
    EXPECT_GE(placed.top(), 0);
    EXPECT_LE(placed.left() + placed.width(), 800);
    EXPECT_LE(placed.top() + placed.height(), 600);

    Registry reread(dir.Path());
    EXPECT_EQ(reread.ReadString(HKCR, ".gif", ""), "giffile");
    EXPECT_FALSE(reread.KeyExists(HKCR, "vtl.gif"));
    EXPECT_EQ(reread.ReadString(HKLM, kShellKey, "shell"), ".gif") << "the list waits for 設定";
    EXPECT_NE(ReadFile(reread.FilePath(HKCR)).find("giffile"), std::string::npos);
}

TEST(SpiRegDlg, CommandOfTheMainWindowUsesTheProgramsRegistryFiles)
{
    TempDir dir;
    const QByteArray previous = qgetenv("VTL_REGISTRY_DIR");
    qputenv("VTL_REGISTRY_DIR", QByteArray::fromStdString(dir.Path().string()));
    DialogGuard guard;
    guard.dialogs->dialogAnswers.push_back([](QDialog& d) {
        auto& dialog = static_cast<TSpiRegDlg&>(d);
        dialog.CheckListBox1()->item(3)->setCheckState(Qt::Checked);
        dialog.Button1()->click();
        return d.result();
    });
    ShowAssociationDialog(nullptr, { 0, 0, 800, 600 }, kPlugins);
    if (previous.isNull())
        qunsetenv("VTL_REGISTRY_DIR");
    else
        qputenv("VTL_REGISTRY_DIR", previous);

    Registry reread(dir.Path());
    EXPECT_EQ(reread.ReadString(HKCR, ".png", ""), "vtl.png");
    EXPECT_EQ(reread.ReadString(HKLM, kShellKey, "shell"), ".png");
}

} // namespace
