// ヘルプ → トピックの検索: the program's own help shown in its own window from the menu, one window
// however often it is asked for; and where the help is found, installed or in a build tree.
#include "app/ui/help_window.h"
#include "support/document_fixture.h"

#include <QTextBrowser>

using vtl::app::ui::HelpDocumentFor;
using vtl::app::ui::THelpForm;
using vtl::testing::CommandTest;
using vtl::testing::TempDir;
using vtl::testing::WriteFile;
namespace fs = std::filesystem;

namespace {

class HelpTest : public CommandTest { };

TEST_F(HelpTest, TheMenuItemShowsTheHelpInTheProgramsOwnWindow)
{
    MakeForm();
    m_form->Item("SearchforHelpOn1")->trigger();
    auto* help = m_form->findChild<THelpForm*>("HelpForm");
    ASSERT_NE(help, nullptr) << "no help window";
    EXPECT_TRUE(help->isVisible());
    EXPECT_TRUE(help->isWindow()) << "a window of its own, not a child of the frame's area";
    EXPECT_EQ(help->windowTitle(), QString::fromUtf8("Vistrel ヘルプ"));
    const QString text = help->Browser()->toPlainText();
    EXPECT_TRUE(text.startsWith(QString::fromUtf8("Vistrel ヘルプ")))
        << text.left(80).toStdString();
    for (const char* part :
        { "メインウインドウ", "キー操作", "vtlc", "プラグイン", "データフォルダ" })
        EXPECT_TRUE(text.contains(QString::fromUtf8(part))) << part;
    EXPECT_TRUE(m_guard.dialogs->messages.empty());

    // Asked again: the same window comes forward.
    m_form->Item("SearchforHelpOn1")->trigger();
    EXPECT_EQ(m_form->findChildren<THelpForm*>().size(), 1);

    // The table of contents leads inside the document.
    help->Browser()->setSource(help->Browser()->source().resolved(QUrl("#vtlc")));
    EXPECT_TRUE(help->Browser()->toPlainText().contains(QStringLiteral("vtlc info")));
}

TEST(HelpDocument, FoundBesideTheInstalledProgramOrInTheBuildAndSourceTrees)
{
    TempDir dir;
    // Installed: <prefix>/bin/vtl, <prefix>/share/vtl/help/vtl-help.html.
    fs::create_directories(dir / "prefix/bin");
    EXPECT_EQ(HelpDocumentFor(dir / "prefix/bin"), std::nullopt);
    fs::create_directories(dir / "prefix/share/vtl/help");
    WriteFile(dir / "prefix/share/vtl/help/vtl-help.html", "<title>x</title>");
    EXPECT_EQ(HelpDocumentFor(dir / "prefix/bin"), dir / "prefix/share/vtl/help/vtl-help.html");

    // A build tree without its copy: the source tree its cache names.
    fs::create_directories(dir / "build/src/tools/vtlc");
    fs::create_directories(dir / "source/share/help");
    WriteFile(dir / "source/share/help/vtl-help.html", "<title>x</title>");
    WriteFile(dir / "build/CMakeCache.txt",
        "# cache\nCMAKE_HOME_DIRECTORY:INTERNAL=" + (dir / "source").string() + "\n");
    EXPECT_EQ(
        HelpDocumentFor(dir / "build/src/tools/vtlc"), dir / "source/share/help/vtl-help.html");

    // The real build tree of these tests has its copy.
    const auto here = HelpDocumentFor(fs::path(VTL_BINARY_DIR) / "tests");
    ASSERT_TRUE(here);
    EXPECT_EQ(*here, fs::path(VTL_BINARY_DIR) / "share/vtl/help/vtl-help.html");
}

} // namespace
