#include "platform/atomic_file.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace vtl::platform {

namespace {
    std::function<int(const char*, const char*)>& RenameHook()
    {
        static std::function<int(const char*, const char*)> hook;
        return hook;
    }
    std::atomic<int> g_failNext { 0 };
    std::atomic<int> g_failError { ENOSPC };

    [[noreturn]] void Fail(int error, const std::filesystem::path& path)
    {
        throw std::system_error(error, std::generic_category(), "cannot write " + path.string());
    }

    // Closes the descriptor and removes the temporary file unless the write was committed.
    struct TempFile {
        std::string path;
        int fd = -1;
        bool committed = false;
        ~TempFile()
        {
            if (fd >= 0)
                close(fd);
            if (!committed && !path.empty())
                unlink(path.c_str());
        }
    };

    mode_t CurrentUmask()
    {
        // There is no way to read the mask without setting it; it is put back at once.
        const mode_t mask = umask(0);
        umask(mask);
        return mask;
    }
}

void WriteFileAtomically(const std::filesystem::path& path, std::string_view bytes)
{
    if (g_failNext > 0) {
        --g_failNext;
        Fail(g_failError, path);
    }
    // A short name of its own beside the file: a name near the system's length limit must still
    // be writable, so the temporary name never grows with it.
    const std::filesystem::path folder = path.parent_path().empty() ? "." : path.parent_path();
    std::string pattern = (folder / ".vtl-XXXXXX").string();
    TempFile temp;
    temp.fd = mkostemp(pattern.data(), O_CLOEXEC);
    if (temp.fd < 0)
        Fail(errno, path);
    temp.path = pattern;
    // The new file keeps the old one's permissions; a new file gets what the user's mask allows.
    struct stat old {};
    const mode_t mode
        = stat(path.c_str(), &old) == 0 ? (old.st_mode & 07777) : (0666 & ~CurrentUmask());
    if (fchmod(temp.fd, mode) != 0)
        Fail(errno, path);
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = write(temp.fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            Fail(errno, path);
        }
        done += static_cast<size_t>(n);
    }
    if (fsync(temp.fd) != 0)
        Fail(errno, path);
    int fd = temp.fd;
    temp.fd = -1;
    if (close(fd) != 0)
        Fail(errno, path);
    auto& hook = RenameHook();
    int rc = hook ? hook(temp.path.c_str(), path.c_str())
                  : std::rename(temp.path.c_str(), path.c_str());
    if (rc != 0)
        Fail(errno, path);
    temp.committed = true;
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
