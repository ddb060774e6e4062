#include "processing/colour_adjustment.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <vector>

namespace vtl::processing {

using platform::TPixelFormat;

namespace {
    constexpr double kPi = std::numbers::pi;
    constexpr double kTwoPi = 2.0 * std::numbers::pi;
    constexpr double kSixth = std::numbers::pi / 3.0;

    // Trunc towards zero, then clamped; anything not a number counts as 0.
    int TruncClamp(double value, int high)
    {
        if (!(value > 0.0))
            return 0;
        if (value >= double(high))
            return high;
        return int(value);
    }

    // The same choices once per run: which of power, product and offset a channel needs.
    struct ChannelShape {
        double offset, gain, exponent;
        bool power, product;
        ChannelShape(double o, double g, double e)
            : offset(o)
            , gain(g)
            , exponent(e)
            , power(e != 1.0)
            , product(g != 1.0)
        {
        }
    };

    struct HsiRun {
        std::array<uint8_t, 256> value;
        ChannelShape saturation;
        ChannelShape hue;
        explicit HsiRun(const AdjustParams& p)
            : value(ToneTable(p.offset[0], p.gain[0], p.exponent[0]))
            , saturation(p.offset[1] / 255.0, p.gain[1], p.exponent[1])
            , hue(p.offset[2] * kPi / 256.0, p.gain[2], p.exponent[2])
        {
        }
    };

    template <bool PowerS, bool ProductS, bool PowerH, bool ProductH>
    inline void HsiPixel(const HsiRun& run, uint8_t* px)
    {
        // Storage order B, G, R: C0 = B plays the part the hexcone model gives to red.
        const int c0 = px[0], c1 = px[1], c2 = px[2];
        const int mx = std::max(c0, std::max(c1, c2));
        const int mn = std::min(c0, std::min(c1, c2));
        double s = 0.0, h = 0.0;
        if (mx != mn) {
            const double d = double(mx - mn);
            s = d / double(mx);
            if (c0 == mx) {
                h = double(c1 - c2) / d * kSixth;
                if (h < 0.0)
                    h += kTwoPi;
            } else if (c1 == mx) {
                h = (double(c2 - c0) / d + 2.0) * kSixth;
            } else {
                h = (double(c0 - c1) / d + 4.0) * kSixth;
            }
        }
        const int v = run.value[size_t(mx)];

        if constexpr (PowerS)
            s = std::pow(s, run.saturation.exponent);
        if constexpr (ProductS)
            s *= run.saturation.gain;
        s += run.saturation.offset;
        s = s > 1.0 ? 1.0 : s;
        s = s < 0.0 ? 0.0 : s;

        if constexpr (PowerH)
            h = std::pow(h / kTwoPi, run.hue.exponent) * kTwoPi;
        if constexpr (ProductH)
            h *= run.hue.gain;
        h += run.hue.offset;
        if (!std::isfinite(h))
            h = 0.0;
        if (std::fabs(h) > 64.0 * kTwoPi) // only reachable from outside the dialog's ranges
            h = std::fmod(h, kTwoPi);
        while (h > kTwoPi)
            h -= kTwoPi;
        while (h < 0.0)
            h += kTwoPi;

        if (s == 0.0) {
            px[0] = px[1] = px[2] = uint8_t(v);
            return;
        }
        const double sector = h / kSixth;
        const int si = int(sector);
        const double f = sector - si;
        const uint8_t vv = uint8_t(v);
        const auto p = uint8_t(TruncClamp(v * (1.0 - s), 255));
        const auto q = uint8_t(TruncClamp(v * (1.0 - s * f), 255));
        const auto t = uint8_t(TruncClamp(v * (1.0 - s * (1.0 - f)), 255));
        uint8_t o0, o1, o2;
        switch (si) {
        case 1:
            o0 = q, o1 = vv, o2 = p;
            break;
        case 2:
            o0 = p, o1 = vv, o2 = t;
            break;
        case 3:
            o0 = p, o1 = q, o2 = vv;
            break;
        case 4:
            o0 = t, o1 = p, o2 = vv;
            break;
        case 5:
            o0 = vv, o1 = p, o2 = q;
            break;
        default: // 0, and 6 when H is exactly 2 pi
            o0 = vv, o1 = t, o2 = p;
            break;
        }
        px[0] = o0;
        px[1] = o1;
        px[2] = o2;
    }

    template <bool PowerS, bool ProductS, bool PowerH, bool ProductH>
    void HsiRow(const HsiRun& run, uint8_t* row, int32_t width)
    {
        for (int32_t x = 0; x < width; ++x, row += 3)
            HsiPixel<PowerS, ProductS, PowerH, ProductH>(run, row);
    }

    // The row loop for this run's choices, with the pixel's formulas compiled into it.
    using RowFn = void (*)(const HsiRun&, uint8_t*, int32_t);

    template <bool A, bool B, bool C> RowFn PickLast(bool d)
    {
        return d ? &HsiRow<A, B, C, true> : &HsiRow<A, B, C, false>;
    }
    template <bool A, bool B> RowFn PickThird(bool c, bool d)
    {
        return c ? PickLast<A, B, true>(d) : PickLast<A, B, false>(d);
    }
    template <bool A> RowFn PickSecond(bool b, bool c, bool d)
    {
        return b ? PickThird<A, true>(c, d) : PickThird<A, false>(c, d);
    }
    RowFn PickRowFn(const HsiRun& run)
    {
        const bool a = run.saturation.power, b = run.saturation.product, c = run.hue.power,
                   d = run.hue.product;
        return a ? PickSecond<true>(b, c, d) : PickSecond<false>(b, c, d);
    }

    // Copies the 24-bit pixels into a new result, lets `rowFn` change each row there, and hands
    // the result over.
    template <typename RowFn>
    bool RunPointOperation(
        TBitmap& picture, TBitmap* undo, const ProcessContext& context, RowFn&& rowFn)
    {
        if (picture.Empty())
            return false;
        StatusText status(context, kConvertingText);
        const WorkSource source(picture);
        TBitmap result
            = TBitmap::ForWriting(source.Width(), source.Height(), TPixelFormat::pf24bit);
        std::vector<uint8_t*> out = RowPointers(result);
        const size_t bytes = size_t(source.Width()) * 3;
        ForEachRowBand(
            source.Width(), source.Height(), context.threads, [&](int32_t first, int32_t last) {
                for (int32_t y = first; y < last; ++y) {
                    std::copy_n(source.Row(y), bytes, out[size_t(y)]);
                    rowFn(out[size_t(y)], source.Width());
                }
            });
        ReduceForPaletteDisplay(result, context, status);
        ReplacePicture(picture, undo, std::move(result));
        return true;
    }
}

AdjustParams ParamsFromTrackBars(const TrackBarPositions& positions)
{
    AdjustParams p;
    for (size_t k = 0; k < 3; ++k) {
        p.offset[k] = positions.offset[k];
        p.gain[k] = positions.gain[k] / 100.0;
        p.exponent[k] = positions.gamma[k] != 0 ? 100.0 / positions.gamma[k] : 1.0;
    }
    return p;
}

bool IsNeutral(const AdjustParams& params)
{
    for (size_t k = 0; k < 3; ++k)
        if (params.offset[k] != 0.0 || params.gain[k] != 1.0 || params.exponent[k] != 1.0)
            return false;
    return true;
}

std::array<uint8_t, 256> ToneTable(double offset, double gain, double exponent)
{
    std::array<uint8_t, 256> t {};
    for (int i = 0; i < 256; ++i) {
        const double v = exponent != 1.0
            ? 255.0 * std::pow(i / 255.0, exponent) * gain + offset + 0.499
            : i * gain + offset + 0.499;
        t[size_t(i)] = uint8_t(TruncClamp(v, 255));
    }
    return t;
}

bool AdjustRgb(
    TBitmap& picture, TBitmap* undo, const AdjustParams& params, const ProcessContext& context)
{
    const auto red = ToneTable(params.offset[0], params.gain[0], params.exponent[0]);
    const auto green = ToneTable(params.offset[1], params.gain[1], params.exponent[1]);
    const auto blue = ToneTable(params.offset[2], params.gain[2], params.exponent[2]);
    return RunPointOperation(picture, undo, context, [&](uint8_t* row, int32_t width) {
        for (int32_t x = 0; x < width; ++x, row += 3) {
            row[0] = blue[row[0]];
            row[1] = green[row[1]];
            row[2] = red[row[2]];
        }
    });
}

bool AdjustHsi(
    TBitmap& picture, TBitmap* undo, const AdjustParams& params, const ProcessContext& context)
{
    const HsiRun run(params);
    const RowFn rowFn = PickRowFn(run);
    return RunPointOperation(
        picture, undo, context, [&](uint8_t* row, int32_t width) { rowFn(run, row, width); });
}

void AdjustHsiPixel(const AdjustParams& params, uint8_t& b, uint8_t& g, uint8_t& r)
{
    const HsiRun run(params);
    uint8_t px[3] = { b, g, r };
    PickRowFn(run)(run, px, 1);
    b = px[0];
    g = px[1];
    r = px[2];
}

std::array<platform::TPoint, 101> CurvePoints(double offset, double gain, double exponent)
{
    const double o = offset * 100.0 / 255.0;
    std::array<platform::TPoint, 101> points {};
    points[0] = { 0, 100 - TruncClamp(o, 100) };
    for (int x = 1; x <= 100; ++x)
        points[size_t(x)]
            = { x, 100 - TruncClamp(std::pow(x / 100.0, exponent) * 100.0 * gain + o, 100) };
    return points;
}

std::string OffsetLabel(int position) { return std::to_string(position); }

std::string RatioLabel(int position)
{
    char text[32];
    std::snprintf(text, sizeof text, "%5.2f", position / 100.0);
    return text;
}

std::pair<int32_t, int32_t> ThumbnailSize(int32_t width, int32_t height)
{
    if (height > width && height >= 101)
        return { int32_t(int64_t(width) * 100 / height), 100 };
    if (height <= width && width >= 101)
        return { 100, int32_t(int64_t(height) * 100 / width) };
    return { width, height };
}

} // namespace vtl::processing
