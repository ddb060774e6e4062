#pragma once
// The body of a picture plug-in's fuzz target: the target is built with the plug-in's own source,
// and the bytes are offered to its entry points as a memory request, as the host offers an
// archive member. Whatever the bytes, every call returns; a picture that comes back is as large
// as its header says and as GetPictureInfo said.

#include "input/susie_abi.h"

#include <malloc.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" {
int32_t IsSupported(const char* fileName, uintptr_t fdOrHead);
int32_t GetPictureInfo(const char* source, int32_t length, uint32_t flag, SusiePictureInfo* info);
int32_t GetPicture(const char* source, int32_t length, uint32_t flag, void** info, void** bits,
    SusieProgressCallback progress, int32_t userData);
}

namespace vtl::fuzz {

inline uint32_t Le32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

inline int32_t Progress(int32_t done, int32_t total, int32_t)
{
    if (total != 0 && (done < 0 || done > total))
        std::abort();
    return 0;
}

inline int OfferToPicturePlugin(const uint8_t* data, size_t size)
{
    if (size > 1u << 24)
        return 0;
    uint8_t head[SPI_HEAD_SIZE] = {};
    std::memcpy(head, data, size < sizeof head ? size : sizeof head);
    IsSupported("fuzz", reinterpret_cast<uintptr_t>(head));

    const char* source = reinterpret_cast<const char*>(data);
    const int32_t length = static_cast<int32_t>(size);
    SusiePictureInfo pictureInfo {};
    const bool sized
        = GetPictureInfo(source, length, SPI_SOURCE_MEMORY, &pictureInfo) == SPI_SUCCESS;
    if (sized && (pictureInfo.width <= 0 || pictureInfo.height <= 0))
        std::abort();

    void* info = nullptr;
    void* bits = nullptr;
    if (GetPicture(source, length, SPI_SOURCE_MEMORY, &info, &bits, &Progress, 0) != SPI_SUCCESS) {
        if (info || bits)
            std::abort(); // a failed call hands nothing back
        return 0;
    }
    if (!info || !bits || malloc_usable_size(info) < 40)
        std::abort();
    const auto* header = static_cast<const uint8_t*>(info);
    const int32_t width = static_cast<int32_t>(Le32(header + 4));
    const int32_t height = static_cast<int32_t>(Le32(header + 8));
    const size_t rowBytes = (static_cast<size_t>(width) * 24 + 31) / 32 * 4;
    if (width <= 0 || height <= 0 || header[14] != 24
        || malloc_usable_size(bits) < rowBytes * static_cast<size_t>(height))
        std::abort();
    if (sized && (width != pictureInfo.width || height != pictureInfo.height))
        std::abort(); // the host priced the picture by what GetPictureInfo said
    std::free(info);
    std::free(bits);
    return 0;
}

} // namespace vtl::fuzz
