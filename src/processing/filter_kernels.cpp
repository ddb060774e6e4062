#include "processing/filter_kernels.h"

#include "processing/processing_frame.h"

#include <algorithm>
#include <cmath>

// These loops carry the filters' whole cost. With GCC, vectorising them needs more than the
// project's default optimisation, and a wider instruction set where the processor has one; neither
// changes a result, since nothing here contracts a multiply and an add into one rounding.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC optimize("O3")
#define VTL_HOT __attribute__((target_clones("avx2", "default")))
#else
#define VTL_HOT
#endif

namespace vtl::processing::kernels {

namespace {
    VTL_HOT void Scale(double* __restrict sums, const uint8_t* __restrict a, double w, size_t n)
    {
        for (size_t i = 0; i < n; ++i)
            sums[i] = w * double(a[i]);
    }

    VTL_HOT void AddScaled(double* __restrict sums, const uint8_t* __restrict a, double w, size_t n)
    {
        for (size_t i = 0; i < n; ++i)
            sums[i] += w * double(a[i]);
    }

    VTL_HOT void AddGroup(double* __restrict sums, const uint8_t* __restrict a,
        const uint8_t* __restrict b, const uint8_t* __restrict c, const uint8_t* __restrict d,
        double w, size_t n)
    {
        for (size_t i = 0; i < n; ++i)
            sums[i] += double(int(a[i]) + int(b[i]) + int(c[i]) + int(d[i])) * w;
    }
}

void GroupedSum(const uint8_t* const* rows, int half, int channels, size_t values,
    const double* weights, double* sums)
{
    const size_t side = size_t(half) + 1;
    const size_t ch = size_t(channels);
    auto at = [&](int dy, int dx) { return rows[half + dy] + size_t(half + dx) * ch; };
    Scale(sums, at(0, 0), weights[0], values);
    for (int f = 0; f <= half; ++f)
        for (int j = 1; j <= half; ++j)
            AddGroup(sums, at(f, j), at(-f, -j), at(-j, f), at(j, -f),
                weights[size_t(f) * side + size_t(j)], values);
}

void PlainSum(
    const uint8_t* const* rows, int n, const double* coefficients, size_t values, double* sums)
{
    Scale(sums, rows[0], coefficients[0], values);
    for (int r = 0; r < n; ++r)
        for (int c = (r == 0 ? 1 : 0); c < n; ++c)
            AddScaled(sums, rows[r] + size_t(c) * 3, coefficients[r * n + c], values);
}

VTL_HOT void RoundRow(const double* __restrict sums, uint8_t* __restrict out, size_t values)
{
    for (size_t i = 0; i < values; ++i)
        out[i] = RoundToByte(sums[i]);
}

VTL_HOT void SharpenRow(const uint8_t* const* rows, uint8_t* __restrict out, size_t values)
{
    const uint8_t* __restrict up = rows[0] + 3;
    const uint8_t* __restrict mid = rows[1];
    const uint8_t* __restrict down = rows[2] + 3;
    for (size_t i = 0; i < values; ++i) {
        int v = 5 * int(mid[i + 3]) - int(up[i]) - int(down[i]) - int(mid[i]) - int(mid[i + 6]);
        out[i] = uint8_t(std::clamp(v, 0, 255));
    }
}

VTL_HOT void Kernel3Row(
    const uint8_t* const* rows, const int* kernel, uint8_t* __restrict out, size_t values)
{
    const uint8_t* __restrict r0 = rows[0];
    const uint8_t* __restrict r1 = rows[1];
    const uint8_t* __restrict r2 = rows[2];
    const int k0 = kernel[0], k1 = kernel[1], k2 = kernel[2], k3 = kernel[3], k4 = kernel[4],
              k5 = kernel[5], k6 = kernel[6], k7 = kernel[7], k8 = kernel[8];
    for (size_t i = 0; i < values; ++i) {
        int v = k0 * r0[i] + k1 * r0[i + 3] + k2 * r0[i + 6] + k3 * r1[i] + k4 * r1[i + 3]
            + k5 * r1[i + 6] + k6 * r2[i] + k7 * r2[i + 3] + k8 * r2[i + 6];
        out[i] = uint8_t(std::clamp(v, 0, 255));
    }
}

VTL_HOT void SobelRow(const uint8_t* const* rows, uint8_t* __restrict out, size_t values)
{
    const uint8_t* __restrict r0 = rows[0];
    const uint8_t* __restrict r1 = rows[1];
    const uint8_t* __restrict r2 = rows[2];
    for (size_t i = 0; i < values; ++i) {
        const int ul = r0[i], u = r0[i + 3], ur = r0[i + 6];
        const int l = r1[i], r = r1[i + 6];
        const int dl = r2[i], d = r2[i + 3], dr = r2[i + 6];
        const int gx = (ur + 2 * r + dr) - (ul + 2 * l + dl);
        const int gy = (dl + 2 * d + dr) - (ul + 2 * u + ur);
        // At most 255 anyway; below 255 squared a float root is exact enough to truncate.
        const int m = std::min(gx * gx + gy * gy, 255 * 255);
        out[i] = uint8_t(int(std::sqrt(float(m))));
    }
}

VTL_HOT void MedianChoiceRow(const uint32_t* const* keys, uint8_t* __restrict choice, size_t width)
{
    const uint32_t* __restrict k0 = keys[0];
    const uint32_t* __restrict k1 = keys[1];
    const uint32_t* __restrict k2 = keys[2];
    for (size_t x = 0; x < width; ++x) {
        // The neighbour's number below the key makes all nine distinct and sorts equal keys in
        // the order they were taken, so an exchange network gives the stable sort's fifth.
        uint32_t p[9] = { k0[x] * 16 + 0, k0[x + 1] * 16 + 1, k0[x + 2] * 16 + 2, k1[x] * 16 + 3,
            k1[x + 1] * 16 + 4, k1[x + 2] * 16 + 5, k2[x] * 16 + 6, k2[x + 1] * 16 + 7,
            k2[x + 2] * 16 + 8 };
        auto sort2 = [&p](int a, int b) {
            const uint32_t lo = std::min(p[a], p[b]), hi = std::max(p[a], p[b]);
            p[a] = lo;
            p[b] = hi;
        };
        sort2(1, 2), sort2(4, 5), sort2(7, 8);
        sort2(0, 1), sort2(3, 4), sort2(6, 7);
        sort2(1, 2), sort2(4, 5), sort2(7, 8);
        sort2(0, 3), sort2(5, 8), sort2(4, 7);
        sort2(3, 6), sort2(1, 4), sort2(2, 5);
        sort2(4, 7), sort2(4, 2), sort2(6, 4);
        sort2(4, 2);
        choice[x] = uint8_t(p[4] & 15);
    }
}

} // namespace vtl::processing::kernels
