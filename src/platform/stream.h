#pragma once
// Byte streams as the graphic classes read and write them: a position, a size, and reads that
// either deliver every byte asked for or throw. Memory streams and file streams share one
// interface so that a picture loads the same way from a file, a plug-in result or the clipboard.

#include "platform/byte_reader.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace vtl::platform {

// A write that could not be completed (disk full, closed stream).
class EWriteError : public std::runtime_error {
public:
    EWriteError()
        : std::runtime_error("Stream write error")
    {
    }
    using std::runtime_error::runtime_error;
};

// A file that could not be opened or created.
class EFOpenError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TStream {
public:
    virtual ~TStream() = default;

    // Reads up to `count` bytes and returns how many were read (fewer only at the end).
    virtual size_t Read(void* buffer, size_t count) = 0;
    // Writes `count` bytes or throws EWriteError.
    virtual void Write(const void* buffer, size_t count) = 0;
    virtual uint64_t Position() const = 0;
    // Positions past the end are allowed for writing streams; reading there reads nothing.
    virtual void Seek(uint64_t position) = 0;
    virtual uint64_t Size() const = 0;

    uint64_t Remaining() const
    {
        uint64_t size = Size();
        uint64_t pos = Position();
        return pos < size ? size - pos : 0;
    }
    // Exactly `count` bytes, else EReadError (nothing is promised about the buffer then).
    void ReadBuffer(void* buffer, size_t count);
    void WriteBuffer(const void* buffer, size_t count) { Write(buffer, count); }
    void WriteBuffer(std::span<const uint8_t> bytes) { Write(bytes.data(), bytes.size()); }
    // The next `count` bytes as an owned vector; checked against Remaining() before allocating.
    std::vector<uint8_t> ReadBytes(size_t count);
};

// A growable stream over owned memory.
class TMemoryStream : public TStream {
public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::vector<uint8_t> bytes)
        : m_bytes(std::move(bytes))
    {
    }

    size_t Read(void* buffer, size_t count) override;
    void Write(const void* buffer, size_t count) override;
    uint64_t Position() const override { return m_pos; }
    void Seek(uint64_t position) override { m_pos = position; }
    uint64_t Size() const override { return m_bytes.size(); }

    const std::vector<uint8_t>& Bytes() const { return m_bytes; }
    std::vector<uint8_t> TakeBytes() { return std::move(m_bytes); }
    void Clear()
    {
        m_bytes.clear();
        m_pos = 0;
    }

private:
    std::vector<uint8_t> m_bytes;
    uint64_t m_pos = 0;
};

// A read-only stream over bytes someone else owns (a mapped file, a plug-in block).
class TSpanStream : public TStream {
public:
    explicit TSpanStream(std::span<const uint8_t> bytes)
        : m_bytes(bytes)
    {
    }

    size_t Read(void* buffer, size_t count) override;
    // Throws EWriteError: the bytes are not ours to change.
    void Write(const void* buffer, size_t count) override;
    uint64_t Position() const override { return m_pos; }
    void Seek(uint64_t position) override { m_pos = position; }
    uint64_t Size() const override { return m_bytes.size(); }

private:
    std::span<const uint8_t> m_bytes;
    uint64_t m_pos = 0;
};

enum class TFileMode { OpenRead, Create };

// A file opened for reading or created (truncated) for writing.
class TFileStream : public TStream {
public:
    // Throws EFOpenError with the framework's wording when the file cannot be opened.
    TFileStream(const std::filesystem::path& path, TFileMode mode);
    ~TFileStream() override;
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;

    size_t Read(void* buffer, size_t count) override;
    void Write(const void* buffer, size_t count) override;
    uint64_t Position() const override;
    void Seek(uint64_t position) override;
    uint64_t Size() const override;
    // Flushes buffered bytes; throws EWriteError when they could not be written.
    void Flush();

private:
    std::FILE* m_file = nullptr;
};

// The whole of a file, read through a file stream.
std::vector<uint8_t> ReadWholeFile(const std::filesystem::path& path);

} // namespace vtl::platform
