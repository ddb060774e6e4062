// Turning a photo upright by its orientation tag. The quarter turns are the edit menu's exact
// turns (pixels moved in the picture's own format, palette kept); the mirrors work on the rows in
// place, so that no orientation needs more than the one copy a quarter turn makes.

#include "codecs/photo_tags.h"

#include "processing/rotate.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace vtl::codecs {

namespace {

    using platform::TBitmap;
    using platform::TPixelFormat;

    // Top row to bottom, in place.
    void FlipRows(TBitmap& bitmap)
    {
        const int32_t h = bitmap.Height();
        const size_t bytes = bitmap.RowBytes();
        for (int32_t y = 0; y < h / 2; ++y) {
            uint8_t* a = bitmap.ScanLine(y);
            std::swap_ranges(a, a + bytes, bitmap.ScanLine(h - 1 - y));
        }
    }

    template <size_t N> void ReverseRow(uint8_t* row, int32_t width)
    {
        uint8_t* left = row;
        uint8_t* right = row + size_t(width - 1) * N;
        for (; left < right; left += N, right -= N)
            std::swap_ranges(left, left + N, right);
    }

    // 1- and 4-bit rows are spread to one index per byte, reversed and packed again.
    void ReversePackedRow(uint8_t* row, int32_t width, int bits, std::vector<uint8_t>& indices)
    {
        indices.resize(size_t(width));
        for (int32_t x = 0; x < width; ++x)
            indices[size_t(x)] = bits == 4 ? ((x & 1) ? row[x >> 1] & 0x0F : row[x >> 1] >> 4)
                                           : (row[x >> 3] >> (7 - (x & 7))) & 1;
        std::reverse(indices.begin(), indices.end());
        const size_t used = bits == 4 ? (size_t(width) + 1) / 2 : (size_t(width) + 7) / 8;
        std::fill_n(row, used, uint8_t(0));
        for (int32_t x = 0; x < width; ++x) {
            const uint8_t v = indices[size_t(x)];
            if (bits == 4)
                row[x >> 1] |= uint8_t((x & 1) ? v : v << 4);
            else
                row[x >> 3] |= uint8_t(v << (7 - (x & 7)));
        }
    }

    // Left column to right, in place.
    void MirrorColumns(TBitmap& bitmap)
    {
        const int32_t w = bitmap.Width();
        const int bits = bitmap.BitsPerPixel();
        std::vector<uint8_t> indices;
        for (int32_t y = 0; y < bitmap.Height(); ++y) {
            uint8_t* row = bitmap.ScanLine(y);
            switch (bits) {
            case 1:
            case 4:
                ReversePackedRow(row, w, bits, indices);
                break;
            case 8:
                ReverseRow<1>(row, w);
                break;
            case 15:
            case 16:
                ReverseRow<2>(row, w);
                break;
            case 24:
                ReverseRow<3>(row, w);
                break;
            default:
                ReverseRow<4>(row, w);
                break;
            }
        }
    }

} // namespace

void ApplyOrientation(platform::TBitmap& bitmap, int orientation)
{
    if (orientation < 2 || orientation > 8 || bitmap.Empty())
        return;
    // The device and custom tags are stored as 24 bits; the exact turns want them named so.
    if (!processing::HasExactRotation(bitmap))
        bitmap.SetPixelFormat(TPixelFormat::pf24bit);
    const processing::ProcessContext quiet;
    switch (orientation) {
    case 2:
        MirrorColumns(bitmap);
        break;
    case 3:
        FlipRows(bitmap);
        MirrorColumns(bitmap);
        break;
    case 4:
        FlipRows(bitmap);
        break;
    case 5: // the anticlockwise turn, then top to bottom: rows become columns as they are
        processing::RotateLeft(bitmap, nullptr, quiet);
        FlipRows(bitmap);
        break;
    case 6:
        processing::RotateRight(bitmap, nullptr, quiet);
        break;
    case 7:
        processing::RotateRight(bitmap, nullptr, quiet);
        FlipRows(bitmap);
        break;
    case 8:
        processing::RotateLeft(bitmap, nullptr, quiet);
        break;
    }
}

} // namespace vtl::codecs
