#pragma once
// vtlc apply: read a picture, run processing operations on it in order, write the result.

#include "platform/bitmap.h"
#include "tools/vtlc/command_line.h"

#include <functional>
#include <string>
#include <vector>

namespace vtl::tools {

// One operation of apply: its name, the words it takes, and what it does to the picture. `run`
// throws UsageError for arguments it can't use and returns false when the operation left the
// picture as it was (a picture smaller than the filter's window, a pixel format it doesn't take).
struct ApplyOperation {
    const char* name;
    const char* arguments; // for messages: "small|large"
    size_t minArguments;
    size_t maxArguments;
    std::function<bool(platform::TBitmap&, const std::vector<std::string>&)> run;
};

// The operations apply knows, in the order the usage lists them.
const std::vector<ApplyOperation>& ApplyOperations();

// Checks every operation's name and argument count before anything is read.
void CheckOperations(const std::vector<Operation>& operations);

int ApplyCommand(const CommandLine& line);

} // namespace vtl::tools
