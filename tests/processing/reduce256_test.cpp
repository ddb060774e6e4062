#include "processing/colour_reduction.h"
#include "processing/palette_file.h"
#include "processing/palette_pick.h"
#include "processing/reduce256.h"

#include "dither_reference.h"
#include "support/temp_dir.h"
#include "test_pictures.h"

#include "platform/gdi.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

namespace vtl::processing {
namespace {

    using platform::TPixelFormat;
    using testing::Bgr;
    using testing::Flat24;
    using testing::Picture24;
    using testing::Random24;
    using testing::SamePicture;

    std::vector<PaletteEntry> RandomPalette(size_t n, uint32_t seed, int levels = 256)
    {
        std::mt19937 random(seed);
        std::vector<PaletteEntry> p(n);
        for (PaletteEntry& e : p)
            e = { uint8_t(random() % unsigned(levels) * (255 / (levels - 1))),
                uint8_t(random() % unsigned(levels) * (255 / (levels - 1))),
                uint8_t(random() % unsigned(levels) * (255 / (levels - 1))), 0 };
        return p;
    }

    TEST(NearestIndex, GivesTheSameAnswerAsAFullScanTiesIncluded)
    {
        std::vector<std::vector<PaletteEntry>> palettes { RandomPalette(256, 1),
            RandomPalette(16, 2), RandomPalette(3, 3), RandomPalette(1, 4),
            RandomPalette(256, 5, 3), // many duplicates
            std::vector<PaletteEntry>(SystemColours().begin(), SystemColours().end()) };
        std::mt19937 random(9);
        for (const auto& palette : palettes) {
            TNearestIndex nearest(palette);
            for (int i = 0; i < 100000; ++i) {
                const uint8_t r = uint8_t(random()), g = uint8_t(random()), b = uint8_t(random());
                ASSERT_EQ(nearest.Find(r, g, b),
                    platform::GetNearestPaletteIndex(palette, platform::Rgb(r, g, b)))
                    << int(r) << "," << int(g) << "," << int(b) << " of " << palette.size();
            }
        }
    }

    TEST(Quantiser, SplitsTheAboveMeanPartFirstAndYieldsOneEntryPerColour)
    {
        // Red and green have the same spread and red wins: white (above the mean) comes first.
        const TBitmap twoColours = Picture24(4, 4, [](int32_t x, int32_t) {
            return x < 2 ? Bgr { 0, 0, 0 } : Bgr { 255, 255, 255 };
        });
        EXPECT_EQ(QuantiseAllPixels(WorkSource(twoColours)),
            (std::vector<PaletteEntry> { { 255, 255, 255, 0 }, { 0, 0, 0, 0 } }));
        EXPECT_EQ(QuantiseAllPixels(WorkSource(Flat24(5, 3, { 1, 2, 3 }))),
            (std::vector<PaletteEntry> { { 3, 2, 1, 0 } }));
        // Depth 1: two halves, each the mean rounded half to even.
        const TBitmap four = Picture24(4, 1, [](int32_t x, int32_t) {
            return Bgr { 0, 0, uint8_t(x == 0 ? 0 : x == 1 ? 1 : x == 2 ? 200 : 203) };
        });
        EXPECT_EQ(QuantiseAllPixels(WorkSource(four), 1),
            (std::vector<PaletteEntry> { { 202, 0, 0, 0 }, { 0, 0, 0, 0 } }));
        EXPECT_LE(QuantiseAllPixels(WorkSource(Random24(64, 64, 3))).size(), 256u);
    }

    TEST(Reduce256Colours, ThreeColoursWithDitheringAreExact)
    {
        const Bgr colours[3] = { { 10, 200, 30 }, { 250, 0, 100 }, { 5, 5, 5 } };
        const TBitmap source
            = Picture24(13, 7, [&](int32_t x, int32_t y) { return colours[(x + 2 * y) % 3]; });
        TBitmap picture(source), undo;
        ASSERT_TRUE(Reduce256(picture, &undo, D256Palette::Dynamic, true, nullptr, {}));
        EXPECT_TRUE(SamePicture(undo, source));
        ASSERT_EQ(picture.PixelFormat(), TPixelFormat::pf8bit);
        EXPECT_EQ(picture.PaletteEntries().size(), 3u);
        for (int32_t y = 0; y < 7; ++y)
            for (int32_t x = 0; x < 13; ++x) {
                const Bgr c = colours[(x + 2 * y) % 3];
                ASSERT_EQ(picture.Pixel(x, y), platform::Rgb(c.r, c.g, c.b));
            }

        TBitmap uniform = Flat24(9, 9, { 7, 8, 9 });
        ASSERT_TRUE(Reduce256(uniform, nullptr, D256Palette::Dynamic, true, nullptr, {}));
        EXPECT_EQ(uniform.PaletteEntries(), (std::vector<PaletteEntry> { { 9, 8, 7, 0 } }));
    }

    TEST(Reduce256Colours, DitheringMatchesThePlainFloydSteinberg)
    {
        const std::vector<PaletteEntry> palette = RandomPalette(256, 11, 6);
        for (auto [w, h] : { std::pair { 37, 23 }, { 1, 5 }, { 6, 1 } }) {
            const TBitmap source = Random24(w, h, uint32_t(w * h));
            TBitmap picture(source);
            ASSERT_TRUE(Reduce256(picture, nullptr, D256Palette::Specified, true, &palette, {}));
            const std::vector<uint8_t> want = testing::NaiveDither(source, palette);
            for (int32_t y = 0; y < h; ++y)
                for (int32_t x = 0; x < w; ++x)
                    ASSERT_EQ(picture.RawPixel(x, y), want[size_t(y) * size_t(w) + size_t(x)])
                        << x << "," << y;
        }
    }

    TEST(Reduce256Colours, ErrorsPastTheRowEndAreDropped)
    {
        // Grey 100 against black and white: the first pixel goes black and pushes 43 onward, the
        // second reaches white; its error of -112 would land past the row and must not come back
        // at the start of the next row (which runs right to left) or anywhere else.
        const std::vector<PaletteEntry> bw { { 0, 0, 0, 0 }, { 255, 255, 255, 0 } };
        TBitmap picture = Flat24(2, 2, { 100, 100, 100 });
        ASSERT_TRUE(Reduce256(picture, nullptr, D256Palette::Specified, true, &bw, {}));
        EXPECT_EQ(picture.RawPixel(0, 0), 0u);
        EXPECT_EQ(picture.RawPixel(1, 0), 1u);
        // Row 1 runs right to left: (1,1) gets 100 + 6 - 35 = 71 and goes black, passing 31 ahead
        // to (0,1), which reaches 100 + 31 - 21 + 31 = 141 and goes white. Had the shares of the
        // row's ends come back anywhere, (1,1) would have had more than 71.
        EXPECT_EQ(picture.RawPixel(1, 1), 0u);
        EXPECT_EQ(picture.RawPixel(0, 1), 1u);
    }

    TEST(Reduce256Colours, WithoutDitheringEachPixelTakesItsNearestEntry)
    {
        const std::vector<PaletteEntry> palette = RandomPalette(256, 12);
        const TBitmap source = Random24(40, 30, 13);
        TBitmap picture(source);
        ASSERT_TRUE(Reduce256(picture, nullptr, D256Palette::Specified, false, &palette, {}));
        EXPECT_EQ(picture.PaletteEntries(), palette);
        for (int32_t y = 0; y < 30; ++y)
            for (int32_t x = 0; x < 40; ++x)
                ASSERT_EQ(picture.RawPixel(x, y),
                    platform::GetNearestPaletteIndex(palette, source.Pixel(x, y)));
    }

    TEST(Reduce256Colours, AMissingOrRefusedPaletteChangesNothing)
    {
        const TBitmap source = Random24(8, 8, 1);
        TBitmap picture(source), undo = Flat24(1, 1, {});
        EXPECT_FALSE(Reduce256(picture, &undo, D256Palette::Specified, true, nullptr, {}));
        EXPECT_TRUE(SamePicture(picture, source));
        EXPECT_EQ(undo.Width(), 1);

        // A 16-entry file is refused where 256 are wanted, with the message.
        testing::TempDir dir;
        const auto path = dir.Path() / "sixteen.pal";
        const std::vector<PaletteEntry> sixteen = RandomPalette(16, 4);
        ASSERT_TRUE(WritePaletteFile(path, sixteen, 16));
        std::vector<PaletteEntry> read;
        std::string refusal;
        EXPECT_FALSE(ReadPaletteFile(path, 256, read, refusal));
        EXPECT_EQ(refusal, kPaletteFileRefused);
        EXPECT_FALSE(Reduce256(picture, &undo, D256Palette::Specified, false, nullptr, {}));
        EXPECT_TRUE(SamePicture(picture, source));
    }

    TEST(Reduce256, HalftoneAndDynamicGoThroughTheImageBuffer)
    {
        const TBitmap source = Random24(20, 10, 2);
        testing::RecordingStatus status;
        ProcessContext context;
        context.status = &status;
        for (D256Palette choice : { D256Palette::Halftone, D256Palette::Dynamic }) {
            TBitmap picture(source), undo;
            status.texts.clear();
            ASSERT_TRUE(Reduce256(picture, &undo, choice, false, nullptr, context));
            EXPECT_EQ(picture.PixelFormat(), TPixelFormat::pf8bit);
            EXPECT_TRUE(SamePicture(undo, source));
            EXPECT_EQ(status.texts, (std::vector<std::string> { "減色中...", "" }));
        }
    }

    TEST(ReduceSys240, SystemColoursFirstThenGreedyPicksWithoutRepeatingThem)
    {
        // Red (a system colour) on most pixels, A on five, B on three; the rest of the palette is
        // unused black.
        std::vector<PaletteEntry> palette(256);
        palette[0] = { 255, 0, 0, 0 };
        palette[1] = { 30, 20, 10, 0 };
        palette[2] = { 50, 100, 200, 0 };
        TBitmap picture(4, 4, TPixelFormat::pf8bit);
        picture.SetPalette(std::span<const PaletteEntry>(palette));
        for (int32_t i = 0; i < 16; ++i)
            picture.SetRawPixel(i % 4, i / 4, i < 5 ? 1 : i < 8 ? 2 : 0);
        TBitmap undo;
        ASSERT_TRUE(ReduceSys240(picture, &undo, {}));
        const auto& result = picture.PaletteEntries();
        ASSERT_EQ(result.size(), 256u);
        EXPECT_TRUE(std::equal(SystemColours().begin(), SystemColours().end(), result.begin()));
        // A has the most pixels once red is set aside. B alone has a spread, equal to the mean
        // and the largest, so it does not qualify: the next picks are the first entries not yet
        // picked, red (index 0), then B (index 2).
        EXPECT_EQ(result[16], palette[1]);
        EXPECT_EQ(result[17], palette[0]);
        EXPECT_EQ(result[18], palette[2]);
        EXPECT_EQ(result[19], (PaletteEntry { 0, 0, 0, 0 }));
        EXPECT_EQ(picture.RawPixel(0, 0), 16u);
        EXPECT_EQ(picture.RawPixel(1, 1), 18u);
        EXPECT_EQ(picture.RawPixel(3, 3), 12u); // red: the system entry comes first
    }

    TEST(GreedySelection, PicksTheMostFrequentOfTheFarColours)
    {
        const std::vector<CountedColour> colours { { { 0, 0, 0, 0 }, 10 }, { { 1, 1, 1, 0 }, 9 },
            { { 250, 250, 250, 0 }, 2 }, { { 255, 0, 0, 0 }, 3 }, { { 2, 2, 2, 0 }, 0 } };
        // After black the spreads are 3^0.1 = 1.12, 187500^0.1 = 3.37 and 65025^0.1 = 3.03 (the
        // unused grey takes no part): the threshold (2.50 + 3.37) / 2 = 2.94 lets both far
        // colours through, and red has more pixels. Then near white is the only far one left.
        EXPECT_EQ(GreedySelection(colours, 3), (std::vector<size_t> { 0, 3, 2 }));
        // Asking for more than the colours with pixels falls back to the first unpicked entries.
        EXPECT_EQ(GreedySelection(colours, 5), (std::vector<size_t> { 0, 3, 2, 1, 4 }));
    }

    TEST(ReduceMonochrome, GivesABlackAndWhitePicture)
    {
        TBitmap picture = Picture24(8, 2, [](int32_t, int32_t y) {
            return y == 0 ? Bgr { 0, 0, 0 } : Bgr { 255, 255, 255 };
        });
        TBitmap undo;
        ASSERT_TRUE(ReduceMonochrome(picture, &undo, {}));
        EXPECT_TRUE(picture.Monochrome());
        EXPECT_EQ(picture.Pixel(3, 0), 0u);
        EXPECT_EQ(picture.Pixel(3, 1), 0xFFFFFFu);
        EXPECT_EQ(undo.PixelFormat(), TPixelFormat::pf24bit);
    }

    TEST(PalettePicking, SixteenPicksOnAnEightBitPictureThenTheSaveRequest)
    {
        TPalettePicker picker;
        EXPECT_FALSE(picker.Pick(0x123456));
        picker.Start(true);
        for (int i = 0; i < 15; ++i)
            EXPECT_FALSE(picker.Pick(platform::Rgb(uint8_t(i), 2, 3)));
        EXPECT_EQ(picker.StatusText(), " パレット 15/16 選択");
        EXPECT_TRUE(picker.Pick(0x0000FF));
        EXPECT_FALSE(picker.Picking());
        ASSERT_EQ(picker.Count(), 16u);
        EXPECT_EQ(picker.Colours()[15], (PaletteEntry { 255, 0, 0, 0 }));
        picker.Start(false);
        EXPECT_EQ(picker.Wanted(), 256u);
        EXPECT_EQ(picker.Count(), 0u);
    }

    TEST(PaletteSaving, AFourBitPictureWritesSixteenEntriesThatReadBack)
    {
        TBitmap picture(5, 5, TPixelFormat::pf4bit);
        const std::vector<PaletteEntry> three = RandomPalette(3, 8);
        picture.SetPalette(std::span<const PaletteEntry>(three));
        const std::vector<PaletteEntry> entries = PaletteForSaving(picture);
        ASSERT_EQ(entries.size(), 16u);
        testing::TempDir dir;
        const auto path = dir.Path() / "four.pal";
        ASSERT_TRUE(WritePaletteFile(path, entries, entries.size()));
        EXPECT_EQ(std::filesystem::file_size(path), 24u + 64u);
        std::vector<PaletteEntry> read;
        std::string refusal;
        ASSERT_TRUE(ReadPaletteFile(path, 16, read, refusal));
        EXPECT_EQ(read, entries);
        EXPECT_EQ(read[0], three[0]);
        EXPECT_EQ(read[15], (PaletteEntry {}));
        EXPECT_TRUE(PaletteForSaving(Random24(2, 2, 1)).empty());
    }

} // namespace
} // namespace vtl::processing
