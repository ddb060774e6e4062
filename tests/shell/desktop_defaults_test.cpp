// The desktop's side of the associations over scratch XDG folders: mimeapps.list edited line by
// line (everything else kept, damaged lines included), the previous default recorded beside the
// association's backup and put back, types shared by two extensions, a type another program took
// over, failures that leave the file and the records as they were, the desktop entry and the
// package of a type of our own, and the installed desktop entry's list of types.
#include "shell/desktop_defaults.h"

#include "input/plugin_host.h"
#include "platform/atomic_file.h"
#include "shell/associations.h"
#include "support/temp_dir.h"

#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

using namespace vtl::shell;
using vtl::platform::Registry;
using vtl::platform::RegistryRoot;
using vtl::testing::ReadFile;
using vtl::testing::TempDir;
using vtl::testing::WriteFile;

namespace fs = std::filesystem;

namespace {

constexpr RegistryRoot HKCR = RegistryRoot::ClassesRoot;

TEST(MimeAppsList, EditsOnlyTheDefaultsLineOfTheTypeAndKeepsEverythingElse)
{
    const std::string text = "# the user's notes\n"
                             "[Added Associations]\n"
                             "image/png=peer.desktop;\n"
                             "[Default Applications]\n"
                             "image/png = peer.desktop;other.desktop;\n"
                             "this line is damaged\n"
                             "=no key\n"
                             "\xff\xfe not text\n"
                             "image/gif=gifview.desktop;\n"
                             "image/png=late.desktop;\n"
                             "[Removed Associations]\n"
                             "image/jpeg=peer.desktop;\n";
    MimeAppsList list = MimeAppsList::Parse(text);
    EXPECT_EQ(list.Text(), text);
    EXPECT_EQ(list.Default("image/png"), "peer.desktop;other.desktop;");
    EXPECT_EQ(list.Default("image/jpeg"), std::nullopt) << "only the defaults section counts";

    list.SetDefault("image/png", "vtl.desktop;");
    list.SetDefault("image/jpeg", "vtl.desktop;");
    list.RemoveDefault("image/gif");
    EXPECT_EQ(list.Text(),
        "# the user's notes\n"
        "[Added Associations]\n"
        "image/png=peer.desktop;\n"
        "[Default Applications]\n"
        "image/png=vtl.desktop;\n"
        "this line is damaged\n"
        "=no key\n"
        "\xff\xfe not text\n"
        "image/jpeg=vtl.desktop;\n"
        "[Removed Associations]\n"
        "image/jpeg=peer.desktop;\n");
}

TEST(MimeAppsList, AddsTheSectionWhenMissingAndKeepsLineEnds)
{
    MimeAppsList empty = MimeAppsList::Parse("");
    empty.SetDefault("image/png", "vtl.desktop;");
    EXPECT_EQ(empty.Text(), "[Default Applications]\nimage/png=vtl.desktop;\n");

    MimeAppsList other = MimeAppsList::Parse("[Added Associations]\nimage/png=a.desktop;");
    other.SetDefault("image/png", "vtl.desktop;");
    EXPECT_EQ(other.Text(),
        "[Added Associations]\nimage/png=a.desktop;\n\n[Default Applications]\n"
        "image/png=vtl.desktop;\n");

    MimeAppsList crlf = MimeAppsList::Parse("[Default Applications]\r\nimage/png=a.desktop;\r\n");
    crlf.SetDefault("image/png", "vtl.desktop;");
    EXPECT_EQ(crlf.Text(), "[Default Applications]\r\nimage/png=vtl.desktop;\r\n");

    // No final line end stays without one.
    MimeAppsList open = MimeAppsList::Parse("[Default Applications]\nimage/png=a.desktop;");
    open.RemoveDefault("image/png");
    EXPECT_EQ(open.Text(), "[Default Applications]");
}

TEST(DesktopTypes, DatabaseFirstThenBuiltInsThenTypesOfOurOwn)
{
    EXPECT_EQ(TypeOfExtension(".jpg", "image/jpeg", false).type, "image/jpeg");
    const ExtensionType png = TypeOfExtension(".png", "", false);
    EXPECT_EQ(png.type, "image/png");
    EXPECT_FALSE(png.own);
    const ExtensionType pic = TypeOfExtension(".pic", "", false);
    EXPECT_EQ(pic.type, "image/x-vtl-pic");
    EXPECT_TRUE(pic.own);
    EXPECT_EQ(TypeOfExtension(".xar", "", true).type, "application/x-vtl-xar");
    // A hand-edited plug-in list must not make a type name out of anything.
    EXPECT_EQ(TypeOfExtension(".a/b", "", false).type, "");
    EXPECT_EQ(TypeOfExtension(".", "", false).type, "");

    EXPECT_EQ(ArchiveExtensions(
                  { R"(a,*.ZIP,*.lzh,"Archives","arc.spi")", R"(f,*.pic,"PIC","pic.spi")" }),
        (std::vector<std::string> { ".zip", ".lzh" }));
}

class DesktopDefaultsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        xdg.configHome = dir / "config";
        xdg.dataHome = dir / "data";
        xdg.dataDirs = { dir / "system" };
        fs::create_directories(xdg.configHome);
    }
    DesktopExtension Entry(const std::string& extension, const std::string& type, DesktopWish wish)
    {
        return { extension, type, false, "", wish };
    }
    // One step as the dialog takes it: the desktop first, then, when that worked, the registry's
    // part and the records.
    DesktopResult Apply(const std::vector<DesktopExtension>& entries)
    {
        DesktopResult result
            = ApplyDesktopDefaults(xdg, entries, ReadMimeBackups(reg, entries), opener);
        if (result.failed)
            return result;
        for (const DesktopExtension& e : entries) {
            if (e.wish == DesktopWish::Default)
                Associate(reg, e.extension, "description", "/opt/vtl/bin/vtl");
            else if (e.wish == DesktopWish::Release)
                Unassociate(reg, e.extension);
        }
        RecordMimeBackups(reg, entries, result.records);
        return result;
    }
    std::optional<std::string> DefaultOf(const std::string& type) const
    {
        return MimeAppsList::Parse(ReadFile(xdg.MimeAppsFile())).Default(type);
    }

    TempDir dir;
    Registry reg { dir / "registry" };
    XdgFolders xdg;
    fs::path opener = "/opt/vtl/bin/vtl-open";
};

TEST_F(DesktopDefaultsTest, TickingRecordsThePreviousDefaultAndUntickingPutsItBack)
{
    WriteFile(
        xdg.MimeAppsFile(), "[Default Applications]\nimage/jpeg=peer.desktop;\nbroken line\n");
    DesktopResult r = Apply({ Entry(".jpg", "image/jpeg", DesktopWish::Default),
        Entry(".png", "image/png", DesktopWish::Default) });
    EXPECT_TRUE(r.problems.empty());
    EXPECT_TRUE(r.mimeAppsWritten);
    EXPECT_EQ(DefaultOf("image/jpeg"), "vtl.desktop;");
    EXPECT_EQ(DefaultOf("image/png"), "vtl.desktop;");
    EXPECT_EQ(reg.ReadString(HKCR, ".jpg", kMimeBackupValue), "peer.desktop;");
    EXPECT_EQ(reg.ReadString(HKCR, ".png", kMimeBackupValue), "") << "there was no default";

    // Set again: nothing is recorded over the real previous default.
    Apply({ Entry(".jpg", "image/jpeg", DesktopWish::Default),
        Entry(".png", "image/png", DesktopWish::Default) });
    EXPECT_EQ(reg.ReadString(HKCR, ".jpg", kMimeBackupValue), "peer.desktop;");

    r = Apply({ Entry(".jpg", "image/jpeg", DesktopWish::Release),
        Entry(".png", "image/png", DesktopWish::Release) });
    EXPECT_TRUE(r.problems.empty());
    EXPECT_EQ(ReadFile(xdg.MimeAppsFile()),
        "[Default Applications]\nimage/jpeg=peer.desktop;\nbroken line\n");
    EXPECT_FALSE(reg.KeyExists(HKCR, ".png"));
    // Nothing is vtl's any more: the entry we installed goes too.
    EXPECT_FALSE(fs::exists(xdg.ApplicationsFolder() / kDesktopId));
}

TEST_F(DesktopDefaultsTest, TwoExtensionsOfOneTypeShareItsDefault)
{
    WriteFile(xdg.MimeAppsFile(), "[Default Applications]\nimage/jpeg=peer.desktop;\n");
    Apply({ Entry(".jpg", "image/jpeg", DesktopWish::Default),
        Entry(".jpeg", "image/jpeg", DesktopWish::Default) });
    EXPECT_EQ(DefaultOf("image/jpeg"), "vtl.desktop;");

    // .jpg taken back while .jpeg stays: the type stays vtl's, and the record moves to .jpeg
    // (.jpg's key is gone with its association).
    Apply({ Entry(".jpg", "image/jpeg", DesktopWish::Release),
        Entry(".jpeg", "image/jpeg", DesktopWish::Default) });
    EXPECT_EQ(DefaultOf("image/jpeg"), "vtl.desktop;");
    EXPECT_FALSE(reg.KeyExists(HKCR, ".jpg"));
    EXPECT_EQ(reg.ReadString(HKCR, ".jpeg", kMimeBackupValue), "peer.desktop;");

    Apply({ Entry(".jpg", "image/jpeg", DesktopWish::Release),
        Entry(".jpeg", "image/jpeg", DesktopWish::Release) });
    EXPECT_EQ(DefaultOf("image/jpeg"), "peer.desktop;");
}

TEST_F(DesktopDefaultsTest, ATypeAnotherProgramTookOverIsLeftAlone)
{
    Apply({ Entry(".png", "image/png", DesktopWish::Default) });
    MimeAppsList list = MimeAppsList::Parse(ReadFile(xdg.MimeAppsFile()));
    list.SetDefault("image/png", "third.desktop;");
    WriteFile(xdg.MimeAppsFile(), list.Text());

    Apply({ Entry(".png", "image/png", DesktopWish::Release) });
    EXPECT_EQ(DefaultOf("image/png"), "third.desktop;");
}

TEST_F(DesktopDefaultsTest, AFileThatCannotBeWrittenIsLeftAsItWasWithItsRecords)
{
    const std::string before = "[Default Applications]\nimage/jpeg=peer.desktop;\n";
    WriteFile(xdg.MimeAppsFile(), before);
    Apply({ Entry(".jpg", "image/jpeg", DesktopWish::Default) });
    const std::string ticked = ReadFile(xdg.MimeAppsFile());

    vtl::platform::FailNextWritesForTesting(1, EACCES);
    DesktopResult r = Apply({ Entry(".jpg", "image/jpeg", DesktopWish::Release) });
    ASSERT_EQ(r.problems.size(), 1u);
    EXPECT_NE(r.problems[0].find("mimeapps.list"), std::string::npos) << r.problems[0];
    EXPECT_NE(r.problems[0].find("変更していません"), std::string::npos) << r.problems[0];
    EXPECT_TRUE(r.failed);
    EXPECT_EQ(ReadFile(xdg.MimeAppsFile()), ticked);
    // The association and its record stay, so the next try still brings peer.desktop back.
    EXPECT_EQ(reg.ReadString(HKCR, ".jpg", ""), "vtl.jpg");
    EXPECT_EQ(reg.ReadString(HKCR, ".jpg", kMimeBackupValue), "peer.desktop;");
    r = Apply({ Entry(".jpg", "image/jpeg", DesktopWish::Release) });
    EXPECT_TRUE(r.problems.empty());
    EXPECT_EQ(ReadFile(xdg.MimeAppsFile()), before);
}

TEST_F(DesktopDefaultsTest, MissingFoldersAreMadeAndTheEntryInstalledOnlyWhereNoneIs)
{
    fs::remove_all(xdg.configHome);
    DesktopResult r = Apply({ Entry(".png", "image/png", DesktopWish::Default) });
    EXPECT_TRUE(r.problems.empty());
    EXPECT_EQ(DefaultOf("image/png"), "vtl.desktop;");
    EXPECT_TRUE(r.entryInstalled);
    const std::string entry = ReadFile(xdg.ApplicationsFolder() / kDesktopId);
    EXPECT_NE(entry.find("\nExec=/opt/vtl/bin/vtl-open %F\n"), std::string::npos) << entry;
    EXPECT_NE(entry.find("image/png;"), std::string::npos);

    // Installed with the program: nothing of ours is written beside it.
    TempDir other;
    xdg.dataHome = other / "data";
    fs::create_directories(xdg.dataDirs[0] / "applications");
    WriteFile(xdg.dataDirs[0] / "applications" / kDesktopId, "[Desktop Entry]\n");
    r = Apply({ Entry(".png", "image/png", DesktopWish::Default) });
    EXPECT_FALSE(r.entryInstalled);
    EXPECT_FALSE(fs::exists(xdg.ApplicationsFolder() / kDesktopId));
}

TEST_F(DesktopDefaultsTest, ATypeOfOurOwnGetsAPackageAndTheDatabaseIsRefreshedOnce)
{
    DesktopExtension pic { ".pic", "image/x-vtl-pic", true, "PIC <形式>", DesktopWish::Default };
    DesktopResult r = Apply({ pic });
    EXPECT_TRUE(r.problems.empty()) << (r.problems.empty() ? "" : r.problems[0]);
    const fs::path package = xdg.MimeFolder() / "packages" / "vtl-x-vtl-pic.xml";
    EXPECT_NE(ReadFile(package).find("<comment>PIC &lt;形式&gt;</comment>"), std::string::npos);
    EXPECT_TRUE(r.databaseRefreshed);
    EXPECT_NE(
        ReadFile(xdg.MimeFolder() / "globs2").find("image/x-vtl-pic:*.pic"), std::string::npos);
    EXPECT_EQ(DefaultOf("image/x-vtl-pic"), "vtl.desktop;");

    r = Apply({ pic });
    EXPECT_FALSE(r.databaseRefreshed) << "the database knows the type already";
}

// Every extension the program and its own plug-ins read has its type in the desktop entry that
// `cmake --install` places; the types come from the shared MIME database's globs, or from the
// package the program installs for those the database lacks.
TEST(InstalledDesktopEntry, DeclaresTheTypeOfEveryExtensionTheProgramReads)
{
    const std::string entry = ReadFile(fs::path(VTL_SOURCE_DIR) / "share" / "vtl.desktop");
    std::set<std::string> declared;
    {
        const size_t at = entry.find("\nMimeType=");
        ASSERT_NE(at, std::string::npos);
        std::istringstream types(entry.substr(at + 10, entry.find('\n', at + 1) - at - 10));
        for (std::string type; std::getline(types, type, ';');)
            declared.insert(type);
    }
    std::map<std::string, std::string> globs; // "*.ext" -> type, first wins
    auto addGlobs = [&](const fs::path& file, bool xml) {
        std::ifstream in(file);
        std::string type;
        for (std::string line; std::getline(in, line);) {
            if (xml) {
                if (auto t = line.find("mime-type type=\""); t != std::string::npos)
                    type = line.substr(t + 16, line.find('"', t + 16) - t - 16);
                if (auto g = line.find("glob pattern=\""); g != std::string::npos)
                    globs.emplace(line.substr(g + 14, line.find('"', g + 14) - g - 14), type);
            } else if (line.size() > 2 && line[0] != '#') {
                const size_t a = line.find(':'), b = line.find(':', a + 1);
                globs.emplace(line.substr(b + 1), line.substr(a + 1, b - a - 1));
            }
        }
    };
    addGlobs(fs::path(VTL_SOURCE_DIR) / "share" / "mime" / "packages" / "vtl.xml", true);
    if (!fs::exists("/usr/share/mime/globs2"))
        GTEST_SKIP() << "no shared MIME database (shared-mime-info) on this machine";
    addGlobs("/usr/share/mime/globs2", false);

    std::vector<std::string> patterns { "*.bmp", "*.jpg", "*.jpeg", "*.png", "*.vtl", "*.snx",
        "*.shg" };
    int plugins = 0;
    for (const auto& file : fs::directory_iterator(fs::path(VTL_BINARY_DIR) / "plugins")) {
        if (file.path().extension() != ".spi")
            continue;
        auto plugin = vtl::input::SusiePlugin::Load(file.path());
        ASSERT_TRUE(plugin) << file.path();
        ++plugins;
        // Info 2, 4 … name the extension patterns, ";"-separated.
        for (int32_t info = 2;; info += 2) {
            auto text = plugin->GetPluginInfo(info, 1024);
            if (!text)
                break;
            std::istringstream list(*text);
            for (std::string pattern; std::getline(list, pattern, ';');)
                patterns.push_back(pattern);
        }
    }
    if (plugins == 0)
        GTEST_SKIP() << "the program's plug-ins are not built in " << VTL_BINARY_DIR;
    for (const std::string& pattern : patterns) {
        const auto type = globs.find(pattern);
        ASSERT_NE(type, globs.end()) << pattern << " has no MIME type";
        EXPECT_TRUE(declared.count(type->second)) << pattern << " -> " << type->second;
    }
}

} // namespace
