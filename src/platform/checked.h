#pragma once
// Checked arithmetic for sizes computed from untrusted numbers.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>

namespace vtl::platform {

template <typename T>
std::optional<T> CheckedMul(T a, T b)
{
    T r;
    if (__builtin_mul_overflow(a, b, &r))
        return std::nullopt;
    return r;
}

template <typename T>
std::optional<T> CheckedAdd(T a, T b)
{
    T r;
    if (__builtin_add_overflow(a, b, &r))
        return std::nullopt;
    return r;
}

// Bytes of one row of `width` pixels at `bitCount` bits, padded to 32 bits as in a BMP file;
// nullopt when it does not fit in 32 bits.
inline std::optional<uint32_t> BmpRowBytes(int64_t width, int64_t bitCount)
{
    if (width < 0 || bitCount <= 0)
        return std::nullopt;
    uint64_t bits = static_cast<uint64_t>(width) * static_cast<uint64_t>(bitCount);
    uint64_t bytes = (bits + 31) / 32 * 4;
    if (bytes > UINT32_MAX)
        return std::nullopt;
    return static_cast<uint32_t>(bytes);
}

// Limits that guard every decoder against pictures no one could display.
inline constexpr int64_t kMaxPictureSide = 65535 * 4;
inline constexpr uint64_t kMaxPictureBytes = uint64_t(3) << 30;

} // namespace vtl::platform
