#include "platform/atomic_file.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <utility>

namespace vtl::platform {

namespace {
    std::function<int(const char*, const char*)>& RenameHook()
    {
        static std::function<int(const char*, const char*)> hook;
        return hook;
    }
    std::atomic<int> g_failNext { 0 };
    std::atomic<int> g_failError { ENOSPC };

    mode_t CurrentUmask()
    {
        // There is no way to read the mask without setting it; it is put back at once.
        const mode_t mask = umask(0);
        umask(mask);
        return mask;
    }

    constexpr size_t kBufferBytes = size_t(1) << 20;

    // pwrite until every byte is out; false with errno set when the file refuses.
    bool WriteAll(int fd, const uint8_t* bytes, size_t count, uint64_t offset)
    {
        while (count > 0) {
            ssize_t n = pwrite(fd, bytes, count, static_cast<off_t>(offset));
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                return false;
            }
            if (n == 0) {
                errno = EIO;
                return false;
            }
            bytes += n;
            count -= static_cast<size_t>(n);
            offset += static_cast<uint64_t>(n);
        }
        return true;
    }
}

TAtomicFile::TAtomicFile(const std::filesystem::path& path)
    : m_path(path)
{
    if (g_failNext > 0) {
        --g_failNext;
        Fail(g_failError);
    }
    // A short name of its own beside the file: a name near the system's length limit must still
    // be writable, so the temporary name never grows with it.
    const std::filesystem::path folder = path.parent_path().empty() ? "." : path.parent_path();
    std::string pattern = (folder / ".vtl-XXXXXX").string();
    m_fd = mkostemp(pattern.data(), O_CLOEXEC);
    if (m_fd < 0)
        Fail(errno);
    m_tempPath = pattern;
    // The new file keeps the old one's permissions; a new file gets what the user's mask allows.
    struct stat old {};
    const mode_t mode
        = stat(path.c_str(), &old) == 0 ? (old.st_mode & 07777) : (0666 & ~CurrentUmask());
    if (fchmod(m_fd, mode) != 0)
        Fail(errno);
}

TAtomicFile::~TAtomicFile()
{
    if (m_fd >= 0)
        close(m_fd);
    if (!m_committed && !m_tempPath.empty())
        unlink(m_tempPath.c_str());
}

void TAtomicFile::Fail(int error) const
{
    throw std::system_error(error, std::generic_category(), "cannot write " + m_path.string());
}

size_t TAtomicFile::Read(void*, size_t) { return 0; }

void TAtomicFile::FlushBuffer()
{
    if (m_buffered == 0)
        return;
    if (!WriteAll(m_fd, m_buffer.get(), m_buffered, m_filePosition))
        Fail(errno);
    m_filePosition += m_buffered;
    m_buffered = 0;
}

void TAtomicFile::Write(const void* buffer, size_t count)
{
    if (m_committed || m_fd < 0)
        Fail(EBADF);
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    if (count < kBufferBytes) {
        if (!m_buffer)
            m_buffer = std::make_unique<uint8_t[]>(kBufferBytes);
        if (m_buffered + count > kBufferBytes)
            FlushBuffer();
        std::memcpy(m_buffer.get() + m_buffered, bytes, count);
        m_buffered += count;
    } else {
        FlushBuffer();
        if (!WriteAll(m_fd, bytes, count, m_filePosition))
            Fail(errno);
        m_filePosition += count;
    }
    m_size = std::max(m_size, m_filePosition + m_buffered);
}

uint64_t TAtomicFile::Position() const { return m_filePosition + m_buffered; }

void TAtomicFile::Seek(uint64_t position)
{
    FlushBuffer();
    m_filePosition = position;
}

uint64_t TAtomicFile::Size() const { return m_size; }

void TAtomicFile::Commit()
{
    if (m_committed || m_fd < 0)
        Fail(EBADF);
    FlushBuffer();
    if (fsync(m_fd) != 0)
        Fail(errno);
    const int fd = std::exchange(m_fd, -1);
    if (close(fd) != 0)
        Fail(errno);
    auto& hook = RenameHook();
    int rc = hook ? hook(m_tempPath.c_str(), m_path.c_str())
                  : std::rename(m_tempPath.c_str(), m_path.c_str());
    if (rc != 0)
        Fail(errno);
    m_committed = true;
}

void WriteFileAtomically(const std::filesystem::path& path, std::string_view bytes)
{
    TAtomicFile file(path);
    file.Write(bytes.data(), bytes.size());
    file.Commit();
}

void SetRenameFunctionForTesting(std::function<int(const char*, const char*)> rename)
{
    RenameHook() = std::move(rename);
}

void FailNextWritesForTesting(int count, int error)
{
    g_failError = error;
    g_failNext = count;
}

} // namespace vtl::platform
