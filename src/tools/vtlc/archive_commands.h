#pragma once
// vtlc list and extract: archives through the archive plug-ins.

#include "tools/vtlc/command_line.h"

namespace vtl::tools {

int ListCommand(const CommandLine& line);
int ExtractCommand(const CommandLine& line);

} // namespace vtl::tools
