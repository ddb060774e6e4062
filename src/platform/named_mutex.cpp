#include "platform/named_mutex.h"

#include "platform/environment.h"

#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace vtl::platform {

std::string NamedMutex::LockFolder()
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime)
        return std::string(runtime) + "/";
    return TempFolder();
}

std::unique_ptr<NamedMutex> NamedMutex::TryCreate(const std::string& name)
{
    std::string path = LockFolder() + name;
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) // no lock file can be made here: run unguarded rather than refuse to run
        return std::unique_ptr<NamedMutex>(new NamedMutex(-1));
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        return nullptr;
    }
    return std::unique_ptr<NamedMutex>(new NamedMutex(fd));
}

NamedMutex::~NamedMutex()
{
    if (m_fd >= 0) {
        flock(m_fd, LOCK_UN);
        close(m_fd);
    }
}

} // namespace vtl::platform
