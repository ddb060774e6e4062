// The manual page and bash completion installed with vtlc: both follow the program, so a new
// command, option or operation that is missing from either fails here.
#include "support/temp_dir.h"
#include "tools/vtlc/apply_command.h"
#include "tools/vtlc/command_line.h"
#include "tools/vtlc/commands.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <regex>
#include <set>
#include <sstream>

using namespace vtl::tools;
using vtl::testing::ReadFile;
using vtl::testing::TempDir;
namespace fs = std::filesystem;

namespace {

const fs::path kSource = fs::path(VTL_SOURCE_DIR) / "src/tools/vtlc";

// Every long option a command's help names.
std::set<std::string> LongOptions(const std::string& text)
{
    std::set<std::string> options;
    const std::regex option("--[a-z][a-z-]*");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), option); it != std::sregex_iterator(); ++it)
        options.insert(it->str());
    return options;
}

std::set<std::string> Words(const std::string& text)
{
    std::istringstream in(text);
    return { std::istream_iterator<std::string>(in), {} };
}

// The completions bash offers for `line` (the word under the cursor last).
std::string Complete(const TempDir& dir, const std::string& line)
{
    const auto script = dir / "complete.sh";
    vtl::testing::WriteFile(script,
        "source /usr/share/bash-completion/bash_completion\n"
        "source '" + (kSource / "vtlc.bash-completion").string() + "'\n"
        "cd '" + dir.Path().string() + "'\n"
        "COMP_WORDS=(" + line + ")\n"
        "COMP_CWORD=$((${#COMP_WORDS[@]} - 1))\n"
        "COMP_LINE=\"${COMP_WORDS[*]}\"; COMP_POINT=${#COMP_LINE}\n"
        "_vtlc\n"
        "printf '%s\\n' \"${COMPREPLY[@]}\"\n");
    const auto out = dir / "out";
    const std::string command = "bash '" + script.string() + "' >'" + out.string() + "' 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0) << ReadFile(out);
    return ReadFile(out);
}

}

TEST(VtlcShellIntegration, CompletionOffersEveryCommandOperationAndOption)
{
    if (!fs::exists("/usr/share/bash-completion/bash_completion"))
        GTEST_SKIP() << "bash-completion is not installed";
    TempDir dir;
    std::set<std::string> commands { "--version", "--help" };
    for (const auto& [name, run] : Commands())
        commands.insert(name);
    EXPECT_EQ(Words(Complete(dir, "vtlc ''")), commands);

    std::set<std::string> operations;
    for (const ApplyOperation& o : ApplyOperations())
        operations.insert(o.name);
    EXPECT_EQ(Words(Complete(dir, "vtlc apply in.bmp out.png ''")), operations);
    EXPECT_EQ(Words(Complete(dir, "vtlc apply in.bmp out.png gray + ''")), operations);
    EXPECT_EQ(Words(Complete(dir, "vtlc apply -o out a.bmp b.bmp -- ''")), operations);
    // Before the operations come files.
    vtl::testing::WriteFile(dir / "photo.jpg", "");
    EXPECT_EQ(Words(Complete(dir, "vtlc apply -o out ph")), std::set<std::string> { "photo.jpg" });

    for (const auto& [name, run] : Commands()) {
        std::set<std::string> help = LongOptions(CommandHelp(name));
        help.insert("--help");
        EXPECT_EQ(Words(Complete(dir, "vtlc " + name + " --")), help) << name;
    }
    EXPECT_EQ(Words(Complete(dir, "vtlc convert a --as png-i")),
        (std::set<std::string> { "png-interlace", "png-interlace-transparent" }));
}

TEST(VtlcShellIntegration, ManualPageIsCleanAndNamesEveryOption)
{
    if (std::system("command -v groff >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "groff is not installed";
    TempDir dir;
    const std::string page = (kSource / "vtlc.1").string();
    const std::string check = "groff -man -Tutf8 -ww -z '" + page + "' 2>'" + (dir / "warnings").string() + "'";
    EXPECT_EQ(std::system(check.c_str()), 0);
    EXPECT_EQ(ReadFile(dir / "warnings"), "");

    // The page writes "--as" as "\-\-as".
    const std::string text = std::regex_replace(ReadFile(page), std::regex(R"(\\-)"), "-");
    for (const auto& [name, run] : Commands()) {
        EXPECT_NE(text.find(".B vtlc " + name), std::string::npos) << name;
        for (const std::string& option : LongOptions(CommandHelp(name)))
            EXPECT_NE(text.find(option), std::string::npos) << option;
    }
}
