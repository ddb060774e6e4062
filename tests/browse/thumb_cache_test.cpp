#include "browse/pair_coder.h"
#include "browse/thumb_cache.h"
#include "platform/atomic_file.h"
#include "platform/byte_reader.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <system_error>

namespace vtl::browse {
namespace {

    using Bytes = std::vector<uint8_t>;
    using Lines = std::vector<std::string>;

    constexpr ThumbSize k64 = kThumbSizes[0];

    TSumImg StoreOf(ThumbSize size, int count)
    {
        TSumImg store(size);
        for (int i = 0; i < count; ++i) {
            Bytes block(store.BlockSize());
            for (size_t p = 0; p < block.size(); ++p)
                block[p] = uint8_t((p / 7 + size_t(i) * 31) % 215);
            store.AddBlock(block);
        }
        return store;
    }

    void ExpectSameBlocks(const TSumImg& a, const TSumImg& b)
    {
        ASSERT_EQ(a.Count(), b.Count());
        for (int i = 0; i < a.Count(); ++i) {
            auto x = a.Block(i), y = b.Block(i);
            EXPECT_TRUE(std::equal(x.begin(), x.end(), y.begin(), y.end())) << i;
        }
    }

    Bytes ToBytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

    // The same sections in the older layout: no size, directory at 4, data at 28.
    Bytes AsOldLayout(const Bytes& current)
    {
        Bytes old(current.begin(), current.begin() + 4);
        std::memcpy(old.data(), "VTL0", 4);
        old.insert(old.end(), current.begin() + 8, current.begin() + 32);
        for (int section = 0; section < 2; ++section) {
            size_t at = 4 + 12 * size_t(section);
            platform::ByteReader in { std::span(old).subspan(at, 4) };
            platform::PutU32le(old.data() + at, in.u32le() - 4);
        }
        old.insert(old.end(), current.begin() + 32, current.end());
        return old;
    }

    TEST(ThumbCache, WritesTheCurrentLayout)
    {
        TSumImg store = StoreOf(k64, 2);
        const Lines lines { "%vtl_a%", "512,900,photos/p1.jpg", "0,12,a,b.jpg" };
        Bytes file = BuildThumbCache(lines, store);

        platform::ByteReader in(file);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(in.Take(4).data()), 4), "WTL0");
        EXPECT_EQ(in.u16le(), 64);
        EXPECT_EQ(in.u16le(), 48);
        uint32_t textAt = in.u32le(), textPacked = in.u32le(), textLength = in.u32le();
        uint32_t stripAt = in.u32le(), stripPacked = in.u32le(), stripLength = in.u32le();
        EXPECT_EQ(textAt, 32u);
        EXPECT_EQ(stripAt, textAt + textPacked);
        EXPECT_EQ(file.size(), size_t(stripAt) + stripPacked); // nothing after
        const std::string text = "%vtl_a%\r\n512,900,photos/p1.jpg\r\n0,12,a,b.jpg\r\n";
        EXPECT_EQ(
            UnpackPairs(std::span(file).subspan(textAt, textPacked), textLength), ToBytes(text));
        Bytes strip = UnpackPairs(std::span(file).subspan(stripAt, stripPacked), stripLength);
        EXPECT_EQ(strip[0], 'B');
        EXPECT_EQ(strip[1], 'M');
        EXPECT_EQ(stripLength, 54u + 4u * 215u + 2u * 64u * 48u);
    }

    TEST(ThumbCache, SavesAndLoadsLinesAndThumbnails)
    {
        testing::TempDir dir;
        for (int size = 0; size < 5; ++size) {
            TSumImg store = StoreOf(ThumbSizeOfIndex(size), 7);
            const Lines lines { "%vtl%", "IMG_0001.JPG", "b.png", "c d.bmp", "e", "f", "g",
                "0,12,a,b.jpg" };
            SaveThumbCache(dir / "vtl.snx", lines, store);
            Lines readLines { "stale" };
            TSumImg back(ThumbSizeOfIndex(size));
            ASSERT_TRUE(LoadThumbCache(dir / "vtl.snx", readLines, back)) << size;
            EXPECT_EQ(readLines, lines); // names keep their case; commas are part of the line
            ExpectSameBlocks(store, back);
        }
    }

    TEST(ThumbCache, IgnoresFilesOfOtherSizesAndMagics)
    {
        testing::TempDir dir;
        SaveThumbCache(dir / "one.snx", { "%vtl%", "a.jpg" }, StoreOf(ThumbSizeOfIndex(1), 1));
        Lines lines { "x" };
        TSumImg two(ThumbSizeOfIndex(2));
        two.AddBlock(Bytes(two.BlockSize()));
        EXPECT_FALSE(LoadThumbCache(dir / "one.snx", lines, two));
        EXPECT_TRUE(lines.empty());
        EXPECT_EQ(two.Count(), 0);
        TSumImg one(ThumbSizeOfIndex(1));
        EXPECT_TRUE(LoadThumbCache(dir / "one.snx", lines, one));

        Bytes other = BuildThumbCache({ "%vtl%", "a.jpg" }, StoreOf(k64, 1));
        other[0] = 'X';
        testing::WriteFile(dir / "other.snx", std::string(other.begin(), other.end()));
        TSumImg store(k64);
        EXPECT_FALSE(LoadThumbCache(dir / "other.snx", lines, store));
        EXPECT_FALSE(LoadThumbCache(dir / "missing.snx", lines, store));
    }

    TEST(ThumbCache, ReadsOldLayoutOnlyAtTheSmallestSize)
    {
        testing::TempDir dir;
        TSumImg store = StoreOf(k64, 3);
        const Lines lines { "%vtl%", "a.jpg", "b.jpg", "c.jpg" };
        Bytes old = AsOldLayout(BuildThumbCache(lines, store));
        testing::WriteFile(dir / "vtl.snx", std::string(old.begin(), old.end()));

        Lines read;
        TSumImg back(k64);
        ASSERT_TRUE(LoadThumbCache(dir / "vtl.snx", read, back));
        EXPECT_EQ(read, lines);
        ExpectSameBlocks(store, back);
        for (int size = 1; size < 5; ++size) {
            TSumImg other(ThumbSizeOfIndex(size));
            EXPECT_FALSE(LoadThumbCache(dir / "vtl.snx", read, other)) << size;
        }
    }

    TEST(ThumbCache, MarkerOnlyCacheHasNoThumbnails)
    {
        testing::TempDir dir;
        SaveThumbCache(dir / "vtl.snx", { "%vtl%" }, TSumImg(k64));
        Lines read;
        TSumImg back(k64);
        ASSERT_TRUE(LoadThumbCache(dir / "vtl.snx", read, back));
        EXPECT_EQ(read, Lines { "%vtl%" });
        EXPECT_EQ(back.Count(), 0);

        // No lines at all is a failed read.
        SaveThumbCache(dir / "vtl.snx", {}, TSumImg(k64));
        EXPECT_FALSE(LoadThumbCache(dir / "vtl.snx", read, back));
    }

    TEST(ThumbCache, DamagedFilesAreNoCache)
    {
        testing::TempDir dir;
        const Bytes good = BuildThumbCache({ "%vtl%", "a.jpg", "b.jpg" }, StoreOf(k64, 2));
        auto loads = [&](const Bytes& bytes) {
            testing::WriteFile(dir / "vtl.snx", std::string(bytes.begin(), bytes.end()));
            Lines read { "x" };
            TSumImg back(k64);
            bool ok = LoadThumbCache(dir / "vtl.snx", read, back);
            if (!ok) {
                EXPECT_TRUE(read.empty());
                EXPECT_EQ(back.Count(), 0);
            }
            return ok;
        };
        ASSERT_TRUE(loads(good));

        auto patched = [&](size_t at, uint32_t value) {
            Bytes b = good;
            platform::PutU32le(b.data() + at, value);
            return b;
        };
        EXPECT_FALSE(loads(patched(20, uint32_t(good.size())))); // strip starts at the end
        EXPECT_FALSE(loads(patched(20, 0xFFFFFFF0u))); // offset + length wraps around
        EXPECT_FALSE(loads(patched(12, 0xFFFFFFFFu))); // text longer than the file
        EXPECT_FALSE(loads(patched(16, 9999))); // unpacks shorter than recorded
        EXPECT_FALSE(loads(patched(28, 3))); // unpacks longer than recorded
        // Lines that need more thumbnails than the strip holds: three names, two cells.
        Bytes more = BuildThumbCache({ "%vtl%", "a", "b", "c" }, StoreOf(k64, 2));
        EXPECT_FALSE(loads(more));
        // Cut anywhere.
        for (size_t cut = 0; cut < good.size(); cut += 1 + cut / 16)
            EXPECT_FALSE(loads(Bytes(good.begin(), good.begin() + ptrdiff_t(cut)))) << cut;
    }

    TEST(ThumbCache, FailedWriteLeavesTheOldCache)
    {
        testing::TempDir dir;
        SaveThumbCache(dir / "vtl.snx", { "%vtl%", "old.jpg" }, StoreOf(k64, 1));
        const std::string before = testing::ReadFile(dir / "vtl.snx");
        platform::SetRenameFunctionForTesting([](const char*, const char*) {
            errno = EIO;
            return -1;
        });
        EXPECT_THROW(SaveThumbCache(dir / "vtl.snx", { "%vtl%", "new.jpg", "x" }, StoreOf(k64, 2)),
            std::system_error);
        platform::SetRenameFunctionForTesting({});
        EXPECT_EQ(testing::ReadFile(dir / "vtl.snx"), before);
        size_t files = 0;
        for ([[maybe_unused]] auto& entry : std::filesystem::directory_iterator(dir.Path()))
            ++files;
        EXPECT_EQ(files, 1u); // no temporary file left behind
    }

    TEST(ThumbCache, OpensAsPicture)
    {
        testing::TempDir dir;
        SaveThumbCache(dir / "a.lzh.snx",
            { "%vtl_a%", "0,1,a", "1,1,b", "2,1,c", "3,1,d", "4,1,e", "5,1,f", "6,1,g" },
            StoreOf(ThumbSizeOfIndex(1), 7));
        document::TDIB picture;
        ASSERT_TRUE(LoadCacheImage(dir / "a.lzh.snx", picture, ThumbSizeOfIndex(1)));
        EXPECT_EQ(picture.Width(), 6 * 80);
        EXPECT_EQ(picture.Height(), 2 * 60);
        EXPECT_EQ(picture.BitCount(), 8);

        // Made for another size: the picture stays as it was.
        document::TDIB untouched;
        EXPECT_FALSE(LoadCacheImage(dir / "a.lzh.snx", untouched, ThumbSizeOfIndex(0)));
        EXPECT_EQ(untouched.Width(), 1);

        Bytes bytes = BuildThumbCache({ "%vtl%", "a" }, StoreOf(k64, 1));
        bytes[bytes.size() - 1] ^= 0xFF;
        bytes.pop_back();
        testing::WriteFile(dir / "bad.snx", std::string(bytes.begin(), bytes.end()));
        EXPECT_THROW(LoadCacheImage(dir / "bad.snx", untouched, k64), EThumbCacheDamaged);
        EXPECT_EQ(untouched.Width(), 1);
    }

} // namespace
} // namespace vtl::browse
