// The plug-in list, its lookup lists and filter, pattern matching, and the candidate walk, over
// the test plug-ins.

#include "input/plugin_registry.h"
#include "plugin_fixture.h"

#include <gmock/gmock.h>

namespace vtl::input {
namespace {

    using namespace testing;
    using ::testing::ElementsAre;
    using ::testing::IsEmpty;

    std::string Line(const std::string& kind, const std::string& patterns,
        const std::string& description, const std::string& path, bool enabled = true)
    {
        return kind + "," + patterns + ",\"" + description + "\",\"" + path + "\""
            + (enabled ? "" : ",x");
    }

    TEST(SpiStringsTest, MatchingFollowsTheExtensionRule)
    {
        TSpiStrings list;
        for (const char* p :
            { "*.snx", "*.bmp", "*.jpg", "*.jpeg", "*.png", "readme", "*.*", "*." })
            list.Add(p);
        struct Case {
            const char* name;
            int entry;
        };
        for (auto [name, entry] : std::vector<Case> {
                 { "photo.JPG", 2 }, // the comparison is lower-cased
                 { "/some/Folder.bmp/pic.Jpeg", 3 }, // only the last part of the path counts
                 { "photo.jpe", -1 },
                 { "README", 5 }, // without a dot only a whole-name pattern matches
                 { "readme.txt", -1 },
                 { "a.b", -1 }, // "*.*" matches nothing
                 { "trailing.", 7 }, // an empty extension is still an extension
                 { "archive.tar.png", 4 },
                 { "写真.PNG", 4 },
             })
            EXPECT_EQ(list.FindEntry(name), entry) << name;
    }

    TEST(SpiStringsTest, FindEntryGoesRoundFromTheStart)
    {
        TSpiStrings list;
        list.Add("*.a", 0);
        list.Add("*.b", 1);
        list.Add("*.a", 2);
        EXPECT_EQ(list.FindEntry("x.a", 0), 0);
        EXPECT_EQ(list.FindEntry("x.a", 1), 2);
        EXPECT_EQ(list.FindEntry("x.b", 2), 1);
        EXPECT_EQ(list.FindEntry("x.a", 99), 0);
        EXPECT_EQ(TSpiStrings().FindEntry("x.a"), -1);
    }

    TEST(SpiStringsTest, RegisteredPatternsAreFiltered)
    {
        EXPECT_EQ(FilterPatternText("*.TP1;*.t_p3;*.jpg"), "*.tp1,*.tp3,*.jpg");
        EXPECT_EQ(FilterPatternText("*.a b\"c,;"), "*.abc,");
    }

    class RegistryTest : public testing::PluginTest { };

    TEST_F(RegistryTest, LookupListsFollowTheEnabledLines)
    {
        auto registry = MakeRegistry({
            Line("f", "*.pic,*.PI", "Pic", "tpic.spi"), Line("a", "*.tar1", "Arc", "tarc.spi"),
            Line("f", "*.off", "Off", "tpic2.spi", false),
            "f,\"short\",\"x.spi\"", // under four fields: ignored but kept
            Line("q", "*.q", "Odd kind", "tpic2.spi"), // any kind but "a" is a picture plug-in
        });
        const auto& pictures = registry.PictureExtensions();
        ASSERT_EQ(pictures.Count(), 8);
        EXPECT_EQ(pictures.Strings(0), "*.snx");
        EXPECT_EQ(pictures.Objects(0), -1);
        EXPECT_EQ(pictures.Strings(5), "*.pic");
        EXPECT_EQ(pictures.Strings(6), "*.pi");
        EXPECT_EQ(pictures.Objects(6), 0);
        EXPECT_EQ(pictures.Strings(7), "*.q");
        EXPECT_EQ(pictures.Objects(7), 1);
        ASSERT_EQ(registry.ArchiveExtensions().Count(), 1);
        EXPECT_EQ(registry.ArchiveExtensions().Objects(0), 0);
        ASSERT_EQ(registry.PicturePaths().size(), 2u);
        EXPECT_EQ(registry.PicturePaths()[1].path, "tpic2.spi");
        EXPECT_EQ(registry.ArchivePaths()[0].path, "tarc.spi");
        EXPECT_EQ(registry.Lines().size(), 5u);

        EXPECT_EQ(registry.OpenFilter(),
            "イメージ|*.bmp;*.jpg;*.jpeg;*.png;*.pic;*.pi;*.tar1;*.q"
            "|ビットマップ イメージ|*.bmp|JPEG イメージ|*.jpg;*.jpeg|PNG イメージ|*.png"
            "|Pic|*.pic;*.pi|Arc|*.tar1|Odd kind|*.q");
    }

    TEST_F(RegistryTest, LongFilterBecomesAllFiles)
    {
        // The first part starts at 29 characters; each pattern ";*.xNN" adds 6.
        auto build = [&](int count, const std::string& last) {
            std::string patterns;
            for (int i = 0; i < count; ++i)
                patterns += std::string("*.x") + char('a' + i / 26) + char('a' + i % 26) + ",";
            return MakeRegistry({ Line("f", patterns + last, "Many", "tpic.spi") }).OpenFilter();
        };
        // 29 + 6 * 38 + 8 = 265 characters still fit; one more does not.
        EXPECT_THAT(build(38, "*.abcde"), ::testing::StartsWith("イメージ|*.bmp;"));
        std::string filter = build(38, "*.abcdef");
        EXPECT_THAT(filter, ::testing::StartsWith("全ファイル|*.*|ビットマップ イメージ|"));
        EXPECT_THAT(filter, ::testing::HasSubstr("|Many|*.xaa;*.xab"));
    }

    TEST_F(RegistryTest, ListFileRoundTripsAndIsWrittenOnlyWhenModified)
    {
        PluginRegistry registry(Folders());
        registry.LoadPluginList();
        EXPECT_THAT(registry.Lines(), IsEmpty());
        EXPECT_FALSE(registry.Modified());

        registry.SetRows({ { "f", "Pic", "*.pic,*.pi", "tpic.spi", true },
            { "a", "Arc", "*.tar1", "/opt/tarc.spi", false }, { "f", "", "*.no", "none.spi", true },
            { "f", "Say \"cheese\", please", "*.ch", "c.spi", true } });
        EXPECT_TRUE(registry.Modified());
        registry.SavePluginList();
        EXPECT_EQ(vtl::testing::ReadFile(registry.ListFile()),
            "f,*.pic,*.pi,\"Pic\",\"tpic.spi\"\r\na,*.tar1,\"Arc\",\"/opt/tarc.spi\",x\r\n"
            "f,*.ch,\"Say \"\"cheese\"\", please\",\"c.spi\"\r\n");
        // Disabling keeps the line but drops its patterns from lookup and filter.
        EXPECT_EQ(registry.ArchiveExtensions().Count(), 0);
        EXPECT_THAT(registry.OpenFilter(), Not(::testing::HasSubstr("tar1")));

        PluginRegistry again(Folders());
        again.LoadPluginList();
        EXPECT_FALSE(again.Modified());
        EXPECT_EQ(again.Rows(), registry.Rows());
        // Unmodified: the file is left alone.
        vtl::testing::WriteFile(again.ListFile(), "changed");
        again.SavePluginList();
        EXPECT_EQ(vtl::testing::ReadFile(again.ListFile()), "changed");
    }

    TEST_F(RegistryTest, OldEntriesAreUpgradedFromLastToFirst)
    {
        vtl::testing::WriteFile(m_dir / "vtl.dat",
            "*.tp1,\"Old picture\",\"tpic.spi\"\r\n"
            "*.tar1,\"Old archive\",\"tarc.spi\"\r\n"
            "*.zz,\"Gone\",\"missing.spi\"\r\n"
            "*.nn,\"No info\",\"tnoinfo.spi\"\r\n"
            "*.ww,\"Weird\",\"tweird.spi\"\r\n"
            "f,*.ok,\"Fine\",\"missing.spi\"\r\n");
        PluginRegistry registry(Folders());
        registry.LoadPluginList();
        EXPECT_TRUE(registry.Modified());
        EXPECT_THAT(registry.Lines(),
            ElementsAre("f,*.tp1,\"Old picture\",\"tpic.spi\"",
                "a,*.tar1,\"Old archive\",\"tarc.spi\"", "*.nn,\"No info\",\"tnoinfo.spi\"",
                "f,*.ok,\"Fine\",\"missing.spi\""));
        EXPECT_EQ(PluginLibrary::OpenCount(), 0);
    }

    TEST_F(RegistryTest, RegisteringReadsEveryPairAndShortensThePath)
    {
        auto rows = ReadPluginRows(TestPlugin("tpic"), Folders());
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(
            rows[0], (PluginRow { "f", "Test picture", "*.tp1,*.tp2,*.tp3", "tpic.spi", true }));

        // A library outside both folders keeps its full path.
        auto elsewhere = m_dir / "sub" / "multi.spi";
        std::filesystem::create_directories(elsewhere.parent_path());
        std::filesystem::copy_file(TestPlugin("tpic_multi"), elsewhere);
        rows = ReadPluginRows(elsewhere, Folders());
        ASSERT_EQ(rows.size(), 2u);
        EXPECT_EQ(rows[0], (PluginRow { "f", "First", "*.m1", elsewhere.string(), true }));
        EXPECT_EQ(rows[1], (PluginRow { "f", "Second", "*.m2,*.m3", elsewhere.string(), true }));

        // In the data folder: the bare name.
        std::filesystem::copy_file(TestPlugin("tarc"), m_dir / "arc.spi");
        rows = ReadPluginRows(m_dir / "arc.spi", Folders());
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0].kind, "a");
        EXPECT_EQ(rows[0].path, "arc.spi");

        EXPECT_THAT(ReadPluginRows(TestPlugin("tweird"), Folders()), IsEmpty());
        EXPECT_THAT(ReadPluginRows(m_dir / "missing.spi", Folders()), IsEmpty());
        EXPECT_EQ(PluginLibrary::OpenCount(), 0);
    }

    TEST_F(RegistryTest, BareNamesAreLookedUpInTheDataFolderFirst)
    {
        std::filesystem::copy_file(TestPlugin("tpic2"), m_dir / "tpic.spi");
        EXPECT_EQ(Folders().Resolve("tpic.spi"), m_dir / "tpic.spi");
        EXPECT_EQ(Folders().Resolve("tarc.spi"), TestPluginDir() / "tarc.spi");
        EXPECT_EQ(Folders().Resolve("/abs/x.spi"), "/abs/x.spi");
    }

    TEST_F(RegistryTest, ConfiguringCallsTheDialogEntry)
    {
        EXPECT_TRUE(ConfigurePlugin("tpic.spi", Folders(), nullptr));
        EXPECT_THAT(Calls(), ElementsAre("tpic:ConfigurationDlg(1)"));
        EXPECT_FALSE(ConfigurePlugin("missing.spi", Folders(), nullptr));
        EXPECT_EQ(FormatMessage(kNotFoundMessage, "missing.spi"), "missing.spi が見つかりません。");
    }

    TEST_F(RegistryTest, WalkStartsAtTheLastSuccessfulEntry)
    {
        auto registry = MakeRegistry(
            { Line("f", "*.tp1", "A", "tpic.spi"), Line("f", "*.tp1", "B", "tpic2.spi") });
        EXPECT_EQ(registry.LastSuccessful(PluginKind::Picture), 5);
        EXPECT_EQ(registry.LastSuccessful(PluginKind::Archive), 0);

        auto chosen = registry.ChoosePlugin(PluginKind::Picture, "x.tp1");
        ASSERT_TRUE(chosen);
        EXPECT_EQ(chosen->path, "tpic.spi");

        // Whichever answered last is asked first next time.
        registry.SetLastSuccessful(PluginKind::Picture, 6);
        chosen = registry.ChoosePlugin(PluginKind::Picture, "y.TP1");
        ASSERT_TRUE(chosen);
        EXPECT_EQ(chosen->path, "tpic2.spi");
        EXPECT_EQ(chosen->entryIndex, 6);

        // The mark survives a rebuild, even one that leaves it past the end.
        registry.SetLines({ Line("f", "*.tp1", "A", "tpic.spi") });
        EXPECT_EQ(registry.LastSuccessful(PluginKind::Picture), 6);
        chosen = registry.ChoosePlugin(PluginKind::Picture, "x.tp1");
        ASSERT_TRUE(chosen);
        EXPECT_EQ(chosen->entryIndex, 5);

        EXPECT_FALSE(
            registry.ChoosePlugin(PluginKind::Picture, "x.jpg")); // built-ins aren't candidates
        EXPECT_FALSE(registry.ChoosePlugin(PluginKind::Picture, "x.other"));
    }

    TEST_F(RegistryTest, UnusablePluginsAreMarkedAndSkipped)
    {
        auto registry = MakeRegistry({ Line("f", "*.tp1", "Gone", "missing.spi"),
            Line("f", "*.tp1", "No IsSupported", "tpic_nosupport.spi"),
            Line("f", "*.tp1", "Good", "tpic.spi") });
        auto chosen = registry.ChoosePlugin(PluginKind::Picture, "x.tp1");
        ASSERT_TRUE(chosen);
        EXPECT_EQ(chosen->pathIndex, 2);
        EXPECT_TRUE(registry.Failed(PluginKind::Picture, 0));
        EXPECT_TRUE(registry.Failed(PluginKind::Picture, 1));
        EXPECT_FALSE(registry.Failed(PluginKind::Picture, 2));

        // A marked plug-in stays skipped until the marks are cleared.
        registry.SetLastSuccessful(PluginKind::Picture, 5);
        registry.MarkFailed(PluginKind::Picture, 2);
        EXPECT_FALSE(registry.ChoosePlugin(PluginKind::Picture, "x.tp1"));
        registry.ClearFailureMarks();
        EXPECT_FALSE(registry.Failed(PluginKind::Picture, 0));
        chosen.reset();
        EXPECT_EQ(PluginLibrary::OpenCount(), 0);
    }

    TEST_F(RegistryTest, OwnPluginsAreRegisteredForANewUser)
    {
        PluginFolders folders { m_dir.Path(), OwnPluginDir() };
        if (!std::filesystem::exists(OwnPluginDir() / "vtlgif.spi"))
            GTEST_SKIP() << "own plug-ins not built";
        ASSERT_TRUE(RegisterOwnPluginsIfMissing(folders));
        EXPECT_FALSE(RegisterOwnPluginsIfMissing(folders)); // never over an existing list
        PluginRegistry registry(folders);
        registry.LoadPluginList();
        // GIF, TIFF, WebP, HEIF and AVIF (one plug-in, two lines), JPEG XL.
        EXPECT_EQ(registry.PicturePaths().size(), 6u);
        EXPECT_EQ(registry.ArchivePaths().size(), 1u);
        EXPECT_EQ(registry.PictureExtensions().FindEntry("a.gif"), 5);
        EXPECT_GE(registry.ArchiveExtensions().FindEntry("a.7z"), 0);
        EXPECT_THAT(registry.Lines()[0], ::testing::EndsWith(",\"vtlgif.spi\""));
    }

} // namespace
} // namespace vtl::input
