#pragma once
// The pieces of the PNG format the reader and the writer share: signature, chunk names, CRC,
// the row filters, the Adam7 pass geometry and owners of zlib's inflate and deflate state.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include <zlib.h>

namespace vtl::codecs::png {

inline constexpr std::array<uint8_t, 8> kSignature = { 137, 80, 78, 71, 13, 10, 26, 10 };

constexpr uint32_t ChunkName(const char (&name)[5])
{
    return (uint32_t(uint8_t(name[0])) << 24) | (uint32_t(uint8_t(name[1])) << 16)
        | (uint32_t(uint8_t(name[2])) << 8) | uint32_t(uint8_t(name[3]));
}

inline constexpr uint32_t kIHDR = ChunkName("IHDR");
inline constexpr uint32_t kPLTE = ChunkName("PLTE");
inline constexpr uint32_t kIDAT = ChunkName("IDAT");
inline constexpr uint32_t kIEND = ChunkName("IEND");
inline constexpr uint32_t kTRNS = ChunkName("tRNS");
inline constexpr uint32_t kBKGD = ChunkName("bKGD");
inline constexpr uint32_t kGAMA = ChunkName("gAMA");
inline constexpr uint32_t kPHYS = ChunkName("pHYs");
inline constexpr uint32_t kSBIT = ChunkName("sBIT");
inline constexpr uint32_t kCHRM = ChunkName("cHRM");
inline constexpr uint32_t kTEXT = ChunkName("tEXt");
inline constexpr uint32_t kTIME = ChunkName("tIME");
inline constexpr uint32_t kGIFG = ChunkName("gIFg");
inline constexpr uint32_t kTPNG = ChunkName("tpNG"); // the program's own chunk

// Colour type bits.
inline constexpr uint8_t kColorPalette = 1;
inline constexpr uint8_t kColorColor = 2;
inline constexpr uint8_t kColorAlpha = 4;

// CRC-32 of a chunk's name and data, continuing `crc` (start with 0).
uint32_t Crc(uint32_t crc, std::span<const uint8_t> bytes);

enum class FilterType : uint8_t { None = 0, Sub = 1, Up = 2, Average = 3, Paeth = 4 };

// Undoes the filter of one row in place. `prev` is the unfiltered previous row of the same size
// (all zero for the first row of an image or pass); `unit` the bytes of one complete pixel, at
// least 1. Returns false for a filter type that does not exist.
bool UnfilterRow(uint8_t type, std::span<uint8_t> row, std::span<const uint8_t> prev, size_t unit);

// Filters `row` into `out` (same size) against the unfiltered previous row.
void FilterRow(FilterType type, std::span<const uint8_t> row, std::span<const uint8_t> prev,
    size_t unit, std::span<uint8_t> out);

struct PassGeometry {
    uint32_t x0, y0, dx, dy;
};
inline constexpr std::array<PassGeometry, 7> kAdam7 = { {
    { 0, 0, 8, 8 },
    { 4, 0, 8, 8 },
    { 0, 4, 4, 8 },
    { 2, 0, 4, 4 },
    { 0, 2, 2, 4 },
    { 1, 0, 2, 2 },
    { 0, 1, 1, 2 },
} };
// Columns or rows of a pass over `size` pixels starting at `start` every `step`.
constexpr uint32_t PassExtent(uint32_t size, uint32_t start, uint32_t step)
{
    return size > start ? (size - start + step - 1) / step : 0;
}

// Bytes of a row of `width` pixels at `bitsPerPixel` bits.
constexpr uint64_t PackedRowBytes(uint64_t width, uint64_t bitsPerPixel)
{
    return (width * bitsPerPixel + 7) / 8;
}

// zlib's inflate state for one image. Throws EPngError("PNG LoadStream: Error ZLIB") when zlib
// can't start.
class Inflater {
public:
    Inflater();
    ~Inflater();
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;
    z_stream& Z() { return m_z; }

    // Tests: make the next `count` set-ups fail as if zlib had no memory.
    static void FailNextInitForTesting(int count);

private:
    z_stream m_z {};
};

// zlib's deflate state at a level (-1 or 0 to 9). Throws EPngError("Write Image (PNG): Write
// Error") when zlib can't start.
class Deflater {
public:
    explicit Deflater(int level);
    ~Deflater();
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;
    z_stream& Z() { return m_z; }

private:
    z_stream m_z {};
};

} // namespace vtl::codecs::png
