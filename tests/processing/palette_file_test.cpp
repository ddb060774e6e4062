// Palette files: the checks that decide acceptance, the bytes written, and the sample files.
#include "platform/stream.h"
#include "processing/palette_file.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace vtl::processing {
namespace {

    using platform::PaletteEntry;
    namespace fs = std::filesystem;

    std::vector<PaletteEntry> Ramp(size_t n)
    {
        std::vector<PaletteEntry> p(n);
        for (size_t i = 0; i < n; ++i)
            p[i] = { uint8_t(i), uint8_t(255 - i), uint8_t(i * 3), 0 };
        return p;
    }

    TEST(PaletteFile, WritesTheRiffLayout)
    {
        auto bytes = BuildPaletteFile(Ramp(16), 16);
        ASSERT_EQ(bytes.size(), 24u + 64u); // what saving a 4-bit picture's palette gives
        const std::vector<uint8_t> head = { 'R', 'I', 'F', 'F', 80, 0, 0, 0, 'P', 'A', 'L', ' ',
            'd', 'a', 't', 'a', 68, 0, 0, 0, 0, 3, 16, 0 };
        EXPECT_TRUE(std::equal(head.begin(), head.end(), bytes.begin()));
        EXPECT_EQ(bytes[24 + 4 * 5 + 1], 250); // green of entry 5
        EXPECT_THROW(BuildPaletteFile(Ramp(4), 5), std::invalid_argument);
    }

    TEST(PaletteFile, ReadsBackOnlyWithTheWantedCountAndForm)
    {
        auto good = BuildPaletteFile(Ramp(256), 256);
        std::vector<PaletteEntry> entries { { 1, 2, 3, 0 } };
        ASSERT_TRUE(ParsePaletteFile(good, 256, entries));
        EXPECT_EQ(entries, Ramp(256));

        auto refused = [](const std::vector<uint8_t>& bytes, size_t count) {
            std::vector<PaletteEntry> out { { 9, 9, 9, 0 } };
            bool ok = ParsePaletteFile(bytes, count, out);
            if (!ok) {
                EXPECT_EQ(out.size(), 1u) << "a refused file changed the palette";
            }
            return !ok;
        };
        EXPECT_TRUE(refused(BuildPaletteFile(Ramp(16), 16), 256)); // 16 offered, 256 wanted
        for (size_t at : { 0u, 8u, 12u }) { // each of the three tags
            auto bad = good;
            bad[at + 1] ^= 0x20;
            EXPECT_TRUE(refused(bad, 256)) << at;
        }
        auto chunk = good;
        chunk[16] += 4; // data chunk longer than the count says
        EXPECT_TRUE(refused(chunk, 256));
        EXPECT_TRUE(refused(std::vector<uint8_t>(good.begin(), good.end() - 1), 256)); // cut short
        EXPECT_TRUE(refused({}, 16));
        // The RIFF size and the version are not checked.
        auto loose = good;
        loose[4] = 0;
        loose[20] = 7;
        EXPECT_FALSE(refused(loose, 256));
    }

    TEST(PaletteFile, FilesAreWrittenAndRefusalsCarryTheMessage)
    {
        vtl::testing::TempDir dir;
        auto path = dir / "p.pal";
        vtl::testing::WriteFile(path, "old contents");
        ASSERT_TRUE(WritePaletteFile(path, Ramp(20), 16)); // only the first 16
        EXPECT_EQ(fs::file_size(path), 24u + 64u);
        std::vector<PaletteEntry> entries;
        std::string refusal = "stale";
        ASSERT_TRUE(ReadPaletteFile(path, 16, entries, refusal));
        EXPECT_EQ(entries, Ramp(16));
        EXPECT_TRUE(refusal.empty());
        EXPECT_FALSE(ReadPaletteFile(path, 256, entries, refusal));
        EXPECT_EQ(refusal, "パレットがおかしいまたは数が合いません。");
        EXPECT_EQ(entries, Ramp(16));
        EXPECT_THROW(
            ReadPaletteFile(dir / "missing.pal", 16, entries, refusal), platform::EFOpenError);
    }

    TEST(PaletteFile, SampleFiles)
    {
        fs::path root = fs::path(VTL_TESTDATA_DIR) / "pal";
        if (!fs::exists(root))
            GTEST_SKIP() << "palette samples not found in " << root;
        std::vector<PaletteEntry> entries;
        std::string refusal;
        for (const auto& entry : fs::directory_iterator(root / "riff")) {
            std::string name = entry.path().filename().string();
            bool ok = ReadPaletteFile(entry.path(), 16, entries, refusal)
                || ReadPaletteFile(entry.path(), 256, entries, refusal);
            EXPECT_EQ(ok, name.find("oversized") == std::string::npos) << name;
        }
        for (const auto& entry : fs::directory_iterator(root / "not-riff")) {
            EXPECT_FALSE(ReadPaletteFile(entry.path(), 16, entries, refusal)) << entry.path();
            EXPECT_FALSE(ReadPaletteFile(entry.path(), 256, entries, refusal)) << entry.path();
        }
        ASSERT_TRUE(ReadPaletteFile(root / "riff" / "earth-vga16.pal", 16, entries, refusal));
        EXPECT_EQ(entries[1], (PaletteEntry { 0x80, 0, 0, 0 }));
    }

} // namespace
} // namespace vtl::processing
