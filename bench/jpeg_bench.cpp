// JPEG decoding at full size and at 1/8 against libjpeg-turbo's djpeg on the same file. djpeg
// runs as a process writing to /dev/null, so its time includes starting up; on a picture of this
// size that is a few per cent at most. At the end the ratios of our time to djpeg's are printed:
// wall-clock, and processor time (djpeg's from the children's usage), which a busy machine
// disturbs less.

#include "codecs/jpeg_decoder.h"
#include "codecs/jpeg_encoder.h"
#include "platform/stream.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <string>

#include <sys/resource.h>

namespace {

namespace fs = std::filesystem;
using vtl::codecs::JpegScale;

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;

// A photograph-like picture: smooth gradients, a few shapes and some noise, so that the encoder
// produces a realistic mix of coefficients.
vtl::platform::TBitmap MakePicture()
{
    vtl::platform::TBitmap bmp(kWidth, kHeight, vtl::platform::TPixelFormat::pf24bit);
    std::mt19937 random(42);
    std::uniform_int_distribution<int> noise(-12, 12);
    for (int y = 0; y < kHeight; ++y) {
        uint8_t* row = bmp.ScanLine(y);
        for (int x = 0; x < kWidth; ++x) {
            const double d = std::hypot(x - 1500.0, y - 1200.0);
            const int ring = (int(d) / 40) % 2 ? 60 : 0;
            const int b = 80 + x * 120 / kWidth + ring + noise(random);
            const int g = 60 + y * 150 / kHeight + noise(random);
            const int r = 200 - int(d) % 256 / 3 + noise(random);
            row[3 * x] = uint8_t(std::clamp(b, 0, 255));
            row[3 * x + 1] = uint8_t(std::clamp(g, 0, 255));
            row[3 * x + 2] = uint8_t(std::clamp(r, 0, 255));
        }
    }
    return bmp;
}

struct Fixture {
    fs::path file;
    std::vector<uint8_t> bytes;
    Fixture()
    {
        file = fs::temp_directory_path() / "vtl-jpeg-bench.jpg";
        bytes = vtl::codecs::EncodeJpeg(MakePicture(), 90);
        vtl::platform::TFileStream out(file, vtl::platform::TFileMode::Create);
        out.WriteBuffer(bytes);
        out.Flush();
    }
    ~Fixture()
    {
        std::error_code ec;
        fs::remove(file, ec);
    }
};

Fixture& Data()
{
    static Fixture fixture;
    return fixture;
}

void DecodeVtl(benchmark::State& state)
{
    const auto scale = static_cast<JpegScale>(state.range(0));
    const auto& bytes = Data().bytes;
    for (auto _ : state) {
        vtl::platform::TBitmap bmp;
        vtl::codecs::DecodeJpeg(bytes, bmp, { scale, nullptr });
        benchmark::DoNotOptimize(bmp.Bits().data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes.size()));
    state.counters["Mpixel/s"] = benchmark::Counter(
        double(kWidth) * kHeight / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

double ChildrenCpuMs()
{
    rusage usage {};
    getrusage(RUSAGE_CHILDREN, &usage);
    auto ms = [](const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

void Djpeg(benchmark::State& state)
{
    const std::string command = "djpeg -scale 1/" + std::to_string(state.range(0))
        + " -ppm -outfile /dev/null '" + Data().file.string() + "'";
    const double cpuBefore = ChildrenCpuMs();
    for (auto _ : state)
        if (std::system(command.c_str()) != 0)
            state.SkipWithError("djpeg failed");
    state.counters["child_cpu_ms"] = (ChildrenCpuMs() - cpuBefore) / double(state.iterations());
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(Data().bytes.size()));
    state.counters["Mpixel/s"] = benchmark::Counter(
        double(kWidth) * kHeight / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

BENCHMARK(DecodeVtl)->Arg(1)->Arg(8)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(Djpeg)->Arg(1)->Arg(8)->Unit(benchmark::kMillisecond)->UseRealTime();

// Keeps each run's real time so that the ratios can be printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs)
            if (!run.error_occurred && run.run_type == Run::RT_Iteration) {
                times[run.benchmark_name()] = run.GetAdjustedRealTime();
                const auto child = run.counters.find("child_cpu_ms");
                cpu[run.benchmark_name()]
                    = child != run.counters.end() ? child->second.value : run.GetAdjustedCPUTime();
            }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;
    std::map<std::string, double> cpu; // milliseconds
};

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    for (const char* scale : { "1", "8" }) {
        const std::string ours = std::string("DecodeVtl/") + scale + "/real_time";
        const std::string peer = std::string("Djpeg/") + scale + "/real_time";
        if (!reporter.times.contains(ours) || !reporter.times.contains(peer))
            continue;
        std::printf("scale 1/%s: vtl / djpeg = %.3f wall-clock, %.3f processor time (target at "
                    "most 1.1)\n",
            scale, reporter.times[ours] / reporter.times[peer],
            reporter.cpu[ours] / reporter.cpu[peer]);
    }
    benchmark::Shutdown();
    return 0;
}
