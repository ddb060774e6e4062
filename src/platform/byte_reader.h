#pragma once
// Bounds-checked reading of untrusted bytes. Every file, clipboard block, plug-in result and cache
// is read through this class; running past the end throws EReadError instead of reading beyond it.

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>

namespace vtl::platform {

// The stream layer's error for a read past the end of the data.
class EReadError : public std::runtime_error {
public:
    EReadError()
        : std::runtime_error("Stream read error")
    {
    }
    using std::runtime_error::runtime_error;
};

class ByteReader {
public:
    ByteReader() = default;
    explicit ByteReader(std::span<const uint8_t> data)
        : m_data(data)
    {
    }

    size_t Position() const { return m_pos; }
    size_t Size() const { return m_data.size(); }
    size_t Remaining() const { return m_data.size() - m_pos; }
    bool AtEnd() const { return m_pos == m_data.size(); }
    std::span<const uint8_t> Data() const { return m_data; }

    void Seek(size_t pos)
    {
        if (pos > m_data.size())
            throw EReadError();
        m_pos = pos;
    }
    void Skip(size_t n) { Seek(Need(n) + n); }

    // The next n bytes, as a view into the data.
    std::span<const uint8_t> Take(size_t n)
    {
        size_t at = Need(n);
        m_pos += n;
        return m_data.subspan(at, n);
    }

    uint8_t u8()
    {
        size_t at = Need(1);
        ++m_pos;
        return m_data[at];
    }
    uint16_t u16le() { return static_cast<uint16_t>(Le(2)); }
    uint32_t u32le() { return static_cast<uint32_t>(Le(4)); }
    int16_t i16le() { return static_cast<int16_t>(u16le()); }
    int32_t i32le() { return static_cast<int32_t>(u32le()); }
    uint16_t u16be() { return static_cast<uint16_t>(Be(2)); }
    uint32_t u32be() { return static_cast<uint32_t>(Be(4)); }
    int32_t i32be() { return static_cast<int32_t>(u32be()); }

private:
    // Position of n more bytes, or EReadError when they are not there.
    size_t Need(size_t n) const
    {
        if (n > m_data.size() - m_pos)
            throw EReadError();
        return m_pos;
    }
    uint64_t Le(size_t n)
    {
        auto bytes = Take(n);
        uint64_t v = 0;
        for (size_t i = n; i-- > 0;)
            v = (v << 8) | bytes[i];
        return v;
    }
    uint64_t Be(size_t n)
    {
        auto bytes = Take(n);
        uint64_t v = 0;
        for (size_t i = 0; i < n; ++i)
            v = (v << 8) | bytes[i];
        return v;
    }

    std::span<const uint8_t> m_data;
    size_t m_pos = 0;
};

// Little- and big-endian stores for writers.
inline void PutU16le(uint8_t* p, uint16_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void PutU32le(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void PutU32be(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * (3 - i)));
}

} // namespace vtl::platform
