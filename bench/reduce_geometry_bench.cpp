// Colour reduction and geometry on a 24-megapixel 24-bit picture (6000 x 4000), in megapixels per
// second, beside ImageMagick's operation of the same kind.
//
// Our time is the whole operation as a document runs it: work buffer, pixel loops, the undo copy
// and the replacement of the picture (not the copy of the test picture made before each run).
// ImageMagick's time is one `/usr/bin/convert in.ppm <op> out.ppm` process, start to exit: it
// includes starting the program, reading the 72 MB input and writing the output (in the temporary
// folder), and its own threads. A plain `convert in.ppm out.ppm` is timed too, and the ratio is
// printed both for the whole process and with that plain copy's time taken off.
//
// Debian's ImageMagick policy caps its pixel cache at 256 MiB of memory and 512 MiB of mapped
// files; pictures beyond that (the 30-degree turn, and above all the 150 % enlargement with its
// intermediate picture) go to its disk cache, which its times then include.
//
// The exact turn is also set beside a plain copy of the picture's bytes ("copy"), which is what
// "memory speed" means for it.

#include "processing/geometry.h"
#include "processing/reduce16.h"
#include "processing/reduce256.h"
#include "processing/rotate.h"

#include <benchmark/benchmark.h>

#include <algorithm>
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

// Smooth shapes with some grain, as photos have: many colours, most of them close together.
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
    const ProcessContext none;
    return {
        { "256 dither",
            [=](TBitmap& p, TBitmap* u) {
                return Reduce256(p, u, D256Palette::Dynamic, true, nullptr, none);
            },
            { "-dither", "FloydSteinberg", "-colors", "256" },
            "variance split + serpentine F-S vs octree + F-S" },
        { "256 plain",
            [=](TBitmap& p, TBitmap* u) {
                return Reduce256(p, u, D256Palette::Dynamic, false, nullptr, none);
            },
            { "+dither", "-colors", "256" }, "image buffer's High quantiser vs octree" },
        { "256 split nodith",
            [=](TBitmap& p, TBitmap* u) { return Reduce256Colours(p, u, nullptr, false, none); },
            { "+dither", "-colors", "256" }, "split of all pixels + nearest entry" },
        { "16 dither",
            [=](TBitmap& p, TBitmap* u) {
                return Reduce16(p, u, D16Method::Dynamic1, true, nullptr, none);
            },
            { "-dither", "FloydSteinberg", "-colors", "16" },
            "Low quantiser to 256, split of the palette, F-S" },
        { "16 plain",
            [=](TBitmap& p, TBitmap* u) {
                return Reduce16(p, u, D16Method::Dynamic1, false, nullptr, none);
            },
            { "+dither", "-colors", "16" }, "" },
        { "copy",
            [](TBitmap& p, TBitmap*) {
                TBitmap copy(p);
                benchmark::DoNotOptimize(copy.ScanLine(0));
                return true;
            },
            {}, "the picture's bytes copied once" },
        { "rotate 90", [=](TBitmap& p, TBitmap* u) { return RotateRight(p, u, none); },
            { "-rotate", "90" }, "" },
        { "rotate 30", [=](TBitmap& p, TBitmap* u) { return RotateByAngle(p, u, -30.0, none); },
            { "-background", "black", "-rotate", "30" }, "bilinear vs three shears" },
        { "halve",
            [=](TBitmap& p, TBitmap* u) { return Resize(p, u, kWidth / 2, kHeight / 2, none); },
            { "-resize", "50%" }, "area average vs Lanczos" },
        { "enlarge 150%",
            [=](TBitmap& p, TBitmap* u) {
                return Resize(p, u, kWidth * 3 / 2, kHeight * 3 / 2, none);
            },
            { "-resize", "150%" }, "bilinear vs Mitchell" },
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
    std::printf("\n%-18s %9s %9s %10s %12s  %s\n", "operation", "vtl MP/s", "IM MP/s", "IM/vtl",
        "IM-io/vtl", "how the operations differ");
    for (const Entry& e : entries) {
        auto ours = g_ourSeconds.find(e.name);
        if (ours == g_ourSeconds.end())
            continue;
        auto peer = g_peerSeconds.find(e.name);
        if (peer == g_peerSeconds.end()) {
            std::printf("%-18s %9.1f %9s %10s %12s  %s\n", e.name.c_str(),
                kMegapixels / ours->second, "-", "-", "-",
                e.peerArgs.empty() ? "(no ImageMagick operation of this kind)"
                                   : "(convert not run)");
            continue;
        }
        std::printf("%-18s %9.1f %9.1f %10.2f %12.2f  %s\n", e.name.c_str(),
            kMegapixels / ours->second, kMegapixels / peer->second, peer->second / ours->second,
            std::max(0.0, peer->second - io) / ours->second, e.note.c_str());
    }
    const auto turn = g_ourSeconds.find("rotate 90"), copied = g_ourSeconds.find("copy");
    if (turn != g_ourSeconds.end() && copied != g_ourSeconds.end())
        std::printf("exact turn by 90 degrees: %.2f x the time of copying the picture's bytes\n",
            turn->second / copied->second);
    std::printf("(ImageMagick's own policy keeps at most 256 MiB in memory and 512 MiB mapped; "
                "larger results use its disk cache)\n");
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
        char pattern[] = "/tmp/vtl-reduce-bench-XXXXXX";
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
