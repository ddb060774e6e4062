// The contract every operation shares: undo holds the picture from before, false and exceptions
// change nothing, status texts are cleared on every way out, palette displays get 8 bits.

#include "processing/block_filters.h"
#include "processing/colour_adjustment.h"
#include "processing/neighbourhood_filters.h"
#include "processing/point_operations.h"
#include "processing/user_filters.h"
#include "test_pictures.h"

#include "platform/mapped_block.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>

namespace vtl::processing {
namespace {

    using platform::TPixelFormat;
    using testing::Bgr;
    using testing::SamePicture;

    using Operation = std::function<bool(TBitmap&, TBitmap*, const ProcessContext&)>;

    struct NamedOperation {
        std::string name;
        Operation run;
        bool reducesOnPaletteDisplay = true;
    };

    std::vector<NamedOperation> AllOperations()
    {
        AdjustParams adjust;
        adjust.offset = { 10, 0.5, 30 };
        adjust.gain = { 1.2, 0.8, 1 };
        adjust.exponent = { 0.5, 1, 2 };
        return {
            { "gray", [](auto& p, auto* u, auto& c) { return GrayScale(p, u, c); }, false },
            { "sepia",
                [](auto& p, auto* u, auto& c) {
                    return Sepia(p, u, SepiaStrength::ThreeQuarters, c);
                } },
            { "invert", [](auto& p, auto* u, auto& c) { return InvertColours(p, u, c); } },
            { "binarise", [](auto& p, auto* u, auto& c) { return Binarise(p, u, 100, c); }, false },
            { "blur small",
                [](auto& p, auto* u, auto& c) { return Blur(p, u, BlurSize::Small, c); } },
            { "blur large",
                [](auto& p, auto* u, auto& c) { return Blur(p, u, BlurSize::Large, c); } },
            { "sharpen", [](auto& p, auto* u, auto& c) { return Sharpen(p, u, c); } },
            { "emboss",
                [](auto& p, auto* u, auto& c) {
                    return Emboss(p, u, { 2, true }, c);
                } },
            { "edge", [](auto& p, auto* u, auto& c) { return Edge(p, u, c); } },
            { "contour", [](auto& p, auto* u, auto& c) { return ContourLines(p, u, c); }, false },
            { "median", [](auto& p, auto* u, auto& c) { return Median(p, u, c); } },
            { "oil", [](auto& p, auto* u, auto& c) { return OilPaint(p, u, OilSize::Small, c); },
                false },
            { "mosaic", [](auto& p, auto* u, auto& c) { return Mosaic(p, u, 4, std::nullopt, c); },
                false },
            { "rgb", [adjust](auto& p, auto* u, auto& c) { return AdjustRgb(p, u, adjust, c); } },
            { "hsi", [adjust](auto& p, auto* u, auto& c) { return AdjustHsi(p, u, adjust, c); } },
            { "user filter",
                [](auto& p, auto* u, auto& c) {
                    TFilter filter;
                    filter.LoadFromText("\"soft\",0,0.25,0,0.25,0,0.25,0,0.25,0\r\n");
                    return filter.Apply(p, u, 0, c);
                } },
        };
    }

    TBitmap Marker() { return testing::Flat24(2, 1, { 1, 2, 3 }); }

    TEST(ProcessingFrame, UndoHoldsThePictureFromBeforeAndStatusEndsEmpty)
    {
        for (const NamedOperation& op : AllOperations()) {
            SCOPED_TRACE(op.name);
            const TBitmap before = testing::Random24(17, 15, 7);
            TBitmap picture(before);
            TBitmap undo = Marker();
            testing::RecordingStatus status;
            ProcessContext context { &status, false };
            ASSERT_TRUE(op.run(picture, &undo, context));
            EXPECT_TRUE(SamePicture(undo, before));
            ASSERT_FALSE(status.texts.empty());
            EXPECT_EQ(status.texts.front(), kConvertingText);
            EXPECT_EQ(status.texts.back(), "");
            // Without an undo picture the result is the same.
            TBitmap again(before);
            ASSERT_TRUE(op.run(again, nullptr, ProcessContext {}));
            EXPECT_TRUE(SamePicture(again, picture));
        }
    }

    TEST(ProcessingFrame, FalseChangesNothing)
    {
        // Too small for every window, of a format oil paint and mosaic refuse, or no filter at all.
        for (const NamedOperation& op : AllOperations()) {
            if (op.name == "mosaic" || op.name == "oil")
                continue;
            const TBitmap tiny = testing::Random24(2, 2, 3);
            TBitmap picture(tiny);
            TBitmap undo = Marker();
            if (!op.run(picture, &undo, ProcessContext {})) {
                SCOPED_TRACE(op.name);
                EXPECT_TRUE(SamePicture(picture, tiny));
                EXPECT_TRUE(SamePicture(undo, Marker()));
            }
        }
        TBitmap mono(20, 20, TPixelFormat::pf1bit);
        const TBitmap monoBefore(mono);
        TBitmap undo = Marker();
        EXPECT_FALSE(OilPaint(mono, &undo, OilSize::Small, {}));
        EXPECT_FALSE(Mosaic(mono, &undo, 4, std::nullopt, {}));
        TBitmap colour = testing::Random24(20, 20, 1);
        const TBitmap colourBefore(colour);
        EXPECT_FALSE(Mosaic(colour, &undo, 0, std::nullopt, {}));
        EXPECT_FALSE(Mosaic(colour, &undo, 4, TRect { 30, 30, 40, 40 }, {}));
        TFilter none;
        EXPECT_FALSE(none.Apply(colour, &undo, 0, {}));
        EXPECT_TRUE(SamePicture(mono, monoBefore));
        EXPECT_TRUE(SamePicture(colour, colourBefore));
        EXPECT_TRUE(SamePicture(undo, Marker()));
    }

    TEST(ProcessingFrame, TooSmallPicturesAreRefused)
    {
        struct Case {
            const char* name;
            int window;
            std::function<bool(TBitmap&)> run;
        } cases[] = {
            { "blur small", 3, [](TBitmap& p) { return Blur(p, nullptr, BlurSize::Small, {}); } },
            { "blur large", 11, [](TBitmap& p) { return Blur(p, nullptr, BlurSize::Large, {}); } },
            { "sharpen", 3, [](TBitmap& p) { return Sharpen(p, nullptr, {}); } },
            { "emboss", 3, [](TBitmap& p) { return Emboss(p, nullptr, {}, {}); } },
            { "edge", 3, [](TBitmap& p) { return Edge(p, nullptr, {}); } },
            { "contour", 13, [](TBitmap& p) { return ContourLines(p, nullptr, {}); } },
            { "median", 3, [](TBitmap& p) { return Median(p, nullptr, {}); } },
            { "oil small", 5, [](TBitmap& p) { return OilPaint(p, nullptr, OilSize::Small, {}); } },
            { "oil large", 9, [](TBitmap& p) { return OilPaint(p, nullptr, OilSize::Large, {}); } },
        };
        for (const Case& c : cases) {
            SCOPED_TRACE(c.name);
            TBitmap narrow = testing::Random24(c.window - 1, c.window + 4, 2);
            TBitmap low = testing::Random24(c.window + 4, c.window - 1, 2);
            TBitmap exact = testing::Random24(c.window, c.window, 2);
            EXPECT_FALSE(c.run(narrow));
            EXPECT_FALSE(c.run(low));
            EXPECT_TRUE(c.run(exact));
        }
    }

    TEST(ProcessingFrame, EmptyPictureIsLeftAlone)
    {
        for (const NamedOperation& op : AllOperations()) {
            SCOPED_TRACE(op.name);
            TBitmap picture;
            TBitmap undo = Marker();
            EXPECT_FALSE(op.run(picture, &undo, ProcessContext {}));
            EXPECT_TRUE(picture.Empty());
            EXPECT_TRUE(SamePicture(undo, Marker()));
        }
    }

    TEST(ProcessingFrame, FailedAllocationChangesNothing)
    {
        for (const NamedOperation& op : AllOperations()) {
            SCOPED_TRACE(op.name);
            const TBitmap before = testing::Random24(16, 16, 11);
            TBitmap picture(before);
            TBitmap undo = Marker();
            testing::RecordingStatus status;
            const long liveBefore = platform::MappedBlock::LiveBlocks();
            platform::MappedBlock::FailNextMappingsForTesting(1);
            EXPECT_THROW(op.run(picture, &undo, ProcessContext { &status, false }), std::bad_alloc);
            platform::MappedBlock::FailNextMappingsForTesting(0);
            EXPECT_EQ(platform::MappedBlock::LiveBlocks(), liveBefore);
            EXPECT_TRUE(SamePicture(picture, before));
            EXPECT_TRUE(SamePicture(undo, Marker()));
            ASSERT_FALSE(status.texts.empty());
            EXPECT_EQ(status.texts.back(), "");
        }
    }

    // Fails while the result is being reduced for a palette display: late in the run.
    class FailingOnReduction : public TStatusSink {
    public:
        void ShowStatus(std::string_view text) override
        {
            last = std::string(text);
            if (text == kReducingText)
                throw std::runtime_error("stop");
        }
        std::string last = "unset";
    };

    TEST(ProcessingFrame, ExceptionDuringReductionChangesNothing)
    {
        for (const NamedOperation& op : AllOperations()) {
            if (!op.reducesOnPaletteDisplay)
                continue;
            SCOPED_TRACE(op.name);
            const TBitmap before = testing::Random24(16, 16, 5);
            TBitmap picture(before);
            TBitmap undo = Marker();
            FailingOnReduction status;
            EXPECT_THROW(
                op.run(picture, &undo, ProcessContext { &status, true }), std::runtime_error);
            EXPECT_TRUE(SamePicture(picture, before));
            EXPECT_TRUE(SamePicture(undo, Marker()));
            EXPECT_EQ(status.last, "");
        }
    }

    TEST(ProcessingFrame, PaletteDisplayReducesTo8Bits)
    {
        for (const NamedOperation& op : AllOperations()) {
            SCOPED_TRACE(op.name);
            TBitmap picture = testing::Random24(16, 16, 9);
            testing::RecordingStatus status;
            ASSERT_TRUE(op.run(picture, nullptr, ProcessContext { &status, true }));
            if (op.reducesOnPaletteDisplay) {
                EXPECT_EQ(picture.PixelFormat(), TPixelFormat::pf8bit);
                EXPECT_NE(
                    std::find(status.texts.begin(), status.texts.end(), std::string(kReducingText)),
                    status.texts.end());
            } else if (op.name == "oil" || op.name == "mosaic") {
                EXPECT_EQ(picture.PixelFormat(), TPixelFormat::pf24bit); // they keep the format
            } else {
                EXPECT_LE(picture.BitsPerPixel(), 8);
            }
        }
    }

    TEST(ProcessingFrame, PalettePicturesAreWorkedIn24Bits)
    {
        // An 8-bit picture goes through a 24-bit work buffer: the result is 24-bit and its colours
        // are the palette's.
        TBitmap picture(4, 3, TPixelFormat::pf8bit);
        std::vector<platform::PaletteEntry> palette(256);
        palette[5] = { 200, 100, 50, 0 };
        picture.SetPalette(std::span<const platform::PaletteEntry>(palette));
        for (int32_t y = 0; y < 3; ++y)
            std::fill_n(picture.ScanLine(y), 4, uint8_t(5));
        ASSERT_TRUE(InvertColours(picture, nullptr, {}));
        EXPECT_EQ(picture.PixelFormat(), TPixelFormat::pf24bit);
        EXPECT_EQ(testing::At(picture, 3, 2), (Bgr { 205, 155, 55 }));
    }

} // namespace
} // namespace vtl::processing
