#include "document/fixed_palettes.h"
#include "document/halftone.h"
#include "platform/checked.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>
#include <stdexcept>
#include <vector>

namespace vtl::document {
namespace {

    using platform::RGBQuad;

    struct Rgb {
        int r, g, b;
    };

    size_t RowBytes(int width, int bits) { return *platform::BmpRowBytes(width, bits); }

    // Colours of the pixels in storage order (row 0 is the first stored row).
    std::vector<std::vector<Rgb>> StoredColours(const DibImage& image)
    {
        const int width = image.info.biWidth;
        const int height = std::abs(image.info.biHeight);
        const int bits = image.info.biBitCount;
        std::vector<std::vector<Rgb>> rows(height, std::vector<Rgb>(width));
        for (int y = 0; y < height; ++y) {
            const uint8_t* row = image.bits.Data() + y * RowBytes(width, bits);
            for (int x = 0; x < width; ++x) {
                if (bits == 24) {
                    rows[y][x] = { row[3 * x + 2], row[3 * x + 1], row[3 * x] };
                    continue;
                }
                const int index = bits == 8 ? row[x]
                    : bits == 4             ? ((x & 1) ? row[x / 2] & 15 : row[x / 2] >> 4)
                                            : (row[x / 8] >> (7 - x % 8)) & 1;
                const RGBQuad& q = image.colorTable[index];
                rows[y][x] = { q.rgbRed, q.rgbGreen, q.rgbBlue };
            }
        }
        return rows;
    }

    std::vector<int> StoredIndices(const DibImage& image)
    {
        const int width = image.info.biWidth;
        const int height = std::abs(image.info.biHeight);
        std::vector<int> out;
        for (int y = 0; y < height; ++y) {
            const uint8_t* row = image.bits.Data() + y * RowBytes(width, image.info.biBitCount);
            for (int x = 0; x < width; ++x)
                out.push_back(
                    image.info.biBitCount == 8 ? row[x] : (row[x / 8] >> (7 - x % 8)) & 1);
        }
        return out;
    }

    // The diffusion written out plainly from its description, one pixel and one channel at a
    // time, with whole error rows kept for every row: the oracle for both conversions.
    std::vector<int> Reference(const DibImage& source, bool mono)
    {
        const auto colours = StoredColours(source);
        const int height = static_cast<int>(colours.size());
        const int width = source.info.biWidth;
        std::vector<std::vector<std::array<int, 3>>> errors(
            height + 1, std::vector<std::array<int, 3>>(width + 2, { 0, 0, 0 }));
        auto level = [](int c, int v) {
            static const std::vector<std::vector<int>> lows { { 26, 77, 128, 179, 231 },
                { 22, 64, 107, 150, 193, 234 }, { 32, 96, 160, 224 } };
            int l = 0;
            for (int t : lows[c])
                if (v >= t)
                    ++l;
            return l;
        };
        const int levelValue[3][7] = { { 0, 51, 102, 153, 204, 255 },
            { 0, 43, 85, 128, 171, 214, 255 }, { 0, 64, 128, 192, 255 } };
        std::vector<int> out(width * height);
        for (int y = 0; y < height; ++y) {
            auto& above = errors[y]; // errors of the previous row (all zero for row 0)
            auto& mine = errors[y + 1];
            const bool leftToRight = y % 2 == 0;
            std::array<int, 3> previous { 0, 0, 0 };
            for (int i = 0; i < width; ++i) {
                const int x = leftToRight ? i : width - 1 - i;
                const int behind = leftToRight ? x - 1 : x + 1;
                const Rgb px = colours[y][x];
                const int value[3] = { px.r, px.g, px.b };
                int corrected[3];
                for (int c = 0; c < 3; ++c) {
                    const int sum
                        = 12 * above[x + 1][c] + 12 * previous[c] + 5 * above[behind + 1][c];
                    const int quotient = sum >= 0 ? sum / 32 : -((-sum) / 32);
                    corrected[c] = value[c] - quotient;
                }
                if (mono) {
                    const int target = corrected[0] + corrected[1] + corrected[2] < 384 ? 0 : 255;
                    out[y * width + x] = target ? 1 : 0;
                    for (int c = 0; c < 3; ++c)
                        mine[x + 1][c] = target - corrected[c];
                } else {
                    int index = 0;
                    const int weight[3] = { 35, 5, 1 };
                    for (int c = 0; c < 3; ++c) {
                        const int l = level(c, corrected[c]);
                        index += weight[c] * l;
                        mine[x + 1][c] = levelValue[c][l] - corrected[c];
                    }
                    out[y * width + x] = index;
                }
                previous = mine[x + 1];
            }
        }
        return out;
    }

    DibImage Random(int width, int height, int bits, bool topDown, unsigned seed)
    {
        std::mt19937 random(seed);
        DibImage image;
        image.info.biWidth = width;
        image.info.biHeight = topDown ? -height : height;
        image.info.biBitCount = static_cast<uint16_t>(bits);
        image.info.biClrUsed = bits == 24 ? 0 : 1u << bits;
        for (auto& q : image.colorTable)
            q = RGBQuad { static_cast<uint8_t>(random()), static_cast<uint8_t>(random()),
                static_cast<uint8_t>(random()), 0 };
        image.bits = platform::MappedBlock(RowBytes(width, bits) * height);
        for (size_t i = 0; i < image.bits.Size(); ++i)
            image.bits.Data()[i] = static_cast<uint8_t>(random());
        return image;
    }

    TEST(Halftone, HandWorkedPair)
    {
        // Two pixels (100, 100, 100). First: levels red 2 (77..127), green 2 (64..106), blue 2
        // (96..159): index 70 + 10 + 2 = 82, errors (102 - 100, 85 - 100, 128 - 100) = (2, -15,
        // 28). Second: red 100 - 24 / 32 = 100 -> 2; green 100 - (-180 / 32 = -5) = 105 -> 2; blue
        // 100 - 336 / 32 = 100 - 10 = 90 -> 1: index 70 + 10 + 1 = 81.
        DibImage source;
        source.info.biWidth = 2;
        source.info.biHeight = 1;
        source.info.biBitCount = 24;
        source.bits = platform::MappedBlock(8);
        for (int i = 0; i < 6; ++i)
            source.bits.Data()[i] = 100;
        DibImage out = ConvertToHalfTone(source);
        EXPECT_THAT(StoredIndices(out), ::testing::ElementsAre(82, 81));
        EXPECT_EQ(out.info.biBitCount, 8);
        EXPECT_EQ(out.info.biClrUsed, 215u);
        const auto palette = HalftonePalette();
        EXPECT_TRUE(std::equal(palette.begin(), palette.end(), out.colorTable.begin()));
        EXPECT_EQ(out.colorTable[215], RGBQuad {});
    }

    TEST(Halftone, MatchesThePlainDiffusion)
    {
        unsigned seed = 1;
        for (int bits : { 1, 4, 8, 24 })
            for (int width : { 1, 2, 7, 33 })
                for (bool topDown : { false, true }) {
                    SCOPED_TRACE(testing::Message()
                        << bits << " bits, width " << width << (topDown ? " top-down" : ""));
                    DibImage source = Random(width, 9, bits, topDown, seed++);
                    DibImage tone = ConvertToHalfTone(source);
                    EXPECT_EQ(tone.info.biHeight, source.info.biHeight);
                    EXPECT_EQ(StoredIndices(tone), Reference(source, false));
                    DibImage mono = ConvertToHalfToneBW(source);
                    EXPECT_EQ(mono.info.biBitCount, 1);
                    EXPECT_EQ(mono.info.biClrUsed, 2u);
                    EXPECT_EQ(StoredIndices(mono), Reference(source, true));
                }
    }

    TEST(Halftone, MonoOfAPalettePictureFollowsTheCorrectedSum)
    {
        // A 256-colour picture of greys around the threshold: white exactly where the corrected
        // red + green + blue reaches 384.
        DibImage source = Random(64, 16, 8, false, 77);
        for (int i = 0; i < 256; ++i) {
            const auto v = static_cast<uint8_t>(118 + i % 20);
            source.colorTable[i] = RGBQuad { v, static_cast<uint8_t>(v + i % 7),
                static_cast<uint8_t>(v - i % 5), 0 };
        }
        DibImage mono = ConvertToHalfToneBW(source);
        const auto got = StoredIndices(mono);
        EXPECT_EQ(got, Reference(source, true));
        // Both colours occur, so the threshold is really being crossed.
        EXPECT_NE(std::count(got.begin(), got.end(), 1), 0);
        EXPECT_NE(std::count(got.begin(), got.end(), 0), 0);
    }

    TEST(Halftone, FixedPalettes)
    {
        const auto h = HalftonePalette();
        EXPECT_EQ(h[35 * 5 + 5 * 6 + 4], (RGBQuad { 255, 255, 255, 0 }));
        EXPECT_EQ(h[35 * 1 + 5 * 2 + 3], (RGBQuad { 192, 85, 51, 0 }));
        EXPECT_EQ(h[210], (RGBQuad { 0, 0, 128, 0 }));
        EXPECT_EQ(h[213], (RGBQuad { 192, 192, 192, 0 }));
        EXPECT_EQ(h[214], (RGBQuad { 128, 128, 128, 0 }));
        EXPECT_THAT(BlackWhitePalette(),
            ::testing::ElementsAre(RGBQuad { 0, 0, 0, 0 }, RGBQuad { 255, 255, 255, 0 }));
    }

    TEST(Halftone, CompressedSourceIsACallersError)
    {
        DibImage source = Random(4, 1, 8, false, 2);
        source.info.biCompression = kBiRle8;
        EXPECT_THROW(ConvertToHalfTone(source), std::logic_error);
        EXPECT_THROW(ConvertToHalfToneBW(source), std::logic_error);
    }

} // namespace
} // namespace vtl::document
