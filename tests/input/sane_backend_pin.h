#pragma once
// SANE loads its backends itself and unloads them on sane_exit. The "test" backend keeps a few
// strings for the life of the process; pinning it keeps it loaded, so that the leak checker can
// name it (tools/lsan.supp) instead of reporting an unknown module.

#include <dlfcn.h>
#include <filesystem>

namespace vtl::testing {

inline void PinSaneTestBackend(const std::filesystem::path& manager)
{
    static bool pinned = false;
    if (pinned)
        return;
    pinned = true;
    // The manager stays loaded once loaded (it is linked that way), and libsane with it.
    if (!dlopen(manager.c_str(), RTLD_NOW | RTLD_LOCAL))
        return;
    void* sane = dlopen("libsane.so.1", RTLD_NOW | RTLD_NOLOAD);
    if (!sane)
        return;
    Dl_info info {};
    void* init = dlsym(sane, "sane_init");
    if (init && dladdr(init, &info) && info.dli_fname) {
        const auto backend = std::filesystem::path(info.dli_fname).parent_path() / "sane"
            / "libsane-test.so.1";
        if (std::filesystem::exists(backend))
            dlopen(backend.c_str(), RTLD_NOW | RTLD_LOCAL);
    }
    dlclose(sane);
}

} // namespace vtl::testing
