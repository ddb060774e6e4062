#pragma once
// vtlc palette: the entries of a palette file.

#include "tools/vtlc/command_line.h"

namespace vtl::tools {

int PaletteCommand(const CommandLine& line);

} // namespace vtl::tools
