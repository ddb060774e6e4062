// vtlc: the program's engine on the command line, for batch work and for checking it from outside.

#include "tools/vtlc/command_line.h"
#include "tools/vtlc/commands.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <map>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    using namespace vtl::tools;
    std::vector<std::string> args(argv + 1, argv + argc);
    auto isHelp = [](const std::string& word) { return word == "--help" || word == "-h"; };
    if (args.size() == 1 && isHelp(args[0])) {
        std::fputs(Usage().c_str(), stdout);
        return 0;
    }
    if (args.size() == 1 && args[0] == "--version") {
        std::printf("vtlc %s\n", VTL_VERSION);
        return 0;
    }
    // vtlc COMMAND --help, wherever the --help stands.
    if (!args.empty() && !CommandHelp(args[0]).empty()
        && std::any_of(args.begin() + 1, args.end(), isHelp)) {
        std::fputs(CommandHelp(args[0]).c_str(), stdout);
        return 0;
    }
    CommandLine line;
    try {
        line = ParseCommandLine(args);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "vtlc: %s\n%s", e.message.c_str(), Usage().c_str());
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
