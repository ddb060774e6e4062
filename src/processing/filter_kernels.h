#pragma once
// The inner loops of the window filters, one image row at a time. Each reads row buffers of a
// RowRing (image column x of window row r at rows[r] + (x + half) x channels) and walks the row's
// values, channel by channel, so that the compiler can keep several pixels in one instruction.
// Every pixel still gets exactly the arithmetic, in exactly the order, that the filter describes.

#include <cstddef>
#include <cstdint>

namespace vtl::processing::kernels {

// sums[i] = w(0,0) x centre, then for F = 0..half and j = 1..half the four values at (F, j),
// (-F, -j), (-j, F), (j, -F) added together, times w(F, j), added: the visiting order of the blur.
// `weights` holds w(|dy|, |dx|) row by row, (half + 1) per row; `values` = width x channels.
void GroupedSum(const uint8_t* const* rows, int half, int channels, size_t values,
    const double* weights, double* sums);

// sums[i] = the sum over window rows r and columns c, row by row, of coefficient[r n + c] times the
// value at (c - half, r - half), for a 24-bit ring of n rows.
void PlainSum(
    const uint8_t* const* rows, int n, const double* coefficients, size_t values, double* sums);

// Each sum rounded to the nearest integer, halves to even, clamped to 0..255.
void RoundRow(const double* sums, uint8_t* out, size_t values);

// 5 C - U - D - L - R, clamped; 24-bit rows.
void SharpenRow(const uint8_t* const* rows, uint8_t* out, size_t values);
// The 3 x 3 integer kernel (rows top to bottom) times the neighbourhood, clamped; 24-bit rows.
void Kernel3Row(const uint8_t* const* rows, const int* kernel, uint8_t* out, size_t values);
// The integer part of the Sobel magnitude, at most 255; 24-bit rows.
void SobelRow(const uint8_t* const* rows, uint8_t* out, size_t values);

// For each pixel, which of its nine neighbours (0..8: row above, own row, row below, each left to
// right) is the fifth when they are sorted stably by key. `keys` is a ring of one key per pixel.
void MedianChoiceRow(const uint32_t* const* keys, uint8_t* choice, size_t width);

} // namespace vtl::processing::kernels
