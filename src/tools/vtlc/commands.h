#pragma once
// The subcommands of vtlc that this version carries out.

#include "tools/vtlc/command_line.h"

#include <functional>
#include <map>
#include <string>

namespace vtl::tools {

// Runs one command; returns the exit status, throws std::exception for a failure (status 1) and
// UsageError for arguments it can't use (status 2).
using Command = std::function<int(const CommandLine&)>;

const std::map<std::string, Command>& Commands();

} // namespace vtl::tools
