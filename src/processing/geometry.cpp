#include "processing/geometry.h"

#include "platform/checked.h"
#include "processing/bilinear.h"
#include "processing/block_filters.h"
#include "processing/hand_over.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

namespace vtl::processing {

using platform::TPixelFormat;

namespace {

    // The source lines (columns or rows) that each output line of the area average covers, with
    // their weights, for `count` output lines over `size` source lines.
    struct Coverage {
        std::vector<int32_t> first; // source line of each output line's first weight
        std::vector<size_t> offset; // into weights; count + 1 entries
        std::vector<double> weights;
    };

    Coverage Cover(int32_t size, int32_t count)
    {
        Coverage c;
        const double scale = double(size) / count, half = size / 2.0, halfCount = count / 2.0;
        c.first.reserve(size_t(count));
        c.offset.reserve(size_t(count) + 1);
        for (int32_t i = 0; i < count; ++i) {
            const double from = half + scale * (i - halfCount);
            const double to = half + scale * (i + 1 - halfCount);
            const int32_t first = FloorToInt(from), last = FloorToInt(to);
            c.first.push_back(first);
            c.offset.push_back(c.weights.size());
            for (int32_t s = first; s <= last; ++s) {
                // When first and last coincide the first line's weight is the one that counts.
                double weight = s == first ? 1.0 - (from - first) : s == last ? to - last : 1.0;
                // Lines beyond the picture are black, whatever their weight.
                c.weights.push_back(s >= 0 && s < size ? weight : 0.0);
            }
        }
        c.offset.push_back(c.weights.size());
        return c;
    }

    void AreaAverage(const WorkSource& source, TBitmap& result, int threads)
    {
        const int32_t w = source.Width(), h = source.Height();
        const int32_t a = result.Width(), b = result.Height();
        const Coverage columns = Cover(w, a), rows = Cover(h, b);
        const double area = (double(w) / a) * (double(h) / b);
        const std::vector<uint8_t*> out = RowPointers(result);
        ForEachRowBand(a, b, threads, [&](int32_t firstRow, int32_t lastRow) {
            std::vector<double> sum(size_t(a) * 3);
            for (int32_t i = firstRow; i < lastRow; ++i) {
                std::fill(sum.begin(), sum.end(), 0.0);
                const size_t rowFrom = rows.offset[size_t(i)], rowTo = rows.offset[size_t(i) + 1];
                for (size_t k = rowFrom; k < rowTo; ++k) {
                    const double rowWeight = rows.weights[k];
                    if (rowWeight == 0.0)
                        continue;
                    const uint8_t* s = source.Row(rows.first[size_t(i)] + int32_t(k - rowFrom));
                    for (int32_t j = 0; j < a; ++j) {
                        const size_t from = columns.offset[size_t(j)],
                                     to = columns.offset[size_t(j) + 1];
                        const int32_t x0 = columns.first[size_t(j)];
                        double bl = 0, gr = 0, rd = 0;
                        for (size_t m = from; m < to; ++m) {
                            const double weight = columns.weights[m];
                            if (weight == 0.0)
                                continue;
                            const uint8_t* p = s + 3 * size_t(x0 + int32_t(m - from));
                            bl += weight * p[0];
                            gr += weight * p[1];
                            rd += weight * p[2];
                        }
                        double* acc = sum.data() + 3 * size_t(j);
                        acc[0] += rowWeight * bl;
                        acc[1] += rowWeight * gr;
                        acc[2] += rowWeight * rd;
                    }
                }
                uint8_t* d = out[size_t(i)];
                for (size_t n = 0; n < sum.size(); ++n) {
                    const double v = sum[n] / area + 0.5;
                    d[n] = v >= 255.0 ? uint8_t(255) : uint8_t(v > 0.0 ? int(v) : 0);
                }
            }
        });
    }

    void Bilinear(const WorkSource& source, TBitmap& result, int threads)
    {
        const int32_t w = source.Width(), h = source.Height();
        const int32_t a = result.Width(), b = result.Height();
        std::vector<const uint8_t*> src(static_cast<size_t>(h));
        for (int32_t y = 0; y < h; ++y)
            src[size_t(y)] = source.Row(y);
        std::vector<int32_t> x0(static_cast<size_t>(a));
        std::vector<double> fx(static_cast<size_t>(a));
        for (int32_t j = 0; j < a; ++j) {
            const double sx = w / 2.0 + (double(w) / a) * (j - a / 2.0);
            x0[size_t(j)] = FloorToInt(sx);
            fx[size_t(j)] = sx - x0[size_t(j)];
        }
        const std::vector<uint8_t*> out = RowPointers(result);
        ForEachRowBand(a, b, threads, [&](int32_t first, int32_t last) {
            for (int32_t i = first; i < last; ++i) {
                const double sy = h / 2.0 + (double(h) / b) * (i - b / 2.0);
                const int32_t y0 = FloorToInt(sy);
                const double fy = sy - y0;
                uint8_t* d = out[size_t(i)];
                for (int32_t j = 0; j < a; ++j, d += 3)
                    SampleBilinear(src.data(), w, h, x0[size_t(j)], y0, fx[size_t(j)], fy, d);
            }
        });
    }

    void CopyArea(const TBitmap& source, const ClipArea& area, TBitmap& dest)
    {
        const int bits = source.BitsPerPixel();
        if (bits >= 8) {
            const size_t bytes = size_t(bits / 8);
            for (int32_t y = 0; y < area.height; ++y)
                std::memcpy(dest.ScanLine(y),
                    source.ScanLine(area.top + y) + bytes * size_t(area.left),
                    bytes * size_t(area.width));
            return;
        }
        for (int32_t y = 0; y < area.height; ++y)
            for (int32_t x = 0; x < area.width; ++x)
                dest.SetRawPixel(x, y, source.RawPixel(area.left + x, area.top + y));
    }

    void DrawAt(TBitmap& dest, const TBitmap& picture, int32_t left, int32_t top)
    {
        const WorkSource source(picture);
        const size_t bytes = size_t(source.Width()) * 3;
        for (int32_t y = 0; y < source.Height(); ++y)
            std::memcpy(dest.ScanLine(top + y) + 3 * size_t(left), source.Row(y), bytes);
    }

    void FillWhite(TBitmap& bitmap, int32_t left, int32_t top, int32_t right, int32_t bottom)
    {
        if (right <= left || bottom <= top)
            return;
        bitmap.Canvas().Brush.Color = 0xFFFFFF;
        bitmap.Canvas().Brush.Style = platform::TBrushStyle::bsSolid;
        bitmap.Canvas().FillRect(platform::Rect(left, top, right, bottom));
    }

    std::string_view WithoutExtension(std::string_view caption)
    {
        const size_t dot = caption.find_last_of("./\\:");
        if (dot == std::string_view::npos || caption[dot] != '.')
            return caption;
        return caption.substr(0, dot);
    }

} // namespace

bool Resize(
    TBitmap& picture, TBitmap* undo, int32_t width, int32_t height, const ProcessContext& context)
{
    if (picture.Empty() || width < 1 || height < 1
        || (width == picture.Width() && height == picture.Height()))
        return false;
    StatusText status(context, kConvertingText);
    const WorkSource source(picture);
    TBitmap result = TBitmap::ForWriting(width, height, TPixelFormat::pf24bit);
    if (width < source.Width() && height < source.Height())
        AreaAverage(source, result, context.threads);
    else
        Bilinear(source, result, context.threads);
    ReduceForPaletteDisplay(result, context, status);
    HandOver(picture, undo, std::move(result));
    return true;
}

ClipArea ClipAreaFromSelection(const TRect* selection, int zoomIndex, int32_t width, int32_t height)
{
    if (!selection)
        return { 0, 0, width, height };
    const ZoomFactor f = DisplayToPictureFactor(zoomIndex);
    return { MulDiv(selection->Left, f.n, f.d), MulDiv(selection->Top, f.n, f.d),
        MulDiv(selection->Right - selection->Left, f.n, f.d),
        MulDiv(selection->Bottom - selection->Top, f.n, f.d) };
}

bool Clip(
    TBitmap& picture, TBitmap* undo, const ClipArea& wanted, const ProcessContext& /*context*/)
{
    const int32_t w = picture.Width(), h = picture.Height();
    ClipArea area = wanted;
    area.left = std::clamp(area.left, 0, w);
    area.top = std::clamp(area.top, 0, h);
    area.width = std::min<int64_t>(area.width, w - area.left);
    area.height = std::min<int64_t>(area.height, h - area.top);
    if (area.width <= 0 || area.height <= 0)
        return false;
    if (area.left == 0 && area.top == 0 && area.width == w && area.height == h)
        return false;
    TBitmap result = TBitmap::ForWriting(area.width, area.height, picture.PixelFormat());
    if (picture.HasPalette())
        result.SetPalette(std::span<const platform::PaletteEntry>(picture.PaletteEntries()));
    else
        result.ClearPalette();
    CopyArea(picture, area, result);
    HandOver(picture, undo, std::move(result));
    return true;
}

TBitmap JoinPictures(
    const TBitmap& a, const TBitmap& b, const JoinSettings& settings, const ProcessContext& context)
{
    StatusText status(context, kConvertingText);
    const int32_t m = std::max(settings.margin, 0);
    const int32_t wA = a.Width(), hA = a.Height(), wB = b.Width(), hB = b.Height();
    const bool side = settings.direction == JoinDirection::Side;
    const int64_t width = side ? int64_t(wA) + m + wB : std::max(wA, wB);
    const int64_t height = side ? std::max(hA, hB) : int64_t(hA) + m + hB;
    if (width > platform::kMaxPictureSide || height > platform::kMaxPictureSide)
        throw platform::EInvalidGraphicOperation("Bitmap is too large");
    const auto w = int32_t(width), h = int32_t(height);
    TBitmap result = TBitmap::ForWriting(w, h, TPixelFormat::pf24bit); // starts black
    if (settings.colour == MarginColour::White) {
        if (side) {
            if (m > 0)
                FillWhite(result, wA, 0, wA + m, h);
            if (hA < hB)
                FillWhite(result, 0, hA, wA, h);
            else
                FillWhite(result, wA + m, hB, w, h);
        } else {
            if (m > 0)
                FillWhite(result, 0, hA, w, hA + m);
            if (wA < wB)
                FillWhite(result, wA, 0, w, hA);
            else
                FillWhite(result, wB, hA + m, w, h);
        }
    }
    DrawAt(result, a, 0, 0);
    if (side)
        DrawAt(result, b, wA + m, 0);
    else
        DrawAt(result, b, 0, hA + m);
    ReduceForPaletteDisplay(result, context, status);
    return result;
}

std::string JoinCaption(std::string_view captionA, std::string_view captionB)
{
    std::string caption(WithoutExtension(captionA));
    caption += ' ';
    caption += WithoutExtension(captionB);
    return caption;
}

} // namespace vtl::processing
