#pragma once
// Floyd-Steinberg written the plain way, as the reference for the reductions' error diffusion: a
// full-size error array, every share checked against the picture's edges, every look-up a palette
// scan.

#include "platform/gdi.h"
#include "test_pictures.h"

#include <algorithm>
#include <vector>

namespace vtl::testing {

// Indices (row after row) for a 24-bit picture. With `grey`, the entry is the nearest grey to the
// corrected colour's level Trunc(0.299 R + 0.587 G + 0.114 B) and each channel's error is that
// level minus the entry.
inline std::vector<uint8_t> NaiveDither(
    const TBitmap& picture, const std::vector<platform::PaletteEntry>& palette, bool grey = false)
{
    const int32_t w = picture.Width(), h = picture.Height();
    std::vector<int> err(size_t(w) * size_t(h) * 3, 0);
    std::vector<uint8_t> out(size_t(w) * size_t(h));
    auto at = [&](int32_t x, int32_t y, int c) -> int& {
        return err[(size_t(y) * size_t(w) + size_t(x)) * 3 + size_t(c)];
    };
    for (int32_t y = 0; y < h; ++y) {
        const int dir = y % 2 == 0 ? 1 : -1;
        for (int32_t n = 0; n < w; ++n) {
            const int32_t x = dir > 0 ? n : w - 1 - n;
            const Bgr s = At(picture, x, y);
            const int src[3] = { s.b, s.g, s.r };
            int wanted[3];
            for (int c = 0; c < 3; ++c)
                wanted[c] = std::clamp(src[c] + at(x, y, c), 0, 255);
            int target[3] = { wanted[0], wanted[1], wanted[2] };
            if (grey) {
                const int level = int(0.299 * wanted[2] + 0.587 * wanted[1] + 0.114 * wanted[0]);
                target[0] = target[1] = target[2] = level;
            }
            const uint32_t index = platform::GetNearestPaletteIndex(
                palette, platform::Rgb(uint8_t(target[2]), uint8_t(target[1]), uint8_t(target[0])));
            out[size_t(y) * size_t(w) + size_t(x)] = uint8_t(index);
            const int chosen[3]
                = { palette[index].peBlue, palette[index].peGreen, palette[index].peRed };
            for (int c = 0; c < 3; ++c) {
                const int e = target[c] - chosen[c];
                auto add = [&](int32_t xx, int32_t yy, int k) {
                    if (xx >= 0 && xx < w && yy < h)
                        at(xx, yy, c) += e * k / 16;
                };
                add(x + dir, y, 7);
                add(x - dir, y + 1, 3);
                add(x, y + 1, 5);
                add(x + dir, y + 1, 1);
            }
        }
    }
    return out;
}

} // namespace vtl::testing
