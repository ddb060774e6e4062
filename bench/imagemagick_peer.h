#pragma once
// The harness shared by the benchmarks that race ImageMagick: our operation timed in the process,
// the peer timed as one whole `convert in.ppm <operation> out.ppm` process (start-up and the file
// reading and writing included; a plain convert's time is printed so it can be taken off), and a
// table of megapixels per second and ratios.

#include "platform/bitmap.h"
#include "processing/processing_frame.h"

#include <algorithm>
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

namespace vtl::bench {

using platform::TBitmap;
using Clock = std::chrono::steady_clock;

inline const char* const kConvert = "/usr/bin/convert";

// Smooth shapes with some grain, as photos have: windows hold both repeats and differences, and
// there are many colours, most of them close together.
inline TBitmap MakeTestPicture(int32_t width, int32_t height)
{
    TBitmap p(width, height, platform::TPixelFormat::pf24bit);
    std::mt19937 random(1);
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* row = p.ScanLine(y);
        for (int32_t x = 0; x < width; ++x) {
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
}

struct PeerEntry {
    std::string name;
    std::function<bool(TBitmap&, TBitmap*)> run;
    std::vector<std::string> peerArgs; // empty: ImageMagick has no operation of this kind
    std::string note;
};

inline std::map<std::string, double> g_ourSeconds; // best run of each operation
inline std::map<std::string, double> g_peerSeconds;

// Each operation on one thread, beside ImageMagick, and again on two threads (suffix " 2t").
inline std::vector<PeerEntry> OneAndTwoThreads(
    const std::function<std::vector<PeerEntry>(const processing::ProcessContext&)>& entriesFor)
{
    processing::ProcessContext one, two;
    one.threads = 1;
    two.threads = 2;
    std::vector<PeerEntry> entries = entriesFor(one);
    for (PeerEntry e : entriesFor(two)) {
        if (e.name == "copy")
            continue;
        e.name += " 2t";
        e.peerArgs.clear();
        e.note = "two threads";
        entries.push_back(std::move(e));
    }
    return entries;
}

// The speed-up of two threads over one for every operation measured both ways.
inline void PrintThreadSpeedUps()
{
    std::printf("\n%-18s %9s %9s %8s\n", "operation", "1t (ms)", "2t (ms)", "speed-up");
    for (const auto& [name, seconds] : g_ourSeconds) {
        const auto two = g_ourSeconds.find(name + " 2t");
        if (two == g_ourSeconds.end())
            continue;
        std::printf("%-18s %9.1f %9.1f %8.2f\n", name.c_str(), seconds * 1e3, two->second * 1e3,
            seconds / two->second);
    }
}

inline void RunOurs(
    benchmark::State& state, const PeerEntry& entry, const TBitmap& source, double megapixels)
{
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
        = benchmark::Counter(megapixels * double(state.iterations()), benchmark::Counter::kIsRate);
}

// ---- The peer ----

inline std::filesystem::path g_folder;

inline void WritePpm(const TBitmap& picture, const std::filesystem::path& path)
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
inline double TimeConvert(const std::vector<std::string>& args)
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

inline void RunPeer(benchmark::State& state, const std::vector<std::string>& args,
    const std::string& key, double megapixels)
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
        = benchmark::Counter(megapixels * double(state.iterations()), benchmark::Counter::kIsRate);
}

inline void PrintRatios(const std::vector<PeerEntry>& entries, double megapixels, int nameWidth)
{
    const auto copy = g_peerSeconds.find("(plain copy)");
    const double io = copy == g_peerSeconds.end() ? 0.0 : copy->second;
    std::printf("\n%-*s %9s %9s %10s %12s  %s\n", nameWidth, "operation", "vtl MP/s", "IM MP/s",
        "IM/vtl", "IM-io/vtl", "how the operations differ");
    for (const PeerEntry& e : entries) {
        auto ours = g_ourSeconds.find(e.name);
        if (ours == g_ourSeconds.end())
            continue;
        auto peer = g_peerSeconds.find(e.name);
        if (peer == g_peerSeconds.end()) {
            std::printf("%-*s %9.1f %9s %10s %12s  %s\n", nameWidth, e.name.c_str(),
                megapixels / ours->second, "-", "-", "-",
                e.peerArgs.empty() ? "(no ImageMagick operation of this kind)"
                                   : "(convert not run)");
            continue;
        }
        std::printf("%-*s %9.1f %9.1f %10.2f %12.2f  %s\n", nameWidth, e.name.c_str(),
            megapixels / ours->second, megapixels / peer->second, peer->second / ours->second,
            std::max(0.0, peer->second - io) / ours->second, e.note.c_str());
    }
    if (io > 0)
        std::printf("(plain `convert in.ppm out.ppm` took %.2f s; IM-io/vtl takes it off "
                    "ImageMagick's time)\n",
            io);
}

// Registers our runs of every entry and, with ImageMagick installed (and VTL_BENCH_NO_PEER unset),
// the peer's; runs them; prints the table (then `extra`) and cleans up.
inline int RunAgainstImageMagick(int argc, char** argv, const std::vector<PeerEntry>& entries,
    const TBitmap& picture, double megapixels, const char* folderPattern, int nameWidth,
    const std::function<void()>& extra = {})
{
    benchmark::Initialize(&argc, argv);
    if (access(kConvert, X_OK) == 0 && std::getenv("VTL_BENCH_NO_PEER") == nullptr) {
        std::string pattern = folderPattern;
        if (mkdtemp(pattern.data()))
            g_folder = pattern;
    }
    for (const PeerEntry& e : entries)
        benchmark::RegisterBenchmark(("vtl/" + e.name).c_str(),
            [&e, &picture, megapixels](benchmark::State& s) { RunOurs(s, e, picture, megapixels); })
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond)
            ->Iterations(2);
    if (!g_folder.empty()) {
        WritePpm(picture, g_folder / "in.ppm");
        benchmark::RegisterBenchmark("imagemagick/(plain copy)",
            [megapixels](benchmark::State& s) { RunPeer(s, {}, "(plain copy)", megapixels); })
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond)
            ->Iterations(1);
        for (const PeerEntry& e : entries) {
            if (e.peerArgs.empty())
                continue;
            benchmark::RegisterBenchmark(("imagemagick/" + e.name).c_str(),
                [&e, megapixels](
                    benchmark::State& s) { RunPeer(s, e.peerArgs, e.name, megapixels); })
                ->UseManualTime()
                ->Unit(benchmark::kMillisecond)
                ->Iterations(1);
        }
    } else {
        std::printf(
            "ImageMagick's %s is not installed: only our own times are measured.\n", kConvert);
    }
    benchmark::RunSpecifiedBenchmarks();
    PrintRatios(entries, megapixels, nameWidth);
    if (extra)
        extra();
    benchmark::Shutdown();
    if (!g_folder.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(g_folder, ec);
    }
    return 0;
}

} // namespace vtl::bench
