// PNG decoding and encoding beside libpng on the same pictures. Decoding reads one file (written by
// libpng with its default filters) with both; encoding writes the same bitmap with both at the
// same zlib level, libpng with filter None on every row as the program's writer does. After the
// runs, the ratio of each pair is printed (program CPU time / libpng CPU time; below 1 is faster).
// CPU time rather than wall time, since the machines these run on are shared.
//
// The decoder's floor is zlib's inflate: a 6000 x 4000 photograph-like picture at zlib level 7
// with adaptive filters is decoded on one thread and on two, and its image data inflated alone;
// the ratios decode / inflate are printed in wall time (two threads share the work, so their CPU
// time says nothing about waiting). VTL_BENCH_PNG=FILE decodes that file instead of the made one
// (for example one made by ImageMagick: convert -size 6000x4000 plasma:fractal -blur 0x3
// -define png:compression-level=7 -define png:compression-filter=5 x.png).
#include "codecs/png_format.h"
#include "codecs/png_image.h"
#include "platform/bitmap.h"
#include "platform/stream.h"

#include <benchmark/benchmark.h>

#ifdef VTL_HAVE_LIBPNG
#include <png.h>
#endif

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

using vtl::platform::TBitmap;
using vtl::platform::TPixelFormat;

struct Picture {
    std::string name;
    TBitmap bitmap;
    std::vector<uint8_t> file; // the same picture as libpng writes it
};

// A photograph-like picture: smooth gradients with some noise, so that it compresses as real
// pictures do rather than to nothing.
TBitmap MakePicture(TPixelFormat format, int32_t width, int32_t height)
{
    std::mt19937 rng(42);
    TBitmap bitmap(width, height, format);
    if (format == TPixelFormat::pf8bit) {
        std::vector<vtl::platform::PaletteEntry> palette(256);
        for (int i = 0; i < 256; ++i)
            palette[i] = { uint8_t(i), uint8_t(255 - i), uint8_t(i / 2 + 64), 0 };
        bitmap.SetPalette(palette);
    }
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* row = bitmap.ScanLine(y);
        for (int32_t x = 0; x < width; ++x) {
            double v
                = 128 + 60 * std::sin(x * 0.013 + y * 0.007) + 40 * std::cos(y * 0.021 - x * 0.004);
            auto noise = [&] { return int(rng() % 9) - 4; };
            if (format == TPixelFormat::pf8bit) {
                row[x] = uint8_t(std::clamp(int(v) + noise(), 0, 255));
            } else {
                row[3 * x] = uint8_t(std::clamp(int(v) + noise(), 0, 255));
                row[3 * x + 1] = uint8_t(std::clamp(int(255 - v) + noise(), 0, 255));
                row[3 * x + 2] = uint8_t(std::clamp(int(v * 0.7 + 30) + noise(), 0, 255));
            }
        }
    }
    return bitmap;
}

#ifdef VTL_HAVE_LIBPNG
// libpng writing the bitmap: RGB or palette rows, at `level`, with its adaptive choice among all
// filters or with none.
std::vector<uint8_t> LibpngEncode(const TBitmap& bitmap, int level, bool filterNone)
{
    std::vector<uint8_t> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    std::vector<uint8_t> row(size_t(bitmap.Width()) * 3);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return {};
    }
    png_set_write_fn(
        png, &out,
        [](png_structp p, png_bytep data, png_size_t n) {
            auto* v = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(p));
            v->insert(v->end(), data, data + n);
        },
        nullptr);
    bool palette = bitmap.PixelFormat() == TPixelFormat::pf8bit;
    png_set_IHDR(png, info, png_uint_32(bitmap.Width()), png_uint_32(bitmap.Height()), 8,
        palette ? PNG_COLOR_TYPE_PALETTE : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
        PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    std::vector<png_color> colours;
    if (palette) {
        for (const auto& e : bitmap.PaletteEntries())
            colours.push_back({ e.peRed, e.peGreen, e.peBlue });
        png_set_PLTE(png, info, colours.data(), int(colours.size()));
    }
    png_set_compression_level(png, level);
    if (filterNone)
        png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
    png_write_info(png, info);
    for (int32_t y = 0; y < bitmap.Height(); ++y) {
        const uint8_t* src = bitmap.ScanLine(y);
        if (palette) {
            png_write_row(png, const_cast<png_bytep>(src));
            continue;
        }
        for (int32_t x = 0; x < bitmap.Width(); ++x) {
            row[3 * x] = src[3 * x + 2];
            row[3 * x + 1] = src[3 * x + 1];
            row[3 * x + 2] = src[3 * x];
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

// libpng reading a file into rows as it stores them.
size_t LibpngDecode(const std::vector<uint8_t>& file, std::vector<uint8_t>& pixels)
{
    struct Source {
        const std::vector<uint8_t>* data;
        size_t pos;
    } source { &file, 8 };
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return 0;
    }
    png_set_read_fn(png, &source, [](png_structp p, png_bytep out, png_size_t n) {
        auto* s = static_cast<Source*>(png_get_io_ptr(p));
        if (n > s->data->size() - s->pos)
            png_error(p, "short");
        std::memcpy(out, s->data->data() + s->pos, n);
        s->pos += n;
    });
    png_set_sig_bytes(png, 8);
    png_read_info(png, info);
    size_t rowBytes = png_get_rowbytes(png, info);
    png_uint_32 height = png_get_image_height(png, info);
    pixels.resize(rowBytes * height);
    for (png_uint_32 y = 0; y < height; ++y)
        png_read_row(png, pixels.data() + y * rowBytes, nullptr);
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return pixels.size();
}
#endif

std::vector<Picture>& Pictures()
{
    static std::vector<Picture> pictures = [] {
        std::vector<Picture> list;
        list.push_back({ "rgb1920x1080", MakePicture(TPixelFormat::pf24bit, 1920, 1080), {} });
        list.push_back({ "palette1024x768", MakePicture(TPixelFormat::pf8bit, 1024, 768), {} });
        for (auto& p : list) {
#ifdef VTL_HAVE_LIBPNG
            p.file = LibpngEncode(p.bitmap, 6, false);
#else
            vtl::codecs::TPngImage png;
            png.Assign(p.bitmap);
            vtl::platform::TMemoryStream out;
            png.SaveToStream(out);
            p.file = out.TakeBytes();
#endif
        }
        return list;
    }();
    return pictures;
}

// The large photograph-like picture (or the file VTL_BENCH_PNG names) and its image data as one
// block, so that inflate alone can be timed over exactly the bytes the decoder inflates.
struct BigPicture {
    std::vector<uint8_t> file;
    std::vector<uint8_t> idat;
    uint64_t rawBytes = 0; // the inflated size: rows with their filter bytes
};

BigPicture& Big()
{
    static BigPicture big = [] {
        BigPicture b;
        if (const char* path = std::getenv("VTL_BENCH_PNG"); path && *path) {
            std::ifstream in(path, std::ios::binary);
            b.file.assign(std::istreambuf_iterator<char>(in), {});
        } else {
            TBitmap bitmap = MakePicture(TPixelFormat::pf24bit, 6000, 4000);
#ifdef VTL_HAVE_LIBPNG
            b.file = LibpngEncode(bitmap, 7, false);
#else
            vtl::codecs::TPngImage png;
            png.Assign(bitmap);
            png.SetCompressionLevel(7);
            png.SetFilterMode(5); // Paeth on every row, the nearest the program's writer has
            vtl::platform::TMemoryStream out;
            png.SaveToStream(out);
            b.file = out.TakeBytes();
#endif
        }
        for (size_t at = 8; at + 12 <= b.file.size();) {
            const uint8_t* c = b.file.data() + at;
            const size_t length
                = (size_t(c[0]) << 24) | (size_t(c[1]) << 16) | (size_t(c[2]) << 8) | c[3];
            if (length > b.file.size() - at - 12)
                break;
            if (std::memcmp(c + 4, "IDAT", 4) == 0)
                b.idat.insert(b.idat.end(), c + 8, c + 8 + length);
            at += 12 + length;
        }
        return b;
    }();
    return big;
}

// zlib alone over the image data, into a buffer of 256 KiB used again and again, so that nothing
// but inflate's own work and its window is timed.
void InflateAlone(benchmark::State& state)
{
    BigPicture& b = Big();
    std::vector<uint8_t> out(256 * 1024);
    uint64_t total = 0;
    for (auto _ : state) {
        vtl::codecs::png::Inflater inflater;
        z_stream& z = inflater.Z();
        z.next_in = b.idat.data();
        z.avail_in = static_cast<uInt>(b.idat.size());
        total = 0;
        int rc = Z_OK;
        while (rc == Z_OK) {
            z.next_out = out.data();
            z.avail_out = static_cast<uInt>(out.size());
            rc = inflate(&z, Z_NO_FLUSH);
            total += out.size() - z.avail_out;
        }
        benchmark::DoNotOptimize(out.data());
    }
    b.rawBytes = total;
    state.SetBytesProcessed(int64_t(state.iterations() * total));
}

void DecodeBig(benchmark::State& state)
{
    BigPicture& b = Big();
    size_t pixels = 0;
    for (auto _ : state) {
        vtl::codecs::TPngImage png;
        png.ReadOptions.threads = int(state.range(0));
        vtl::platform::TSpanStream in(b.file);
        png.LoadFromStream(in);
        pixels = png.Bitmap().Bits().size();
        benchmark::DoNotOptimize(png.Bitmap().Bits().data());
    }
    state.SetBytesProcessed(int64_t(state.iterations() * pixels));
}

int64_t PixelBytes(const Picture& p) { return int64_t(p.bitmap.RowBytes()) * p.bitmap.Height(); }

void DecodeVtl(benchmark::State& state, size_t index)
{
    const Picture& p = Pictures()[index];
    for (auto _ : state) {
        vtl::codecs::TPngImage png;
        png.ReadOptions.threads = 1; // CPU time against libpng's: one thread each
        vtl::platform::TSpanStream in(p.file);
        png.LoadFromStream(in);
        benchmark::DoNotOptimize(png.Bitmap().Bits().data());
    }
    state.SetBytesProcessed(state.iterations() * PixelBytes(p));
}

void EncodeVtl(benchmark::State& state, size_t index, int level)
{
    const Picture& p = Pictures()[index];
    size_t size = 0;
    for (auto _ : state) {
        vtl::codecs::TPngImage png;
        png.Assign(p.bitmap);
        png.SetCompressionLevel(level);
        vtl::platform::TMemoryStream out;
        png.SaveToStream(out);
        size = out.Bytes().size();
    }
    state.SetBytesProcessed(state.iterations() * PixelBytes(p));
    state.counters["file"] = double(size);
}

#ifdef VTL_HAVE_LIBPNG
void DecodeLibpng(benchmark::State& state, size_t index)
{
    const Picture& p = Pictures()[index];
    for (auto _ : state) {
        std::vector<uint8_t> pixels; // a new picture each time, as the program makes
        benchmark::DoNotOptimize(LibpngDecode(p.file, pixels));
    }
    state.SetBytesProcessed(state.iterations() * PixelBytes(p));
}

void EncodeLibpng(benchmark::State& state, size_t index, int level)
{
    const Picture& p = Pictures()[index];
    size_t size = 0;
    for (auto _ : state)
        size = LibpngEncode(p.bitmap, level, true).size();
    state.SetBytesProcessed(state.iterations() * PixelBytes(p));
    state.counters["file"] = double(size);
}
#endif

// Keeps each run's time so that the pairs can be compared at the end: the least of the
// repetitions, which a busy machine disturbs least.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const auto& run : runs) {
            if (run.run_type != Run::RT_Iteration)
                continue;
            std::string name = run.benchmark_name();
            if (const auto at = name.find("/real_time"); at != std::string::npos)
                name.erase(at);
            Keep(m_times, name, run.GetAdjustedCPUTime());
            Keep(m_real, name, run.GetAdjustedRealTime());
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void PrintRatios() const
    {
        const std::string inflate = "inflate/photo6000x4000";
        if (m_real.count(inflate) && m_real.at(inflate) > 0) {
            std::printf("\ndecode / inflate alone (goal: at most 1.1); wall time, and the calling "
                        "thread's CPU time\n");
            for (const auto& [name, time] : m_real)
                if (name.rfind("vtl/decode/photo6000x4000", 0) == 0)
                    std::printf("  %-40s wall %.3f  cpu %.3f\n", name.substr(11).c_str(),
                        time / m_real.at(inflate), m_times.at(name) / m_times.at(inflate));
        }
        std::printf("\nratio of CPU time vtl / libpng (below 1.0: vtl faster)\n");
        for (const auto& [name, time] : m_times) {
            if (name.rfind("vtl/", 0) != 0)
                continue;
            auto peer = m_times.find("libpng/" + name.substr(4));
            if (peer != m_times.end() && peer->second > 0)
                std::printf("  %-40s %.3f\n", name.substr(4).c_str(), time / peer->second);
        }
    }

private:
    static void Keep(std::map<std::string, double>& times, const std::string& name, double time)
    {
        auto [it, added] = times.emplace(name, time);
        if (!added)
            it->second = std::min(it->second, time);
    }

    std::map<std::string, double> m_times;
    std::map<std::string, double> m_real;
};

} // namespace

int main(int argc, char** argv)
{
    benchmark::RegisterBenchmark("inflate/photo6000x4000", InflateAlone)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("vtl/decode/photo6000x4000", DecodeBig)
        ->ArgName("threads")
        ->Arg(1)
        ->Arg(2)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    for (size_t i = 0; i < Pictures().size(); ++i) {
        const std::string& name = Pictures()[i].name;
        benchmark::RegisterBenchmark(("vtl/decode/" + name).c_str(), DecodeVtl, i)
            ->Unit(benchmark::kMillisecond);
#ifdef VTL_HAVE_LIBPNG
        benchmark::RegisterBenchmark(("libpng/decode/" + name).c_str(), DecodeLibpng, i)
            ->Unit(benchmark::kMillisecond);
#endif
        for (int level : { 6, 9 }) {
            std::string suffix = "/" + name + "/level" + std::to_string(level);
            benchmark::RegisterBenchmark(("vtl/encode" + suffix).c_str(), EncodeVtl, i, level)
                ->Unit(benchmark::kMillisecond);
#ifdef VTL_HAVE_LIBPNG
            benchmark::RegisterBenchmark(("libpng/encode" + suffix).c_str(), EncodeLibpng, i, level)
                ->Unit(benchmark::kMillisecond);
#endif
        }
    }
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
    benchmark::Shutdown();
    return 0;
}
