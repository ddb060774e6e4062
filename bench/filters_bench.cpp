// Every processing operation on a 24-megapixel 24-bit picture (6000 x 4000), in megapixels per
// second, beside ImageMagick's operation of the same kind where it has one.
//
// Each of our operations runs on one thread, beside ImageMagick, and again on two threads ("2t");
// a table of the speed-ups follows the ratios.
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
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using namespace vtl::processing;
using vtl::platform::TBitmap;
using vtl::platform::TPixelFormat;

constexpr int32_t kWidth = 6000, kHeight = 4000;
constexpr double kMegapixels = kWidth * double(kHeight) / 1e6;

// The picture both we and ImageMagick work on.
const TBitmap& TestPicture()
{
    static const TBitmap picture = vtl::bench::MakeTestPicture(kWidth, kHeight);
    return picture;
}

using Entry = vtl::bench::PeerEntry;

// Our operations with a given number of threads.
std::vector<Entry> EntriesFor(const ProcessContext& none)
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
        { "userfilter 3x3", [=](TBitmap& p, TBitmap* u) { return filters.Apply(p, u, 0, none); },
            { "-convolve", "0,-1,0,-1,5,-1,0,-1,0" }, "" },
        { "userfilter 5x5", [=](TBitmap& p, TBitmap* u) { return filters.Apply(p, u, 1, none); },
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
    return vtl::bench::RunAgainstImageMagick(argc, argv, vtl::bench::OneAndTwoThreads(EntriesFor),
        TestPicture(), kMegapixels, "/tmp/vtl-filters-bench-XXXXXX", 20,
        vtl::bench::PrintThreadSpeedUps);
}
