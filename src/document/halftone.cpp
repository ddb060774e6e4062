#include "document/halftone.h"

#include "document/fixed_palettes.h"
#include "document/pixel_format_conversion.h"

#include <algorithm>
#include <array>
#include <stdexcept>
#include <vector>

namespace vtl::document {

namespace {

    // One entry of an error row: red, green, blue.
    struct Error3 {
        int16_t r = 0;
        int16_t g = 0;
        int16_t b = 0;
    };

    // Source rows as red, green, blue triples, whatever the stored bit count.
    class RowReader {
    public:
        explicit RowReader(const DibImage& source)
            : m_source(source)
            , m_width(static_cast<size_t>(source.info.biWidth))
            , m_rowBytes(StoredRowBytes(source.info))
            , m_rgb(m_width * 3)
        {
        }

        const uint8_t* Row(size_t y)
        {
            const uint8_t* in = m_source.bits.Data() + y * m_rowBytes;
            uint8_t* out = m_rgb.data();
            const auto& table = m_source.colorTable;
            switch (m_source.info.biBitCount) {
            case 24:
                for (size_t x = 0; x < m_width; ++x, in += 3, out += 3) {
                    out[0] = in[2];
                    out[1] = in[1];
                    out[2] = in[0];
                }
                break;
            case 8:
                for (size_t x = 0; x < m_width; ++x, out += 3)
                    Put(out, table[in[x]]);
                break;
            case 4:
                for (size_t x = 0; x < m_width; ++x, out += 3)
                    Put(out, table[(x & 1) ? (in[x / 2] & 0x0F) : (in[x / 2] >> 4)]);
                break;
            default:
                for (size_t x = 0; x < m_width; ++x, out += 3)
                    Put(out, table[(in[x / 8] >> (7 - (x & 7))) & 1]);
                break;
            }
            return m_rgb.data();
        }

    private:
        static void Put(uint8_t* out, const platform::RGBQuad& c)
        {
            out[0] = c.rgbRed;
            out[1] = c.rgbGreen;
            out[2] = c.rgbBlue;
        }

        const DibImage& m_source;
        size_t m_width;
        size_t m_rowBytes;
        std::vector<uint8_t> m_rgb;
    };

    // Level of a channel value (0..255) for each channel, from the fixed thresholds.
    struct LevelTables {
        std::array<uint8_t, 256> red {};
        std::array<uint8_t, 256> green {};
        std::array<uint8_t, 256> blue {};
    };

    constexpr LevelTables MakeLevels()
    {
        LevelTables t;
        for (int v = 0; v < 256; ++v) {
            t.red[v] = v < 26 ? 0 : v < 77 ? 1 : v < 128 ? 2 : v < 179 ? 3 : v < 231 ? 4 : 5;
            t.green[v] = v < 22 ? 0
                : v < 64        ? 1
                : v < 107       ? 2
                : v < 150       ? 3
                : v < 193       ? 4
                : v < 234       ? 5
                                : 6;
            t.blue[v] = v < 32 ? 0 : v < 96 ? 1 : v < 160 ? 2 : v < 224 ? 3 : 4;
        }
        return t;
    }
    constexpr LevelTables kLevels = MakeLevels();

    inline int Clamp255(int v) { return std::clamp(v, 0, 255); }

    // The diffusion shared by both targets. Rows are visited in storage order, even rows left to
    // right and odd rows right to left; entry x + 1 of an error row belongs to column x, so the
    // entries at both ends stay zero. `quantise` takes the corrected red, green and blue of the
    // pixel at column x, writes the pixel and returns the error it leaves behind.
    template <typename Quantise>
    void Diffuse(const DibImage& source, DibImage& result, Quantise quantise)
    {
        const size_t width = static_cast<size_t>(source.info.biWidth);
        const size_t height = static_cast<size_t>(AbsHeight(source.info));
        const size_t outRow = StoredRowBytes(result.info);
        RowReader reader(source);
        std::vector<Error3> previous(width + 2);
        std::vector<Error3> current(width + 2);
        for (size_t y = 0; y < height; ++y) {
            previous.swap(current);
            const uint8_t* rgb = reader.Row(y);
            uint8_t* out = result.bits.Data() + y * outRow;
            const bool forward = (y & 1) == 0;
            Error3 before;
            for (size_t i = 0; i < width; ++i) {
                const size_t x = forward ? i : width - 1 - i;
                const Error3& above = previous[x + 1];
                const Error3& diagonal = forward ? previous[x] : previous[x + 2];
                const uint8_t* px = rgb + 3 * x;
                // C++ division truncates towards zero, as the diffusion wants.
                const int cr = px[0] - (12 * above.r + 12 * before.r + 5 * diagonal.r) / 32;
                const int cg = px[1] - (12 * above.g + 12 * before.g + 5 * diagonal.g) / 32;
                const int cb = px[2] - (12 * above.b + 12 * before.b + 5 * diagonal.b) / 32;
                before = quantise(out, x, cr, cg, cb);
                current[x + 1] = before;
            }
        }
    }

    void RequireUncompressed(const DibImage& source, const char* message)
    {
        if (source.info.biCompression != kBiRgb)
            throw std::logic_error(message);
        switch (source.info.biBitCount) {
        case 1:
        case 4:
        case 8:
        case 24:
            break;
        default:
            throw std::logic_error(message);
        }
        RequireFullPixelBlock(source);
    }

} // namespace

DibImage ConvertToHalfTone(const DibImage& source)
{
    RequireUncompressed(source, "ConvertToHalfTone: Invalid DIB Format");
    DibImage result = NewUncompressedLike(source, 8);
    auto palette = HalftonePalette();
    result.colorTable.fill(platform::RGBQuad {});
    std::copy(palette.begin(), palette.end(), result.colorTable.begin());
    result.info.biClrUsed = kHalftoneColours;
    result.info.biClrImportant = 0;

    Diffuse(source, result, [](uint8_t* out, size_t x, int cr, int cg, int cb) {
        const uint8_t lr = kLevels.red[Clamp255(cr)];
        const uint8_t lg = kLevels.green[Clamp255(cg)];
        const uint8_t lb = kLevels.blue[Clamp255(cb)];
        out[x] = static_cast<uint8_t>(35 * lr + 5 * lg + lb);
        return Error3 { static_cast<int16_t>(kHalftoneRed[lr] - cr),
            static_cast<int16_t>(kHalftoneGreen[lg] - cg),
            static_cast<int16_t>(kHalftoneBlue[lb] - cb) };
    });
    return result;
}

DibImage ConvertToHalfToneBW(const DibImage& source)
{
    RequireUncompressed(source, "ConvertToHalfToneBW: Invalid DIB Format");
    DibImage result = NewUncompressedLike(source, 1);
    auto palette = BlackWhitePalette();
    result.colorTable.fill(platform::RGBQuad {});
    std::copy(palette.begin(), palette.end(), result.colorTable.begin());
    result.info.biClrUsed = 2;
    result.info.biClrImportant = 0;

    Diffuse(source, result, [](uint8_t* out, size_t x, int cr, int cg, int cb) {
        const int level = cr + cg + cb < 384 ? 0 : 255;
        if (level)
            out[x / 8] |= static_cast<uint8_t>(0x80 >> (x & 7));
        return Error3 { static_cast<int16_t>(level - cr), static_cast<int16_t>(level - cg),
            static_cast<int16_t>(level - cb) };
    });
    return result;
}

} // namespace vtl::document
