#include "browse/pair_coder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <random>

namespace vtl::browse {
namespace {

    using Bytes = std::vector<uint8_t>;

    Bytes Concat(std::initializer_list<Bytes> parts)
    {
        Bytes all;
        for (const Bytes& p : parts)
            all.insert(all.end(), p.begin(), p.end());
        return all;
    }

    Bytes Le32(uint32_t v)
    {
        return { uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24) };
    }

    const Bytes kLiteralTable { 254, 127, 254, 255 };

    // Unpacks one block as the format describes it, with a stack of pending right halves; an
    // oracle for the unpacker, which works differently.
    Bytes UnpackBlockSimply(const PairTable& table, std::span<const uint8_t> data)
    {
        Bytes out;
        std::vector<uint8_t> stack;
        for (uint8_t code : data) {
            stack.push_back(code);
            while (!stack.empty()) {
                uint8_t c = stack.back();
                stack.pop_back();
                if (table.isPair[c]) {
                    stack.push_back(table.right[c]);
                    stack.push_back(table.left[c]);
                } else {
                    out.push_back(c);
                }
            }
        }
        return out;
    }

    // The unpacked blocks of a packed section, each on its own.
    std::vector<Bytes> Blocks(const Bytes& packed)
    {
        std::vector<Bytes> blocks;
        platform::ByteReader in(packed);
        while (!in.AtEnd()) {
            PairTable table = ReadPairTable(in);
            uint32_t length = in.u32le();
            blocks.push_back(UnpackBlockSimply(table, in.Take(length)));
        }
        return blocks;
    }

    std::vector<size_t> BlockLengths(const Bytes& packed)
    {
        std::vector<size_t> lengths;
        for (const Bytes& block : Blocks(packed))
            lengths.push_back(block.size());
        return lengths;
    }

    void ExpectRoundTrip(const Bytes& input)
    {
        Bytes packed = PackPairs(input);
        EXPECT_EQ(UnpackPairs(packed, input.size()), input) << "size " << input.size();
        Bytes simply;
        for (const Bytes& block : Blocks(packed))
            simply.insert(simply.end(), block.begin(), block.end());
        EXPECT_EQ(simply, input) << "size " << input.size();
        // Packing is a function of the input alone.
        EXPECT_EQ(PackPairs(input), packed);
    }

    TEST(PairCoder, InputWithoutRepeatedPairsIsOneLiteralBlock)
    {
        Bytes input { 'a', 'b', 'c', 'a', 'b', 'd', 'a' }; // "ab" twice is not enough
        EXPECT_EQ(PackPairs(input), Concat({ kLiteralTable, Le32(7), input }));
        EXPECT_EQ(PackPairs({}), Concat({ kLiteralTable, Le32(0) }));
        EXPECT_EQ(UnpackPairs(Concat({ kLiteralTable, Le32(0) }), 0), Bytes {});
        EXPECT_EQ(UnpackPairs(PackPairs(input), 7), input);
    }

    TEST(PairCoder, PacksHandWorkedExample)
    {
        // "abababab": (a, b) occurs 4 times and becomes 255, leaving four 255s; (255, 255) then
        // counts 3 and becomes 254. Table: literals 0-126, 127, literals 128-253, then 254 =
        // (255, 255) as the entry after the run, then a group of one for 255 = (a, b).
        Bytes input { 'a', 'b', 'a', 'b', 'a', 'b', 'a', 'b' };
        Bytes expected { 254, 127, 253, 255, 255, 0, 'a', 'b', 2, 0, 0, 0, 254, 254 };
        EXPECT_EQ(PackPairs(input), expected);
        EXPECT_EQ(UnpackPairs(expected, 8), input);
    }

    TEST(PairCoder, TableGroupsKeepSingleLiteralsInside)
    {
        PairTable table;
        for (int code : { 250, 251, 253, 255 }) {
            table.isPair[code] = true;
            table.left[code] = uint8_t(code - 200);
            table.right[code] = 1;
        }
        Bytes out;
        AppendPairTable(table, out);
        // Run 0-126, entry 127; run 128-249, entry 250; group 251, 252 (literal), 253; then 254 as
        // a run of one and 255 as its entry.
        Bytes expected { 254, 127, 249, 50, 1, 2, 51, 1, 252, 53, 1, 128, 55, 1 };
        EXPECT_EQ(out, expected);
        platform::ByteReader in(out);
        PairTable back = ReadPairTable(in);
        EXPECT_TRUE(in.AtEnd());
        EXPECT_EQ(back.isPair, table.isPair);
        for (int code : { 250, 251, 253, 255 })
            EXPECT_EQ(back.left[code], code - 200);

        // A table of nothing but pair codes is written in groups of at most 128.
        PairTable full;
        for (int code = 0; code < 256; ++code) {
            full.isPair[code] = true;
            full.left[code] = uint8_t(code + 1);
            full.right[code] = uint8_t(code + 2);
        }
        Bytes all;
        AppendPairTable(full, all);
        ASSERT_EQ(all.size(), 2u + 512u);
        EXPECT_EQ(all[0], 127);
        EXPECT_EQ(all[1 + 256], 127);
    }

    TEST(PairCoder, StartsNewBlockAt200DistinctValuesAndAt8192Bytes)
    {
        Bytes distinct(256);
        for (int i = 0; i < 256; ++i)
            distinct[i] = uint8_t(i);
        Bytes first(distinct.begin(), distinct.begin() + 200);
        Bytes second(distinct.begin() + 200, distinct.end());
        EXPECT_EQ(PackPairs(distinct),
            Concat({ kLiteralTable, Le32(200), first, kLiteralTable, Le32(56), second }));

        std::mt19937 random(7);
        Bytes few(20000);
        for (auto& b : few)
            b = uint8_t(random() % 100);
        Bytes packed = PackPairs(few);
        EXPECT_THAT(BlockLengths(packed), ::testing::ElementsAre(8192, 8192, 20000 - 2 * 8192));
        EXPECT_EQ(UnpackPairs(packed, few.size()), few);
    }

    TEST(PairCoder, RoundTripsRandomInputs)
    {
        std::mt19937 random(2024);
        for (size_t size = 0; size <= 600; size += size < 200 ? 1 : 7) {
            Bytes input(size);
            // Narrow alphabets make pairs repeat; wide ones make blocks short.
            unsigned alphabet = 2 + unsigned(size % 7) * 40;
            for (auto& b : input)
                b = uint8_t(random() % alphabet);
            ExpectRoundTrip(input);
        }
        for (int i = 0; i < 10; ++i) {
            Bytes input(random() % (100 * 1024 + 1));
            unsigned alphabet = 1 + unsigned(random() % 256);
            for (auto& b : input)
                b = uint8_t(random() % alphabet);
            ExpectRoundTrip(input);
        }
    }

    TEST(PairCoder, RoundTripsInputsThatStressTheCoder)
    {
        Bytes allValues;
        for (int repeat = 0; repeat < 40; ++repeat)
            for (int v = 0; v < 256; ++v)
                allValues.push_back(uint8_t(repeat % 2 ? 255 - v : v));
        ExpectRoundTrip(allValues);

        ExpectRoundTrip(Bytes(100 * 1024, 0)); // codes nest many levels deep
        ExpectRoundTrip(Bytes(8193, 255));
        Bytes alternating;
        for (int i = 0; i < 30000; ++i)
            alternating.push_back(i % 2 ? 0x5A : 0xA5);
        ExpectRoundTrip(alternating);

        // Runs of varying length and a picture-like ramp.
        Bytes runs;
        for (int i = 0; runs.size() < 70000; ++i)
            runs.insert(runs.end(), size_t(i % 37 + 1), uint8_t(i * 13));
        ExpectRoundTrip(runs);
        Bytes ramp;
        for (int y = 0; y < 96; ++y)
            for (int x = 0; x < 128 * 6; ++x)
                ramp.push_back(uint8_t((x / 7 + y / 5) % 215));
        ExpectRoundTrip(ramp);

        // Many distinct pairs that each repeat a few times fill the pair slots.
        std::mt19937 random(99);
        Bytes pairs;
        while (pairs.size() < 60000) {
            uint8_t a = uint8_t(random() % 199), b = uint8_t(random() % 199);
            for (int k = 0; k < 3; ++k) {
                pairs.push_back(a);
                pairs.push_back(b);
            }
        }
        ExpectRoundTrip(pairs);
    }

    TEST(PairCoder, PackedNeverMuchLongerThanInput)
    {
        Bytes distinct(256);
        for (int i = 0; i < 256; ++i)
            distinct[i] = uint8_t(i);
        EXPECT_LE(PackPairs(distinct).size(), 256u + 16u);
        EXPECT_LT(PackPairs(Bytes(8192, 7)).size(), 200u);
    }

    TEST(PairCoder, RefusesDamagedSections)
    {
        const Bytes good = PackPairs(Bytes { 'a', 'b', 'a', 'b', 'a', 'b', 'a', 'b' });
        // Recorded length longer or shorter than what the blocks hold.
        EXPECT_THROW(UnpackPairs(good, 7), EThumbCacheDamaged);
        EXPECT_THROW(UnpackPairs(good, 9), EThumbCacheDamaged);
        // Cut anywhere: the table, the length or the data runs out.
        for (size_t cut = 1; cut < good.size(); ++cut)
            EXPECT_THROW(UnpackPairs(std::span(good).first(cut), 8), EThumbCacheDamaged) << cut;
        // A literal run past code 255, and a group past it.
        EXPECT_THROW(UnpackPairs(Bytes { 255, 255, 255, 255, 255 }, 0), EThumbCacheDamaged);
        EXPECT_THROW(UnpackPairs(Bytes { 254, 127, 254, 1, 1, 2, 1, 2 }, 0), EThumbCacheDamaged);
        // 254 = (255, 0) and 255 = (254, 0) refer to each other; using either never ends.
        Bytes loop { 254, 127, 253, 255, 0, 0, 254, 0, 1, 0, 0, 0, 255 };
        EXPECT_THROW(UnpackPairs(loop, 1000), EThumbCacheDamaged);
        // A loop that the data never uses is harmless.
        Bytes unusedLoop { 254, 127, 253, 255, 0, 0, 254, 0, 1, 0, 0, 0, 7 };
        EXPECT_EQ(UnpackPairs(unusedLoop, 1), Bytes { 7 });
    }

    TEST(PairCoder, RefusesExpansionBeyondRecordedLength)
    {
        // 255 = (0, 0), 254 = (255, 255), ... each code doubles: a few bytes claim a huge output.
        PairTable t;
        for (int code = 200; code < 256; ++code) {
            t.isPair[code] = true;
            t.left[code] = t.right[code] = uint8_t(code == 255 ? 0 : code + 1);
        }
        Bytes table;
        AppendPairTable(t, table);
        Bytes packed = Concat({ table, Le32(100), Bytes(100, 200) });
        EXPECT_THROW(UnpackPairs(packed, 1 << 20), EThumbCacheDamaged);

        // A block never holds more than 8192 bytes of input, whatever the recorded length says.
        EXPECT_EQ(
            UnpackPairs(Concat({ table, Le32(4096), Bytes(4096, 255) }), 8192), Bytes(8192, 0));
        EXPECT_THROW(
            UnpackPairs(Concat({ table, Le32(4097), Bytes(4097, 255) }), 8194), EThumbCacheDamaged);
    }

} // namespace
} // namespace vtl::browse
