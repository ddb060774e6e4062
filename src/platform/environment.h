#pragma once
// Where the program keeps its files, and what it learns about the system at start-up.

#include <filesystem>

namespace vtl::platform {

// $VTL_HOME, else $XDG_CONFIG_HOME/vtl, else ~/.config/vtl. Created when missing.
std::filesystem::path DataFolder();

// Where the program's own plug-ins lie: <build>/plugins in a build tree, else
// <prefix>/lib/vtl/plugins beside the installed program. It stands for the system folder
// against which plug-in paths are shortened.
std::filesystem::path PluginFolder();

// The temporary folder, with its trailing separator.
std::string TempFolder();

// The display has a 16- or 256-entry palette. No display here has one; VTL_PALETTE_DISPLAY=1
// makes the program act as on such a display.
bool PaletteDisplay();

// The newer look (the second and fourth image sets). Always true on this platform.
bool ModernLook();

// The folder of the running program.
std::filesystem::path ProgramFolder();

} // namespace vtl::platform
