#pragma once
// What the program's own plug-ins share: the exported-entry marker, the information texts,
// reading the source of a call (file or memory), reading the head IsSupported is given, and
// building the two blocks GetPicture hands back.

#include "input/susie_abi.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <span>
#include <vector>

#define SPI_EXPORT extern "C" __attribute__((visibility("default")))

namespace vtl::plugins {

// GetPluginInfo over a table of texts: the text of `infoNo` copied into the buffer with its
// terminator (cut to fit); the number of characters copied, or 0 for no such entry.
int32_t CopyPluginInfo(
    std::span<const char* const> texts, int32_t infoNo, char* buffer, int32_t length);

// The first bytes IsSupported is shown: read from the descriptor's start (without moving it) or
// copied from the 2048-byte buffer. The result is always 2048 bytes; `count` says how many are
// real.
bool ReadHead(uintptr_t fdOrHead, uint8_t (&head)[SPI_HEAD_SIZE], size_t& count);

// The data of a picture call: the whole file (from offset `length`) or the memory block.
// False when the file can't be read.
bool ReadSource(const char* source, int32_t length, uint32_t flag, std::vector<uint8_t>& owned,
    std::span<const uint8_t>& data);

// Output pictures are refused beyond these.
inline constexpr int64_t kMaxSide = 65535;
inline constexpr uint64_t kMaxBytes = uint64_t(1) << 30;

// A picture being built for GetPicture: header, colour table and bottom-up rows in malloc'ed
// blocks, freed unless handed over.
class DibBlocks {
public:
    DibBlocks() = default;
    ~DibBlocks()
    {
        std::free(m_info);
        std::free(m_bits);
    }
    DibBlocks(const DibBlocks&) = delete;
    DibBlocks& operator=(const DibBlocks&) = delete;

    // 24 bits or 8 bits with a colour table of `colors` entries. False when the size is out of
    // range or memory is short.
    bool Create(int32_t width, int32_t height, int bitCount, int colors = 0);
    // Row y counted from the top.
    uint8_t* Row(int32_t y) { return m_bits + static_cast<size_t>(m_height - 1 - y) * m_rowBytes; }
    uint8_t* ColorTable() { return m_info + 40; }
    size_t RowBytes() const { return m_rowBytes; }
    // Gives both blocks to the caller of GetPicture.
    void Release(void** info, void** bits)
    {
        *info = m_info;
        *bits = m_bits;
        m_info = nullptr;
        m_bits = nullptr;
    }

private:
    uint8_t* m_info = nullptr;
    uint8_t* m_bits = nullptr;
    int32_t m_height = 0;
    size_t m_rowBytes = 0;
};

// Fills the picture-info record for a picture of that size.
void FillPictureInfo(SusiePictureInfo* info, int32_t width, int32_t height, int16_t depth);

// Progress as the host likes it: non-zero from the callback means stop.
inline bool ReportProgress(
    SusieProgressCallback progress, int32_t done, int32_t total, int32_t user)
{
    return progress && progress(done, total, user) != 0;
}

// Copies a top-down picture of interleaved 8-bit R, G, B samples (`stride` bytes from one row
// to the next) into the blocks' rows as B, G, R.
void PutRgbRows(DibBlocks& dib, int32_t width, int32_t height, const uint8_t* rgb, size_t stride);

// Runs the body of an entry point: no exception ever leaves a plug-in, since the host is C code
// as far as the interface goes. Memory that runs out is SPI_NO_MEMORY, anything else
// SPI_INTERNAL_ERROR.
template <class Body> int32_t GuardedEntry(Body&& body) noexcept
{
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return SPI_NO_MEMORY;
    } catch (...) {
        return SPI_INTERNAL_ERROR;
    }
}

} // namespace vtl::plugins
