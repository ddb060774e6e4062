#pragma once
// Builds PNG files chunk by chunk for the reader's tests, so that any header, chunk order, CRC or
// image data a test needs can be made without another encoder.

#include <zlib.h>

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vtl::testing {

class PngBuilder {
public:
    PngBuilder() { m_bytes = { 137, 80, 78, 71, 13, 10, 26, 10 }; }

    PngBuilder& Chunk(std::string_view type, std::span<const uint8_t> data, bool goodCrc = true)
    {
        Put32(static_cast<uint32_t>(data.size()));
        size_t start = m_bytes.size();
        m_bytes.insert(m_bytes.end(), type.begin(), type.end());
        m_bytes.insert(m_bytes.end(), data.begin(), data.end());
        uLong crc = crc32(0, m_bytes.data() + start, static_cast<uInt>(m_bytes.size() - start));
        Put32(static_cast<uint32_t>(goodCrc ? crc : crc ^ 0x5A5A5A5A));
        return *this;
    }
    PngBuilder& Chunk(
        std::string_view type, std::initializer_list<uint8_t> data, bool goodCrc = true)
    {
        std::vector<uint8_t> v(data);
        return Chunk(type, v, goodCrc);
    }
    PngBuilder& Text(std::string_view keyword, std::string_view text)
    {
        std::vector<uint8_t> v(keyword.begin(), keyword.end());
        v.push_back(0);
        v.insert(v.end(), text.begin(), text.end());
        return Chunk("tEXt", v);
    }
    PngBuilder& Header(uint32_t width, uint32_t height, uint8_t depth, uint8_t colorType,
        uint8_t interlace = 0, uint8_t compression = 0, uint8_t filter = 0)
    {
        std::vector<uint8_t> v;
        Put32(v, width);
        Put32(v, height);
        v.insert(v.end(), { depth, colorType, compression, filter, interlace });
        return Chunk("IHDR", v);
    }
    // Compresses the raw rows (each starting with its filter byte) into IDAT chunks of at most
    // `piece` bytes.
    PngBuilder& Image(std::span<const uint8_t> raw, size_t piece = 1 << 20)
    {
        auto z = Compress(raw);
        for (size_t at = 0; at < z.size(); at += piece) {
            size_t n = std::min(piece, z.size() - at);
            Chunk("IDAT", std::span(z).subspan(at, n));
        }
        return *this;
    }
    PngBuilder& End() { return Chunk("IEND", std::span<const uint8_t>()); }
    std::vector<uint8_t> Bytes() const { return m_bytes; }

    static std::vector<uint8_t> Compress(std::span<const uint8_t> raw)
    {
        uLongf size = compressBound(static_cast<uLong>(raw.size()));
        std::vector<uint8_t> z(size);
        compress(z.data(), &size, raw.data(), static_cast<uLong>(raw.size()));
        z.resize(size);
        return z;
    }
    static void Put32(std::vector<uint8_t>& v, uint32_t x)
    {
        for (int i = 3; i >= 0; --i)
            v.push_back(static_cast<uint8_t>(x >> (8 * i)));
    }

private:
    void Put32(uint32_t x) { Put32(m_bytes, x); }
    std::vector<uint8_t> m_bytes;
};

// The chunks of a PNG file: names in order and their data.
struct ChunkInfo {
    std::string type;
    std::vector<uint8_t> data;
};
inline std::vector<ChunkInfo> ListChunks(std::span<const uint8_t> png)
{
    std::vector<ChunkInfo> chunks;
    size_t at = 8;
    while (at + 12 <= png.size()) {
        uint32_t len = (uint32_t(png[at]) << 24) | (uint32_t(png[at + 1]) << 16)
            | (uint32_t(png[at + 2]) << 8) | png[at + 3];
        if (len > png.size() - at - 12)
            break;
        ChunkInfo c;
        c.type.assign(png.begin() + at + 4, png.begin() + at + 8);
        c.data.assign(png.begin() + at + 8, png.begin() + at + 8 + len);
        chunks.push_back(std::move(c));
        at += 12 + len;
    }
    return chunks;
}

} // namespace vtl::testing
