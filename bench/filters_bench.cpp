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

#include "imagemagick_peer.h"

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

constexpr int32_t kWidth = 6000, kHeight = 4000;
constexpr double kMegapixels = kWidth * double(kHeight) / 1e6;

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

using Entry = vtl::bench::PeerEntry;

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

} // namespace

int main(int argc, char** argv)
{
    return vtl::bench::RunAgainstImageMagick(
        argc, argv, Entries(), TestPicture(), kMegapixels, "/tmp/vtl-filters-bench-XXXXXX", 16);
}
