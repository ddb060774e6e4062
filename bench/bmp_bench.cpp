// Reading and writing an uncompressed 24-bit BMP of 24 megapixels in memory, beside a plain copy
// of the same bytes. The counter "x_copy" is the time of the operation divided by the time of
// copying the file's bytes into new memory; the aim is at most 2.

#include "document/dib.h"
#include "platform/stream.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <vector>

using namespace vtl;

namespace {

constexpr int32_t kWidth = 6000;
constexpr int32_t kHeight = 4000;

const std::vector<uint8_t>& BmpFile()
{
    static const std::vector<uint8_t> file = [] {
        document::TDIB dib;
        dib.SetBitCount(24);
        dib.SetWidth(kWidth);
        dib.SetHeight(kHeight);
        for (int32_t y = 0; y < kHeight; ++y) {
            uint8_t* row = dib.ScanLine(y);
            for (int32_t x = 0; x < kWidth * 3; ++x)
                row[x] = uint8_t(x * 7 + y * 13);
        }
        return dib.SaveToBytes();
    }();
    return file;
}

double Seconds(std::chrono::steady_clock::time_point a, std::chrono::steady_clock::time_point b)
{
    return std::chrono::duration<double>(b - a).count();
}

// The copy the ratio is taken against: the same bytes into newly allocated memory, touched as a
// reader's destination is.
double CopyOnce(const std::vector<uint8_t>& bytes)
{
    auto start = std::chrono::steady_clock::now();
    std::unique_ptr<uint8_t[]> target(new uint8_t[bytes.size()]);
    std::memcpy(target.get(), bytes.data(), bytes.size());
    benchmark::DoNotOptimize(target.get());
    benchmark::ClobberMemory();
    return Seconds(start, std::chrono::steady_clock::now());
}

void Report(benchmark::State& state, double opSeconds, double copySeconds)
{
    double pixels = double(kWidth) * kHeight * double(state.iterations());
    state.counters["MP/s"] = benchmark::Counter(pixels / 1e6 / opSeconds);
    state.counters["x_copy"] = opSeconds / copySeconds;
    state.counters["copy_MP/s"] = benchmark::Counter(pixels / 1e6 / copySeconds);
}

void BM_BmpRead(benchmark::State& state)
{
    const std::vector<uint8_t>& bytes = BmpFile();
    double op = 0, copy = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        {
            document::TDIB dib;
            dib.LoadFromBytes(bytes);
            benchmark::DoNotOptimize(dib.Internal().Image.bits.Data());
        }
        double s = Seconds(start, std::chrono::steady_clock::now());
        op += s;
        state.SetIterationTime(s);
        copy += CopyOnce(bytes);
    }
    Report(state, op, copy);
}

void BM_BmpWrite(benchmark::State& state)
{
    document::TDIB dib;
    dib.LoadFromBytes(BmpFile());
    double op = 0, copy = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        {
            std::vector<uint8_t> out = dib.SaveToBytes();
            benchmark::DoNotOptimize(out.data());
        }
        double s = Seconds(start, std::chrono::steady_clock::now());
        op += s;
        state.SetIterationTime(s);
        copy += CopyOnce(BmpFile());
    }
    Report(state, op, copy);
}

} // namespace

BENCHMARK(BM_BmpRead)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_BmpWrite)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK_MAIN();
