// A 24-megapixel and a 400-megapixel picture shown in a document window: the peak memory of making
// the picture, showing it and painting it at every zoom, against the picture's own bytes and a
// screen's bytes; the time to the first paint against decoding the same picture from a BMP file;
// the time to render an exposed 1920 x 1080 part of the display; and the time to paint the window.

#include "app/ui/main_form.h"
#include "document/ui/image_view.h"
#include "document/ui/mdi_child.h"
#include "input/ui/loading_pipeline.h"

#include <QApplication>
#include <QMdiArea>
#include <benchmark/benchmark.h>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
using vtl::document::ui::TMDIChild;
using vtl::platform::TBitmap;

// The window the picture is painted in stands for the screen: 1920 x 1080 at 32 bits.
constexpr int kScreenWidth = 1920, kScreenHeight = 1080;
constexpr double kScreenBytes = double(kScreenWidth) * kScreenHeight * 4;

long StatusKiB(const char* field)
{
    std::ifstream status("/proc/self/status");
    const std::string key = std::string(field) + ":";
    for (std::string line; std::getline(status, line);)
        if (line.starts_with(key))
            return std::stol(line.substr(key.size()));
    return -1;
}

// Starts a new peak at the present use (Linux 4.0 and later).
bool ResetPeak() { return bool(std::ofstream("/proc/self/clear_refs") << "5\n"); }

double Seconds(Clock::time_point from)
{
    return std::chrono::duration<double>(Clock::now() - from).count();
}

// A picture with some texture, every page of it written.
TBitmap MakePicture(int width, int height)
{
    TBitmap b = TBitmap::ForWriting(width, height, vtl::platform::TPixelFormat::pf24bit);
    for (int y = 0; y < height; ++y) {
        uint8_t* row = b.ScanLine(y);
        for (int x = 0; x < width; ++x) {
            row[3 * x] = uint8_t(x ^ y);
            row[3 * x + 1] = uint8_t(y / 7);
            row[3 * x + 2] = uint8_t(x / 5 + y / 3);
        }
    }
    return b;
}

void Paint(TMDIChild& doc)
{
    doc.Image1()->repaint();
    QCoreApplication::processEvents();
}

void BM_ShowHugePicture(benchmark::State& state)
{
    const int width = int(state.range(0)), height = int(state.range(1));
    vtl::app::ui::TMainForm form({});
    form.resize(kScreenWidth, kScreenHeight);
    form.show();
    QCoreApplication::processEvents();

    // Decoding: the picture written as a BMP file once, then read back.
    const std::filesystem::path file = std::filesystem::temp_directory_path()
        / ("vtl-huge-bench-" + std::to_string(getpid()) + ".bmp");
    double decodeSeconds = 0;
    {
        MakePicture(width, height).SaveToFile(file);
        const auto t = Clock::now();
        TBitmap decoded;
        decoded.LoadFromFile(file);
        decodeSeconds = Seconds(t);
        benchmark::DoNotOptimize(decoded.Bits().data());
    }
    std::filesystem::remove(file);

    for (auto _ : state) {
        const long before = StatusKiB("VmRSS");
        const bool peakKnown = ResetPeak();
        TBitmap picture = MakePicture(width, height);
        const double pictureBytes = double(picture.Bits().size());
        const auto t = Clock::now();
        auto* doc = dynamic_cast<TMDIChild*>(vtl::input::ui::NewDocument(
            form, std::move(picture), "huge", "huge", 3, TMDIChild::Origin::Buffer));
        Paint(*doc);
        const double firstPaint = Seconds(t);
        double zoomPaint = 0;
        for (int zoom : { 7, 6, 5, 4, 2, 1, 0, 3 }) {
            const auto z = Clock::now();
            doc->ZoomClick(zoom);
            Paint(*doc);
            zoomPaint = std::max(zoomPaint, Seconds(z));
        }
        const double peakBytes = peakKnown ? 1024.0 * double(StatusKiB("VmHWM") - before) : 0;
        state.counters["picture_MB"] = pictureBytes / 1e6;
        state.counters["peak_MB"] = peakBytes / 1e6;
        state.counters["goal_MB"] = (pictureBytes + 1.5 * kScreenBytes) * 1.1 / 1e6;
        state.counters["peak/goal"] = peakBytes / ((pictureBytes + 1.5 * kScreenBytes) * 1.1);
        state.counters["decode_ms"] = decodeSeconds * 1000;
        state.counters["first_paint_ms"] = firstPaint * 1000;
        state.counters["paint/decode"] = firstPaint / decodeSeconds;
        state.counters["slowest_zoom_ms"] = zoomPaint * 1000;
        state.PauseTiming();
        delete doc; // changed (a new picture) and not to be saved: no question
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
}

// An exposed screenful rendered from the picture, at 100 % (rows copied), 800 % and 25 %.
void BM_RenderScreenful(benchmark::State& state)
{
    const int zoom = int(state.range(0));
    vtl::app::ui::TMainForm form({});
    form.show();
    auto* doc = dynamic_cast<TMDIChild*>(vtl::input::ui::NewDocument(
        form, MakePicture(6000, 4000), "photo", "photo", zoom, TMDIChild::Origin::File));
    const QRect region(321, 123, kScreenWidth, kScreenHeight);
    int64_t bytes = 0;
    for (auto _ : state) {
        TBitmap shown = doc->RenderDisplay(region);
        bytes += int64_t(shown.Bits().size());
        benchmark::DoNotOptimize(shown.Bits().data());
    }
    state.SetBytesProcessed(bytes);
    delete doc;
}

// The window painted whole, as when it is uncovered: the visible part of the display, tile by tile.
void BM_PaintWindow(benchmark::State& state)
{
    const int zoom = int(state.range(0));
    vtl::app::ui::TMainForm form({});
    form.resize(kScreenWidth, kScreenHeight);
    form.show();
    auto* doc = dynamic_cast<TMDIChild*>(vtl::input::ui::NewDocument(
        form, MakePicture(6000, 4000), "photo", "photo", zoom, TMDIChild::Origin::File));
    doc->showMaximized();
    QCoreApplication::processEvents();
    for (auto _ : state)
        doc->Image1()->repaint();
    const QSize visible = doc->Image1()->visibleRegion().boundingRect().size();
    state.counters["visible_px"] = double(visible.width()) * visible.height();
    delete doc;
}

}

BENCHMARK(BM_ShowHugePicture)
    ->Args({ 6000, 4000 })
    ->Args({ 20000, 20000 })
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK(BM_RenderScreenful)->Arg(3)->Arg(7)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PaintWindow)->Arg(3)->Arg(7)->Arg(0)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
