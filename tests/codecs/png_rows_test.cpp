// The reader's rows on one thread and on two: the same bytes for every colour type, depth, width
// and height; the same message, nothing left behind and the old picture kept when the data is bad
// or the load is cancelled; the second thread only where it pays; the file read through a buffer.
#include "codecs/png_errors.h"
#include "codecs/png_format.h"
#include "codecs/png_image.h"
#include "codecs/png_oracle.h"
#include "codecs/png_read_stream.h"
#include "codecs/png_test_builder.h"
#include "platform/mapped_block.h"
#include "platform/stream.h"

#include <algorithm>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>

namespace vtl::codecs {
namespace {

    using testing::PngBuilder;

    struct Form {
        uint8_t colorType, depth;
    };
    constexpr Form kForms[]
        = { { 0, 1 }, { 0, 2 }, { 0, 4 }, { 0, 8 }, { 0, 16 }, { 2, 8 }, { 2, 16 }, { 3, 1 },
              { 3, 2 }, { 3, 4 }, { 3, 8 }, { 4, 8 }, { 4, 16 }, { 6, 8 }, { 6, 16 } };

    int Channels(uint8_t colorType)
    {
        return colorType == 2 ? 3 : colorType == 4 ? 2 : colorType == 6 ? 4 : 1;
    }

    // Random samples behind random filter types (all five, row by row): any bytes are valid
    // filtered data, so every filter is undone many times over on rows of every length.
    std::vector<uint8_t> RandomRows(
        const Form& f, uint32_t width, uint32_t height, bool interlaced, std::mt19937& random)
    {
        const uint64_t bits = uint64_t(Channels(f.colorType)) * f.depth;
        std::vector<uint8_t> raw;
        for (int pass = 0; pass < (interlaced ? 7 : 1); ++pass) {
            const auto& g = interlaced ? png::kAdam7[pass] : png::PassGeometry { 0, 0, 1, 1 };
            const uint32_t w = png::PassExtent(width, g.x0, g.dx);
            const uint32_t rows = png::PassExtent(height, g.y0, g.dy);
            for (uint32_t y = 0; w > 0 && y < rows; ++y) {
                raw.push_back(uint8_t(random() % 5));
                for (uint64_t i = 0; i < png::PackedRowBytes(w, bits); ++i)
                    raw.push_back(uint8_t(random()));
            }
        }
        return raw;
    }

    std::vector<uint8_t> MakeFile(
        const Form& f, uint32_t width, uint32_t height, bool interlaced, std::mt19937& random)
    {
        PngBuilder b;
        b.Header(width, height, f.depth, f.colorType, interlaced ? 1 : 0);
        if (f.colorType == 3) {
            std::vector<uint8_t> palette(3 << f.depth);
            for (auto& v : palette)
                v = uint8_t(random());
            b.Chunk("PLTE", palette);
            if (f.depth == 8) // a partial alpha table: the mask is built as well
                b.Chunk("tRNS", { 0, 40, 255, 128 });
        }
        return b.Image(RandomRows(f, width, height, interlaced, random), 4096).End().Bytes();
    }

    TPngImage Decode(const std::vector<uint8_t>& bytes, int threads)
    {
        TPngImage png;
        png.ReadOptions.threads = threads;
        platform::TSpanStream in(bytes);
        png.LoadFromStream(in);
        return png;
    }

    bool SameBytes(const platform::TBitmap& a, const platform::TBitmap& b)
    {
        return a.PixelFormat() == b.PixelFormat() && a.Width() == b.Width()
            && a.Height() == b.Height() && a.PaletteEntries() == b.PaletteEntries()
            && std::ranges::equal(a.Bits(), b.Bits());
    }

    std::string LoadError(const std::vector<uint8_t>& bytes, int threads, TPngImage& png)
    {
        png.ReadOptions.threads = threads;
        platform::TSpanStream in(bytes);
        try {
            png.LoadFromStream(in);
        } catch (const EPngError& e) {
            return e.what();
        }
        return "loaded";
    }

    TEST(PngRows, OneThreadAndTwoGiveTheSameBytes)
    {
        std::mt19937 random(7);
        int compared = 0;
        for (const Form& f : kForms) {
            const uint64_t bits = uint64_t(Channels(f.colorType)) * f.depth;
            for (uint32_t width : { 1u, 2u, 5u, 33u, 301u }) {
                const uint32_t ring
                    = TPngReadStream::RingRows(png::PackedRowBytes(width, bits) + 1);
                for (uint32_t height : { 1u, ring - 1, ring, ring + 1, 2 * ring + 3 }) {
                    for (bool interlaced : { false, true }) {
                        SCOPED_TRACE(::testing::Message()
                            << "type " << int(f.colorType) << " depth " << int(f.depth) << " "
                            << width << "x" << height << (interlaced ? " interlaced" : ""));
                        const auto bytes = MakeFile(f, width, height, interlaced, random);
                        const TPngImage one = Decode(bytes, 1);
                        const TPngImage two = Decode(bytes, 2);
                        ASSERT_TRUE(SameBytes(one.Bitmap(), two.Bitmap()));
                        ASSERT_TRUE(SameBytes(one.AlphaMask(), two.AlphaMask()));
#ifdef VTL_HAVE_LIBPNG
                        // And both right: libpng's colours wherever the format keeps them whole.
                        if (f.colorType == 2 || f.colorType == 6) {
                            const auto oracle = testing::DecodeWithLibpng(bytes);
                            ASSERT_TRUE(oracle);
                            for (uint32_t y = 0; y < height; ++y) {
                                for (uint32_t x = 0; x < width; ++x) {
                                    const uint8_t* want = oracle->At(x, y);
                                    ASSERT_EQ(two.Bitmap().Pixel(int32_t(x), int32_t(y)),
                                        platform::Rgb(want[0], want[1], want[2]))
                                        << x << "," << y;
                                    if (f.colorType == 6) {
                                        ASSERT_EQ(
                                            two.AlphaMask().ScanLine(int32_t(y))[x], 255 - want[3]);
                                    }
                                }
                            }
                        }
#endif
                        ++compared;
                    }
                }
            }
        }
        EXPECT_EQ(compared, 15 * 5 * 5 * 2);

        // Rows far wider than the batch: a ring of a handful of rows.
        for (const Form f : { Form { 6, 16 }, Form { 2, 8 } }) {
            const uint32_t width = 5000;
            const uint32_t ring = TPngReadStream::RingRows(
                png::PackedRowBytes(width, uint64_t(Channels(f.colorType)) * f.depth) + 1);
            ASSERT_LT(ring, 20u);
            const auto bytes = MakeFile(f, width, 2 * ring + 1, false, random);
            EXPECT_TRUE(SameBytes(Decode(bytes, 1).Bitmap(), Decode(bytes, 2).Bitmap()));
        }
    }

    TEST(PngRows, DamagedDataFailsAlikeOnTwoThreadsAndLeavesNothing)
    {
        std::mt19937 random(11);
        const Form rgb { 2, 8 };
        const uint32_t width = 200;
        const uint32_t height = 400; // several rings of rows
        const auto raw = RandomRows(rgb, width, height, false, random);
        const auto z = PngBuilder::Compress(raw);
        auto withData = [&](std::span<const uint8_t> data) {
            return PngBuilder().Header(width, height, 8, 2).Chunk("IDAT", data).End().Bytes();
        };
        auto corrupt = z;
        for (size_t i = z.size() / 2; i < z.size() / 2 + 64; ++i)
            corrupt[i] ^= 0x55;
        auto badFilter = raw;
        badFilter[size_t(height - 3) * (width * 3 + 1)] = 7; // a row near the end
        const std::vector<std::vector<uint8_t>> damaged = {
            withData(std::span(z).first(z.size() * 3 / 4)), // cut short
            withData(corrupt), withData(PngBuilder::Compress(badFilter)),
            withData(PngBuilder::Compress(std::span(raw).first(raw.size() - 50))), // rows missing
        };
        const auto good = PngBuilder()
                              .Header(3, 2, 8, 0)
                              .Image(std::vector<uint8_t> { 0, 9, 9, 9, 0, 9, 9, 9 })
                              .End()
                              .Bytes();
        const long blocks = platform::MappedBlock::LiveBlocks();
        for (size_t i = 0; i < damaged.size(); ++i) {
            SCOPED_TRACE(i);
            TPngImage one;
            TPngImage two = Decode(good, 1);
            const long withPicture = platform::MappedBlock::LiveBlocks();
            EXPECT_EQ(LoadError(damaged[i], 1, one), kPngReadError);
            EXPECT_EQ(LoadError(damaged[i], 2, two), kPngReadError);
            EXPECT_EQ(platform::MappedBlock::LiveBlocks(), withPicture);
            EXPECT_TRUE(one.Empty());
            EXPECT_EQ(two.Width(), 3); // the picture it had
        }
        EXPECT_EQ(platform::MappedBlock::LiveBlocks(), blocks);
    }

    TEST(PngRows, CancelledLoadStopsBothThreads)
    {
        std::mt19937 random(3);
        const auto bytes = MakeFile({ 6, 8 }, 300, 600, false, random);
        const long blocks = platform::MappedBlock::LiveBlocks();
        for (int threads : { 1, 2 }) {
            TPngImage png;
            png.ReadOptions.threads = threads;
            int seen = 0;
            png.OnProgress = [&](const platform::ProgressReport& r) {
                if (r.percent >= 50 && ++seen == 1)
                    throw platform::ELoadCancelled();
            };
            platform::TSpanStream in(bytes);
            EXPECT_THROW(png.LoadFromStream(in), platform::ELoadCancelled) << threads;
            EXPECT_TRUE(png.Empty());
            EXPECT_EQ(platform::MappedBlock::LiveBlocks(), blocks);
            // The same image loads once nobody cancels.
            png.OnProgress = nullptr;
            platform::TSpanStream again(bytes);
            png.LoadFromStream(again);
            EXPECT_EQ(png.Height(), 600);
        }
    }

    // Threads of this process, as the system lists them.
    size_t ProcessThreads()
    {
        size_t count = 0;
        for ([[maybe_unused]] const auto& entry :
            std::filesystem::directory_iterator("/proc/self/task"))
            ++count;
        return count;
    }

    TEST(PngRows, SecondThreadOnlyForLargePicturesAndNotWhenOneIsForced)
    {
        std::mt19937 random(5);
        const auto large = MakeFile({ 2, 8 }, 400, 400, false, random);
        const auto small = MakeFile({ 2, 8 }, 100, 100, false, random);
        const auto interlaced = MakeFile({ 2, 8 }, 400, 400, true, random);
        // The most threads seen while the reader reports progress.
        auto threadsDuring = [](const std::vector<uint8_t>& bytes, int threads) {
            TPngImage png;
            png.ReadOptions.threads = threads;
            size_t most = 0;
            png.OnProgress
                = [&](const platform::ProgressReport&) { most = std::max(most, ProcessThreads()); };
            platform::TSpanStream in(bytes);
            png.LoadFromStream(in);
            return most;
        };
        const size_t alone = ProcessThreads();
        const char* old = std::getenv("VTL_THREADS");
        const std::string saved = old ? old : "";
        setenv("VTL_THREADS", "2", 1);
        EXPECT_EQ(threadsDuring(large, 0), alone + 1);
        EXPECT_EQ(threadsDuring(small, 0), alone);
        EXPECT_EQ(threadsDuring(interlaced, 2), alone);
        EXPECT_EQ(threadsDuring(large, 1), alone);
        setenv("VTL_THREADS", "1", 1);
        EXPECT_EQ(threadsDuring(large, 0), alone);
        EXPECT_EQ(threadsDuring(large, 2), alone + 1); // asked for by the caller
        if (old)
            setenv("VTL_THREADS", saved.c_str(), 1);
        else
            unsetenv("VTL_THREADS");
    }

    // A stream that records what the reader asks of it.
    class CountingStream : public platform::TSpanStream {
    public:
        using TSpanStream::TSpanStream;
        size_t Read(void* buffer, size_t count) override
        {
            largest = std::max(largest, count);
            const size_t got = TSpanStream::Read(buffer, count);
            total += got;
            return got;
        }
        size_t largest = 0;
        uint64_t total = 0;
    };

    TEST(PngRows, TheFileIsReadThroughABufferNotWhole)
    {
        std::mt19937 random(9);
        auto bytes = MakeFile({ 2, 8 }, 500, 500, false, random); // about 750 kB, little compressed
        ASSERT_GT(bytes.size(), 8 * kStreamBufferSize);
        const auto end = bytes.size();
        bytes.resize(end + 4 * kStreamBufferSize, 0); // what follows IEND is never read
        for (int threads : { 1, 2 }) {
            CountingStream in(bytes);
            TPngImage png;
            png.ReadOptions.threads = threads;
            png.LoadFromStream(in);
            EXPECT_LE(in.largest, kStreamBufferSize);
            EXPECT_LE(in.total, end + kStreamBufferSize);
        }
    }

} // namespace
} // namespace vtl::codecs
