// Picture plug-in for WebP files over libwebp, as a 24-bit picture (alpha is dropped).

#include "spi_common.h"

#include <webp/decode.h>

#include <array>
#include <vector>

using namespace vtl::plugins;

namespace {

constexpr std::array<const char*, 4> kInfo { "00IN", "vtl WebP plug-in (libwebp)", "*.webp",
    "WebP" };

bool IsWebp(const uint8_t* head, size_t count)
{
    return count >= 12 && std::memcmp(head, "RIFF", 4) == 0
        && std::memcmp(head + 8, "WEBP", 4) == 0;
}

bool Size(std::span<const uint8_t> data, int32_t& width, int32_t& height)
{
    int w = 0, h = 0;
    if (!WebPGetInfo(data.data(), data.size(), &w, &h) || w <= 0 || h <= 0 || w > kMaxSide
        || h > kMaxSide)
        return false;
    width = w;
    height = h;
    return true;
}

} // namespace

SPI_EXPORT int32_t GetPluginInfo(int32_t infoNo, char* buffer, int32_t length)
{
    return CopyPluginInfo(kInfo, infoNo, buffer, length);
}

SPI_EXPORT int32_t IsSupported(const char* /*fileName*/, uintptr_t fdOrHead)
{
    uint8_t head[SPI_HEAD_SIZE];
    size_t count = 0;
    return ReadHead(fdOrHead, head, count) && IsWebp(head, count) ? 1 : 0;
}

SPI_EXPORT int32_t GetPictureInfo(
    const char* source, int32_t length, uint32_t flag, SusiePictureInfo* info)
{
    std::vector<uint8_t> owned;
    std::span<const uint8_t> data;
    if (!ReadSource(source, length, flag, owned, data))
        return SPI_FILE_READ_ERROR;
    int32_t width = 0, height = 0;
    if (!IsWebp(data.data(), data.size()) || !Size(data, width, height))
        return SPI_UNKNOWN_FORMAT;
    FillPictureInfo(info, width, height, 24);
    return SPI_SUCCESS;
}

SPI_EXPORT int32_t GetPicture(const char* source, int32_t length, uint32_t flag, void** info,
    void** bits, SusieProgressCallback progress, int32_t userData)
{
    if (!info || !bits)
        return SPI_INTERNAL_ERROR;
    *info = nullptr;
    *bits = nullptr;
    std::vector<uint8_t> owned;
    std::span<const uint8_t> data;
    if (!ReadSource(source, length, flag, owned, data))
        return SPI_FILE_READ_ERROR;
    int32_t width = 0, height = 0;
    if (!IsWebp(data.data(), data.size()) || !Size(data, width, height))
        return SPI_UNKNOWN_FORMAT;
    if (ReportProgress(progress, 0, 1, userData))
        return SPI_ABORT;
    DibBlocks dib;
    if (!dib.Create(width, height, 24))
        return SPI_NO_MEMORY;
    // Decoded into the block with the rows in file order, then turned bottom-up.
    size_t rowBytes = dib.RowBytes();
    size_t total = rowBytes * static_cast<size_t>(height);
    uint8_t* bottom = dib.Row(height - 1);
    if (!WebPDecodeBGRInto(data.data(), data.size(), bottom, total, static_cast<int>(rowBytes)))
        return SPI_BROKEN_DATA;
    std::vector<uint8_t> swap(rowBytes);
    for (int32_t y = 0; y < height / 2; ++y) {
        uint8_t* a = bottom + static_cast<size_t>(y) * rowBytes;
        uint8_t* b = bottom + static_cast<size_t>(height - 1 - y) * rowBytes;
        std::memcpy(swap.data(), a, rowBytes);
        std::memcpy(a, b, rowBytes);
        std::memcpy(b, swap.data(), rowBytes);
    }
    if (ReportProgress(progress, 1, 1, userData))
        return SPI_ABORT;
    dib.Release(info, bits);
    return SPI_SUCCESS;
}

SPI_EXPORT int32_t ConfigurationDlg(void* /*parent*/, int32_t /*function*/) { return SPI_SUCCESS; }
