// Opening a 24-megapixel JPEG into a document window until it is painted, against decoding it
// alone; and the memory one open document holds, against its pixel bytes.

#include "app/ui/main_form.h"
#include "codecs/jpeg_decoder.h"
#include "codecs/jpeg_encoder.h"
#include "document/ui/mdi_child.h"

#include <QApplication>
#include <QMdiArea>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace {

std::filesystem::path g_jpeg;

// A natural-looking picture: smooth gradients, some texture and edges.
void MakePicture()
{
    g_jpeg = std::filesystem::temp_directory_path() / ("vtl-open-bench-" + std::to_string(getpid()) + ".jpg");
    vtl::platform::TBitmap b(6000, 4000, vtl::platform::TPixelFormat::pf24bit);
    for (int y = 0; y < b.Height(); ++y) {
        uint8_t* row = b.ScanLine(y);
        for (int x = 0; x < b.Width(); ++x) {
            row[3 * x] = uint8_t(128 + 100 * std::sin(x * 0.002));
            row[3 * x + 1] = uint8_t((y / 3) ^ (x / 200));
            row[3 * x + 2] = uint8_t(((x * 7 + y * 13) & 63) + (x > 3000 ? 150 : 20));
        }
    }
    auto bytes = vtl::codecs::EncodeJpeg(b, 90);
    std::ofstream(g_jpeg, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

long ResidentBytes()
{
    long pages = 0, resident = 0;
    std::ifstream("/proc/self/statm") >> pages >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

// Both in one run, alternating, so that the machine's load weighs on both alike.
void BM_OpenVersusDecode(benchmark::State& state)
{
    using Clock = std::chrono::steady_clock;
    vtl::app::ui::TMainForm form({});
    form.resize(1200, 900);
    form.show();
    double decodeSeconds = 0;
    double openSeconds = 0;
    for (auto _ : state) {
        auto t0 = Clock::now();
        {
            vtl::platform::TBitmap bitmap;
            vtl::codecs::DecodeJpegFile(g_jpeg, bitmap);
            benchmark::DoNotOptimize(bitmap.Bits().data());
        }
        auto t1 = Clock::now();
        auto* window = form.OpenFile(QString::fromStdString(g_jpeg.string()), 3);
        window->repaint();
        QCoreApplication::processEvents();
        auto t2 = Clock::now();
        decodeSeconds += std::chrono::duration<double>(t1 - t0).count();
        openSeconds += std::chrono::duration<double>(t2 - t1).count();
        state.PauseTiming();
        window->close();
        delete window;
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
    const double n = double(state.iterations());
    state.counters["decode_ms"] = 1000 * decodeSeconds / n;
    state.counters["open_painted_ms"] = 1000 * openSeconds / n;
    state.counters["open/decode"] = openSeconds / decodeSeconds;
}

void BM_MemoryOfOneDocument(benchmark::State& state)
{
    vtl::app::ui::TMainForm form({});
    form.show();
    double ratio = 0;
    double afterEdit = 0;
    for (auto _ : state) {
        const long before = ResidentBytes();
        auto* window = dynamic_cast<vtl::document::ui::TMDIChild*>(form.OpenFile(QString::fromStdString(g_jpeg.string()), 3));
        QCoreApplication::processEvents();
        const double pixels = double(window->Picture().Bits().size());
        ratio = double(ResidentBytes() - before) / pixels;
        // One edit keeps the picture before it for undo.
        window->ApplyOperation([](vtl::platform::TBitmap& picture, vtl::platform::TBitmap* undo) {
            *undo = picture;
            return true;
        });
        afterEdit = double(ResidentBytes() - before) / pixels;
        window->close();
        delete window;
        QCoreApplication::processEvents();
    }
    state.counters["held/pixels"] = ratio;
    state.counters["after_edit/pixels"] = afterEdit;
}

}

BENCHMARK(BM_OpenVersusDecode)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_MemoryOfOneDocument)->Iterations(1);

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    MakePicture();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    std::filesystem::remove(g_jpeg);
    return 0;
}
