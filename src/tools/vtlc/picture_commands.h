#pragma once
// vtlc info and convert: reading any picture the program reads, and writing it in a save kind.

#include "tools/vtlc/command_line.h"

namespace vtl::tools {

int InfoCommand(const CommandLine& line);
int ConvertCommand(const CommandLine& line);

} // namespace vtl::tools
