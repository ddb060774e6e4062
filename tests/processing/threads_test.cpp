// The operations that run in bands of rows give the same bytes on one thread and on several, on
// pictures whose height does not divide into the bands and on pictures one pixel wide or high; one
// thread can be forced; and a band that fails fails the whole operation and changes nothing.

#include "platform/mapped_block.h"
#include "platform/parallel.h"
#include "processing/block_filters.h"
#include "processing/colour_adjustment.h"
#include "processing/geometry.h"
#include "processing/neighbourhood_filters.h"
#include "processing/point_operations.h"
#include "processing/reduce16.h"
#include "processing/reduce256.h"
#include "processing/rotate.h"
#include "processing/user_filters.h"

#include "test_pictures.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <new>
#include <optional>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace vtl::processing {
namespace {

    using platform::ForEachBand;
    using platform::MappedBlock;
    using platform::ThreadCount;
    using platform::TPixelFormat;
    using testing::Bgr;
    using testing::Patchy24;
    using testing::Picture24;
    using testing::Random24;
    using testing::SamePicture;

    // Sets VTL_THREADS for the life of the guard (null: unset) and puts the old value back.
    class ThreadsVariable {
    public:
        explicit ThreadsVariable(const char* value)
        {
            if (const char* old = std::getenv("VTL_THREADS"))
                m_old = old;
            Set(value);
        }
        ~ThreadsVariable() { Set(m_old ? m_old->c_str() : nullptr); }

    private:
        static void Set(const char* value)
        {
            if (value)
                setenv("VTL_THREADS", value, 1);
            else
                unsetenv("VTL_THREADS");
        }
        std::optional<std::string> m_old;
    };

    // A picture of `bits` bits per pixel with a palette, its indices random.
    TBitmap Indexed(int32_t width, int32_t height, TPixelFormat format, uint32_t seed)
    {
        TBitmap picture(width, height, format);
        const int bits = picture.BitsPerPixel();
        const size_t colours = size_t(1) << bits;
        std::mt19937 random(seed);
        std::vector<PaletteEntry> palette(colours);
        for (PaletteEntry& e : palette)
            e = { uint8_t(random()), uint8_t(random()), uint8_t(random()), 0 };
        picture.SetPalette(std::span<const PaletteEntry>(palette));
        for (int32_t y = 0; y < height; ++y)
            for (int32_t x = 0; x < width; ++x)
                picture.SetRawPixel(x, y, uint32_t(random() % colours));
        return picture;
    }

    using Run = std::function<bool(TBitmap&, TBitmap*, const ProcessContext&)>;
    struct Operation {
        std::string name;
        Run run;
        bool thinToo = true; // false: a line 70001 pixels long would turn into gigabytes
    };

    TFilter& UserFilters()
    {
        static TFilter filters = [] {
            TFilter f;
            f.SetLists({ "3x3", "5x5" },
                { "0.1,-1,0.2,-1,5.5,-1,0,-1,0.3",
                    "0.04,0.04,0.04,0.04,0.04,0.04,0.1,0.04,0.04,0.04,0.04,0.04,0.04,0.04,0.04,"
                    "0.04,0.04,0.04,0.04,0.04,0.04,0.04,-0.2,0.04,0.04" });
            return f;
        }();
        return filters;
    }

    // Every operation that shares its rows out, on 24-bit pictures.
    std::vector<Operation> Operations24()
    {
        static const std::vector<PaletteEntry> palette256 = [] {
            std::mt19937 random(5);
            std::vector<PaletteEntry> p(256);
            for (PaletteEntry& e : p)
                e = { uint8_t(random()), uint8_t(random()), uint8_t(random()), 0 };
            return p;
        }();
        TrackBarPositions rgb;
        rgb.offset = { 10, -5, 0 };
        rgb.gain = { 110, 100, 90 };
        rgb.gamma = { 120, 100, 80 };
        TrackBarPositions hsi;
        hsi.gain[1] = 150;
        hsi.offset[2] = 43;
        hsi.gamma[2] = 70;
        const AdjustParams rgbParams = ParamsFromTrackBars(rgb),
                           hsiParams = ParamsFromTrackBars(hsi);
        return {
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
            { "contour", [](auto& p, auto* u, auto& c) { return ContourLines(p, u, c); } },
            { "median", [](auto& p, auto* u, auto& c) { return Median(p, u, c); } },
            { "oil small",
                [](auto& p, auto* u, auto& c) { return OilPaint(p, u, OilSize::Small, c); } },
            { "oil large",
                [](auto& p, auto* u, auto& c) { return OilPaint(p, u, OilSize::Large, c); } },
            { "mosaic 7",
                [](auto& p, auto* u, auto& c) { return Mosaic(p, u, 7, std::nullopt, c); } },
            { "mosaic 3 in an area",
                [](auto& p, auto* u, auto& c) {
                    return Mosaic(p, u, 3, platform::TRect { 1, 2, p.Width(), p.Height() - 1 }, c);
                } },
            { "user 3x3",
                [](auto& p, auto* u, auto& c) { return UserFilters().Apply(p, u, 0, c); } },
            { "user 5x5",
                [](auto& p, auto* u, auto& c) { return UserFilters().Apply(p, u, 1, c); } },
            { "gray", [](auto& p, auto* u, auto& c) { return GrayScale(p, u, c); } },
            { "sepia 75",
                [](auto& p, auto* u, auto& c) {
                    return Sepia(p, u, SepiaStrength::ThreeQuarters, c);
                } },
            { "invert", [](auto& p, auto* u, auto& c) { return InvertColours(p, u, c); } },
            { "binarise", [](auto& p, auto* u, auto& c) { return Binarise(p, u, 100, c); } },
            { "rgb", [=](auto& p, auto* u, auto& c) { return AdjustRgb(p, u, rgbParams, c); } },
            { "hsi", [=](auto& p, auto* u, auto& c) { return AdjustHsi(p, u, hsiParams, c); } },
            { "rotate left", [](auto& p, auto* u, auto& c) { return RotateLeft(p, u, c); } },
            { "rotate right", [](auto& p, auto* u, auto& c) { return RotateRight(p, u, c); } },
            { "rotate 180", [](auto& p, auto* u, auto& c) { return Rotate180(p, u, c); } },
            { "rotate 45", [](auto& p, auto* u, auto& c) { return RotateByAngle(p, u, 45.0, c); },
                false },
            { "rotate -17.5",
                [](auto& p, auto* u, auto& c) { return RotateByAngle(p, u, -17.5, c); }, false },
            { "shrink",
                [](auto& p, auto* u, auto& c) {
                    return Resize(
                        p, u, std::max(1, p.Width() * 2 / 3), std::max(1, p.Height() * 3 / 5), c);
                } },
            { "enlarge",
                [](auto& p, auto* u, auto& c) {
                    return Resize(p, u, p.Width() * 5 / 4 + 1, p.Height() + 3, c);
                } },
            { "256 nearest of a palette",
                [](auto& p, auto* u, auto& c) {
                    return Reduce256Colours(p, u, &palette256, false, c);
                } },
            { "256 dynamic, no dithering",
                [](auto& p, auto* u, auto& c) {
                    return Reduce256(p, u, D256Palette::Dynamic, false, nullptr, c);
                } },
            { "256 dynamic, dithered",
                [](auto& p, auto* u, auto& c) {
                    return Reduce256(p, u, D256Palette::Dynamic, true, nullptr, c);
                } },
            { "sys+240", [](auto& p, auto* u, auto& c) { return ReduceSys240(p, u, c); } },
            { "16 dynamic1",
                [](auto& p, auto* u, auto& c) {
                    return Reduce16(p, u, D16Method::Dynamic1, false, nullptr, c);
                } },
            { "16 grey, dithered",
                [](auto& p, auto* u, auto& c) {
                    return Reduce16(p, u, D16Method::Grey, true, nullptr, c);
                } },
            { "blur on a palette display",
                [](auto& p, auto* u, const ProcessContext& c) {
                    ProcessContext palette = c;
                    palette.paletteDisplay = true;
                    return Blur(p, u, BlurSize::Small, palette);
                } },
        };
    }

    // Runs the operation on a copy of `source` with one thread (VTL_THREADS=1 too, for the image
    // buffer's quantisers) and with `threads`, and compares what each leaves.
    void ExpectSameOnThreads(const Operation& op, const TBitmap& source, int threads)
    {
        TBitmap one(source), undoOne, many(source), undoMany;
        bool changedOne, changedMany;
        {
            ThreadsVariable variable("1");
            ProcessContext context;
            context.threads = 1;
            changedOne = op.run(one, &undoOne, context);
        }
        {
            const std::string n = std::to_string(threads);
            ThreadsVariable variable(n.c_str());
            ProcessContext context;
            context.threads = threads;
            changedMany = op.run(many, &undoMany, context);
        }
        const std::string where = op.name + " on " + std::to_string(source.Width()) + "x"
            + std::to_string(source.Height()) + " with " + std::to_string(threads) + " threads";
        ASSERT_EQ(changedOne, changedMany) << where;
        EXPECT_TRUE(SamePicture(one, many)) << where;
        if (changedOne) {
            EXPECT_TRUE(SamePicture(undoMany, source)) << where;
        }
    }

    TEST(Bands, EveryOperationGivesTheSameBytesOnOneThreadAndOnSeveral)
    {
        // Photo-like, so that the reductions meet near colours; a height that is prime.
        const TBitmap photo = Picture24(257, 263, [](int32_t x, int32_t y) {
            return Bgr { uint8_t(128 + 100 * std::sin(x / 30.0) * std::cos(y / 20.0) + (x * y) % 7),
                uint8_t(128 + 90 * std::sin(x / 21.0 + y / 9.0) + (x + 3 * y) % 5),
                uint8_t(128 + 110 * std::cos(x / 50.0 - y / 33.0)) };
        });
        const std::vector<TBitmap> pictures { photo, Patchy24(331, 203, 4, 5),
            Random24(1, 70001, 7), Random24(70001, 1, 8), Random24(13, 13, 9), Random24(1, 1, 10),
            Random24(3, 2, 11) };
        for (const Operation& op : Operations24())
            for (const TBitmap& picture : pictures)
                for (int threads : { 3, 4 })
                    if (op.thinToo || std::min(picture.Width(), picture.Height()) > 1)
                        ExpectSameOnThreads(op, picture, threads);
    }

    TEST(Bands, PalettePicturesGiveTheSameBytesOnOneThreadAndOnSeveral)
    {
        const std::vector<Operation> ops {
            { "oil small",
                [](auto& p, auto* u, auto& c) { return OilPaint(p, u, OilSize::Small, c); } },
            { "mosaic 5",
                [](auto& p, auto* u, auto& c) { return Mosaic(p, u, 5, std::nullopt, c); } },
            { "rotate left", [](auto& p, auto* u, auto& c) { return RotateLeft(p, u, c); } },
            { "rotate right", [](auto& p, auto* u, auto& c) { return RotateRight(p, u, c); } },
            { "rotate 180", [](auto& p, auto* u, auto& c) { return Rotate180(p, u, c); } },
            { "sys+240", [](auto& p, auto* u, auto& c) { return ReduceSys240(p, u, c); } },
            { "16 dynamic2",
                [](auto& p, auto* u, auto& c) {
                    return Reduce16(p, u, D16Method::Dynamic2, false, nullptr, c);
                } },
            { "16 system",
                [](auto& p, auto* u, auto& c) {
                    return Reduce16(p, u, D16Method::System, false, nullptr, c);
                } },
        };
        for (TPixelFormat format :
            { TPixelFormat::pf8bit, TPixelFormat::pf4bit, TPixelFormat::pf1bit })
            for (const TBitmap& picture :
                { Indexed(333, 211, format, 1), Indexed(1, 66000, format, 2) })
                for (const Operation& op : ops)
                    ExpectSameOnThreads(op, picture, 4);
    }

    TEST(Bands, CoverEveryRowOnceWhateverTheThreads)
    {
        for (int32_t rows : { 1, 15, 16, 17, 33, 203, 4001 })
            for (int threads : { 1, 2, 3, 4, 7 }) {
                std::mutex lock;
                std::vector<int> seen(size_t(rows), 0);
                const int bands
                    = ForEachBand(rows, 1u << 20, threads, [&](int32_t first, int32_t last) {
                          std::lock_guard guard(lock);
                          for (int32_t y = first; y < last; ++y)
                              ++seen[size_t(y)];
                      });
                EXPECT_EQ(std::count(seen.begin(), seen.end(), 1), rows) << rows << "/" << threads;
                if (threads == 1 || rows < 32)
                    EXPECT_EQ(bands, 1) << rows << "/" << threads;
                else
                    EXPECT_GT(bands, 1) << rows << "/" << threads;
            }
        // Small work stays on the calling thread in one band, whatever was asked for.
        std::thread::id where;
        EXPECT_EQ(ForEachBand(200, platform::kParallelMinPixels - 1, 4,
                      [&](int32_t, int32_t) { where = std::this_thread::get_id(); }),
            1);
        EXPECT_EQ(where, std::this_thread::get_id());
    }

    TEST(Bands, TheVariableForcesOneThreadUnlessTheCallerAsksForMore)
    {
        {
            ThreadsVariable variable("1");
            EXPECT_EQ(ThreadCount(0), 1);
            EXPECT_EQ(ThreadCount(3), 3);
            std::set<std::thread::id> threads;
            EXPECT_EQ(ForEachBand(4000, 24'000'000, 0,
                          [&](int32_t, int32_t) { threads.insert(std::this_thread::get_id()); }),
                1);
            EXPECT_EQ(threads, std::set<std::thread::id> { std::this_thread::get_id() });
        }
        {
            ThreadsVariable variable("3");
            EXPECT_EQ(ThreadCount(0), 3);
            std::mutex lock;
            std::set<std::thread::id> threads;
            ForEachBand(4000, 24'000'000, 0, [&](int32_t, int32_t) {
                std::lock_guard guard(lock);
                threads.insert(std::this_thread::get_id());
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            });
            EXPECT_LE(threads.size(), 3u);
        }
        const int cores = int(std::max(1u, std::thread::hardware_concurrency()));
        for (const char* ignored : { "0", "-2", "two", "" }) {
            ThreadsVariable variable(ignored);
            EXPECT_EQ(ThreadCount(0), cores) << '"' << ignored << '"';
        }
        ThreadsVariable none(nullptr);
        EXPECT_EQ(ThreadCount(0), cores);
    }

    TEST(Bands, TheFirstFailureReachesTheCallerAfterTheOtherBandsStop)
    {
        std::atomic<int> started { 0 };
        try {
            ForEachBand(4000, 24'000'000, 4, [&](int32_t first, int32_t) {
                ++started;
                if (first > 0)
                    throw platform::EInvalidGraphicOperation("Scan line index out of range");
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            });
            FAIL() << "no exception";
        } catch (const platform::EInvalidGraphicOperation& e) {
            EXPECT_STREQ(e.what(), "Scan line index out of range");
        }
        // Bands not yet started when the failure came are skipped.
        EXPECT_LT(started.load(), 16);
        EXPECT_THROW(
            ForEachBand(100, 1u << 20, 1, [](int32_t, int32_t) { throw std::bad_alloc(); }),
            std::bad_alloc);
    }

    TEST(Bands, ARefusedAllocationInOneBandFailsTheOperationAndChangesNothing)
    {
        const TBitmap source = Random24(331, 203, 3);
        const TBitmap before = testing::Flat24(2, 2, { 1, 2, 3 });
        const std::vector<Operation> ops {
            { "blur small",
                [](auto& p, auto* u, auto& c) { return Blur(p, u, BlurSize::Small, c); } },
            { "sharpen", [](auto& p, auto* u, auto& c) { return Sharpen(p, u, c); } },
            { "contour", [](auto& p, auto* u, auto& c) { return ContourLines(p, u, c); } },
            { "median", [](auto& p, auto* u, auto& c) { return Median(p, u, c); } },
            { "user 5x5",
                [](auto& p, auto* u, auto& c) { return UserFilters().Apply(p, u, 1, c); } },
        };
        ProcessContext context;
        context.threads = 4;
        for (const Operation& op : ops) {
            TBitmap picture(source), undo(before);
            const long live = MappedBlock::LiveBlocks();
            // The result's block comes first, then each band's ring: the second band's is refused.
            MappedBlock::FailNextMappingsForTesting(1, 2);
            EXPECT_THROW(op.run(picture, &undo, context), std::bad_alloc) << op.name;
            MappedBlock::FailNextMappingsForTesting(0);
            EXPECT_TRUE(SamePicture(picture, source)) << op.name;
            EXPECT_TRUE(SamePicture(undo, before)) << op.name;
            EXPECT_EQ(MappedBlock::LiveBlocks(), live) << op.name;
            // And the next run succeeds.
            EXPECT_TRUE(op.run(picture, &undo, context)) << op.name;
        }
    }

} // namespace
} // namespace vtl::processing
