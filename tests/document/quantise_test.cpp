#include "document/dib_errors.h"
#include "document/quantise_high.h"
#include "document/quantise_low.h"
#include "platform/checked.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>
#include <tuple>
#include <vector>

namespace vtl::document {
namespace {

    using platform::RGBQuad;
    using Rgb = std::tuple<int, int, int>;

    RGBQuad Quad(int r, int g, int b)
    {
        return RGBQuad { static_cast<uint8_t>(b), static_cast<uint8_t>(g), static_cast<uint8_t>(r),
            0 };
    }

    // A one-row-per-entry 24-bit picture from colours given top row first, left to right.
    DibImage TrueColour(int width, const std::vector<Rgb>& pixels, bool topDown = false)
    {
        const int height = static_cast<int>(pixels.size()) / width;
        DibImage image;
        image.info.biWidth = width;
        image.info.biHeight = topDown ? -height : height;
        image.info.biBitCount = 24;
        image.info.biClrUsed = 0;
        const size_t rowBytes = *platform::BmpRowBytes(width, 24);
        image.bits = platform::MappedBlock(rowBytes * height);
        for (int i = 0; i < static_cast<int>(pixels.size()); ++i) {
            const int top = i / width;
            const int stored = topDown ? top : height - 1 - top;
            uint8_t* p = image.bits.Data() + stored * rowBytes + 3 * (i % width);
            p[0] = static_cast<uint8_t>(std::get<2>(pixels[i]));
            p[1] = static_cast<uint8_t>(std::get<1>(pixels[i]));
            p[2] = static_cast<uint8_t>(std::get<0>(pixels[i]));
        }
        return image;
    }

    // Palette indices of a 4- or 8-bit picture, top row first.
    std::vector<int> Indices(const DibImage& image)
    {
        const int width = image.info.biWidth;
        const int height = std::abs(image.info.biHeight);
        const size_t rowBytes = *platform::BmpRowBytes(width, image.info.biBitCount);
        std::vector<int> out;
        for (int top = 0; top < height; ++top) {
            const int stored = image.info.biHeight < 0 ? top : height - 1 - top;
            const uint8_t* row = image.bits.Data() + stored * rowBytes;
            for (int x = 0; x < width; ++x)
                out.push_back(image.info.biBitCount == 8 ? row[x]
                        : (x & 1)                        ? row[x / 2] & 15
                                                         : row[x / 2] >> 4);
        }
        return out;
    }

    std::vector<RGBQuad> Palette(const DibImage& image)
    {
        return std::vector<RGBQuad>(
            image.colorTable.begin(), image.colorTable.begin() + image.info.biClrUsed);
    }

    using Quantiser = DibImage (*)(const DibImage&, QuantiseProgress*);

    TEST(Quantise, SingleColourGivesOnePaletteEntry)
    {
        for (Quantiser q : { &ConvertTrueColorTo8BitRGBLow, &ConvertTrueColorTo8BitRGBHigh,
                 &ConvertTrueColorTo4BitRGBLow, &ConvertTrueColorTo4BitRGBHigh }) {
            DibImage out = q(TrueColour(3, std::vector<Rgb>(6, { 17, 130, 250 })), nullptr);
            EXPECT_THAT(Palette(out), ::testing::ElementsAre(Quad(17, 130, 250)));
            EXPECT_THAT(Indices(out), ::testing::Each(0));
            EXPECT_EQ(out.info.biHeight, 2);
        }
    }

    TEST(Quantise, UpperPartComesFirst)
    {
        // Three pixels (200, 0, 0) and one (40, 0, 0), in different cells of the histogram.
        // Root: mR = (3 x 200 + 40) / 4 = 160, vR = (3 x 40000 + 1600) / 4 - 160^2 = 4800,
        // vG = vB = 0, so red divides at 160: lower {40}, upper {200}. The upper part is split
        // first, and each single colour reaches one leaf: palette (200, 0, 0), (40, 0, 0).
        const std::vector<Rgb> pixels { { 200, 0, 0 }, { 40, 0, 0 }, { 200, 0, 0 }, { 200, 0, 0 } };
        for (Quantiser q : { &ConvertTrueColorTo8BitRGBLow, &ConvertTrueColorTo8BitRGBHigh,
                 &ConvertTrueColorTo4BitRGBLow, &ConvertTrueColorTo4BitRGBHigh }) {
            for (bool topDown : { false, true }) {
                DibImage out = q(TrueColour(2, pixels, topDown), nullptr);
                EXPECT_THAT(Palette(out), ::testing::ElementsAre(Quad(200, 0, 0), Quad(40, 0, 0)));
                EXPECT_THAT(Indices(out), ::testing::ElementsAre(0, 1, 0, 0));
                EXPECT_EQ(out.info.biHeight < 0, topDown);
            }
        }
    }

    TEST(Quantise, LowCellsAverageTheirLowBits)
    {
        // (9, 0, 0) and (10, 0, 0) share the cell red >> 3 = 1; its low red bits 1 and 2 sum to
        // 3, 3 / 2 = 1, so the cell's colour is 8 + 1 = 9. The High variant keeps both colours.
        const std::vector<Rgb> pixels { { 9, 0, 0 }, { 10, 0, 0 } };
        DibImage low = ConvertTrueColorTo8BitRGBLow(TrueColour(2, pixels), nullptr);
        EXPECT_THAT(Palette(low), ::testing::ElementsAre(Quad(9, 0, 0)));
        EXPECT_THAT(Indices(low), ::testing::ElementsAre(0, 0));
        // High: mR = 9.5, vR = 0.25: red divides at 9.5: upper {10} first, then {9}.
        DibImage high = ConvertTrueColorTo8BitRGBHigh(TrueColour(2, pixels), nullptr);
        EXPECT_THAT(Palette(high), ::testing::ElementsAre(Quad(10, 0, 0), Quad(9, 0, 0)));
        EXPECT_THAT(Indices(high), ::testing::ElementsAre(1, 0));
    }

    TEST(VarianceSplitTest, ChannelChoiceDiffersBetweenVariants)
    {
        // A = (0, 0, 0), B = (0, 12, 0), C = (0, 0, 16), weight 1 each.
        // mG = 4, vG = 144 / 3 - 16 = 32; mB = 16 / 3, vB = 256 / 3 - 256 / 9 = 512 / 9 = 56.9;
        // vR = 0. Red is out (4 vG > 3 vR). Low: 2 vB = 113.8 > 3 vG = 96, so blue divides at
        // 5.33: upper {C}, lower {A, B} -> palette C, mean(A, B) = (0, 6, 0).
        // High: 2 vB = 113.8 is not above 4 vG = 128, so green divides at 4: upper {B}, lower
        // {A, C} -> palette B, mean(A, C) = (0, 0, 8).
        std::vector<SplitEntry> entries { { 0, 0, 0, 1, 0 }, { 0, 12, 0, 1, 1 },
            { 0, 0, 16, 1, 2 } };
        std::vector<RGBQuad> palette;
        std::vector<uint8_t> index(3, 99);
        auto copy = entries;
        VarianceSplit(std::span(copy), 1, SplitVariant::Low, palette, index, nullptr);
        EXPECT_THAT(palette, ::testing::ElementsAre(Quad(0, 0, 16), Quad(0, 6, 0)));
        EXPECT_THAT(index, ::testing::ElementsAre(1, 1, 0));

        palette.clear();
        copy = entries;
        std::vector<SplitNode> tree
            = VarianceSplit(std::span(copy), 1, SplitVariant::High, palette, index, nullptr);
        EXPECT_THAT(palette, ::testing::ElementsAre(Quad(0, 12, 0), Quad(0, 0, 8)));
        EXPECT_THAT(index, ::testing::ElementsAre(1, 0, 1));
        ASSERT_FALSE(tree.empty());
        EXPECT_EQ(tree[0].divideId, 1);
        EXPECT_EQ(tree[0].mean, 4.0L);
    }

    TEST(VarianceSplitTest, LeafMeansRoundHalvesToEven)
    {
        // Means 1.5 -> 2, 2.5 -> 2, 3.5 -> 4 (weights 1 and 1), and 2.25 -> 2 (weights 3 and 1).
        std::vector<SplitEntry> entries { { 1, 2, 3, 1, 0 }, { 2, 3, 4, 1, 1 } };
        std::vector<RGBQuad> palette;
        std::vector<uint8_t> index(2);
        VarianceSplit(std::span(entries), 0, SplitVariant::Low, palette, index, nullptr);
        EXPECT_THAT(palette, ::testing::ElementsAre(Quad(2, 2, 4)));

        std::vector<SplitPixel> pixels { { 0, 0, 2 }, { 0, 0, 2 }, { 0, 0, 2 }, { 0, 0, 3 } };
        palette.clear();
        VarianceSplit(std::span(pixels), 0, SplitVariant::High, palette, nullptr);
        EXPECT_THAT(palette, ::testing::ElementsAre(Quad(2, 0, 0)));
    }

    TEST(Quantise, EightToFourBitsSplitsTheUsedEntries)
    {
        // Entries 0 = A, 1 = B, 2 = C of the split case above, one pixel each; entry 5 is unused.
        // Low: the root divides on blue: upper {C} first (new index 0); then {A, B}: mG = 6,
        // vG = 36, vB = 0, green divides at 6: upper {B} (1), then {A} (2).
        DibImage source;
        source.info.biWidth = 3;
        source.info.biHeight = 1;
        source.info.biBitCount = 8;
        source.colorTable[0] = Quad(0, 0, 0);
        source.colorTable[1] = Quad(0, 12, 0);
        source.colorTable[2] = Quad(0, 0, 16);
        source.colorTable[5] = Quad(255, 255, 255);
        source.bits = platform::MappedBlock(4);
        source.bits.Data()[0] = 0;
        source.bits.Data()[1] = 1;
        source.bits.Data()[2] = 2;
        DibImage out = Convert8BitRGBTo4BitRGB(source, nullptr);
        EXPECT_EQ(out.info.biBitCount, 4);
        EXPECT_THAT(
            Palette(out), ::testing::ElementsAre(Quad(0, 0, 16), Quad(0, 12, 0), Quad(0, 0, 0)));
        EXPECT_THAT(Indices(out), ::testing::ElementsAre(2, 1, 0));
        EXPECT_EQ(out.bits.Data()[0], 0x21);
        EXPECT_EQ(out.bits.Data()[1], 0x00);

        source.info.biCompression = kBiRle8;
        EXPECT_THROW(Convert8BitRGBTo4BitRGB(source, nullptr), EDIBBadDIBType);
    }

    // Distinct colours in distinct cells, no more than the depth can separate one by one, come
    // through both quantisers unchanged.
    TEST(Quantise, FewColoursComeThroughExactly)
    {
        std::mt19937 random(3);
        const std::vector<Rgb> colours { { 0, 0, 0 }, { 255, 255, 255 }, { 200, 16, 40 },
            { 8, 160, 96 }, { 120, 64, 248 } };
        std::vector<Rgb> pixels(7 * 5);
        for (auto& p : pixels)
            p = colours[random() % colours.size()];
        for (Quantiser q : { &ConvertTrueColorTo8BitRGBLow, &ConvertTrueColorTo8BitRGBHigh,
                 &ConvertTrueColorTo4BitRGBLow, &ConvertTrueColorTo4BitRGBHigh }) {
            DibImage out = q(TrueColour(7, pixels), nullptr);
            const auto palette = Palette(out);
            const auto indices = Indices(out);
            ASSERT_EQ(indices.size(), pixels.size());
            for (size_t i = 0; i < pixels.size(); ++i) {
                const RGBQuad& c = palette.at(indices[i]);
                EXPECT_EQ(Rgb(c.rgbRed, c.rgbGreen, c.rgbBlue), pixels[i]);
            }
            EXPECT_EQ(std::set<Rgb>(pixels.begin(), pixels.end()).size(), palette.size());
        }
    }

    TEST(Quantise, ManyColoursFillThePaletteAndEveryIndexIsUsed)
    {
        std::mt19937 random(9);
        std::vector<Rgb> pixels(64 * 48);
        for (auto& p : pixels)
            p = Rgb(random() & 255, random() & 255, random() & 255);
        for (auto [q, colours] : { std::pair { &ConvertTrueColorTo8BitRGBLow, 256 },
                 std::pair { &ConvertTrueColorTo8BitRGBHigh, 256 },
                 std::pair { &ConvertTrueColorTo4BitRGBLow, 16 },
                 std::pair { &ConvertTrueColorTo4BitRGBHigh, 16 } }) {
            DibImage out = q(TrueColour(64, pixels), nullptr);
            EXPECT_EQ(out.info.biClrUsed, static_cast<uint32_t>(colours));
            const auto indices = Indices(out);
            EXPECT_EQ(
                std::set<int>(indices.begin(), indices.end()).size(), static_cast<size_t>(colours));
        }
    }

    // The High variant maps each pixel through the tree; the leaf it reaches must be the leaf its
    // colour was partitioned into, so every palette entry is the rounded mean of its pixels.
    TEST(Quantise, HighPaletteEntriesAreTheMeansOfTheirPixels)
    {
        std::mt19937 random(21);
        std::vector<Rgb> pixels(40 * 30);
        for (auto& p : pixels)
            p = Rgb(random() % 256, (random() % 64) * 4, random() % 256);
        DibImage out = ConvertTrueColorTo4BitRGBHigh(TrueColour(40, pixels), nullptr);
        const auto indices = Indices(out);
        std::map<int, std::tuple<double, double, double, int>> sums;
        for (size_t i = 0; i < pixels.size(); ++i) {
            auto& [r, g, b, n] = sums[indices[i]];
            r += std::get<0>(pixels[i]);
            g += std::get<1>(pixels[i]);
            b += std::get<2>(pixels[i]);
            ++n;
        }
        for (const auto& [index, s] : sums) {
            const auto& [r, g, b, n] = s;
            const RGBQuad& c = out.colorTable[index];
            EXPECT_NEAR(c.rgbRed, r / n, 0.5);
            EXPECT_NEAR(c.rgbGreen, g / n, 0.5);
            EXPECT_NEAR(c.rgbBlue, b / n, 0.5);
        }
    }

    TEST(QuantiseProgressTest, EveryLeafIsAStepEvenWhenEmpty)
    {
        std::vector<platform::ProgressReport> reports;
        platform::ProgressHandler handler
            = [&](const platform::ProgressReport& r) { reports.push_back(r); };
        QuantiseProgress progress(handler, platform::Rect(0, 0, 2, 1), "t", 16);
        // One colour: fifteen of the sixteen leaves are empty, and all of them count.
        ConvertTrueColorTo4BitRGBLow(TrueColour(2, { { 1, 2, 3 }, { 1, 2, 3 } }), &progress);
        EXPECT_EQ(progress.Steps(), 16);
        ASSERT_EQ(reports.size(), 15u);
        for (int i = 0; i < 15; ++i) {
            EXPECT_EQ(reports[i].stage, platform::ProgressStage::Running);
            EXPECT_EQ(reports[i].percent, (i + 1) * 100 / 16);
        }
    }

} // namespace
} // namespace vtl::document
