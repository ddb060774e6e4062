// vtlc on many files at once, and through pipes: what a script sees (statuses, the summary, the
// files in the output folder) when good, bad and clashing inputs are mixed.
#include "tools/vtlc/apply_command.h"
#include "tools/vtlc/command_line.h"
#include "vtlc_fixture.h"

#include <filesystem>
#include <regex>
#include <sys/stat.h>
#include <unistd.h>

using vtl::platform::TBitmap;
using vtl::testing::ReadFile;
using vtl::testing::SamePixels;
using vtl::testing::VtlcTest;
using vtl::testing::WriteFile;
namespace fs = std::filesystem;

namespace {

size_t Count(const std::string& text, const std::string& part)
{
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

// The names in a folder, temporary files of a save included.
std::vector<std::string> Names(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class BatchTest : public VtlcTest {
protected:
    // Five good pictures in "in/", and the bad files a real folder holds beside them.
    void MakeMixedFolder()
    {
        fs::create_directory(m_dir / "in");
        for (int i = 0; i < 5; ++i)
            MakePicture("in/good" + std::to_string(i) + ".bmp", i * 7);
        WriteFile(m_dir / "in" / "damaged.bmp", "BM this is not a bitmap at all");
        WriteFile(m_dir / "in" / "notes.txt", "a shopping list");
        MakePicture("in/locked.bmp");
        ::chmod((m_dir / "in" / "locked.bmp").c_str(), 0);
        fs::create_directory(m_dir / "in" / "sub"); // folders inside are left alone
    }
    bool CanReadLocked() { return ::access((m_dir / "in" / "locked.bmp").c_str(), R_OK) == 0; }
};

}

TEST_F(BatchTest, GoodFilesAreConvertedAndEachBadOneIsReportedOnce)
{
    MakeMixedFolder();
    auto r = Vtlc("convert -o " + P("out") + " " + P("in") + " --as png -j 2");
    EXPECT_EQ(r.status, 1) << r.err;
    for (int i = 0; i < 5; ++i) {
        const std::string name = "good" + std::to_string(i);
        TBitmap original, written;
        original.LoadFromFile(m_dir / "in" / (name + ".bmp"));
        ASSERT_TRUE(fs::exists(m_dir / "out" / (name + ".png"))) << r.err;
        auto back = Vtlc("convert " + P("out/" + name + ".png") + " " + P(name + ".bmp"));
        ASSERT_EQ(back.status, 0) << back.err;
        written.LoadFromFile(m_dir / (name + ".bmp"));
        EXPECT_TRUE(SamePixels(original, written)) << name;
    }
    const size_t bad = CanReadLocked() ? 2 : 3; // running as root reads any file
    EXPECT_NE(r.err.find("vtlc: " + std::to_string(bad) + " of 8 files failed:"), std::string::npos) << r.err;
    EXPECT_EQ(Count(r.err, "damaged.bmp"), 1u) << r.err;
    EXPECT_EQ(Count(r.err, "notes.txt"), 1u) << r.err;
    if (!CanReadLocked()) {
        EXPECT_EQ(Count(r.err, "locked.bmp"), 1u) << r.err;
    }
    // Nothing half-written: exactly the good files (and the readable locked one) are there.
    std::vector<std::string> expected { "good0.png", "good1.png", "good2.png", "good3.png", "good4.png" };
    if (CanReadLocked())
        expected.push_back("locked.png");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Names(m_dir / "out"), expected);
}

TEST_F(BatchTest, ResultsAndMessagesDoNotDependOnTheNumberOfJobs)
{
    fs::create_directory(m_dir / "in");
    std::string inputs;
    for (int i = 0; i < 8; ++i) {
        MakePicture("in/p" + std::to_string(i) + ".bmp", i * 11);
        inputs += " " + P("in/p" + std::to_string(i) + ".bmp");
    }
    const std::string work = inputs + " -- blur large + reduce256 dynamic dither + sharpen --as bmp -v";
    auto one = Vtlc("apply -j 1 -o " + P("one") + work);
    auto three = Vtlc("apply -j3 -o " + P("three") + work);
    ASSERT_EQ(one.status, 0) << one.err;
    ASSERT_EQ(three.status, 0) << three.err;
    EXPECT_EQ(one.err, std::regex_replace(three.err, std::regex("/three/"), "/one/"));
    EXPECT_EQ(Count(one.err, " -> "), 8u) << one.err;
    for (int i = 0; i < 8; ++i) {
        const std::string name = "p" + std::to_string(i) + ".bmp";
        EXPECT_EQ(ReadFile(m_dir / "one" / name), ReadFile(m_dir / "three" / name)) << name;
        // -v names the files in input order whatever thread finished first.
        EXPECT_LT(one.err.find("p" + std::to_string(i) + ".bmp ->"),
            i == 7 ? std::string::npos : one.err.find("p" + std::to_string(i + 1) + ".bmp ->"));
    }
    // The batch writes what the single form writes.
    auto single = Vtlc("apply " + P("in/p3.bmp") + " " + P("single.bmp") + " blur large + reduce256 dynamic dither + sharpen");
    ASSERT_EQ(single.status, 0) << single.err;
    EXPECT_EQ(ReadFile(m_dir / "single.bmp"), ReadFile(m_dir / "one" / "p3.bmp"));
    // Quiet: nothing but failures.
    auto quiet = Vtlc("apply -q -o " + P("quiet") + work);
    EXPECT_EQ(quiet.status, 0);
    EXPECT_EQ(quiet.err, "");
}

TEST_F(BatchTest, OutputNamesNeverClashOrReplaceWithoutBeingAsked)
{
    fs::create_directories(m_dir / "a");
    fs::create_directories(m_dir / "b");
    MakePicture("a/same.bmp", 1);
    MakePicture("b/same.bmp", 2);
    // Two inputs, one output: refused before anything is written, naming both.
    auto clash = Vtlc("convert -o " + P("out") + " " + P("a/same.bmp") + " " + P("b/same.bmp") + " --as png");
    EXPECT_EQ(clash.status, 2);
    EXPECT_NE(clash.err.find(P("a/same.bmp") + " and " + P("b/same.bmp")), std::string::npos) << clash.err;
    EXPECT_FALSE(fs::exists(m_dir / "out"));

    // A counter keeps them apart.
    auto counted = Vtlc("convert -o " + P("out") + " --name '{n:3}-{name}.{ext}' " + P("a/same.bmp") + " " + P("b/same.bmp"));
    ASSERT_EQ(counted.status, 0) << counted.err;
    EXPECT_EQ(Names(m_dir / "out"), (std::vector<std::string> { "001-same.bmp", "002-same.bmp" }));

    // An existing output is kept and reported; --overwrite replaces it.
    const std::string before = ReadFile(m_dir / "out" / "001-same.bmp");
    WriteFile(m_dir / "out" / "001-same.bmp", "keep me");
    auto kept = Vtlc("convert -o " + P("out") + " --name '{n:3}-{name}.bmp' " + P("a/same.bmp") + " " + P("b/same.bmp"));
    EXPECT_EQ(kept.status, 1);
    EXPECT_EQ(ReadFile(m_dir / "out" / "001-same.bmp"), "keep me");
    EXPECT_NE(kept.err.find("--overwrite"), std::string::npos) << kept.err;
    auto replaced = Vtlc("convert --overwrite -o " + P("out") + " --name '{n:3}-{name}.bmp' " + P("a/same.bmp") + " " + P("b/same.bmp"));
    EXPECT_EQ(replaced.status, 0) << replaced.err;
    EXPECT_EQ(ReadFile(m_dir / "out" / "001-same.bmp"), before);

    // An output that is another input is refused even with --overwrite.
    MakePicture("a/other.bmp", 3);
    const std::string original = ReadFile(m_dir / "a" / "other.bmp");
    auto over = Vtlc("convert --overwrite -o " + P("a") + " --name other.bmp " + P("b/same.bmp") + " " + P("a/other.bmp"));
    EXPECT_EQ(over.status, 2);
    EXPECT_EQ(ReadFile(m_dir / "a" / "other.bmp"), original);
}

TEST_F(BatchTest, AnOutputFolderThatCannotBeMadeStopsBeforeAnyWork)
{
    MakePicture("in.bmp");
    WriteFile(m_dir / "file", "in the way");
    auto blocked = Vtlc("convert -o " + P("file/out") + " " + P("in.bmp") + " --as png");
    EXPECT_EQ(blocked.status, 1);
    EXPECT_NE(blocked.err.find("cannot make the folder " + P("file/out")), std::string::npos) << blocked.err;
    fs::create_directory(m_dir / "void");
    auto none = Vtlc("convert -o " + P("empty") + " " + P("void"));
    EXPECT_EQ(none.status, 2);
    EXPECT_NE(none.err.find("no input files"), std::string::npos) << none.err;
}

TEST_F(BatchTest, StandardInputAndOutputCarryPictures)
{
    MakePicture("in.bmp");
    TBitmap original;
    original.LoadFromFile(m_dir / "in.bmp");

    // BMP in through a pipe, PNG out through one; then the PNG read back from standard input.
    auto piped = Vtlc("convert - - --as png < " + P("in.bmp"));
    ASSERT_EQ(piped.status, 0) << piped.err;
    EXPECT_EQ(piped.out.compare(0, 8, "\x89PNG\r\n\x1a\n"), 0);
    WriteFile(m_dir / "piped.png", piped.out);
    auto back = Vtlc("apply - " + P("back.bmp") + " rotate 180 + rotate 180 < " + P("piped.png"));
    ASSERT_EQ(back.status, 0) << back.err;
    TBitmap read;
    read.LoadFromFile(m_dir / "back.bmp");
    EXPECT_TRUE(SamePixels(original, read));

    // Standard output needs a kind; a non-picture on standard input is named "-", not a
    // temporary file, and leaves no temporary file behind.
    EXPECT_EQ(Vtlc("convert " + P("in.bmp") + " -").status, 2);
    WriteFile(m_dir / "text", "not a picture");
    auto refused = Vtlc("convert - " + P("x.png") + " < " + P("text"));
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err.find("vtlc-"), std::string::npos) << refused.err;
    EXPECT_FALSE(fs::exists(m_dir / "x.png"));
}

TEST_F(BatchTest, VersionAndHelpForEveryCommand)
{
    auto version = Vtlc("--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_TRUE(std::regex_match(version.out, std::regex("vtlc [0-9]+\\.[0-9]+\\.[0-9]+\n"))) << version.out;
    for (const char* command : { "info", "convert", "apply", "thumbs", "cache", "palette", "list", "extract" }) {
        auto help = Vtlc(std::string(command) + " --help");
        EXPECT_EQ(help.status, 0) << command;
        EXPECT_NE(help.out.find(std::string("vtlc ") + command), std::string::npos) << help.out;
    }
    const std::string apply = Vtlc("apply -h").out;
    for (const auto& operation : vtl::tools::ApplyOperations())
        EXPECT_NE(apply.find(std::string("\n  ") + operation.name), std::string::npos) << operation.name;
}

TEST_F(BatchTest, ProgressIsShownOnATerminalOnly)
{
    if (std::system("command -v script >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "script (util-linux) is not installed";
    fs::create_directory(m_dir / "in");
    for (int i = 0; i < 4; ++i)
        MakePicture("in/p" + std::to_string(i) + ".bmp", i);
    // script(1) gives the command a terminal and copies what it shows to standard output.
    const std::string inner = "VTL_HOME='" + m_dir.Path().string() + "' '" VTL_BINARY_DIR "/src/tools/vtlc/vtlc' convert -j 1 -o '"
        + P("shown") + "' '" + P("in") + "' --as png --overwrite";
    const std::string command = "script -qec \"" + inner + "\" /dev/null >'" + P("terminal") + "' 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << ReadFile(m_dir / "terminal");
    const std::string shown = ReadFile(m_dir / "terminal");
    EXPECT_NE(shown.find("\r\033[K1/4 files, 0 failed, "), std::string::npos) << shown;
    EXPECT_NE(shown.find(" left"), std::string::npos) << shown;
    // The line is cleared at the end, and a pipe gets none of it.
    EXPECT_EQ(shown.substr(shown.size() - 4), "\r\033[K");
    auto piped = Vtlc("convert -j 1 -o " + P("piped") + " " + P("in") + " --as png");
    EXPECT_EQ(piped.status, 0);
    EXPECT_EQ(piped.err, "");
    const std::string quiet = "script -qec \"" + inner + " -q\" /dev/null >'" + P("quiet") + "' 2>&1";
    ASSERT_EQ(std::system(quiet.c_str()), 0);
    EXPECT_EQ(ReadFile(m_dir / "quiet"), "");
}
