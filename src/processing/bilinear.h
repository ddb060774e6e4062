#pragma once
// The bilinear sample that the any-angle rotation and the enlarging resize share: the four
// neighbours of a real source position blended by its fractions, black outside the picture.

#include <cstdint>

namespace vtl::processing {

inline int32_t FloorToInt(double value)
{
    const auto i = static_cast<int32_t>(value);
    return i > value ? i - 1 : i;
}

// One 24-bit pixel of `rows` (width x height) at (sx, sy). Each channel is
// Trunc((1 - fy)((1 - fx) P00 + fx P10) + fy((1 - fx) P01 + fx P11) + 0.5), at most 255.
inline void SampleBilinear(const uint8_t* const* rows, int32_t width, int32_t height, int32_t x0,
    int32_t y0, double fx, double fy, uint8_t* out)
{
    static constexpr uint8_t kBlack[3] = { 0, 0, 0 };
    const uint8_t *p00, *p10, *p01, *p11;
    if (x0 >= 0 && y0 >= 0 && x0 + 1 < width && y0 + 1 < height) {
        p00 = rows[y0] + 3 * x0;
        p10 = p00 + 3;
        p01 = rows[y0 + 1] + 3 * x0;
        p11 = p01 + 3;
    } else {
        auto at = [&](int32_t x, int32_t y) {
            return x >= 0 && y >= 0 && x < width && y < height ? rows[y] + 3 * x : kBlack;
        };
        p00 = at(x0, y0);
        p10 = at(x0 + 1, y0);
        p01 = at(x0, y0 + 1);
        p11 = at(x0 + 1, y0 + 1);
    }
    const double gx = 1.0 - fx, gy = 1.0 - fy;
    for (int c = 0; c < 3; ++c) {
        const double v = gy * (gx * p00[c] + fx * p10[c]) + fy * (gx * p01[c] + fx * p11[c]) + 0.5;
        out[c] = v >= 255.0 ? uint8_t(255) : uint8_t(v > 0.0 ? int(v) : 0);
    }
}

inline void SampleBilinear(
    const uint8_t* const* rows, int32_t width, int32_t height, double sx, double sy, uint8_t* out)
{
    const int32_t x0 = FloorToInt(sx), y0 = FloorToInt(sy);
    SampleBilinear(rows, width, height, x0, y0, sx - x0, sy - y0, out);
}

} // namespace vtl::processing
