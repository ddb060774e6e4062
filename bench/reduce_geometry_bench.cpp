// Colour reduction and geometry on a 24-megapixel 24-bit picture (6000 x 4000), in megapixels per
// second, beside ImageMagick's operation of the same kind.
//
// Each of our operations runs on one thread, beside ImageMagick, and again on two threads ("2t");
// a table of the speed-ups follows the ratios.
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

#include "imagemagick_peer.h"

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

} // namespace

int main(int argc, char** argv)
{
    return vtl::bench::RunAgainstImageMagick(
        argc, argv, vtl::bench::OneAndTwoThreads(EntriesFor), TestPicture(), kMegapixels,
        "/tmp/vtl-reduce-bench-XXXXXX", 22, [] {
            const auto& ours = vtl::bench::g_ourSeconds;
            const auto turn = ours.find("rotate 90"), copied = ours.find("copy");
            if (turn != ours.end() && copied != ours.end())
                std::printf(
                    "exact turn by 90 degrees: %.2f x the time of copying the picture's bytes\n",
                    turn->second / copied->second);
            std::printf(
                "(ImageMagick's own policy keeps at most 256 MiB in memory and 512 MiB mapped; "
                "larger results use its disk cache)\n");
            vtl::bench::PrintThreadSpeedUps();
        });
}
