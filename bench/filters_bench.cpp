// Every processing operation on a 24-megapixel 24-bit picture (6000 x 4000), in megapixels per
// second, beside ImageMagick's operation of the same kind where it has one.
//
// Our time is the whole operation as a document runs it: work buffer, pixel loops, the undo copy
// and the replacement of the picture (not the copy of the test picture made before each run).
// ImageMagick's time is one `/usr/bin/convert in.ppm <op> out.ppm` process, start to exit: it
// includes starting the program, reading and writing the 72 MB files (in the temporary folder)
// and its own threads. A plain `convert in.ppm out.ppm` is timed too, and the ratio is printed
// both for the whole process and with that plain copy's time taken off.

#include "processing/block_filters.h"
#include "processing/colour_adjustment.h"
#include "processing/neighbourhood_filters.h"
#include "processing/point_operations.h"
#include "processing/user_filters.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using namespace vtl::processing;
using vtl::platform::TBitmap;
using vtl::platform::TPixelFormat;
using Clock = std::chrono::steady_clock;

constexpr int32_t kWidth = 6000, kHeight = 4000;
constexpr double kMegapixels = kWidth * double(kHeight) / 1e6;
const char* const kConvert = "/usr/bin/convert";

// Smooth shapes with some grain, so that windows hold both repeats and differences, as photos do.
const TBitmap& TestPicture()
{
    static const TBitmap picture = [] {
        TBitmap p(kWidth, kHeight, TPixelFormat::pf24bit);
        std::mt19937 random(1);
        for (int32_t y = 0; y < kHeight; ++y) {
            uint8_t* row = p.ScanLine(y);
            for (int32_t x = 0; x < kWidth; ++x) {
                const double u = x / 300.0, v = y / 200.0;
                const int grain = int(random() % 9) - 4;
                auto channel
                    = [&](double value) { return uint8_t(std::clamp(int(value) + grain, 0, 255)); };
                row[3 * x] = channel(128 + 100 * std::sin(u) * std::cos(v));
                row[3 * x + 1] = channel(128 + 90 * std::sin(u * 0.7 + v));
                row[3 * x + 2] = channel(128 + 110 * std::cos(u * 0.3 - v * 0.5));
            }
        }
        return p;
    }();
    return picture;
}

struct Entry {
    std::string name;
    std::function<bool(TBitmap&, TBitmap*)> run;
    std::vector<std::string> peerArgs; // empty: ImageMagick has no operation of this kind
    std::string note;
};

std::vector<Entry> Entries()
{
    static TFilter filters;
    filters.SetLists({ "sharpen 3x3", "soft 5x5" },
        { "0,-1,0,-1,5,-1,0,-1,0",
            "0.04,0.04,0.04,0.04,0.04,0.04,0.04,0.04,0.04,0.04,0.04,0.04,0.04,0.04,0.04,0.04,0.04,"
            "0.04,0.04,0.04,0.04,0.04,0.04,0.04,0.04" });
    TrackBarPositions rgb;
    rgb.offset = { 10, -5, 0 };
    rgb.gain = { 110, 100, 90 };
    rgb.gamma = { 120, 100, 80 };
    TrackBarPositions hsi;
    hsi.gain[1] = 150; // saturation x 1.5
    hsi.offset[2] = 43; // hue turned by about 30 degrees
    const AdjustParams rgbParams = ParamsFromTrackBars(rgb), hsiParams = ParamsFromTrackBars(hsi);
    const ProcessContext none;
    return {
        { "gray", [=](TBitmap& p, TBitmap* u) { return GrayScale(p, u, none); },
            { "-colorspace", "gray" }, "" },
        { "sepia 100",
            [=](TBitmap& p, TBitmap* u) { return Sepia(p, u, SepiaStrength::Full, none); },
            { "-sepia-tone", "80%" }, "" },
        { "invert", [=](TBitmap& p, TBitmap* u) { return InvertColours(p, u, none); },
            { "-negate" }, "" },
        { "binarise", [=](TBitmap& p, TBitmap* u) { return Binarise(p, u, 127, none); },
            { "-colorspace", "gray", "-threshold", "50%" }, "" },
        { "blur small", [=](TBitmap& p, TBitmap* u) { return Blur(p, u, BlurSize::Small, none); },
            { "-blur", "1x0.85" }, "3x3 weights vs a separable 3x3 Gaussian" },
        { "blur large", [=](TBitmap& p, TBitmap* u) { return Blur(p, u, BlurSize::Large, none); },
            { "-blur", "5x2" }, "full 11x11 window vs a separable 11-tap Gaussian" },
        { "sharpen", [=](TBitmap& p, TBitmap* u) { return Sharpen(p, u, none); },
            { "-sharpen", "1x1" }, "3x3 Laplacian vs Gaussian unsharp" },
        { "emboss",
            [=](TBitmap& p, TBitmap* u) {
                return Emboss(p, u, { 0, true }, none);
            },
            { "-emboss", "1" }, "" },
        { "edge", [=](TBitmap& p, TBitmap* u) { return Edge(p, u, none); }, { "-edge", "1" }, "" },
        { "contour", [=](TBitmap& p, TBitmap* u) { return ContourLines(p, u, none); }, {}, "" },
        { "median", [=](TBitmap& p, TBitmap* u) { return Median(p, u, none); }, { "-median", "3" },
            "one key per pixel vs per-channel medians" },
        { "oil small", [=](TBitmap& p, TBitmap* u) { return OilPaint(p, u, OilSize::Small, none); },
            { "-paint", "2" }, "15-bit colour histogram vs intensity histogram" },
        { "oil large", [=](TBitmap& p, TBitmap* u) { return OilPaint(p, u, OilSize::Large, none); },
            { "-paint", "4" }, "" },
        { "mosaic 10", [=](TBitmap& p, TBitmap* u) { return Mosaic(p, u, 10, std::nullopt, none); },
            {}, "" },
        { "rgb", [=](TBitmap& p, TBitmap* u) { return AdjustRgb(p, u, rgbParams, none); },
            { "-level", "5%,95%,1.2" }, "" },
        { "hsi", [=](TBitmap& p, TBitmap* u) { return AdjustHsi(p, u, hsiParams, none); },
            { "-modulate", "100,150,116" }, "hexcone HSV vs HSL" },
        { "userfilter 3x3",
            [](TBitmap& p, TBitmap* u) { return filters.Apply(p, u, 0, ProcessContext {}); },
            { "-convolve", "0,-1,0,-1,5,-1,0,-1,0" }, "" },
        { "userfilter 5x5",
            [](TBitmap& p, TBitmap* u) { return filters.Apply(p, u, 1, ProcessContext {}); },
            { "-convolve",
                "0.04,0.04,0.04,0.04,0.04,0.04,0.04,0.04,0.04,0.04,0.04,0.04,0.04,0.04,0.04,0.04,0."
                "04,"
                "0.04,0.04,0.04,0.04,0.04,0.04,0.04,0.04" },
            "" },
    };
}

std::map<std::string, double> g_ourSeconds; // best run of each operation
std::map<std::string, double> g_peerSeconds;

void RunOurs(benchmark::State& state, const Entry& entry)
{
    const TBitmap& source = TestPicture();
    double best = 1e30;
    for (auto _ : state) {
        TBitmap picture(source), undo;
        const auto start = Clock::now();
        const bool changed = entry.run(picture, &undo);
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        if (!changed)
            state.SkipWithError("the operation returned false");
        benchmark::DoNotOptimize(picture.ScanLine(0));
        state.SetIterationTime(seconds);
        best = std::min(best, seconds);
    }
    g_ourSeconds[entry.name] = best;
    state.counters["MP/s"]
        = benchmark::Counter(kMegapixels * double(state.iterations()), benchmark::Counter::kIsRate);
}

// ---- The peer ----

std::filesystem::path g_folder;

void WritePpm(const TBitmap& picture, const std::filesystem::path& path)
{
    std::ofstream out(path, std::ios::binary);
    out << "P6\n" << picture.Width() << ' ' << picture.Height() << "\n255\n";
    std::vector<char> row(size_t(picture.Width()) * 3);
    for (int32_t y = 0; y < picture.Height(); ++y) {
        const uint8_t* s = picture.ScanLine(y);
        for (int32_t x = 0; x < picture.Width(); ++x) {
            row[size_t(3 * x)] = char(s[3 * x + 2]);
            row[size_t(3 * x + 1)] = char(s[3 * x + 1]);
            row[size_t(3 * x + 2)] = char(s[3 * x]);
        }
        out.write(row.data(), std::streamsize(row.size()));
    }
}

// Seconds for one convert process, or a negative number when it failed.
double TimeConvert(const std::vector<std::string>& args)
{
    std::vector<std::string> all { kConvert, (g_folder / "in.ppm").string() };
    all.insert(all.end(), args.begin(), args.end());
    all.push_back((g_folder / "out.ppm").string());
    std::vector<char*> argv;
    for (std::string& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const auto start = Clock::now();
    pid_t pid;
    if (posix_spawn(&pid, kConvert, nullptr, nullptr, argv.data(), environ) != 0)
        return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? seconds : -1;
}

void RunPeer(benchmark::State& state, const std::vector<std::string>& args, const std::string& key)
{
    double best = 1e30;
    for (auto _ : state) {
        const double seconds = TimeConvert(args);
        if (seconds < 0) {
            state.SkipWithError("convert failed");
            return;
        }
        state.SetIterationTime(seconds);
        best = std::min(best, seconds);
    }
    g_peerSeconds[key] = best;
    state.counters["MP/s"]
        = benchmark::Counter(kMegapixels * double(state.iterations()), benchmark::Counter::kIsRate);
}

void PrintRatios(const std::vector<Entry>& entries)
{
    const auto copy = g_peerSeconds.find("(plain copy)");
    const double io = copy == g_peerSeconds.end() ? 0.0 : copy->second;
    std::printf("\n%-16s %9s %9s %10s %12s  %s\n", "operation", "vtl MP/s", "IM MP/s", "IM/vtl",
        "IM-io/vtl", "how the operations differ");
    for (const Entry& e : entries) {
        auto ours = g_ourSeconds.find(e.name);
        if (ours == g_ourSeconds.end())
            continue;
        auto peer = g_peerSeconds.find(e.name);
        if (peer == g_peerSeconds.end()) {
            std::printf("%-16s %9.1f %9s %10s %12s  %s\n", e.name.c_str(),
                kMegapixels / ours->second, "-", "-", "-",
                e.peerArgs.empty() ? "(no ImageMagick operation of this kind)"
                                   : "(convert not run)");
            continue;
        }
        std::printf("%-16s %9.1f %9.1f %10.2f %12.2f  %s\n", e.name.c_str(),
            kMegapixels / ours->second, kMegapixels / peer->second, peer->second / ours->second,
            std::max(0.0, peer->second - io) / ours->second, e.note.c_str());
    }
    if (io > 0)
        std::printf("(plain `convert in.ppm out.ppm` took %.2f s; IM-io/vtl takes it off "
                    "ImageMagick's time)\n",
            io);
}

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    const std::vector<Entry> entries = Entries();
    const bool havePeer
        = access(kConvert, X_OK) == 0 && std::getenv("VTL_BENCH_NO_PEER") == nullptr;
    if (havePeer) {
        char pattern[] = "/tmp/vtl-filters-bench-XXXXXX";
        if (mkdtemp(pattern))
            g_folder = pattern;
    }
    for (const Entry& e : entries) {
        benchmark::RegisterBenchmark(
            ("vtl/" + e.name).c_str(), [&e](benchmark::State& s) { RunOurs(s, e); })
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond)
            ->Iterations(2);
    }
    if (!g_folder.empty()) {
        WritePpm(TestPicture(), g_folder / "in.ppm");
        benchmark::RegisterBenchmark(
            "imagemagick/(plain copy)", [](benchmark::State& s) { RunPeer(s, {}, "(plain copy)"); })
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond)
            ->Iterations(1);
        for (const Entry& e : entries) {
            if (e.peerArgs.empty())
                continue;
            benchmark::RegisterBenchmark(("imagemagick/" + e.name).c_str(),
                [&e](benchmark::State& s) { RunPeer(s, e.peerArgs, e.name); })
                ->UseManualTime()
                ->Unit(benchmark::kMillisecond)
                ->Iterations(1);
        }
    } else {
        std::printf(
            "ImageMagick's %s is not installed: only our own times are measured.\n", kConvert);
    }
    benchmark::RunSpecifiedBenchmarks();
    PrintRatios(entries);
    benchmark::Shutdown();
    if (!g_folder.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(g_folder, ec);
    }
    return 0;
}
