#include "codecs/png_format.h"

#include "codecs/png_errors.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>

#if defined(__SSE2__) && defined(__x86_64__)
#define VTL_PNG_SSE2 1
#include <emmintrin.h>
#endif

namespace vtl::codecs::png {

namespace {

    std::atomic<int> g_failInflateInits { 0 };

    // The predictor nearest to a + b - c, ties going to a, then b. Written with selects rather
    // than branches: on photographs the choice is a coin toss for the branch predictor.
    inline int Paeth(int a, int b, int c)
    {
        const int pa = std::abs(b - c);
        const int pb = std::abs(a - c);
        const int pc = std::abs(a + b - 2 * c);
        const int bc = pb <= pc ? b : c;
        return pa <= pb && pa <= pc ? a : bc;
    }

    // One byte a pixel: the left neighbours are carried in registers rather than read back from
    // the bytes just written.
    void UnfilterLeftSingleBytes(FilterType type, uint8_t* r, const uint8_t* p, size_t n)
    {
        int a = 0;
        int c = 0;
        switch (type) {
        case FilterType::Sub:
            for (size_t i = 0; i < n; ++i)
                r[i] = static_cast<uint8_t>(a = (r[i] + a) & 0xFF);
            break;
        case FilterType::Average:
            for (size_t i = 0; i < n; ++i)
                r[i] = static_cast<uint8_t>(a = (r[i] + ((a + p[i]) >> 1)) & 0xFF);
            break;
        default: // Paeth
            for (size_t i = 0; i < n; ++i) {
                const int b = p[i];
                r[i] = static_cast<uint8_t>(a = (r[i] + Paeth(a, b, c)) & 0xFF);
                c = b;
            }
            break;
        }
    }

    // The filters that look left, a byte at a time, with the pixel size known to the compiler
    // where it can be. `Unit` 0 means the size is only known at run time.
    template <size_t Unit>
    void UnfilterLeftBytes(FilterType type, uint8_t* r, const uint8_t* p, size_t n, size_t unit)
    {
        if constexpr (Unit != 0)
            unit = Unit;
        const size_t head = std::min(unit, n);
        switch (type) {
        case FilterType::Sub:
            for (size_t i = unit; i < n; ++i)
                r[i] = static_cast<uint8_t>(r[i] + r[i - unit]);
            break;
        case FilterType::Average:
            for (size_t i = 0; i < head; ++i)
                r[i] = static_cast<uint8_t>(r[i] + (p[i] >> 1));
            for (size_t i = unit; i < n; ++i)
                r[i] = static_cast<uint8_t>(r[i] + ((r[i - unit] + p[i]) >> 1));
            break;
        default: // Paeth
            for (size_t i = 0; i < head; ++i)
                r[i] = static_cast<uint8_t>(r[i] + p[i]);
            for (size_t i = unit; i < n; ++i)
                r[i] = static_cast<uint8_t>(r[i] + Paeth(r[i - unit], p[i], p[i - unit]));
            break;
        }
    }

#if defined(VTL_PNG_SSE2)
    // Whole pixels of 2 to 8 bytes at once: each pixel's bytes sit side by side in one register
    // (16-bit lanes for Paeth, whose sums need nine bits), so that a row costs one pass of a few
    // instructions a pixel. Every operation keeps its lanes apart, so bytes loaded beyond a pixel
    // never reach it; stores write exactly the pixel's bytes.
    template <size_t Unit> constexpr size_t kLoadBytes = Unit <= 4 ? 4 : 8;

    // Reads kLoadBytes<Unit> bytes: a 3- or 6-byte pixel is read with its neighbour's first
    // bytes, in one load (putting it together from pieces would stall on every pixel).
    template <size_t Unit> inline __m128i LoadWide(const uint8_t* from)
    {
        if constexpr (kLoadBytes<Unit> == 4) {
            uint32_t v;
            std::memcpy(&v, from, 4);
            return _mm_cvtsi32_si128(static_cast<int>(v));
        } else {
            return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(from));
        }
    }
    // Reads the pixel's bytes alone, for the last pixels of a row.
    template <size_t Unit> inline __m128i LoadExact(const uint8_t* from)
    {
        uint64_t v = 0;
        std::memcpy(&v, from, Unit);
        return _mm_cvtsi64_si128(static_cast<long long>(v));
    }
    // Writes the pixel's bytes from a general register, in pieces of the sizes stores have.
    template <size_t Unit> inline void StorePixel(uint8_t* to, __m128i pixel)
    {
        auto v = static_cast<uint64_t>(_mm_cvtsi128_si64(pixel));
        if constexpr (Unit == 8) {
            std::memcpy(to, &v, 8);
            return;
        }
        if constexpr (Unit >= 4) {
            const auto low = static_cast<uint32_t>(v);
            std::memcpy(to, &low, 4);
            to += 4;
            v >>= 32;
        }
        if constexpr (Unit % 4 >= 2) {
            const auto low = static_cast<uint16_t>(v);
            std::memcpy(to, &low, 2);
            to += 2;
            v >>= 16;
        }
        if constexpr (Unit % 2 == 1)
            *to = static_cast<uint8_t>(v);
    }
    inline __m128i Select(__m128i when, __m128i yes, __m128i no)
    {
        return _mm_or_si128(_mm_and_si128(when, yes), _mm_andnot_si128(when, no));
    }

    // Runs step(i, filtered, above) for each whole pixel of the row in order, with wide loads
    // wherever the row has the bytes for them.
    template <size_t Unit, typename Step>
    inline size_t ForEachPixel(uint8_t* r, const uint8_t* p, size_t n, Step step)
    {
        const size_t whole = n - n % Unit;
        size_t i = 0;
        for (; i + kLoadBytes<Unit> <= n && i < whole; i += Unit)
            step(i, LoadWide<Unit>(r + i), LoadWide<Unit>(p + i));
        for (; i < whole; i += Unit)
            step(i, LoadExact<Unit>(r + i), LoadExact<Unit>(p + i));
        return whole;
    }

    template <size_t Unit>
    void UnfilterLeftPixels(FilterType type, uint8_t* r, const uint8_t* p, size_t n)
    {
        const __m128i zero = _mm_setzero_si128();
        size_t whole = 0;
        switch (type) {
        case FilterType::Sub: {
            __m128i a = zero;
            whole = ForEachPixel<Unit>(r, p, n, [&](size_t i, __m128i filtered, __m128i) {
                a = _mm_add_epi8(a, filtered);
                StorePixel<Unit>(r + i, a);
            });
            break;
        }
        case FilterType::Average: {
            // (a + b) >> 1 from the rounding-up average: less one where a + b is odd.
            const __m128i one = _mm_set1_epi8(1);
            __m128i a = zero;
            whole = ForEachPixel<Unit>(r, p, n, [&](size_t i, __m128i filtered, __m128i b) {
                const __m128i odd = _mm_and_si128(_mm_xor_si128(a, b), one);
                a = _mm_add_epi8(filtered, _mm_sub_epi8(_mm_avg_epu8(a, b), odd));
                StorePixel<Unit>(r + i, a);
            });
            break;
        }
        default: { // Paeth
            // The left pixel a stays in 16-bit lanes from one pixel to the next, and only the
            // fewest steps depend on it: |p - b| = |a - c| and |p - c| = |a - (2c - b)| are each
            // a maximum less a minimum, against values known before a is.
            __m128i a = zero;
            __m128i c = zero;
            whole = ForEachPixel<Unit>(r, p, n, [&](size_t i, __m128i filtered, __m128i above) {
                const __m128i b = _mm_unpacklo_epi8(above, zero);
                const __m128i pa = _mm_sub_epi16(_mm_max_epi16(b, c), _mm_min_epi16(b, c));
                const __m128i t = _mm_sub_epi16(_mm_add_epi16(c, c), b);
                const __m128i pb = _mm_sub_epi16(_mm_max_epi16(a, c), _mm_min_epi16(a, c));
                const __m128i pc = _mm_sub_epi16(_mm_max_epi16(a, t), _mm_min_epi16(a, t));
                const __m128i notA = _mm_or_si128(_mm_cmpgt_epi16(pa, pb), _mm_cmpgt_epi16(pa, pc));
                const __m128i bOrC = Select(_mm_cmpgt_epi16(pb, pc), c, b);
                const __m128i nearest = Select(notA, bOrC, a);
                // Both high bytes are zero, so a byte-wise sum is the lane's sum modulo 256.
                a = _mm_add_epi8(_mm_unpacklo_epi8(filtered, zero), nearest);
                StorePixel<Unit>(r + i, _mm_packus_epi16(a, a));
                c = b;
            });
            break;
        }
        }
        // Bytes after the last whole pixel: never in a PNG row, whose pixels are whole.
        for (size_t i = whole; i < n; ++i) {
            const int a = i >= Unit ? r[i - Unit] : 0;
            const int c = i >= Unit ? p[i - Unit] : 0;
            const int predictor = type == FilterType::Sub ? a
                : type == FilterType::Average             ? (a + p[i]) >> 1
                                                          : Paeth(a, p[i], c);
            r[i] = static_cast<uint8_t>(r[i] + predictor);
        }
    }
#endif

    bool UnfilterLeft(FilterType type, uint8_t* r, const uint8_t* p, size_t n, size_t unit)
    {
        switch (unit) {
        case 1:
            UnfilterLeftSingleBytes(type, r, p, n);
            return true;
#if defined(VTL_PNG_SSE2)
        case 2:
            UnfilterLeftPixels<2>(type, r, p, n);
            return true;
        case 3:
            UnfilterLeftPixels<3>(type, r, p, n);
            return true;
        case 4:
            UnfilterLeftPixels<4>(type, r, p, n);
            return true;
        case 6:
            UnfilterLeftPixels<6>(type, r, p, n);
            return true;
        case 8:
            UnfilterLeftPixels<8>(type, r, p, n);
            return true;
#else
        case 3:
            UnfilterLeftBytes<3>(type, r, p, n, unit);
            return true;
        case 4:
            UnfilterLeftBytes<4>(type, r, p, n, unit);
            return true;
#endif
        default:
            UnfilterLeftBytes<0>(type, r, p, n, unit);
            return true;
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
    case FilterType::Up: {
        size_t i = 0;
#if defined(VTL_PNG_SSE2)
        for (; i + 16 <= n; i += 16) {
            const __m128i sum
                = _mm_add_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(r + i)),
                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i)));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(r + i), sum);
        }
#endif
        for (; i < n; ++i)
            r[i] = static_cast<uint8_t>(r[i] + p[i]);
        return true;
    }
    case FilterType::Sub:
    case FilterType::Average:
    case FilterType::Paeth:
        return UnfilterLeft(static_cast<FilterType>(type), r, p, n, unit);
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
