#include "tools/vtlc/commands.h"

namespace vtl::tools {

const std::map<std::string, Command>& Commands()
{
    static const std::map<std::string, Command> commands = {};
    return commands;
}

} // namespace vtl::tools
