// The plug-in host over the test plug-ins, and the turning of plug-in output into a picture,
// including output that lies about its sizes.

#include "input/plugin_host.h"
#include "input/plugin_picture.h"
#include "plugin_fixture.h"

#include <gmock/gmock.h>

#include <cstring>

namespace vtl::input {
namespace {

    using namespace testing;
    using ::testing::ElementsAre;

    class HostTest : public testing::PluginTest { };

    TEST_F(HostTest, EntriesAreLookedUpByName)
    {
        auto plugin = SusiePlugin::Load(TestPlugin("tpic_nopicture"));
        ASSERT_TRUE(plugin);
        EXPECT_EQ(PluginLibrary::OpenCount(), 1);
        EXPECT_TRUE(plugin->HasIsSupported());
        EXPECT_TRUE(plugin->HasGetPictureInfo());
        EXPECT_FALSE(plugin->HasGetPicture());
        EXPECT_FALSE(plugin->HasGetFile());
        EXPECT_EQ(plugin->GetPluginInfo(0, SPI_INFO0_SIZE), "00IN");
        EXPECT_EQ(plugin->GetPluginInfo(2, SPI_INFO_SIZE), "*.tp1");
        EXPECT_FALSE(plugin->GetPluginInfo(4, SPI_INFO_SIZE));
        plugin.reset();
        EXPECT_EQ(PluginLibrary::OpenCount(), 0);
        EXPECT_FALSE(SusiePlugin::Load(m_dir / "missing.spi"));
        // A bare name never reaches the system's libraries.
        EXPECT_FALSE(PluginLibrary::Load("libc.so.6"));
        // Not a library at all.
        EXPECT_FALSE(SusiePlugin::Load(File("fake.spi", { 'n', 'o' })));
    }

    TEST_F(HostTest, InfoTextStopsAtTheBuffer)
    {
        auto plugin = SusiePlugin::Load(TestPlugin("tpic"));
        ASSERT_TRUE(plugin);
        // A 5-byte buffer holds four characters and the terminator.
        EXPECT_EQ(plugin->GetPluginInfo(1, 5), "tpic");
        EXPECT_EQ(plugin->GetPluginInfo(2, SPI_INFO_SIZE), "*.tp1;*.TP2;*.t_p3");
        EXPECT_FALSE(plugin->GetPluginInfo(0, 0));
    }

    TEST_F(HostTest, IsSupportedGetsADescriptorOrAFullHead)
    {
        auto plugin = SusiePlugin::Load(TestPlugin("tpic"));
        ASSERT_TRUE(plugin);
        auto file = File("a.tp1", SmallPicture());
        EXPECT_TRUE(plugin->IsSupportedFile(file));
        EXPECT_FALSE(plugin->IsSupportedFile(File("b.tp1", { 'x', 'x', 'x', 'x', 'x' })));
        EXPECT_FALSE(plugin->IsSupportedFile(m_dir / "missing.tp1"));
        // Data shorter than the head: the plug-in still may read 2048 bytes (ASan would object).
        Bytes small { 'T', 'P', 'I', 'C' };
        EXPECT_TRUE(plugin->IsSupportedHead("a.tp1", small));
        EXPECT_FALSE(plugin->IsSupportedHead("a.tp1", {}));
    }

    TEST_F(HostTest, PictureCallsReturnOwnedBlocks)
    {
        auto plugin = SusiePlugin::Load(TestPlugin("tpic"));
        ASSERT_TRUE(plugin);
        Bytes data = SmallPicture(kProgress);
        auto file = File("a.tp1", data);
        for (const PluginSource& source :
            { PluginSource::File(file), PluginSource::Memory(data) }) {
            auto size = plugin->GetPictureInfo(source);
            ASSERT_TRUE(size);
            EXPECT_EQ(size->width, 2);
            EXPECT_EQ(size->height, 2);
            std::vector<std::pair<int, int>> reports;
            PluginPictureBlocks blocks;
            ASSERT_EQ(plugin->GetPicture(source, blocks,
                          [&](int32_t d, int32_t t) { reports.emplace_back(d, t); }),
                SPI_SUCCESS);
            EXPECT_GE(blocks.info.Size(), 40u);
            EXPECT_GE(blocks.bits.Size(), 16u);
            EXPECT_EQ(reports.size(), 5u);
        }
        EXPECT_THAT(Calls(),
            ElementsAre("tpic:GetPictureInfo(file)", "tpic:GetPicture(progress)",
                "tpic:GetPictureInfo(memory)", "tpic:GetPicture(progress)"));
    }

    TEST_F(HostTest, FailuresFreeWhatWasReturned)
    {
        auto plugin = SusiePlugin::Load(TestPlugin("tpic"));
        ASSERT_TRUE(plugin);
        PluginPictureBlocks blocks;
        // Blocks handed over with a failure are freed at once (LeakSanitizer checks it).
        EXPECT_EQ(plugin->GetPicture(PluginSource::Memory(SmallPicture(kFailWithBlocks)), blocks),
            SPI_BROKEN_DATA);
        EXPECT_FALSE(blocks.info);
        EXPECT_FALSE(blocks.bits);
        // A C++ exception from the plug-in is a failure of that call, not of the host.
        EXPECT_EQ(plugin->GetPicture(PluginSource::Memory(SmallPicture(kThrows)), blocks),
            SPI_INTERNAL_ERROR);
        EXPECT_FALSE(plugin->GetPictureInfo(PluginSource::Memory(SmallPicture(kInfoFails))));
    }

    TEST_F(HostTest, ArchiveCallsReturnOwnedBlocks)
    {
        auto plugin = SusiePlugin::Load(TestPlugin("tarc"));
        ASSERT_TRUE(plugin);
        auto file = File("a.tar1", TestArchive({ { "", "a.txt", { 'h', 'i' } } }));
        PluginBlock list;
        ASSERT_EQ(plugin->GetArchiveInfo(PluginSource::File(file), list), SPI_SUCCESS);
        EXPECT_GE(list.Size(), 2u * SPI_FILE_INFO_SIZE);
        uint32_t position = 0;
        std::memcpy(&position, list.Bytes().data() + 8, 4);
        PluginBlock data;
        ASSERT_EQ(plugin->GetFile(PluginSource::File(file), position, data), SPI_SUCCESS);
        EXPECT_EQ(data.Bytes()[0], 'h');
        EXPECT_NE(plugin->GetFile(PluginSource::File(file), 1, data), SPI_SUCCESS);
        EXPECT_FALSE(data);
    }

    // ---- plug-in output to picture ----

    TEST(PluginPictureTest, EightBitRowsArePaddedWhenTheImageSizeIsZero)
    {
        // Width 10 at 8 bits: rows of 12 bytes.
        Bytes info = InfoHeader(10, 3, 8, 0, 0, 256);
        Bytes bits(36);
        for (size_t i = 0; i < bits.size(); ++i)
            bits[i] = uint8_t(i);
        auto stream = BmpStreamFromPluginBlocks(info, bits);
        EXPECT_EQ(stream.size(), 54u + 1024u + 36u);
        EXPECT_EQ(stream[10] | stream[11] << 8, 54 + 1024);
        document::TDIB dib;
        PictureFromPluginBlocks(info, bits, dib);
        EXPECT_EQ(dib.Width(), 10);
        EXPECT_EQ(dib.Height(), 3);
        EXPECT_EQ(dib.BitCount(), 8);
        // Bottom-up: the top row is the last 12 bytes.
        EXPECT_EQ(dib.ScanLine(0)[0], 24);
        EXPECT_EQ(dib.ScanLine(2)[9], 9);
    }

    TEST(PluginPictureTest, TableSizeFollowsColoursUsed)
    {
        // Four colours used at 8 bits: a 16-byte table, the pixels right after it.
        Bytes info = InfoHeader(1, 1, 8, 0, 4, 4);
        Bytes bits { 3, 0, 0, 0 };
        auto stream = BmpStreamFromPluginBlocks(info, bits);
        EXPECT_EQ(stream.size(), 54u + 16u + 4u);
        document::TDIB dib;
        PictureFromPluginBlocks(info, bits, dib);
        EXPECT_EQ(dib.ColorsUsed(), 4u);
        // 24 bits without colours used: no table.
        EXPECT_EQ(BmpStreamFromPluginBlocks(InfoHeader(1, 1, 24), Bytes(4)).size(), 58u);
    }

    TEST(PluginPictureTest, DeepPicturesAndTopDownRowsLoad)
    {
        Bytes bits32 { 1, 2, 3, 0, 4, 5, 6, 0 };
        document::TDIB dib;
        PictureFromPluginBlocks(InfoHeader(2, 1, 32), bits32, dib);
        EXPECT_EQ(dib.BitCount(), 24);
        EXPECT_EQ(dib.ScanLine(0)[3], 4);
        Bytes bits24 { 1, 1, 1, 0, 2, 2, 2, 0 };
        PictureFromPluginBlocks(InfoHeader(1, -2, 24), bits24, dib);
        EXPECT_EQ(dib.Height(), 2);
        EXPECT_EQ(dib.ScanLine(0)[0], 1);
    }

    TEST(PluginPictureTest, OutputThatLiesIsRefusedAndLeavesThePictureAlone)
    {
        struct Case {
            const char* what;
            Bytes info;
            Bytes bits;
        };
        std::vector<Case> cases {
            { "header block short", Bytes(39), Bytes(16) },
            { "depth 2", InfoHeader(2, 2, 2), Bytes(16) },
            { "depth 0", InfoHeader(2, 2, 0), Bytes(16) },
            { "table beyond block", InfoHeader(2, 2, 8, 0, 0, 255), Bytes(16) },
            { "colours used huge", InfoHeader(2, 2, 24, 0, 0x40000000u), Bytes(16) },
            { "rows beyond block", InfoHeader(100, 100, 24), Bytes(16) },
            { "image size beyond block", InfoHeader(2, 2, 24, 1u << 30), Bytes(16) },
            { "zero width", InfoHeader(0, 2, 24), Bytes(16) },
            { "negative width", InfoHeader(-4, 2, 24), Bytes(64) },
            { "zero height", InfoHeader(2, 0, 24), Bytes(16) },
            { "most negative height", InfoHeader(1, INT32_MIN, 24), Bytes(16) },
            { "image size below rows", InfoHeader(4, 4, 24, 8), Bytes(64) },
        };
        for (const auto& c : cases) {
            document::TDIB dib;
            dib.SetWidth(7);
            EXPECT_ANY_THROW(PictureFromPluginBlocks(c.info, c.bits, dib)) << c.what;
            EXPECT_EQ(dib.Width(), 7) << c.what;
        }
    }

} // namespace
} // namespace vtl::input
