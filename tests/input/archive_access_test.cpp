// Archive access through the test archive plug-in: choosing the plug-in, listing, extracting,
// opening and saving members, member records that lie, and the archive cache lines.

#include "input/archive_access.h"
#include "plugin_fixture.h"

#include <gmock/gmock.h>

#include <cstring>

namespace vtl::input {
namespace {

    using namespace testing;
    using ::testing::ElementsAre;
    using ::testing::IsEmpty;

    std::string ArcLine(const std::string& path, const std::string& patterns = "*.tar1")
    {
        return "a," + patterns + ",\"Arc\",\"" + path + "\"";
    }
    std::string PicLine(const std::string& path) { return "f,*.tp1,\"Pic\",\"" + path + "\""; }

    // A 428-byte member record.
    Bytes Record(
        const std::string& path, const std::string& name, uint32_t position = 0, uint32_t size = 0)
    {
        Bytes r(SPI_FILE_INFO_SIZE, 0);
        std::memcpy(r.data(), "test", 4);
        std::memcpy(r.data() + 8, &position, 4);
        std::memcpy(r.data() + 16, &size, 4);
        std::memcpy(
            r.data() + SPI_FILE_INFO_PATH_OFFSET, path.data(), std::min<size_t>(path.size(), 200));
        std::memcpy(
            r.data() + SPI_FILE_INFO_NAME_OFFSET, name.data(), std::min<size_t>(name.size(), 200));
        return r;
    }

    TEST(MemberListTest, DisplayNamesJoinPathAndName)
    {
        EXPECT_EQ(MemberDisplayName("", "a.jpg"), "a.jpg");
        EXPECT_EQ(MemberDisplayName("dir\\", "a.jpg"), "dir\\a.jpg");
        EXPECT_EQ(MemberDisplayName("dir", "a.jpg"), "dir/a.jpg");
        EXPECT_EQ(MemberDisplayName("dir/", "a.jpg"), "dir/a.jpg");
        EXPECT_EQ(MemberDisplayName("c:", "a.jpg"), "c:a.jpg");
    }

    TEST(MemberListTest, RecordsAreReadUpToTheTerminatorOrTheBlockEnd)
    {
        Bytes block = Record("dir", "a.jpg", 7, 100);
        Bytes second = Record("", "b.png", 9, 5);
        block.insert(block.end(), second.begin(), second.end());
        Bytes terminated = block;
        terminated.resize(terminated.size() + SPI_FILE_INFO_SIZE, 0);
        Bytes third = Record("", "never.jpg");
        terminated.insert(terminated.end(), third.begin(), third.end());

        auto members = ParseMemberList(terminated);
        ASSERT_EQ(members.size(), 2u);
        EXPECT_EQ(members[0], (ArchiveMember { "dir/a.jpg", 7, 100, "a.jpg" }));
        EXPECT_EQ(members[1].name, "b.png");

        // No terminator: the block's end ends the list; a partial record is ignored.
        block.resize(block.size() + 100, 'x');
        EXPECT_EQ(ParseMemberList(block).size(), 2u);
        EXPECT_THAT(ParseMemberList({}), IsEmpty());

        // Text fields without a zero byte stop at 200 bytes.
        Bytes full = Record(std::string(200, 'p'), std::string(200, 'n'));
        members = ParseMemberList(full);
        ASSERT_EQ(members.size(), 1u);
        EXPECT_EQ(members[0].name, std::string(200, 'p') + "/" + std::string(200, 'n'));
    }

    class ArchiveTest : public testing::PluginTest {
    protected:
        Bytes MixedArchive(uint32_t flags = 0)
        {
            return TestArchive(
                { { "", "readme.txt", { 'h', 'e', 'l', 'l', 'o' } },
                    { "dir\\", "a.tp1", SmallPicture() }, { "dir", "b.tp1", SmallPicture() } },
                flags);
        }
    };

    TEST_F(ArchiveTest, ListingKeepsOnlyPictures)
    {
        auto registry = MakeRegistry({ ArcLine("tarc.spi"), PicLine("tpic.spi") });
        auto archive = File("x.tar1", MixedArchive());
        std::vector<std::string> status;
        DecodeContext context;
        context.status = [&](const std::string& s) { status.push_back(s); };
        std::vector<std::string> seen;
        std::vector<ArchiveMember> members;
        auto result = ListArchive(
            registry, archive, context,
            [&](const ArchiveMember& m, document::TDIB& picture) {
                seen.push_back(m.name + " " + std::to_string(picture.Width()));
                return true;
            },
            members);
        ASSERT_EQ(result.outcome, ArchiveOutcome::Done);
        EXPECT_THAT(seen, ElementsAre("dir\\a.tp1 2", "dir/b.tp1 2"));
        ASSERT_EQ(members.size(), 2u);
        EXPECT_EQ(members[1].size, SmallPicture().size());
        EXPECT_THAT(status, ElementsAre("readme.txt", "dir\\a.tp1", "dir/b.tp1", ""));
        EXPECT_EQ(PluginLibrary::OpenCount(), 0);

        // Members the store refuses are not listed; none listed is no window.
        result = ListArchive(
            registry, archive, {}, [](const ArchiveMember&, document::TDIB&) { return false; },
            members);
        EXPECT_EQ(result.outcome, ArchiveOutcome::Nothing);
        EXPECT_THAT(members, IsEmpty());
    }

    TEST_F(ArchiveTest, TheFirstUsablePluginDecidesEvenWhenItDeclines)
    {
        auto registry = MakeRegistry(
            { ArcLine("tarc_decline.spi"), ArcLine("tarc.spi"), PicLine("tpic.spi") });
        auto archive = File("x.tar1", MixedArchive());
        std::vector<ArchiveMember> members;
        EXPECT_EQ(ListArchive(registry, archive, {}, {}, members).outcome, ArchiveOutcome::Nothing);
        EXPECT_THAT(Calls(), ElementsAre("tarc_decline:IsSupported"));
        // The next archive starts with the same plug-in again.
        EXPECT_EQ(registry.LastSuccessful(PluginKind::Archive), 0);
        EXPECT_EQ(ListArchive(registry, archive, {}, {}, members).outcome, ArchiveOutcome::Nothing);

        registry.SetLastSuccessful(PluginKind::Archive, 1);
        EXPECT_EQ(ListArchive(registry, archive, {}, {}, members).outcome, ArchiveOutcome::Done);
    }

    TEST_F(ArchiveTest, MissingEntriesAndFailingCalls)
    {
        std::vector<ArchiveMember> members;
        {
            auto registry = MakeRegistry({ ArcLine("tarc_nofile.spi") });
            auto result = ListArchive(registry, File("x.tar1", MixedArchive()), {}, {}, members);
            EXPECT_EQ(result.outcome, ArchiveOutcome::Broken);
            EXPECT_EQ(result.message, "tarc_nofile.spi がおかしい。");
            EXPECT_TRUE(registry.Failed(PluginKind::Archive, 0));
            // Marked: skipped from now on.
            EXPECT_EQ(ListArchive(registry, m_dir / "x.tar1", {}, {}, members).outcome,
                ArchiveOutcome::Nothing);
        }
        {
            auto registry = MakeRegistry({ ArcLine("tarc_nolist.spi") });
            EXPECT_EQ(
                ListArchive(registry, File("x.tar1", MixedArchive()), {}, {}, members).outcome,
                ArchiveOutcome::Nothing);
            EXPECT_FALSE(registry.Failed(PluginKind::Archive, 0));
        }
        for (uint32_t flags : { kListFails, kFileFails }) {
            auto registry = MakeRegistry({ ArcLine("tarc.spi"), PicLine("tpic.spi") });
            EXPECT_EQ(
                ListArchive(registry, File("x.tar1", MixedArchive(flags)), {}, {}, members).outcome,
                ArchiveOutcome::Nothing)
                << flags;
        }
    }

    TEST_F(ArchiveTest, RecordsThatLieAreHandledSafely)
    {
        auto registry = MakeRegistry({ ArcLine("tarc.spi"), PicLine("tpic.spi") });
        std::vector<ArchiveMember> members;
        // Without a terminator the list ends with the block.
        EXPECT_EQ(
            ListArchive(registry, File("x.tar1", MixedArchive(kNoTerminator)), {}, {}, members)
                .outcome,
            ArchiveOutcome::Done);
        EXPECT_EQ(members.size(), 2u);
        // Sizes larger than the extracted block: only the block's bytes are used.
        auto archive = File("y.tar1", MixedArchive(kSizesTooLarge));
        EXPECT_EQ(ListArchive(registry, archive, {}, {}, members).outcome, ArchiveOutcome::Done);
        std::vector<uint8_t> bytes;
        ASSERT_EQ(
            ExtractMember(registry, archive, members[0].position, members[0].size, bytes).outcome,
            ArchiveOutcome::Done);
        // The block may be a little larger than asked for (the allocator rounds up), never the
        // 1000 bytes the record adds.
        Bytes expected = SmallPicture();
        ASSERT_GE(bytes.size(), expected.size());
        EXPECT_LT(bytes.size(), expected.size() + 64);
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), bytes.begin()));
    }

    TEST_F(ArchiveTest, OpeningAndSavingMembers)
    {
        auto registry = MakeRegistry({ ArcLine("tarc.spi"), PicLine("tpic.spi") });
        auto archive = File("x.tar1", MixedArchive());
        std::vector<ArchiveMember> members;
        ASSERT_EQ(ListArchive(registry, archive, {}, {}, members).outcome, ArchiveOutcome::Done);

        document::TDIB dib;
        ASSERT_EQ(OpenMember(registry, archive, members[0].name, members[0].size,
                      members[0].position, dib, {})
                      .outcome,
            ArchiveOutcome::Done);
        EXPECT_EQ(dib.Width(), 2);
        EXPECT_EQ(OpenMember(registry, m_dir / "gone.tar1", "a.tp1", 1, 1, dib, {}).outcome,
            ArchiveOutcome::Nothing);

        // Saving pic.tp1 as out.png writes out.tp1, byte for byte.
        auto target = SaveMemberTarget(m_dir / "out.png", members[0].name);
        EXPECT_EQ(target, m_dir / "out.tp1");
        ASSERT_EQ(
            SaveMember(registry, archive, members[0].position, members[0].size, target).outcome,
            ArchiveOutcome::Done);
        EXPECT_EQ(vtl::testing::ReadFile(target), AsText(SmallPicture()));

        // Tools pick members by name from the plain list, text files included.
        std::vector<ArchiveMember> all;
        ASSERT_EQ(ReadArchiveMembers(registry, archive, all).outcome, ArchiveOutcome::Done);
        EXPECT_EQ(all.size(), 3u);
        auto found = FindMember(all, "dir/b.tp1");
        ASSERT_TRUE(found);
        EXPECT_EQ(*found, members[1]);
        EXPECT_FALSE(FindMember(all, "b.tp1"));

        auto noGetFile = MakeRegistry({ ArcLine("tarc_nofile.spi") });
        auto result
            = SaveMember(noGetFile, archive, members[0].position, members[0].size, m_dir / "z.tp1");
        EXPECT_EQ(result.outcome, ArchiveOutcome::Broken);
        EXPECT_FALSE(std::filesystem::exists(m_dir / "z.tp1"));
    }

    TEST(SaveMemberTest, DialogAndTargetFollowTheMembersExtension)
    {
        auto setup = SaveMemberDialog("dir\\pic.jpg");
        EXPECT_EQ(setup.defaultExtension, "jpg");
        EXPECT_EQ(setup.filter, "保存形式|*.jpg");
        setup = SaveMemberDialog("dir.d/noext");
        EXPECT_EQ(setup.defaultExtension, "");
        EXPECT_EQ(setup.filter, "保存形式|*.");
        EXPECT_EQ(SaveMemberTarget("/t/out.png", "pic.jpg"), "/t/out.jpg");
        EXPECT_EQ(SaveMemberTarget("/t/out", "pic.jpg"), "/t/out.jpg");
        EXPECT_EQ(SaveMemberTarget("/t/out.png", "noext"), "/t/out");
    }

    TEST(ArchiveCacheLinesTest, LinesRoundTripAndBadLinesAreHandled)
    {
        ArchiveMember member { "dir/a,b.jpg", 0xFFFFFFF0u, 1234, "dir/a,b.jpg" };
        std::string line = FormatArchiveCacheLine(member);
        EXPECT_EQ(line, "-16,1234,dir/a,b.jpg");
        auto members = ParseArchiveCacheLines({ kArchiveCacheMarker, line, "5,6,x.png" });
        ASSERT_TRUE(members);
        ASSERT_EQ(members->size(), 2u);
        EXPECT_EQ((*members)[0], member);
        EXPECT_EQ((*members)[1].position, 5u);

        EXPECT_FALSE(ParseArchiveCacheLines({ "%vtl%", line }));
        EXPECT_FALSE(ParseArchiveCacheLines({}));
        // A line without two commas empties the list.
        members = ParseArchiveCacheLines({ kArchiveCacheMarker, line, "5,x.png", "7,8,y.png" });
        ASSERT_TRUE(members);
        EXPECT_THAT(*members, IsEmpty());
        EXPECT_THROW(
            ParseArchiveCacheLines({ kArchiveCacheMarker, "five,6,x.png" }), EConvertError);
    }

} // namespace
} // namespace vtl::input
