// vtlc: the program's engine on the command line, for batch work and for checking it from outside.

#include "tools/vtlc/command_line.h"
#include "tools/vtlc/commands.h"

#include <cstdio>
#include <exception>
#include <map>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    using namespace vtl::tools;
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    CommandLine line;
    try {
        line = ParseCommandLine(args);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "vtlc: %s\n%s", e.message.c_str(), kUsage);
        return 2;
    }
    const auto& commands = Commands();
    auto it = commands.find(line.command);
    if (it == commands.end()) {
        std::fprintf(
            stderr, "vtlc: %s is not available in this version yet\n", line.command.c_str());
        return 2;
    }
    try {
        return it->second(line);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "vtlc: %s\n", e.message.c_str());
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}
