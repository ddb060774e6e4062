#include "spi_common.h"

#include <algorithm>
#include <cstdio>

#include <unistd.h>

namespace vtl::plugins {

int32_t CopyPluginInfo(
    std::span<const char* const> texts, int32_t infoNo, char* buffer, int32_t length)
{
    if (infoNo < 0 || static_cast<size_t>(infoNo) >= texts.size() || !buffer || length <= 0)
        return 0;
    const char* text = texts[static_cast<size_t>(infoNo)];
    size_t count = std::min(std::strlen(text), static_cast<size_t>(length - 1));
    std::memcpy(buffer, text, count);
    buffer[count] = '\0';
    return static_cast<int32_t>(count);
}

bool ReadHead(uintptr_t fdOrHead, uint8_t (&head)[SPI_HEAD_SIZE], size_t& count)
{
    std::memset(head, 0, sizeof head);
    count = 0;
    if (fdOrHead < SPI_FD_LIMIT) {
        int fd = static_cast<int>(fdOrHead);
        while (count < sizeof head) {
            ssize_t got = ::pread(fd, head + count, sizeof head - count, static_cast<off_t>(count));
            if (got <= 0)
                break;
            count += static_cast<size_t>(got);
        }
        return count > 0;
    }
    std::memcpy(head, reinterpret_cast<const void*>(fdOrHead), sizeof head);
    count = sizeof head;
    return true;
}

bool ReadSource(const char* source, int32_t length, uint32_t flag, std::vector<uint8_t>& owned,
    std::span<const uint8_t>& data)
{
    if (!source)
        return false;
    if ((flag & SPI_SOURCE_MASK) == SPI_SOURCE_MEMORY) {
        if (length < 0)
            return false;
        data = { reinterpret_cast<const uint8_t*>(source), static_cast<size_t>(length) };
        return true;
    }
    std::FILE* file = std::fopen(source, "rb");
    if (!file)
        return false;
    bool ok = std::fseek(file, 0, SEEK_END) == 0;
    long size = ok ? std::ftell(file) : -1;
    long offset = length > 0 ? length : 0;
    ok = size >= offset && static_cast<uint64_t>(size - offset) <= kMaxBytes
        && std::fseek(file, offset, SEEK_SET) == 0;
    if (ok) {
        owned.resize(static_cast<size_t>(size - offset));
        ok = owned.empty() || std::fread(owned.data(), 1, owned.size(), file) == owned.size();
    }
    std::fclose(file);
    if (!ok)
        return false;
    data = owned;
    return true;
}

bool DibBlocks::Create(int32_t width, int32_t height, int bitCount, int colors)
{
    if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide)
        return false;
    if (colors < 0 || colors > 256)
        return false;
    m_rowBytes = (static_cast<size_t>(width) * static_cast<size_t>(bitCount) + 31) / 32 * 4;
    uint64_t total = uint64_t(m_rowBytes) * uint64_t(height);
    if (total > kMaxBytes)
        return false;
    m_height = height;
    m_info = static_cast<uint8_t*>(std::calloc(1, 40 + 4 * static_cast<size_t>(colors)));
    m_bits = static_cast<uint8_t*>(std::calloc(1, static_cast<size_t>(total)));
    if (!m_info || !m_bits)
        return false;
    auto put32 = [this](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            m_info[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
    };
    put32(0, 40);
    put32(4, static_cast<uint32_t>(width));
    put32(8, static_cast<uint32_t>(height));
    m_info[12] = 1; // planes
    m_info[14] = static_cast<uint8_t>(bitCount);
    put32(20, static_cast<uint32_t>(total));
    put32(24, 3780);
    put32(28, 3780);
    put32(32, static_cast<uint32_t>(colors));
    return true;
}

void PutRgbRows(DibBlocks& dib, int32_t width, int32_t height, const uint8_t* rgb, size_t stride)
{
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* src = rgb + static_cast<size_t>(y) * stride;
        uint8_t* row = dib.Row(y);
        for (int32_t x = 0; x < width; ++x, src += 3) {
            row[3 * x] = src[2];
            row[3 * x + 1] = src[1];
            row[3 * x + 2] = src[0];
        }
    }
}

void FillPictureInfo(SusiePictureInfo* info, int32_t width, int32_t height, int16_t depth)
{
    std::memset(info, 0, sizeof *info);
    info->width = width;
    info->height = height;
    info->colorDepth = depth;
    info->hInfo = nullptr;
}

} // namespace vtl::plugins
