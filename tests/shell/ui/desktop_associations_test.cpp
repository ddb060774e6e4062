// The association command as the desktop sees it: 表示 → 関連付け driven offscreen over scratch XDG
// folders, with the desktop's own `xdg-mime query default` asked before, after ticking and after
// unticking; a damaged mimeapps.list keeps its lines, and a read-only config folder gives a clear
// message and changes nothing.
#include "platform/atomic_file.h"
#include "platform/registry.h"
#include "shell/desktop_defaults.h"
#include "support/document_fixture.h"

#include <QListWidget>
#include <QProcess>
#include <QProcessEnvironment>
#include <QPushButton>
#include <QStandardPaths>
#include <cerrno>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

using vtl::platform::Registry;
using vtl::platform::RegistryRoot;
using vtl::testing::CommandTest;
using vtl::testing::ReadFile;
using vtl::testing::TempDir;
using vtl::testing::WriteFile;
namespace fs = std::filesystem;

namespace {

const std::string kPicPlugin = R"(f,*.pic,"PIC 形式","ifpic.spi")";

class DesktopAssociationTest : public CommandTest {
protected:
    void SetUp() override
    {
        CommandTest::SetUp();
        if (QStandardPaths::findExecutable(QStringLiteral("xdg-mime")).isEmpty())
            GTEST_SKIP() << "xdg-mime is not installed (Debian package xdg-utils)";
        m_config = m_xdg / "config";
        m_data = m_xdg / "data";
        fs::create_directories(m_config);
        fs::create_directories(m_data / "applications");
        // The defaults the user had: a program of theirs for JPEG.
        WriteFile(m_data / "applications" / "peer.desktop",
            "[Desktop Entry]\nType=Application\nName=Peer\nExec=/bin/true %F\n"
            "MimeType=image/jpeg;\n");
        for (const char* name : { "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_DATA_DIRS" })
            m_saved.emplace_back(name, qgetenv(name));
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(m_config.string()));
        qputenv("XDG_DATA_HOME", QByteArray::fromStdString(m_data.string()));
        // The system's MIME database, but no desktop entry installed elsewhere by a user.
        qputenv("XDG_DATA_DIRS", "/usr/share");
        // A picture plug-in whose extension the MIME database doesn't know.
        WriteFile(m_dir / "vtl.dat", kPicPlugin + "\r\n");
        MakeForm();
    }
    void TearDown() override
    {
        chmod(m_config.c_str(), 0755);
        vtl::platform::SetRenameFunctionForTesting({});
        for (const auto& [name, value] : m_saved) {
            if (value.isNull())
                qunsetenv(name);
            else
                qputenv(name, value);
        }
        CommandTest::TearDown();
    }

    // What the desktop answers: xdg-mime run as a file manager would, over the scratch folders.
    std::string QueryDefault(const char* type)
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", QString::fromStdString(m_config.string()));
        env.insert("XDG_DATA_HOME", QString::fromStdString(m_data.string()));
        env.insert("XDG_DATA_DIRS", "/usr/share");
        // The generic desktop: mimeapps.list read as the standard says, no desktop's own tool.
        env.insert("XDG_CURRENT_DESKTOP", "X-Generic");
        for (const char* name : { "KDE_FULL_SESSION", "GNOME_DESKTOP_SESSION_ID",
                 "MATE_DESKTOP_SESSION_ID", "DESKTOP_SESSION", "DISPLAY" })
            env.remove(name);
        p.setProcessEnvironment(env);
        p.start(QStringLiteral("xdg-mime"),
            { QStringLiteral("query"), QStringLiteral("default"), QString::fromUtf8(type) });
        EXPECT_TRUE(p.waitForFinished(20000));
        return p.readAllStandardOutput().trimmed().toStdString();
    }

    // 表示 → 関連付け: ticks exactly `ticked` and presses 設定; `whileOpen` looks at the dialog
    // after the press (it is still open when the press failed) and may close it.
    void RunAssociationCommand(
        const QStringList& ticked, const std::function<void(QDialog&)>& whileOpen = [](QDialog&) {})
    {
        m_guard.dialogs->dialogAnswers.push_back([&](QDialog& dialog) {
            auto* list = dialog.findChild<QListWidget*>("CheckListBox1");
            for (int i = 0; i < list->count(); ++i)
                list->item(i)->setCheckState(
                    ticked.contains(list->item(i)->text()) ? Qt::Checked : Qt::Unchecked);
            dialog.findChild<QPushButton*>("Button1")->click();
            whileOpen(dialog);
            return dialog.result();
        });
        m_form->Item("Kanren")->trigger();
        EXPECT_TRUE(m_guard.dialogs->dialogAnswers.empty()) << "the dialog was not shown";
    }

    std::string MimeAppsListText() const { return ReadFile(m_config / "mimeapps.list"); }

    TempDir m_xdg;
    fs::path m_config;
    fs::path m_data;
    std::vector<std::pair<const char*, QByteArray>> m_saved;
};

TEST_F(DesktopAssociationTest, TickingAndUntickingChangeWhatTheDesktopOpens)
{
    const std::string user = "# kept by hand\n"
                             "[Default Applications]\n"
                             "image/jpeg=peer.desktop;\n"
                             "this line is damaged\n"
                             "[Added Associations]\n"
                             "image/png=peer.desktop;\n";
    WriteFile(m_config / "mimeapps.list", user);
    const std::string pngBefore = QueryDefault("image/png");
    const std::string bmpBefore = QueryDefault("image/bmp");
    EXPECT_EQ(QueryDefault("image/jpeg"), "peer.desktop");
    EXPECT_NE(pngBefore, "vtl.desktop");

    RunAssociationCommand({ ".jpg", ".jpeg", ".png" });
    EXPECT_EQ(QueryDefault("image/jpeg"), "vtl.desktop");
    EXPECT_EQ(QueryDefault("image/png"), "vtl.desktop");
    EXPECT_EQ(QueryDefault("image/bmp"), bmpBefore) << "not ticked, not touched";
    const std::string ticked = ReadFile(m_config / "mimeapps.list");
    for (const char* kept : { "# kept by hand\n", "this line is damaged\n",
             "[Added Associations]\nimage/png=peer.desktop;\n" })
        EXPECT_NE(ticked.find(kept), std::string::npos) << kept << " was lost:\n" << ticked;
    // The desktop resolves vtl's entry: installed for the user, running vtl-open.
    const std::string entry = ReadFile(m_data / "applications" / "vtl.desktop");
    EXPECT_NE(entry.find("vtl-open %F"), std::string::npos) << entry;
    // The registry part of the same step, with the previous default beside the backup.
    Registry reg(m_dir.Path());
    EXPECT_EQ(reg.ReadString(RegistryRoot::ClassesRoot, ".jpg", ""), "vtl.jpg");
    EXPECT_EQ(reg.ReadString(RegistryRoot::ClassesRoot, ".jpg", vtl::shell::kMimeBackupValue),
        "peer.desktop;");

    RunAssociationCommand({});
    EXPECT_EQ(QueryDefault("image/jpeg"), "peer.desktop");
    EXPECT_EQ(QueryDefault("image/png"), pngBefore);
    EXPECT_EQ(ReadFile(m_config / "mimeapps.list"), user);
    EXPECT_FALSE(fs::exists(m_data / "applications" / "vtl.desktop"));
}

TEST_F(DesktopAssociationTest, AReadOnlyConfigFolderIsReportedAndNothingChanges)
{
    const std::string user = "[Default Applications]\nimage/png=peer.desktop;\n";
    WriteFile(m_config / "mimeapps.list", user);
    ASSERT_EQ(chmod(m_config.c_str(), 0555), 0);
    // Permission bits don't hold the superuser back: the refusal is then made by hand, as a
    // read-only file system would make it, for whatever is put into the config folder.
    if (geteuid() == 0)
        vtl::platform::SetRenameFunctionForTesting(
            [config = m_config.string() + "/"](const char* from, const char* to) {
                if (std::string_view(to).starts_with(config)) {
                    errno = EROFS;
                    return -1;
                }
                return std::rename(from, to);
            });

    m_guard.dialogs->messageAnswers.push_back(vtl::platform::qt::MsgResult::Ok);
    bool stayedOpen = false;
    RunAssociationCommand({ ".png" }, [&](QDialog& dialog) {
        stayedOpen = dialog.result() != QDialog::Accepted;
        dialog.findChild<QPushButton*>("Button2")->click(); // キャンセル
    });
    EXPECT_TRUE(stayedOpen) << "the dialog closed as if it had worked";
    ASSERT_EQ(m_guard.dialogs->messages.size(), 1u);
    const QString message = m_guard.dialogs->messages[0].text;
    EXPECT_TRUE(message.contains(QStringLiteral("mimeapps.list"))) << message.toStdString();
    EXPECT_TRUE(message.contains(QString::fromUtf8("変更していません"))) << message.toStdString();
    EXPECT_EQ(m_guard.dialogs->messages[0].title, QStringLiteral("vtl"));

    EXPECT_EQ(ReadFile(m_config / "mimeapps.list"), user);
    EXPECT_EQ(QueryDefault("image/png"), "peer.desktop");
    EXPECT_FALSE(fs::exists(m_data / "applications" / "vtl.desktop"))
        << "the entry must not be installed for a default that was not written";
    Registry reg(m_dir.Path());
    EXPECT_FALSE(reg.KeyExists(RegistryRoot::ClassesRoot, ".png"));
    EXPECT_EQ(
        reg.ReadString(RegistryRoot::LocalMachine, "SOFTWARE\\Tamsol\\vtl", "shell"), std::nullopt);
}

TEST_F(DesktopAssociationTest, APluginTypeIsDeclaredAndGivenBackWhenItsPluginIsGone)
{
    RunAssociationCommand({ ".pic" });
    EXPECT_EQ(QueryDefault("image/x-vtl-pic"), "vtl.desktop");
    // The desktop learnt the type from our package: its database maps the extension to it.
    EXPECT_NE(
        ReadFile(m_data / "mime" / "globs2").find("image/x-vtl-pic:*.pic"), std::string::npos);

    // The plug-in removed: the dialog takes the extension back as it opens, even when cancelled.
    m_form.reset();
    WriteFile(m_dir / "vtl.dat", "");
    MakeForm();
    m_guard.dialogs->dialogAnswers.push_back([](QDialog& dialog) {
        dialog.findChild<QPushButton*>("Button2")->click();
        return dialog.result();
    });
    m_form->Item("Kanren")->trigger();
    EXPECT_EQ(QueryDefault("image/x-vtl-pic"), "");
    EXPECT_EQ(MimeAppsListText().find("x-vtl-pic"), std::string::npos);
    EXPECT_FALSE(fs::exists(m_data / "applications" / "vtl.desktop"));
}

} // namespace
