#pragma once
// Builds small metafiles for tests: the 18-byte metafile header, records of 16-bit words, and
// optionally the 22-byte placeable header in front.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace vtl::testing {

class WmfBuilder {
public:
    explicit WmfBuilder(uint16_t objects = 8)
        : m_objects(objects)
    {
    }

    WmfBuilder& Record(uint16_t function, std::initializer_list<int> words)
    {
        return Raw(function, Words(words));
    }
    // A record whose parameters are the given bytes (padded to whole words).
    WmfBuilder& Raw(uint16_t function, std::vector<uint8_t> params)
    {
        if (params.size() % 2)
            params.push_back(0);
        Put32(m_records, uint32_t(3 + params.size() / 2));
        Put16(m_records, function);
        m_records.insert(m_records.end(), params.begin(), params.end());
        return *this;
    }
    // Bytes as they are, for records with wrong lengths.
    WmfBuilder& Bytes(const std::vector<uint8_t>& bytes)
    {
        m_records.insert(m_records.end(), bytes.begin(), bytes.end());
        return *this;
    }

    std::vector<uint8_t> Metafile(bool withEnd = true) const
    {
        std::vector<uint8_t> m;
        Put16(m, 1);
        Put16(m, 9);
        Put16(m, 0x0300);
        Put32(m, 0);
        Put16(m, m_objects);
        Put32(m, 0);
        Put16(m, 0);
        m.insert(m.end(), m_records.begin(), m_records.end());
        if (withEnd) {
            Put32(m, 3);
            Put16(m, 0);
        }
        return m;
    }

    std::vector<uint8_t> Placeable(int left, int top, int right, int bottom, int inch = 96) const
    {
        std::vector<uint8_t> m;
        Put32(m, 0x9AC6CDD7);
        Put16(m, 0);
        for (int v : { left, top, right, bottom, inch })
            Put16(m, uint16_t(v));
        Put32(m, 0);
        uint16_t sum = 0;
        for (size_t i = 0; i < 20; i += 2)
            sum ^= uint16_t(m[i] | (m[i + 1] << 8));
        Put16(m, sum);
        auto body = Metafile();
        m.insert(m.end(), body.begin(), body.end());
        return m;
    }

    static std::vector<uint8_t> Words(std::initializer_list<int> words)
    {
        std::vector<uint8_t> out;
        for (int w : words)
            Put16(out, uint16_t(w));
        return out;
    }
    static void Put16(std::vector<uint8_t>& out, uint16_t v)
    {
        out.push_back(uint8_t(v));
        out.push_back(uint8_t(v >> 8));
    }
    static void Put32(std::vector<uint8_t>& out, uint32_t v)
    {
        Put16(out, uint16_t(v));
        Put16(out, uint16_t(v >> 16));
    }

    // A packed DIB: 40-byte header, no colour table, 24-bit rows bottom-up. `rgb` lists the
    // pixels top row first as 0xRRGGBB.
    static std::vector<uint8_t> Dib24(int width, int height, const std::vector<uint32_t>& rgb)
    {
        std::vector<uint8_t> d;
        Put32(d, 40);
        Put32(d, uint32_t(width));
        Put32(d, uint32_t(height));
        Put16(d, 1);
        Put16(d, 24);
        for (int i = 0; i < 6; ++i)
            Put32(d, 0);
        const size_t rowBytes = (size_t(width) * 3 + 3) / 4 * 4;
        for (int y = height - 1; y >= 0; --y) {
            size_t start = d.size();
            for (int x = 0; x < width; ++x) {
                uint32_t c = rgb[size_t(y * width + x)];
                d.push_back(uint8_t(c));
                d.push_back(uint8_t(c >> 8));
                d.push_back(uint8_t(c >> 16));
            }
            d.resize(start + rowBytes, 0);
        }
        return d;
    }

private:
    uint16_t m_objects;
    std::vector<uint8_t> m_records;
};

} // namespace vtl::testing
