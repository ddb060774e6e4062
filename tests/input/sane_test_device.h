#pragma once
// SANE's "test" backend behind the program's own scanner manager, for the tests of scanning.
// SANE reads the folder named by SANE_CONFIG_DIR once per process, so every test of a process
// shares one folder; the test backend reads its test.conf again at each sane_init, that is at
// each command, so a test changes the device by rewriting that file.

#include "input/sane_backend_pin.h"
#include "support/temp_dir.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

namespace vtl::testing {

// Sets a variable for the life of the object and puts back what was there.
class EnvVar {
public:
    EnvVar(const char* name, const std::string& value)
        : m_name(name)
    {
        if (const char* old = std::getenv(name))
            m_old = old;
        setenv(name, value.c_str(), 1);
    }
    ~EnvVar()
    {
        if (m_old)
            setenv(m_name, m_old->c_str(), 1);
        else
            unsetenv(m_name);
    }
    EnvVar(const EnvVar&) = delete;
    EnvVar& operator=(const EnvVar&) = delete;

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

class SaneTestDevice {
public:
    // The manager library as built, or an empty path when it wasn't.
    static std::filesystem::path Manager()
    {
        const auto library = std::filesystem::path(VTL_BINARY_DIR) / "plugins" / "vtltwain.so";
        return std::filesystem::exists(library) ? library : std::filesystem::path();
    }

    // Points the program at the manager and SANE at the test backend with `devices` devices and
    // the initial option values in `options` (lines of test.conf). False when the manager wasn't
    // built.
    bool Use(const std::string& options, int devices = 2)
    {
        const auto library = Manager();
        if (library.empty())
            return false;
        PinSaneTestBackend(library);
        Configure(options, devices);
        m_config.emplace("SANE_CONFIG_DIR", Folder().string());
        m_manager.emplace("VTL_TWAIN_DSM", library.string());
        return true;
    }

    // Rewrites the device's configuration; the next command sees it.
    static void Configure(const std::string& options, int devices = 2)
    {
        std::ofstream(Folder() / "dll.conf") << "test\n";
        std::ofstream(Folder() / "test.conf") << "number_of_devices " << devices << "\n"
                                              << options << "\n";
    }

    static const std::filesystem::path& Folder()
    {
        static TempDir dir;
        return dir.Path();
    }

private:
    std::optional<EnvVar> m_config;
    std::optional<EnvVar> m_manager;
};

} // namespace vtl::testing
