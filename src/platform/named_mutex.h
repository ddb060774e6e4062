#pragma once
// The single-instance lock: an advisory lock on a file named after the mutex in the runtime
// folder. The kernel drops it when the process ends, however it ends.

#include <memory>
#include <string>

namespace vtl::platform {

class NamedMutex {
public:
    // The held lock, or nullptr when another process holds it.
    static std::unique_ptr<NamedMutex> TryCreate(const std::string& name);
    ~NamedMutex();
    NamedMutex(const NamedMutex&) = delete;
    NamedMutex& operator=(const NamedMutex&) = delete;

    // $XDG_RUNTIME_DIR, else the temporary folder.
    static std::string LockFolder();

private:
    explicit NamedMutex(int fd)
        : m_fd(fd)
    {
    }
    int m_fd;
};

} // namespace vtl::platform
