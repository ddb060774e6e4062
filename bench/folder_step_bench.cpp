// Stepping with ▶ through a folder of 1600 x 1200 JPEG photos opened from the command line: from
// the button to the document window painted, once with the next picture already decoded ahead
// (the goal is 30 ms) and once cold, decoding at the step as without decoding ahead.

#include "app/ui/main_form.h"
#include "codecs/jpeg_encoder.h"
#include "document/ui/folder_stepping.h"
#include "document/ui/image_view.h"
#include "document/ui/mdi_child.h"

#include <QAction>
#include <QApplication>
#include <QMdiArea>
#include <QThread>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

fs::path g_folder;
constexpr int kPictures = 6;

// Photos of natural look: gradients, texture and edges, each a little different.
void MakeFolder()
{
    g_folder = fs::temp_directory_path() / ("vtl-step-bench-" + std::to_string(getpid()));
    fs::create_directories(g_folder / "home");
    for (int n = 0; n < kPictures; ++n) {
        vtl::platform::TBitmap b(1600, 1200, vtl::platform::TPixelFormat::pf24bit);
        for (int y = 0; y < b.Height(); ++y) {
            uint8_t* row = b.ScanLine(y);
            for (int x = 0; x < b.Width(); ++x) {
                row[3 * x] = uint8_t(128 + 100 * std::sin((x + 97 * n) * 0.004));
                row[3 * x + 1] = uint8_t((y / 3) ^ ((x + n * 31) / 50));
                row[3 * x + 2] = uint8_t(((x * 7 + y * 13) & 63) + (x > 800 ? 150 : 20));
            }
        }
        const auto bytes = vtl::codecs::EncodeJpeg(b, 90);
        std::ofstream(g_folder / ("photo" + std::to_string(n) + ".jpg"), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
}

// Notes that the picture control has been painted.
class PaintWatch : public QObject {
public:
    bool painted = false;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            painted = true;
        return false;
    }
};

vtl::document::ui::TMDIChild* Active(vtl::app::ui::TMainForm& form)
{
    return dynamic_cast<vtl::document::ui::TMDIChild*>(form.MdiArea()->activeSubWindow());
}

// From ▶ to the paint of the new picture, in seconds.
double Step(vtl::app::ui::TMainForm& form, vtl::document::ui::TMDIChild& doc)
{
    PaintWatch watch;
    doc.Image1()->installEventFilter(&watch);
    const auto t0 = Clock::now();
    form.Item(QStringLiteral("RightBtn"))->trigger();
    while (!watch.painted)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    const auto t1 = Clock::now();
    doc.Image1()->removeEventFilter(&watch);
    return std::chrono::duration<double>(t1 - t0).count();
}

// Lets the decodes ahead of the current picture finish.
void WaitForNeighbours(vtl::document::ui::TMDIChild& doc)
{
    const auto& ahead = doc.FolderStepper()->Ahead();
    for (int i = 0; i < 2000; ++i) {
        QCoreApplication::processEvents();
        bool ready = true;
        for (const fs::path& file : ahead.Files())
            ready = ready && ahead.Ready(file);
        if (ready && !ahead.Files().empty())
            return;
        QThread::msleep(2);
    }
}

// Both kinds of step in one run, alternating, so that the machine's load weighs on both alike.
void BM_StepWarmVersusCold(benchmark::State& state)
{
    vtl::app::ui::TMainForm form(
        { QString::fromStdString((g_folder / "photo0.jpg").string()) });
    form.resize(1200, 900);
    form.show();
    while (!Active(form))
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    auto& doc = *Active(form);
    double warm = 0, cold = 0;
    int warmFromAhead = 0;
    for (auto _ : state) {
        qputenv("VTL_DECODE_AHEAD", "1");
        doc.FolderStepper()->DecodeAhead();
        WaitForNeighbours(doc);
        const int before = doc.FolderStepper()->StepsFromAhead();
        warm += Step(form, doc);
        warmFromAhead += doc.FolderStepper()->StepsFromAhead() - before;

        qputenv("VTL_DECODE_AHEAD", "0");
        doc.FolderStepper()->DecodeAhead(); // drops what was decoded ahead
        cold += Step(form, doc);
    }
    const double n = double(state.iterations());
    state.counters["warm_step_ms"] = 1000 * warm / n;
    state.counters["cold_step_ms"] = 1000 * cold / n;
    state.counters["warm_from_ahead"] = warmFromAhead / n;
}

}

BENCHMARK(BM_StepWarmVersusCold)->Unit(benchmark::kMillisecond)->Iterations(10);

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    MakeFolder();
    // The settings and plug-in list of a fresh user, not the person's who runs it.
    qputenv("VTL_HOME", QByteArray::fromStdString((g_folder / "home").string()));
    qputenv("VTL_REGISTRY_DIR", QByteArray::fromStdString((g_folder / "home").string()));
    int status = 0;
    {
        QApplication app(argc, argv);
        benchmark::Initialize(&argc, argv);
        benchmark::RunSpecifiedBenchmarks();
    }
    std::error_code ec;
    fs::remove_all(g_folder, ec);
    return status;
}
