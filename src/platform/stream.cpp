#include "platform/stream.h"

#include <cerrno>
#include <cstring>
#include <new>

namespace vtl::platform {

void TStream::ReadBuffer(void* buffer, size_t count)
{
    if (count != 0 && Read(buffer, count) != count)
        throw EReadError();
}

std::vector<uint8_t> TStream::ReadBytes(size_t count)
{
    if (count > Remaining())
        throw EReadError();
    std::vector<uint8_t> bytes(count);
    ReadBuffer(bytes.data(), count);
    return bytes;
}

size_t TMemoryStream::Read(void* buffer, size_t count)
{
    if (m_pos >= m_bytes.size())
        return 0;
    size_t n = std::min<uint64_t>(count, m_bytes.size() - m_pos);
    if (n != 0)
        std::memcpy(buffer, m_bytes.data() + m_pos, n);
    m_pos += n;
    return n;
}

void TMemoryStream::Write(const void* buffer, size_t count)
{
    if (count == 0)
        return;
    uint64_t end = m_pos + count;
    if (end < m_pos || end > m_bytes.max_size())
        throw EWriteError();
    if (end > m_bytes.size()) {
        // Grow geometrically so that a picture written row by row is not copied once per row.
        if (end > m_bytes.capacity())
            m_bytes.reserve(std::max<uint64_t>(end, m_bytes.capacity() * 2));
        m_bytes.resize(end);
    }
    std::memcpy(m_bytes.data() + m_pos, buffer, count);
    m_pos = end;
}

size_t TSpanStream::Read(void* buffer, size_t count)
{
    if (m_pos >= m_bytes.size())
        return 0;
    size_t n = std::min<uint64_t>(count, m_bytes.size() - m_pos);
    if (n != 0)
        std::memcpy(buffer, m_bytes.data() + m_pos, n);
    m_pos += n;
    return n;
}

void TSpanStream::Write(const void*, size_t) { throw EWriteError(); }

TFileStream::TFileStream(const std::filesystem::path& path, TFileMode mode)
{
    m_file = std::fopen(path.c_str(), mode == TFileMode::OpenRead ? "rb" : "wb");
    if (!m_file) {
        int err = errno;
        std::string what
            = mode == TFileMode::OpenRead ? "Cannot open file \"" : "Cannot create file \"";
        throw EFOpenError(what + path.string() + "\". " + std::strerror(err));
    }
}

TFileStream::~TFileStream()
{
    if (m_file)
        std::fclose(m_file);
}

size_t TFileStream::Read(void* buffer, size_t count)
{
    return std::fread(buffer, 1, count, m_file);
}

void TFileStream::Write(const void* buffer, size_t count)
{
    if (count != 0 && std::fwrite(buffer, 1, count, m_file) != count)
        throw EWriteError();
}

uint64_t TFileStream::Position() const
{
    off_t pos = ftello(m_file);
    return pos < 0 ? 0 : static_cast<uint64_t>(pos);
}

void TFileStream::Seek(uint64_t position)
{
    if (position > uint64_t(INT64_MAX)
        || fseeko(m_file, static_cast<off_t>(position), SEEK_SET) != 0)
        throw EReadError("Stream seek error");
}

uint64_t TFileStream::Size() const
{
    off_t pos = ftello(m_file);
    if (pos < 0 || fseeko(m_file, 0, SEEK_END) != 0)
        return 0;
    off_t end = ftello(m_file);
    fseeko(m_file, pos, SEEK_SET);
    return end < 0 ? 0 : static_cast<uint64_t>(end);
}

void TFileStream::Flush()
{
    if (std::fflush(m_file) != 0)
        throw EWriteError();
}

std::vector<uint8_t> ReadWholeFile(const std::filesystem::path& path)
{
    TFileStream file(path, TFileMode::OpenRead);
    return file.ReadBytes(file.Size());
}

} // namespace vtl::platform
