#include "platform/atomic_file.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <system_error>
#include <unistd.h>

namespace vtl::platform {

namespace {
    std::function<int(const char*, const char*)>& RenameHook()
    {
        static std::function<int(const char*, const char*)> hook;
        return hook;
    }

    [[noreturn]] void ThrowErrno(const std::string& what)
    {
        throw std::system_error(errno, std::generic_category(), what);
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
            if (!committed)
                unlink(path.c_str());
        }
    };
}

void WriteFileAtomically(const std::filesystem::path& path, std::string_view bytes)
{
    TempFile temp;
    temp.path = path.string() + ".tmp" + std::to_string(getpid());
    temp.fd = open(temp.path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (temp.fd < 0)
        ThrowErrno("cannot create " + temp.path);
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = write(temp.fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ThrowErrno("cannot write " + temp.path);
        }
        done += static_cast<size_t>(n);
    }
    if (fsync(temp.fd) != 0)
        ThrowErrno("cannot write " + temp.path);
    int fd = temp.fd;
    temp.fd = -1;
    if (close(fd) != 0)
        ThrowErrno("cannot write " + temp.path);
    auto& hook = RenameHook();
    int rc = hook ? hook(temp.path.c_str(), path.c_str())
                  : std::rename(temp.path.c_str(), path.c_str());
    if (rc != 0)
        ThrowErrno("cannot replace " + path.string());
    temp.committed = true;
}

void SetRenameFunctionForTesting(std::function<int(const char*, const char*)> rename)
{
    RenameHook() = std::move(rename);
}

} // namespace vtl::platform
