#include "processing/rotate.h"

#include "processing/bilinear.h"
#include "processing/hand_over.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

namespace vtl::processing {

using platform::TPixelFormat;

namespace {

    // Pixels are moved in square tiles so that both the rows read and the rows written stay in
    // the cache while a tile is done.
    constexpr int32_t kTile = 64;

    enum class Turn { Left, Right };

    // A bitmap of the picture's format and palette (none when the picture has none).
    TBitmap SameKind(const TBitmap& picture, int32_t width, int32_t height)
    {
        TBitmap result = TBitmap::ForWriting(width, height, picture.PixelFormat());
        if (picture.HasPalette())
            result.SetPalette(std::span<const platform::PaletteEntry>(picture.PaletteEntries()));
        else
            result.ClearPalette();
        return result;
    }

    std::vector<const uint8_t*> ConstRows(const TBitmap& bitmap)
    {
        std::vector<const uint8_t*> rows;
        rows.reserve(size_t(bitmap.Height()));
        for (int32_t y = 0; y < bitmap.Height(); ++y)
            rows.push_back(bitmap.ScanLine(y));
        return rows;
    }

    // Turns N-byte pixels; `dest` is H x W. Each source row of a tile is read in order and its
    // pixels go down one destination column. The columns of tiles are shared out in bands: a
    // column of the source is a row of the destination, so each band writes rows of its own.
    template <size_t N>
    void TurnBytes(const std::vector<const uint8_t*>& srcRows, int32_t srcWidth, int32_t srcHeight,
        std::vector<uint8_t*>& destRows, Turn turn, int threads)
    {
        const uint8_t* const* src = srcRows.data();
        uint8_t* const* dest = destRows.data();
        const int32_t tileColumns = (srcWidth + kTile - 1) / kTile;
        platform::ForEachBand(tileColumns, uint64_t(srcWidth) * uint64_t(srcHeight), threads,
            [&](int32_t firstTile, int32_t lastTile) {
                for (int32_t ty = 0; ty < srcHeight; ty += kTile) {
                    const int32_t yEnd = std::min(srcHeight, ty + kTile);
                    for (int32_t tx = firstTile * kTile; tx < std::min(srcWidth, lastTile * kTile);
                         tx += kTile) {
                        const int32_t xEnd = std::min(srcWidth, tx + kTile);
                        for (int32_t y = ty; y < yEnd; ++y) {
                            const uint8_t* s = src[y] + size_t(tx) * N;
                            if (turn == Turn::Left) {
                                // Source (x, y) lands at (y, W - 1 - x).
                                const size_t dx = size_t(y) * N;
                                uint8_t* const* row = dest + (srcWidth - 1 - tx);
                                for (int32_t x = tx; x < xEnd; ++x, s += N, --row)
                                    std::memcpy(*row + dx, s, N);
                            } else {
                                // Source (x, y) lands at (H - 1 - y, x).
                                const size_t dx = size_t(srcHeight - 1 - y) * N;
                                uint8_t* const* row = dest + tx;
                                for (int32_t x = tx; x < xEnd; ++x, s += N, ++row)
                                    std::memcpy(*row + dx, s, N);
                            }
                        }
                    }
                }
            });
    }

    // 1- and 4-bit pixels are spread to one index per byte, moved, and packed again.
    std::vector<uint8_t> Unpack(const TBitmap& picture)
    {
        const int32_t w = picture.Width(), h = picture.Height();
        std::vector<uint8_t> indices(size_t(w) * size_t(h));
        const int bits = picture.BitsPerPixel();
        for (int32_t y = 0; y < h; ++y) {
            const uint8_t* s = picture.ScanLine(y);
            uint8_t* d = indices.data() + size_t(y) * size_t(w);
            if (bits == 4) {
                for (int32_t x = 0; x < w; ++x)
                    d[x] = (x & 1) ? s[x >> 1] & 0x0F : s[x >> 1] >> 4;
            } else {
                for (int32_t x = 0; x < w; ++x)
                    d[x] = (s[x >> 3] >> (7 - (x & 7))) & 1;
            }
        }
        return indices;
    }

    void Pack(const std::vector<uint8_t>& indices, TBitmap& dest)
    {
        const int32_t w = dest.Width(), h = dest.Height();
        const int bits = dest.BitsPerPixel();
        for (int32_t y = 0; y < h; ++y) {
            const uint8_t* s = indices.data() + size_t(y) * size_t(w);
            uint8_t* d = dest.ScanLine(y);
            std::fill_n(d, dest.RowBytes(), uint8_t(0));
            if (bits == 4) {
                for (int32_t x = 0; x < w; ++x)
                    d[x >> 1] |= uint8_t((x & 1) ? s[x] : s[x] << 4);
            } else {
                for (int32_t x = 0; x < w; ++x)
                    d[x >> 3] |= uint8_t(s[x] << (7 - (x & 7)));
            }
        }
    }

    std::vector<const uint8_t*> IndexRows(const std::vector<uint8_t>& indices, int32_t w, int32_t h)
    {
        std::vector<const uint8_t*> rows(static_cast<size_t>(h));
        for (int32_t y = 0; y < h; ++y)
            rows[size_t(y)] = indices.data() + size_t(y) * size_t(w);
        return rows;
    }

    TBitmap TurnExact(const TBitmap& picture, Turn turn, int threads)
    {
        const int32_t w = picture.Width(), h = picture.Height();
        TBitmap result = SameKind(picture, h, w);
        const int bits = picture.BitsPerPixel();
        if (bits < 8) {
            const std::vector<uint8_t> indices = Unpack(picture);
            std::vector<uint8_t> turned(indices.size());
            std::vector<uint8_t*> rows(static_cast<size_t>(w));
            for (int32_t y = 0; y < w; ++y)
                rows[size_t(y)] = turned.data() + size_t(y) * size_t(h);
            TurnBytes<1>(IndexRows(indices, w, h), w, h, rows, turn, threads);
            Pack(turned, result);
            return result;
        }
        const std::vector<const uint8_t*> src = ConstRows(picture);
        std::vector<uint8_t*> dest = RowPointers(result);
        switch (bits) {
        case 8:
            TurnBytes<1>(src, w, h, dest, turn, threads);
            break;
        case 16:
            TurnBytes<2>(src, w, h, dest, turn, threads);
            break;
        case 24:
            TurnBytes<3>(src, w, h, dest, turn, threads);
            break;
        default:
            TurnBytes<4>(src, w, h, dest, turn, threads);
            break;
        }
        return result;
    }

    template <size_t N> void ReverseRow(const uint8_t* s, uint8_t* d, int32_t width)
    {
        const uint8_t* from = s + size_t(width - 1) * N;
        for (int32_t x = 0; x < width; ++x, d += N, from -= N)
            std::memcpy(d, from, N);
    }

    TBitmap Turn180Exact(const TBitmap& picture, int threads)
    {
        const int32_t w = picture.Width(), h = picture.Height();
        TBitmap result = SameKind(picture, w, h);
        const int bits = picture.BitsPerPixel();
        if (bits < 8) {
            const std::vector<uint8_t> indices = Unpack(picture);
            std::vector<uint8_t> turned(indices.rbegin(), indices.rend());
            Pack(turned, result);
            return result;
        }
        const std::vector<const uint8_t*> in = ConstRows(picture);
        const std::vector<uint8_t*> out = RowPointers(result);
        ForEachRowBand(w, h, threads, [&](int32_t first, int32_t last) {
            for (int32_t y = first; y < last; ++y) {
                const uint8_t* s = in[size_t(h - 1 - y)];
                uint8_t* d = out[size_t(y)];
                switch (bits) {
                case 8:
                    ReverseRow<1>(s, d, w);
                    break;
                case 16:
                    ReverseRow<2>(s, d, w);
                    break;
                case 24:
                    ReverseRow<3>(s, d, w);
                    break;
                default:
                    ReverseRow<4>(s, d, w);
                    break;
                }
            }
        });
        return result;
    }

    // Bytes of pixel data in one row; the padding after them is left alone.
    size_t DataBytes(const TBitmap& picture)
    {
        const size_t w = size_t(picture.Width());
        switch (picture.BitsPerPixel()) {
        case 1:
            return (w + 7) / 8;
        case 4:
            return (w + 1) / 2;
        default:
            return w * size_t(picture.BitsPerPixel() / 8);
        }
    }

    bool Resampled(TBitmap& picture, TBitmap* undo, double angle, const ProcessContext& context)
    {
        StatusText status(context, kConvertingText);
        const WorkSource source(picture);
        const int32_t w = source.Width(), h = source.Height();
        const double theta = angle * M_PI / 180.0;
        const double c = std::cos(theta), s = std::sin(theta);
        const auto newWidth = static_cast<int32_t>(std::abs(w * c) + std::abs(h * s) + 0.5);
        const auto newHeight = static_cast<int32_t>(std::abs(w * s) + std::abs(h * c) + 0.5);
        TBitmap result = TBitmap::ForWriting(newWidth, newHeight, TPixelFormat::pf24bit);
        std::vector<const uint8_t*> src(static_cast<size_t>(h));
        for (int32_t y = 0; y < h; ++y)
            src[size_t(y)] = source.Row(y);
        const std::vector<uint8_t*> out = RowPointers(result);
        const double halfW = w / 2.0, halfH = h / 2.0;
        const double halfNewW = newWidth / 2.0, halfNewH = newHeight / 2.0;
        ForEachRowBand(newWidth, newHeight, context.threads, [&](int32_t first, int32_t last) {
            for (int32_t y = first; y < last; ++y) {
                const double f = y - halfNewH;
                uint8_t* d = out[size_t(y)];
                for (int32_t x = 0; x < newWidth; ++x, d += 3) {
                    // Summed in this order so that every result pixel is the formula's own.
                    const double e = x - halfNewW;
                    const double sx = halfW + c * e - s * f, sy = halfH + s * e + c * f;
                    SampleBilinear(src.data(), w, h, sx, sy, d);
                }
            }
        });
        ReduceForPaletteDisplay(result, context, status);
        HandOver(picture, undo, std::move(result));
        return true;
    }

} // namespace

bool HasExactRotation(const TBitmap& picture)
{
    switch (picture.PixelFormat()) {
    case TPixelFormat::pf1bit:
    case TPixelFormat::pf4bit:
    case TPixelFormat::pf8bit:
    case TPixelFormat::pf15bit:
    case TPixelFormat::pf16bit:
    case TPixelFormat::pf24bit:
    case TPixelFormat::pf32bit:
        return true;
    default:
        return false;
    }
}

bool RotateLeft(TBitmap& picture, TBitmap* undo, const ProcessContext& context)
{
    if (picture.Empty())
        return false;
    if (!HasExactRotation(picture))
        return RotateByAngle(picture, undo, 90.0, context);
    HandOver(picture, undo, TurnExact(picture, Turn::Left, context.threads));
    return true;
}

bool RotateRight(TBitmap& picture, TBitmap* undo, const ProcessContext& context)
{
    if (picture.Empty())
        return false;
    if (!HasExactRotation(picture))
        return RotateByAngle(picture, undo, -90.0, context);
    HandOver(picture, undo, TurnExact(picture, Turn::Right, context.threads));
    return true;
}

bool Rotate180(TBitmap& picture, TBitmap* undo, const ProcessContext& context)
{
    if (picture.Empty())
        return false;
    if (!HasExactRotation(picture))
        return RotateByAngle(picture, undo, 180.0, context);
    HandOver(picture, undo, Turn180Exact(picture, context.threads));
    return true;
}

bool FlipVertical(
    TBitmap& picture, TBitmap* undo, const ProcessContext& /*context*/, std::string* refusal)
{
    if (!HasExactRotation(picture)) {
        if (refusal)
            *refusal = kPictureNotSupportedText;
        return false;
    }
    if (picture.Empty())
        return false;
    const int32_t h = picture.Height();
    const size_t bytes = DataBytes(picture);
    TBitmap result(picture);
    for (int32_t i = 0; i < h / 2; ++i)
        std::swap_ranges(
            result.ScanLine(i), result.ScanLine(i) + bytes, result.ScanLine(h - 1 - i));
    HandOver(picture, undo, std::move(result));
    return true;
}

bool RotateByAngle(TBitmap& picture, TBitmap* undo, double angle, const ProcessContext& context)
{
    if (angle == 0.0 || !std::isfinite(angle) || picture.Empty())
        return false;
    if (HasExactRotation(picture)) {
        if (angle == 90.0)
            return RotateLeft(picture, undo, context);
        if (angle == -90.0)
            return RotateRight(picture, undo, context);
        if (angle == 180.0 || angle == -180.0)
            return Rotate180(picture, undo, context);
    }
    return Resampled(picture, undo, angle, context);
}

} // namespace vtl::processing
