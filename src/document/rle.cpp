#include "document/rle.h"

#include "document/dib_errors.h"
#include "document/dib_image.h"
#include "document/pixel_format_conversion.h"
#include "platform/checked.h"

#include <algorithm>
#include <cstring>

namespace vtl::document {

using platform::MappedBlock;

namespace {

    // Row size and block for a decoded picture; the size is checked before anything is mapped.
    struct DecodeTarget {
        size_t rowBytes = 0;
        MappedBlock block;
    };

    DecodeTarget MakeDecodeTarget(int32_t width, int32_t height, uint16_t bitCount)
    {
        BitmapInfoHeader info;
        info.biWidth = width;
        info.biHeight = height;
        info.biBitCount = bitCount;
        info.biCompression = kBiRgb;
        DecodeTarget target;
        size_t size = UncompressedBlockSize(info);
        target.rowBytes = StoredRowBytes(info);
        target.block = GetMemory(size);
        return target;
    }

    // Decoder messages, numbered as the image buffer has always reported them.
    struct RleMessages {
        const char* endOfLine;
        const char* delta;
        const char* absolute;
        const char* encoded;
    };
    constexpr RleMessages kRle8Messages { "Convert8BitRLETo8BitRGB: Bad RLE Data 1",
        "Convert8BitRLETo8BitRGB: Bad RLE Data 2", "Convert8BitRLETo8BitRGB: Bad RLE Data 3",
        "Convert8BitRLETo8BitRGB: Bad RLE Data 4" };
    constexpr RleMessages kRle4Messages { "Convert4BitRLETo4BitRGB: Bad RLE Data 5",
        "Convert4BitRLETo4BitRGB: Bad RLE Data 6", "Convert4BitRLETo4BitRGB: Bad RLE Data 7",
        "Convert4BitRLETo4BitRGB: Bad RLE Data 8" };

    inline void PutNibble(uint8_t* row, size_t x, uint8_t v)
    {
        uint8_t& b = row[x >> 1];
        b = (x & 1) ? static_cast<uint8_t>((b & 0xF0) | (v & 0x0F))
                    : static_cast<uint8_t>((b & 0x0F) | (v << 4));
    }

    // The shared walk over the codes. `Pixels` knows how a run and an absolute run land in a row.
    // Positions only move forward (right within a row, then up), and every write is checked
    // against the width and height before it is made.
    template <bool FourBit>
    MappedBlock Decode(
        std::span<const uint8_t> data, int32_t width, int32_t height, const RleMessages& messages)
    {
        DecodeTarget target = MakeDecodeTarget(width, height, FourBit ? 4 : 8);
        uint8_t* base = target.block.Data();
        const size_t w = static_cast<size_t>(width);
        const size_t h = static_cast<size_t>(height);
        const size_t size = data.size();
        const uint8_t* in = data.data();
        size_t pos = 0;
        size_t x = 0;
        size_t y = 0;
        // A code cut off by the end of the data ends the picture, as an end-of-bitmap would.
        while (size - pos >= 2) {
            const uint8_t first = in[pos];
            const uint8_t second = in[pos + 1];
            pos += 2;
            if (first != 0) {
                const size_t count = first;
                if (y >= h || count > w - x)
                    throw EDIBInvalidDIB(messages.encoded);
                uint8_t* row = base + y * target.rowBytes;
                if constexpr (FourBit) {
                    const uint8_t hi = second >> 4;
                    const uint8_t lo = second & 0x0F;
                    if ((x & 1) == 0) {
                        // Whole bytes at once; the pair of nibbles keeps its order.
                        std::memset(row + x / 2, second, count / 2);
                        if (count & 1)
                            PutNibble(row, x + count - 1, hi);
                    } else {
                        for (size_t i = 0; i < count; ++i)
                            PutNibble(row, x + i, (i & 1) ? lo : hi);
                    }
                } else {
                    std::memset(row + x, second, count);
                }
                x += count;
                continue;
            }
            switch (second) {
            case 0: // end of line
                if (y >= h)
                    throw EDIBInvalidDIB(messages.endOfLine);
                ++y;
                x = 0;
                break;
            case 1: // end of bitmap
                return std::move(target.block);
            case 2: { // delta
                if (size - pos < 2)
                    return std::move(target.block);
                const size_t dx = in[pos];
                const size_t dy = in[pos + 1];
                pos += 2;
                if (dx > w - x || dy > h - y)
                    throw EDIBInvalidDIB(messages.delta);
                x += dx;
                y += dy;
                break;
            }
            default: { // absolute run of `second` pixels, padded to 16 bits
                const size_t count = second;
                if (y >= h || count > w - x)
                    throw EDIBInvalidDIB(messages.absolute);
                const size_t bytes = FourBit ? (count + 1) / 2 : count;
                const size_t available = std::min(bytes, size - pos);
                // Pixels whose bytes are missing stay zero, and the picture ends after them.
                const size_t pixels = FourBit ? std::min(count, available * 2) : available;
                uint8_t* row = base + y * target.rowBytes;
                const uint8_t* src = in + pos;
                if constexpr (FourBit) {
                    if ((x & 1) == 0) {
                        std::memcpy(row + x / 2, src, pixels / 2);
                        if (pixels & 1)
                            PutNibble(row, x + pixels - 1, src[pixels / 2] >> 4);
                    } else {
                        for (size_t i = 0; i < pixels; ++i) {
                            const uint8_t b = src[i / 2];
                            PutNibble(row, x + i, (i & 1) ? (b & 0x0F) : (b >> 4));
                        }
                    }
                } else {
                    std::memcpy(row + x, src, pixels);
                }
                if (available < bytes)
                    return std::move(target.block);
                x += count;
                pos += bytes;
                if (bytes & 1) {
                    if (pos == size)
                        return std::move(target.block);
                    ++pos;
                }
                break;
            }
            }
        }
        return std::move(target.block);
    }

    // Output of the encoders: a work area as large as the uncompressed pixel block, with the
    // room for each code checked before it is written.
    class RleOutput {
    public:
        RleOutput(size_t capacity, const char* failMessage)
            : m_area(capacity)
            , m_failMessage(failMessage)
        {
        }

        void Need(size_t n) const
        {
            if (m_area.Size() - m_length < n)
                throw EDIBCompressionFailed(m_failMessage);
        }
        void Put(uint8_t a, uint8_t b)
        {
            m_area.Data()[m_length] = a;
            m_area.Data()[m_length + 1] = b;
            m_length += 2;
        }
        void PutBytes(const uint8_t* p, size_t n)
        {
            std::memcpy(m_area.Data() + m_length, p, n);
            m_length += n;
            if (n & 1)
                m_area.Data()[m_length++] = 0;
        }
        void EndOfLine()
        {
            Need(4);
            Put(0, 0);
        }
        void EndOfBitmap()
        {
            Need(2);
            Put(0, 1);
        }
        // The encoded bytes in a block of their own size.
        MappedBlock Finish() const
        {
            MappedBlock result(m_length);
            std::memcpy(result.Data(), m_area.Data(), m_length);
            return result;
        }

    private:
        MappedBlock m_area;
        size_t m_length = 0;
        const char* m_failMessage;
    };

    // RLE8 codes: one unit is one pixel.
    class Rle8Codes {
    public:
        static constexpr unsigned kLimit = 255;
        explicit Rle8Codes(RleOutput& out)
            : m_out(out)
        {
        }
        void StartRow(const uint8_t* row) { m_row = row; }
        void Run(unsigned count, uint8_t value)
        {
            m_out.Need(6);
            m_out.Put(static_cast<uint8_t>(count), value);
        }
        void Literal(size_t start, unsigned length)
        {
            if (length <= 2) {
                for (unsigned i = 0; i < length; ++i)
                    Run(1, m_row[start + i]);
                return;
            }
            m_out.Need(((length + 1) & ~1u) + 6);
            m_out.Put(0, static_cast<uint8_t>(length));
            m_out.PutBytes(m_row + start, length);
        }

    private:
        RleOutput& m_out;
        const uint8_t* m_row = nullptr;
    };

    // RLE4 codes: one unit is one byte (two pixels); counts are cut to the pixels left in the row.
    class Rle4Codes {
    public:
        static constexpr unsigned kLimit = 127;
        Rle4Codes(RleOutput& out, size_t width)
            : m_out(out)
            , m_width(width)
        {
        }
        void StartRow(const uint8_t* row)
        {
            m_row = row;
            m_pixel = 0;
        }
        void Run(unsigned count, uint8_t value)
        {
            m_out.Need(6);
            m_out.Put(PixelCount(count), value);
        }
        void Literal(size_t start, unsigned length)
        {
            if (length == 1) {
                Run(1, m_row[start]);
                return;
            }
            m_out.Need(((length + 1) & ~1u) + 6);
            m_out.Put(0, PixelCount(length));
            m_out.PutBytes(m_row + start, length);
        }

    private:
        uint8_t PixelCount(unsigned bytes)
        {
            const size_t pixels = std::min<size_t>(2 * bytes, m_width - m_pixel);
            m_pixel += 2 * bytes;
            return static_cast<uint8_t>(pixels);
        }

        RleOutput& m_out;
        size_t m_width;
        const uint8_t* m_row = nullptr;
        size_t m_pixel = 0;
    };

    // The encoder's state machine over the units of one row. The pending literal is always a
    // stretch of the row itself, so it is kept as a start and a length.
    template <typename Codes> void EncodeRow(const uint8_t* row, size_t units, Codes& codes)
    {
        enum class State { One, Run, Literal };
        codes.StartRow(row);
        State state = State::One;
        uint8_t value = row[0];
        unsigned count = 1;
        size_t start = 0;
        for (size_t i = 1; i < units; ++i) {
            const uint8_t p = row[i];
            switch (state) {
            case State::One:
                if (p == value) {
                    state = State::Run;
                    count = 2;
                } else {
                    state = State::Literal;
                    start = i - 1;
                    count = 2;
                }
                break;
            case State::Run:
                if (p == value && count < Codes::kLimit) {
                    ++count;
                } else {
                    codes.Run(count, value);
                    state = State::One;
                    value = p;
                    count = 1;
                }
                break;
            case State::Literal:
                if (p == row[start + count - 1]) {
                    // The repeated pixel leaves the literal and opens a run with this one.
                    codes.Literal(start, count - 1);
                    state = State::Run;
                    value = p;
                    count = 2;
                } else if (count < Codes::kLimit) {
                    ++count;
                } else {
                    codes.Literal(start, count);
                    state = State::One;
                    value = p;
                    count = 1;
                }
                break;
            }
        }
        if (state == State::Literal)
            codes.Literal(start, count);
        else
            codes.Run(count, value);
    }

    template <typename Codes>
    MappedBlock EncodeRows(const DibImage& source, size_t unitsPerRow, RleOutput& out, Codes& codes)
    {
        const size_t rowBytes = StoredRowBytes(source.info);
        const int32_t height = AbsHeight(source.info);
        const bool topDown = source.info.biHeight < 0;
        for (int32_t r = 0; r < height; ++r) {
            // Rows are coded bottom row first, whatever the source's row order.
            const size_t stored = static_cast<size_t>(topDown ? height - 1 - r : r);
            EncodeRow(source.bits.Data() + stored * rowBytes, unitsPerRow, codes);
            out.EndOfLine();
        }
        out.EndOfBitmap();
        return out.Finish();
    }

} // namespace

MappedBlock DecodeRle8(std::span<const uint8_t> data, int32_t width, int32_t height)
{
    return Decode<false>(data, width, height, kRle8Messages);
}

MappedBlock DecodeRle4(std::span<const uint8_t> data, int32_t width, int32_t height)
{
    return Decode<true>(data, width, height, kRle4Messages);
}

DibImage Convert8BitRLETo8BitRGB(const DibImage& source)
{
    if (source.info.biBitCount != 8 || source.info.biCompression != kBiRle8)
        throw EDIBBadDIBType("Convert8BitRLETo8BitRGB: Invalid Bitcount & Compression Combination");
    const int32_t height = AbsHeight(source.info);
    return NewPictureLike(
        source, 8, kBiRgb, height, DecodeRle8(source.bits.Bytes(), source.info.biWidth, height));
}

DibImage Convert4BitRLETo4BitRGB(const DibImage& source)
{
    if (source.info.biBitCount != 4 || source.info.biCompression != kBiRle4)
        throw EDIBBadDIBType("Convert4BitRLETo4BitRGB: Invalid Bitcount & Compression Combination");
    const int32_t height = AbsHeight(source.info);
    return NewPictureLike(
        source, 4, kBiRgb, height, DecodeRle4(source.bits.Bytes(), source.info.biWidth, height));
}

DibImage Convert8BitRGBTo8BitRLE(const DibImage& source)
{
    if (source.info.biBitCount != 8 || source.info.biCompression != kBiRgb)
        throw EDIBBadDIBType("Convert8BitRGBTo8BitRLE: Invalid Bitcount & Compression Combination");
    RequireFullPixelBlock(source);
    RleOutput out(
        UncompressedBlockSize(source.info), "Convert8BitRGBTo8BitRLE: Compression Failed");
    Rle8Codes codes(out);
    MappedBlock block = EncodeRows(source, static_cast<size_t>(source.info.biWidth), out, codes);
    return NewPictureLike(source, 8, kBiRle8, AbsHeight(source.info), std::move(block));
}

DibImage Convert4BitRGBTo4BitRLE(const DibImage& source)
{
    if (source.info.biBitCount != 4 || source.info.biCompression != kBiRgb)
        throw EDIBBadDIBType("Convert4BitRGBTo4BitRLE: Invalid Bitcount & Compression Combination");
    RequireFullPixelBlock(source);
    RleOutput out(
        UncompressedBlockSize(source.info), "Convert4BitRGBTo4BitRLE: Compression Failed");
    const size_t width = static_cast<size_t>(source.info.biWidth);
    Rle4Codes codes(out, width);
    MappedBlock block = EncodeRows(source, (width + 1) / 2, out, codes);
    return NewPictureLike(source, 4, kBiRle4, AbsHeight(source.info), std::move(block));
}

} // namespace vtl::document
