#pragma once
// Buffered big-endian streams under the graphic readers and writers. They sit on a TStream (a file,
// memory or a plug-in block), keep a buffer of it, and give the codecs bytes, 16- and 32-bit
// big-endian values and direct views of the buffer so that zlib can eat from it without copies.
// The graphic children add progress reports in percent.

#include "platform/progress.h"
#include "platform/stream.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace vtl::codecs {

inline constexpr size_t kStreamBufferSize = 64 * 1024;

class TCustomReadStream {
public:
    explicit TCustomReadStream(platform::TStream& stream, size_t bufferSize = kStreamBufferSize);
    virtual ~TCustomReadStream() = default;
    TCustomReadStream(const TCustomReadStream&) = delete;
    TCustomReadStream& operator=(const TCustomReadStream&) = delete;

    // Each of these delivers every byte asked for or throws platform::EReadError.
    uint8_t ReadByte();
    uint16_t ReadWord();
    uint32_t ReadDWord();
    void Read(std::span<uint8_t> out);
    void Skip(uint64_t count);

    // Up to `maxCount` buffered bytes without copying them; empty only at the end of the data.
    // The view holds until the next call; Consume() then takes what was used of it.
    std::span<const uint8_t> Peek(size_t maxCount);
    void Consume(size_t count);

    bool AtEnd();
    // Bytes delivered since the start, and the size of the whole underlying stream.
    uint64_t Position() const { return m_delivered; }
    uint64_t StreamSize() const { return m_streamSize; }

private:
    bool Fill();

    platform::TStream& m_stream;
    std::vector<uint8_t> m_buffer;
    size_t m_pos = 0;
    size_t m_end = 0;
    uint64_t m_delivered = 0;
    uint64_t m_streamSize = 0;
};

class TCustomWriteStream {
public:
    explicit TCustomWriteStream(platform::TStream& stream, size_t bufferSize = kStreamBufferSize);
    // Does not flush: a writer that stopped on an error leaves the rest unwritten.
    virtual ~TCustomWriteStream() = default;
    TCustomWriteStream(const TCustomWriteStream&) = delete;
    TCustomWriteStream& operator=(const TCustomWriteStream&) = delete;

    void WriteByte(uint8_t value);
    void WriteWord(uint16_t value);
    void WriteDWord(uint32_t value);
    void Write(std::span<const uint8_t> bytes);
    // Hands the buffer to the underlying stream (which throws EWriteError when it can't).
    void Flush();
    uint64_t Position() const { return m_written + m_used; }

private:
    platform::TStream& m_stream;
    std::vector<uint8_t> m_buffer;
    size_t m_used = 0;
    uint64_t m_written = 0;
};

// Progress in percent, reported only when the percentage changes.
class ProgressReporter {
public:
    void SetHandler(platform::ProgressHandler handler) { m_handler = std::move(handler); }
    bool HasHandler() const { return static_cast<bool>(m_handler); }
    void Start();
    void Step(uint64_t done, uint64_t total);
    void Finish();

private:
    platform::ProgressHandler m_handler;
    int m_last = -1;
};

class TCustomGraphicReadStream : public TCustomReadStream {
public:
    using TCustomReadStream::TCustomReadStream;
    void SetOnProgress(platform::ProgressHandler handler)
    {
        m_progress.SetHandler(std::move(handler));
    }

protected:
    ProgressReporter& Progress() { return m_progress; }

private:
    ProgressReporter m_progress;
};

class TCustomGraphicWriteStream : public TCustomWriteStream {
public:
    using TCustomWriteStream::TCustomWriteStream;
    void SetOnProgress(platform::ProgressHandler handler)
    {
        m_progress.SetHandler(std::move(handler));
    }

protected:
    ProgressReporter& Progress() { return m_progress; }

private:
    ProgressReporter m_progress;
};

} // namespace vtl::codecs
