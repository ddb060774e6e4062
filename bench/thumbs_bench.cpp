// Thumbnails of a folder of 200 JPEG photographs of 1600 x 1200: the refresh with no cache (cold)
// and with a fresh cache (warm) at every thumbnail size, saving the cache, and vipsthumbnail on
// the same folder at 128 x 96 when it is installed. At the end the ratios are printed: cold at
// 128 x 96 against vipsthumbnail (aim: at most 1) and warm against cold (aim: at most 1/50).
//
// The pictures are made once with libjpeg: smooth shading, texture at several scales and shapes
// with hard edges, so that they decode like photographs rather than flat colour.

#include "browse/folder_thumbs.h"
#include "browse/thumb_cache.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace vtl;

namespace {

constexpr int kPictures = 200;
constexpr int kWidth = 1600;
constexpr int kHeight = 1200;

// Value noise: a random grid of `cell` pixels, interpolated.
class Noise {
public:
    Noise(std::mt19937& random, int cell)
        : m_cell(cell)
        , m_columns(kWidth / cell + 2)
    {
        m_grid.resize(size_t(m_columns) * size_t(kHeight / cell + 2));
        for (float& v : m_grid)
            v = float(random() % 1000) / 1000.0f;
    }
    float At(int x, int y) const
    {
        int gx = x / m_cell, gy = y / m_cell;
        float fx = float(x % m_cell) / float(m_cell), fy = float(y % m_cell) / float(m_cell);
        auto g
            = [&](int cx, int cy) { return m_grid[size_t(cy) * size_t(m_columns) + size_t(cx)]; };
        float top = g(gx, gy) + (g(gx + 1, gy) - g(gx, gy)) * fx;
        float bottom = g(gx, gy + 1) + (g(gx + 1, gy + 1) - g(gx, gy + 1)) * fx;
        return top + (bottom - top) * fy;
    }

private:
    int m_cell;
    int m_columns;
    std::vector<float> m_grid;
};

void WritePhotograph(const fs::path& path, unsigned seed)
{
    std::mt19937 random(seed);
    Noise coarse(random, 200), middle(random, 40), fine(random, 6);
    struct Shape {
        float cx, cy, rx, ry;
        uint8_t r, g, b;
    };
    std::vector<Shape> shapes;
    for (int i = 0; i < 6; ++i)
        shapes.push_back({ float(random() % kWidth), float(random() % kHeight),
            float(60 + random() % 300), float(60 + random() % 300), uint8_t(random()),
            uint8_t(random()), uint8_t(random()) });
    const float tint[3] = { float(random() % 100) / 100.0f, float(random() % 100) / 100.0f,
        float(random() % 100) / 100.0f };

    std::vector<uint8_t> row(size_t(kWidth) * 3);
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        std::abort();
    jpeg_compress_struct cinfo {};
    jpeg_error_mgr jerr {};
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, file);
    cinfo.image_width = kWidth;
    cinfo.image_height = kHeight;
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 90, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            float light = 0.55f * coarse.At(x, y) + 0.3f * middle.At(x, y) + 0.15f * fine.At(x, y);
            float rgb[3];
            for (int c = 0; c < 3; ++c)
                rgb[c] = 255.0f * light * (0.5f + 0.5f * tint[c]) + float(y) * 0.03f;
            for (const Shape& s : shapes) {
                float dx = (float(x) - s.cx) / s.rx, dy = (float(y) - s.cy) / s.ry;
                if (dx * dx + dy * dy < 1.0f) {
                    float shade = 0.7f + 0.3f * fine.At(x, y);
                    rgb[0] = float(s.r) * shade;
                    rgb[1] = float(s.g) * shade;
                    rgb[2] = float(s.b) * shade;
                }
            }
            for (int c = 0; c < 3; ++c)
                row[size_t(x) * 3 + size_t(c)] = uint8_t(std::clamp(rgb[c], 0.0f, 255.0f));
        }
        JSAMPROW rows[1] = { row.data() };
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::fclose(file);
}

// The folder of photographs, made on first use and kept for later runs of the benchmark.
const fs::path& PhotoFolder()
{
    static const fs::path folder = [] {
        fs::path dir
            = fs::temp_directory_path() / ("vtl-thumbs-bench-1-" + std::to_string(getuid()));
        fs::path done = dir / ".complete";
        if (!fs::exists(done)) {
            fs::remove_all(dir);
            fs::create_directories(dir);
            std::fprintf(stderr, "making %d photographs in %s ...\n", kPictures, dir.c_str());
            for (int i = 0; i < kPictures; ++i) {
                char name[32];
                std::snprintf(name, sizeof name, "img_%04d.jpg", i + 1);
                WritePhotograph(dir / name, unsigned(i) * 7919u + 17u);
            }
            std::FILE* f = std::fopen(done.c_str(), "w");
            if (f)
                std::fclose(f);
        }
        return dir;
    }();
    return folder;
}

void RemoveCache() { fs::remove(PhotoFolder() / browse::kFolderCacheName); }

void ColdRefresh(benchmark::State& state)
{
    const browse::ThumbSize size = browse::ThumbSizeOfIndex(int(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        RemoveCache();
        browse::FolderThumbnails thumbs(size);
        state.ResumeTiming();
        thumbs.SelectFolder(PhotoFolder());
        if (thumbs.Count() != kPictures)
            state.SkipWithError("not every picture became a thumbnail");
    }
    state.counters["pictures/s"]
        = benchmark::Counter(kPictures, benchmark::Counter::kIsIterationInvariantRate);
}

void WarmRefresh(benchmark::State& state)
{
    const browse::ThumbSize size = browse::ThumbSizeOfIndex(int(state.range(0)));
    RemoveCache();
    {
        browse::FolderThumbnails thumbs(size);
        thumbs.SelectFolder(PhotoFolder());
        thumbs.SaveCache(true);
    }
    for (auto _ : state) {
        browse::FolderThumbnails thumbs(size);
        thumbs.SelectFolder(PhotoFolder());
        if (thumbs.Count() != kPictures || thumbs.Modified())
            state.SkipWithError("the cache was not used");
    }
    RemoveCache();
    state.counters["pictures/s"]
        = benchmark::Counter(kPictures, benchmark::Counter::kIsIterationInvariantRate);
}

void SaveCache(benchmark::State& state)
{
    const browse::ThumbSize size = browse::ThumbSizeOfIndex(int(state.range(0)));
    RemoveCache();
    browse::FolderThumbnails thumbs(size);
    thumbs.SelectFolder(PhotoFolder());
    std::vector<std::string> lines { browse::kFolderMarker };
    lines.insert(lines.end(), thumbs.Names().begin(), thumbs.Names().end());
    for (auto _ : state)
        browse::SaveThumbCache(PhotoFolder() / browse::kFolderCacheName, lines, thumbs.Store());
    RemoveCache();
}

void VipsThumbnail(benchmark::State& state)
{
    if (std::system("command -v vipsthumbnail > /dev/null 2>&1") != 0) {
        state.SkipWithError("vipsthumbnail is not installed");
        return;
    }
    fs::path out
        = fs::temp_directory_path() / ("vtl-thumbs-bench-vips-" + std::to_string(getpid()));
    fs::create_directories(out);
    const std::string command = "vipsthumbnail -s 128x96 -o '" + out.string() + "/%s.jpg' '"
        + PhotoFolder().string() + "'/*.jpg";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0)
            state.SkipWithError("vipsthumbnail failed");
    }
    fs::remove_all(out);
    state.counters["pictures/s"]
        = benchmark::Counter(kPictures, benchmark::Counter::kIsIterationInvariantRate);
}

BENCHMARK(ColdRefresh)
    ->DenseRange(0, 4)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);
BENCHMARK(WarmRefresh)->DenseRange(0, 4)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(SaveCache)->Arg(0)->Arg(4)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(VipsThumbnail)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// Keeps each run's real time so that the ratios can be printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs)
            if (!run.error_occurred && run.run_type == Run::RT_Iteration)
                times[run.benchmark_name()] = run.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;
};

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    PhotoFolder();
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto time = [&](const std::string& name) -> double {
        auto it = reporter.times.find(name);
        return it == reporter.times.end() ? 0.0 : it->second;
    };
    for (int size = 0; size < 5; ++size) {
        double cold = time("ColdRefresh/" + std::to_string(size) + "/iterations:3/real_time");
        double warm = time("WarmRefresh/" + std::to_string(size) + "/real_time");
        if (cold > 0 && warm > 0)
            std::printf("size %d: cold / warm = %.1f (target at least 50)\n", size, cold / warm);
    }
    double cold128 = time("ColdRefresh/4/iterations:3/real_time");
    double vips = time("VipsThumbnail/iterations:3/real_time");
    if (cold128 > 0 && vips > 0)
        std::printf(
            "128 x 96: vtl cold / vipsthumbnail = %.2f (target at most 1)\n", cold128 / vips);
    benchmark::Shutdown();
    return 0;
}
