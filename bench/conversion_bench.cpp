// Pixel-format conversions on a 24-megapixel picture: the Low and High quantisers, halftoning, and
// RLE8/RLE4 coding. Each reports megapixels per second. The quantiser is set beside ImageMagick's
// `convert -colors 256 +dither` on the same picture when /usr/bin/convert is there; its time is
// the quantising run minus a plain read-and-write run of the same files, and the ratio printed is
// convert's time over ours (above 1: we are faster).
#include "document/halftone.h"
#include "document/pixel_format_conversion.h"
#include "document/quantise_high.h"
#include "document/quantise_low.h"
#include "document/rle.h"
#include "platform/checked.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <unistd.h>

using namespace vtl;
using document::DibImage;

namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;
constexpr double kMegapixels = kWidth * double(kHeight) / 1e6;

// Smooth gradients and soft shapes, a few hard edges, and light noise: close enough to a
// photograph for the quantisers' histograms and for RLE runs on the reduced pictures.
const DibImage& Picture()
{
    static const DibImage picture = [] {
        DibImage image;
        image.info.biWidth = kWidth;
        image.info.biHeight = kHeight;
        image.info.biBitCount = 24;
        image.info.biClrUsed = 0;
        const size_t rowBytes = *platform::BmpRowBytes(kWidth, 24);
        image.bits = platform::MappedBlock(rowBytes * kHeight);
        std::mt19937 random(42);
        std::uniform_int_distribution<int> noise(-2, 2);
        for (int y = 0; y < kHeight; ++y) {
            uint8_t* row = image.bits.Data() + y * rowBytes;
            const double fy = double(y) / kHeight;
            for (int x = 0; x < kWidth; ++x) {
                const double fx = double(x) / kWidth;
                double r = 40 + 150 * fy + 40 * std::sin(fx * 7.0);
                double g = 90 + 100 * fx * (1 - fy) + 30 * std::cos(fy * 11.0 + fx * 3.0);
                double b = 160 - 120 * fy + 50 * std::sin((fx + fy) * 5.0);
                // A dark disc and a bright band give hard edges.
                const double dx = fx - 0.35, dy = fy - 0.55;
                if (dx * dx + dy * dy < 0.02) {
                    r *= 0.3;
                    g *= 0.35;
                    b *= 0.4;
                }
                if (fx > 0.7 && fx < 0.78) {
                    r = 235;
                    g = 220;
                    b = 120;
                }
                auto put = [&](double v) {
                    const int n = static_cast<int>(v) + noise(random);
                    return static_cast<uint8_t>(n < 0 ? 0 : n > 255 ? 255 : n);
                };
                row[3 * x] = put(b);
                row[3 * x + 1] = put(g);
                row[3 * x + 2] = put(r);
            }
        }
        return image;
    }();
    return picture;
}

const DibImage& Quantised8()
{
    static const DibImage image = document::ConvertTrueColorTo8BitRGBLow(Picture(), nullptr);
    return image;
}

const DibImage& Quantised4()
{
    static const DibImage image = document::ConvertTrueColorTo4BitRGBLow(Picture(), nullptr);
    return image;
}

void SetRate(benchmark::State& state)
{
    state.counters["MP/s"]
        = benchmark::Counter(kMegapixels, benchmark::Counter::kIsIterationInvariantRate);
}

// Seconds of convert's quantisation alone, or 0 when convert is missing or fails.
double g_convertSeconds = 0;

double TimeCommand(const std::string& command)
{
    const auto start = std::chrono::steady_clock::now();
    const int status = std::system(command.c_str());
    const double seconds
        = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return status == 0 ? seconds : -1;
}

void BM_ConvertColors256(benchmark::State& state)
{
    if (access("/usr/bin/convert", X_OK) != 0) {
        state.SkipWithError("/usr/bin/convert is not installed");
        return;
    }
    namespace fs = std::filesystem;
    const fs::path folder
        = fs::temp_directory_path() / ("vtl-conversion-bench-" + std::to_string(getpid()));
    fs::create_directories(folder);
    const std::string in = (folder / "in.ppm").string();
    const std::string out = (folder / "out.ppm").string();
    {
        std::ofstream file(in, std::ios::binary);
        file << "P6\n" << kWidth << " " << kHeight << "\n255\n";
        const DibImage& picture = Picture();
        const size_t rowBytes = *platform::BmpRowBytes(kWidth, 24);
        std::string row(size_t(kWidth) * 3, '\0');
        for (int top = 0; top < kHeight; ++top) {
            const uint8_t* p = picture.bits.Data() + (kHeight - 1 - top) * rowBytes;
            for (int x = 0; x < kWidth; ++x) {
                row[3 * x] = static_cast<char>(p[3 * x + 2]);
                row[3 * x + 1] = static_cast<char>(p[3 * x + 1]);
                row[3 * x + 2] = static_cast<char>(p[3 * x]);
            }
            file.write(row.data(), static_cast<std::streamsize>(row.size()));
        }
    }
    double best = 0;
    for (auto _ : state) {
        const double plain = TimeCommand("/usr/bin/convert " + in + " " + out);
        const double quantise
            = TimeCommand("/usr/bin/convert " + in + " -colors 256 +dither " + out);
        if (plain < 0 || quantise < 0) {
            state.SkipWithError("convert failed");
            break;
        }
        const double alone = std::max(quantise - plain, 1e-6);
        state.SetIterationTime(alone);
        best = best == 0 ? alone : std::min(best, alone);
        state.counters["whole_run_s"] = quantise;
        state.counters["read_write_s"] = plain;
    }
    g_convertSeconds = best;
    std::error_code ec;
    fs::remove_all(folder, ec);
    SetRate(state);
}
BENCHMARK(BM_ConvertColors256)->UseManualTime()->Iterations(2)->Unit(benchmark::kMillisecond);

template <DibImage (*Quantise)(const DibImage&, document::QuantiseProgress*)>
void BM_Quantise(benchmark::State& state)
{
    const DibImage& picture = Picture();
    double best = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        DibImage out = Quantise(picture, nullptr);
        benchmark::DoNotOptimize(out.bits.Data());
        const double seconds
            = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        best = best == 0 ? seconds : std::min(best, seconds);
    }
    SetRate(state);
    if (g_convertSeconds > 0)
        state.counters["convert_ratio"] = g_convertSeconds / best;
}
BENCHMARK(BM_Quantise<document::ConvertTrueColorTo8BitRGBLow>)
    ->Name("BM_QuantiseLow256")
    ->Iterations(3)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Quantise<document::ConvertTrueColorTo8BitRGBHigh>)
    ->Name("BM_QuantiseHigh256")
    ->Iterations(2)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Quantise<document::ConvertTrueColorTo4BitRGBLow>)
    ->Name("BM_QuantiseLow16")
    ->Iterations(3)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

void BM_Halftone(benchmark::State& state)
{
    for (auto _ : state) {
        DibImage out = document::ConvertToHalfTone(Picture());
        benchmark::DoNotOptimize(out.bits.Data());
    }
    SetRate(state);
}
BENCHMARK(BM_Halftone)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_HalftoneMono(benchmark::State& state)
{
    for (auto _ : state) {
        DibImage out = document::ConvertToHalfToneBW(Picture());
        benchmark::DoNotOptimize(out.bits.Data());
    }
    SetRate(state);
}
BENCHMARK(BM_HalftoneMono)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);

template <bool Four> void BM_RleEncode(benchmark::State& state)
{
    const DibImage& source = Four ? Quantised4() : Quantised8();
    for (auto _ : state) {
        try {
            DibImage out = Four ? document::Convert4BitRGBTo4BitRLE(source)
                                : document::Convert8BitRGBTo8BitRLE(source);
            state.counters["ratio"] = double(out.bits.Size()) / double(source.bits.Size());
        } catch (const std::exception& e) {
            state.SkipWithError(e.what());
            break;
        }
    }
    SetRate(state);
}
BENCHMARK(BM_RleEncode<false>)
    ->Name("BM_Rle8Encode")
    ->Iterations(5)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RleEncode<true>)
    ->Name("BM_Rle4Encode")
    ->Iterations(5)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

template <bool Four> void BM_RleDecode(benchmark::State& state)
{
    DibImage rle;
    try {
        rle = Four ? document::Convert4BitRGBTo4BitRLE(Quantised4())
                   : document::Convert8BitRGBTo8BitRLE(Quantised8());
    } catch (const std::exception& e) {
        state.SkipWithError(e.what());
        return;
    }
    for (auto _ : state) {
        DibImage out = Four ? document::Convert4BitRLETo4BitRGB(rle)
                            : document::Convert8BitRLETo8BitRGB(rle);
        benchmark::DoNotOptimize(out.bits.Data());
    }
    SetRate(state);
}
BENCHMARK(BM_RleDecode<false>)
    ->Name("BM_Rle8Decode")
    ->Iterations(5)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RleDecode<true>)
    ->Name("BM_Rle4Decode")
    ->Iterations(5)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
