#include "codecs/png_format.h"

#include "codecs/png_errors.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>

namespace vtl::codecs::png {

namespace {

    std::atomic<int> g_failInflateInits { 0 };

    inline uint8_t Paeth(int a, int b, int c)
    {
        int p = a + b - c;
        int pa = std::abs(p - a);
        int pb = std::abs(p - b);
        int pc = std::abs(p - c);
        if (pa <= pb && pa <= pc)
            return static_cast<uint8_t>(a);
        return static_cast<uint8_t>(pb <= pc ? b : c);
    }

    // The filters that look left, with the pixel size known to the compiler so that the bytes of
    // one pixel are worked on side by side. `Unit` 0 means the size is only known at run time.
    template <size_t Unit>
    bool UnfilterLeft(FilterType type, uint8_t* r, const uint8_t* p, size_t n, size_t unit)
    {
        if constexpr (Unit != 0)
            unit = Unit;
        const size_t head = std::min(unit, n);
        switch (type) {
        case FilterType::Sub:
            for (size_t i = unit; i < n; ++i)
                r[i] = static_cast<uint8_t>(r[i] + r[i - unit]);
            return true;
        case FilterType::Average:
            for (size_t i = 0; i < head; ++i)
                r[i] = static_cast<uint8_t>(r[i] + (p[i] >> 1));
            for (size_t i = unit; i < n; ++i)
                r[i] = static_cast<uint8_t>(r[i] + ((r[i - unit] + p[i]) >> 1));
            return true;
        case FilterType::Paeth:
            for (size_t i = 0; i < head; ++i)
                r[i] = static_cast<uint8_t>(r[i] + p[i]);
            for (size_t i = unit; i < n; ++i)
                r[i] = static_cast<uint8_t>(r[i] + Paeth(r[i - unit], p[i], p[i - unit]));
            return true;
        default:
            return false;
        }
    }

} // namespace

uint32_t Crc(uint32_t crc, std::span<const uint8_t> bytes)
{
    // zlib's crc32 takes a 32-bit length.
    while (!bytes.empty()) {
        auto n = static_cast<uInt>(std::min<size_t>(bytes.size(), 1u << 30));
        crc = static_cast<uint32_t>(crc32(crc, bytes.data(), n));
        bytes = bytes.subspan(n);
    }
    return crc;
}

bool UnfilterRow(uint8_t type, std::span<uint8_t> row, std::span<const uint8_t> prev, size_t unit)
{
    const size_t n = row.size();
    uint8_t* r = row.data();
    const uint8_t* p = prev.data();
    switch (static_cast<FilterType>(type)) {
    case FilterType::None:
        return true;
    case FilterType::Up:
        for (size_t i = 0; i < n; ++i)
            r[i] = static_cast<uint8_t>(r[i] + p[i]);
        return true;
    case FilterType::Sub:
    case FilterType::Average:
    case FilterType::Paeth: {
        auto kind = static_cast<FilterType>(type);
        switch (unit) {
        case 1:
            return UnfilterLeft<1>(kind, r, p, n, unit);
        case 3:
            return UnfilterLeft<3>(kind, r, p, n, unit);
        case 4:
            return UnfilterLeft<4>(kind, r, p, n, unit);
        default:
            return UnfilterLeft<0>(kind, r, p, n, unit);
        }
    }
    }
    return false;
}

void FilterRow(FilterType type, std::span<const uint8_t> row, std::span<const uint8_t> prev,
    size_t unit, std::span<uint8_t> out)
{
    const size_t n = row.size();
    for (size_t i = 0; i < n; ++i) {
        int a = i >= unit ? row[i - unit] : 0;
        int b = prev[i];
        int c = i >= unit ? prev[i - unit] : 0;
        int predictor = 0;
        switch (type) {
        case FilterType::None:
            break;
        case FilterType::Sub:
            predictor = a;
            break;
        case FilterType::Up:
            predictor = b;
            break;
        case FilterType::Average:
            predictor = (a + b) >> 1;
            break;
        case FilterType::Paeth:
            predictor = Paeth(a, b, c);
            break;
        }
        out[i] = static_cast<uint8_t>(row[i] - predictor);
    }
}

Inflater::Inflater()
{
    int pending = g_failInflateInits.load();
    while (pending > 0 && !g_failInflateInits.compare_exchange_weak(pending, pending - 1)) { }
    if (pending > 0 || inflateInit(&m_z) != Z_OK)
        throw EPngError(kPngErrorZlib);
    // The reader stops at the last row and never reaches the checksum at the end of the data,
    // so zlib need not compute it.
    inflateValidate(&m_z, 0);
}

Inflater::~Inflater() { inflateEnd(&m_z); }

void Inflater::FailNextInitForTesting(int count) { g_failInflateInits = count; }

Deflater::Deflater(int level)
{
    if (deflateInit2(&m_z, level, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw EPngError(kPngWriteError);
}

Deflater::~Deflater() { deflateEnd(&m_z); }

} // namespace vtl::codecs::png
