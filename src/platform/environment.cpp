#include "platform/environment.h"

#include <cstdlib>
#include <string>

namespace vtl::platform {

namespace {
    std::string Env(const char* name)
    {
        const char* v = std::getenv(name);
        return v ? std::string(v) : std::string();
    }
}

std::filesystem::path DataFolder()
{
    std::filesystem::path folder;
    if (auto home = Env("VTL_HOME"); !home.empty())
        folder = home;
    else if (auto config = Env("XDG_CONFIG_HOME"); !config.empty())
        folder = std::filesystem::path(config) / "vtl";
    else if (auto user = Env("HOME"); !user.empty())
        folder = std::filesystem::path(user) / ".config" / "vtl";
    else
        folder = std::filesystem::path(TempFolder()) / "vtl";
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    return folder;
}

std::filesystem::path ProgramFolder()
{
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::current_path(ec) : exe.parent_path();
}

std::filesystem::path PluginFolder()
{
    std::error_code ec;
    auto program = ProgramFolder();
    // A build tree holds the programs in build/src or build/src/tools/vtlc and the plug-ins in
    // build/plugins.
    for (auto dir = program; !dir.empty() && dir != dir.root_path(); dir = dir.parent_path()) {
        if (std::filesystem::exists(dir / "CMakeCache.txt", ec))
            return dir / "plugins";
    }
    return program.parent_path() / "lib" / "vtl" / "plugins";
}

std::string TempFolder()
{
    std::string dir = Env("TMPDIR");
    if (dir.empty())
        dir = "/tmp";
    if (dir.back() != '/')
        dir += '/';
    return dir;
}

bool PaletteDisplay() { return Env("VTL_PALETTE_DISPLAY") == "1"; }

bool ModernLook() { return true; }

} // namespace vtl::platform
