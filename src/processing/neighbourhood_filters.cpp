#include "processing/neighbourhood_filters.h"

#include "document/dib.h"
#include "processing/filter_kernels.h"

#include <cmath>
#include <numbers>
#include <utility>

namespace vtl::processing {

using platform::TPixelFormat;

namespace {
    bool SmallerThan(const TBitmap& picture, int n)
    {
        return picture.Width() < n || picture.Height() < n;
    }

    // The common part of the 24-bit window filters: run a row filter from `makeRow()` (one for
    // each band of rows) for every row into a new 24-bit result, then the palette-display step
    // and the hand-over.
    template <typename MakeRow>
    bool RunWindowFilter(
        TBitmap& picture, TBitmap* undo, int n, const ProcessContext& context, MakeRow&& makeRow)
    {
        if (SmallerThan(picture, n))
            return false;
        StatusText status(context, kConvertingText);
        const WorkSource source(picture);
        TBitmap result
            = TBitmap::ForWriting(source.Width(), source.Height(), TPixelFormat::pf24bit);
        std::vector<uint8_t*> out = RowPointers(result);
        ForEachWindow24(source, n, out, context.threads, makeRow);
        ReduceForPaletteDisplay(result, context, status);
        ReplacePicture(picture, undo, std::move(result));
        return true;
    }
}

std::vector<double> BlurWeights(BlurSize size)
{
    if (size == BlurSize::Small)
        return { 0.20, 0.12, 0.12, 0.08 };
    constexpr int kSide = 6;
    std::vector<double> w(kSide * kSide);
    for (int dy = 0; dy < kSide; ++dy)
        for (int dx = 0; dx < kSide; ++dx)
            w[size_t(dy * kSide + dx)]
                = std::exp(-double(dx * dx + dy * dy) / 8.0) / (8.0 * std::numbers::pi);
    return w;
}

std::vector<double> ContourWeights()
{
    constexpr int kSide = 7;
    std::vector<double> w(kSide * kSide);
    for (int dy = 0; dy < kSide; ++dy)
        for (int dx = 0; dx < kSide; ++dx) {
            const double r2 = double(dx * dx + dy * dy);
            w[size_t(dy * kSide + dx)]
                = std::exp(-r2 / 8.0) * (r2 / 8.0 - 1.0) / (16.0 * std::numbers::pi);
        }
    return w;
}

bool Blur(TBitmap& picture, TBitmap* undo, BlurSize size, const ProcessContext& context)
{
    const int n = size == BlurSize::Small ? 3 : 11;
    const std::vector<double> weights = BlurWeights(size);
    const size_t values = size_t(std::max(picture.Width(), 0)) * 3;
    return RunWindowFilter(picture, undo, n, context, [&] {
        return [&, sums = std::vector<double>(values)](
                   const uint8_t* const* rows, uint8_t* out) mutable {
            kernels::GroupedSum(rows, n / 2, 3, values, weights.data(), sums.data());
            kernels::RoundRow(sums.data(), out, values);
        };
    });
}

bool Sharpen(TBitmap& picture, TBitmap* undo, const ProcessContext& context)
{
    const size_t values = size_t(std::max(picture.Width(), 0)) * 3;
    return RunWindowFilter(picture, undo, 3, context, [&] {
        return [&](const uint8_t* const* rows, uint8_t* out) {
            kernels::SharpenRow(rows, out, values);
        };
    });
}

std::array<int, 9> EmbossKernel(const EmbossSettings& settings)
{
    // c, d, e, b for each light position, normal and strong.
    static constexpr int kTable[4][2][4] = {
        { { 1, 0, 0, 0 }, { 2, 1, 0, 1 } },
        { { 0, 0, -1, 0 }, { 0, -1, -2, 1 } },
        { { 0, 0, 1, 0 }, { 0, 1, 2, -1 } },
        { { -1, 0, 0, 0 }, { -2, -1, 0, -1 } },
    };
    const int position
        = settings.lightPosition >= 0 && settings.lightPosition <= 3 ? settings.lightPosition : 0;
    const int* k = kTable[position][settings.strong ? 1 : 0];
    const int c = k[0], d = k[1], e = k[2], b = k[3];
    return { c, d, e, b, 1, -b, -e, -d, -c };
}

bool Emboss(
    TBitmap& picture, TBitmap* undo, const EmbossSettings& settings, const ProcessContext& context)
{
    const std::array<int, 9> kernel = EmbossKernel(settings);
    const size_t values = size_t(std::max(picture.Width(), 0)) * 3;
    return RunWindowFilter(picture, undo, 3, context, [&] {
        return [&](const uint8_t* const* rows, uint8_t* out) {
            kernels::Kernel3Row(rows, kernel.data(), out, values);
        };
    });
}

bool Edge(TBitmap& picture, TBitmap* undo, const ProcessContext& context)
{
    const size_t values = size_t(std::max(picture.Width(), 0)) * 3;
    return RunWindowFilter(picture, undo, 3, context, [&] {
        return
            [&](const uint8_t* const* rows, uint8_t* out) { kernels::SobelRow(rows, out, values); };
    });
}

bool ContourLines(TBitmap& picture, TBitmap* undo, const ProcessContext& context)
{
    constexpr int kN = 13;
    if (SmallerThan(picture, kN))
        return false;
    StatusText status(context, kConvertingText);
    const WorkSource source(picture);
    const int32_t width = source.Width(), height = source.Height();
    const std::vector<double> weights = ContourWeights();

    TBitmap marks = TBitmap::ForWriting(width, height, TPixelFormat::pf24bit);
    std::vector<uint8_t*> out = RowPointers(marks);
    // A pixel's mark depends on the signs of the row above, and a sign only on its own sum; so a
    // band that does not start at the top first works out the signs of the row above it.
    ForEachRowBand(width, height, context.threads, [&](int32_t first, int32_t last) {
        RowRing<uint8_t> ring(kN, width, 1); // the blue channel only
        std::vector<double> sums(static_cast<size_t>(width));
        // One sign per column after a slot left of column 0 that stays 0.
        std::vector<int8_t> signs(size_t(width) + 1, 0);
        RunRing(
            ring, height, std::max(first - 1, 0), last,
            [&](uint8_t* dest, int32_t y) {
                const uint8_t* s = source.Row(y);
                for (int32_t x = 0; x < width; ++x)
                    dest[x] = s[3 * x];
            },
            [&](int32_t y) {
                kernels::GroupedSum(
                    ring.Rows(), kN / 2, 1, sums.size(), weights.data(), sums.data());
                int8_t* sign = signs.data() + 1;
                if (y < first) {
                    for (int32_t x = 0; x < width; ++x) {
                        const double v = sums[size_t(x)];
                        sign[x] = int8_t(v > 0 ? 1 : v < 0 ? -1 : 0);
                    }
                    return;
                }
                uint8_t* d = out[size_t(y)];
                for (int32_t x = 0; x < width; ++x) {
                    const double v = sums[size_t(x)];
                    const int8_t above = sign[x], left = sign[x - 1];
                    bool black = false;
                    if (v > 0) {
                        black = above < 0 || left < 0;
                        sign[x] = 1;
                    } else if (v < 0) {
                        black = above > 0 || left > 0;
                        sign[x] = -1;
                    } else {
                        sign[x] = 0;
                    }
                    const uint8_t value = black ? 0 : 255;
                    d[3 * x] = d[3 * x + 1] = d[3 * x + 2] = value;
                }
            });
    });

    // White is the buffer's one-bit colour: white pixels become 1, all others 0.
    document::TDIB mono;
    mono.Assign(marks);
    mono.SetPixelFormat(document::DibPixelFormat::Dib1Bit);
    TBitmap result;
    mono.AssignTo(result);
    ReplacePicture(picture, undo, std::move(result));
    return true;
}

bool Median(TBitmap& picture, TBitmap* undo, const ProcessContext& context)
{
    if (SmallerThan(picture, 3))
        return false;
    StatusText status(context, kConvertingText);
    const WorkSource source(picture);
    const int32_t width = source.Width(), height = source.Height();
    TBitmap result = TBitmap::ForWriting(width, height, TPixelFormat::pf24bit);
    std::vector<uint8_t*> out = RowPointers(result);

    ForEachRowBand(width, height, context.threads, [&](int32_t first, int32_t last) {
        // Pixels and their keys turn in two rings side by side; a key is computed once per pixel.
        RowRing<uint8_t> pixels(3, width, 3);
        RowRing<uint32_t> keys(3, width, 1);
        auto load = [&](int slot, int32_t y) {
            if (y < 0 || y >= height) {
                pixels.ClearRow(slot);
                keys.ClearRow(slot);
                return;
            }
            const uint8_t* s = source.Row(y);
            std::copy_n(s, pixels.ImageValues(), pixels.ImageRow(slot));
            uint32_t* k = keys.ImageRow(slot);
            for (int32_t x = 0; x < width; ++x, s += 3)
                k[x] = 29u * s[0] + 150u * s[1] + 77u * s[2];
        };
        for (int i = 0; i < 3; ++i)
            load(i, first + i - 1);
        std::vector<uint8_t> choice(static_cast<size_t>(width));
        for (int32_t y = first; y < last; ++y) {
            kernels::MedianChoiceRow(keys.Rows(), choice.data(), size_t(width));
            uint8_t* d = out[size_t(y)];
            for (int32_t x = 0; x < width; ++x) {
                const int index = choice[size_t(x)];
                const uint8_t* p = pixels[index / 3] + size_t(x + index % 3) * 3;
                d[3 * x] = p[0];
                d[3 * x + 1] = p[1];
                d[3 * x + 2] = p[2];
            }
            pixels.Turn();
            keys.Turn();
            load(2, y + 2);
        }
    });
    ReduceForPaletteDisplay(result, context, status);
    ReplacePicture(picture, undo, std::move(result));
    return true;
}

} // namespace vtl::processing
