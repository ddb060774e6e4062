#pragma once
// The command line of vtlc, parsed into what each subcommand needs.

#include <optional>
#include <string>
#include <vector>

namespace vtl::tools {

// Thrown for a command line that doesn't follow the grammar (exit status 2).
struct UsageError {
    std::string message;
};

struct Operation {
    std::string name;
    std::vector<std::string> arguments;
};

struct Options {
    std::optional<std::string> as; // bmp, bmp-rle, jpeg, png, png-interlace, ...
    std::optional<int> quality;
    bool pngBest = false;
    std::optional<std::string>
        format; // 1bit, 4bit, 4bit-rle, 8bit, 8bit-rle, 24bit, halftone, halftone-mono
    std::optional<std::string> quantise; // low, high
    std::optional<unsigned> oneBitColour; // 0xRRGGBB as written
    std::optional<int> size; // thumbs --size
    std::optional<std::string> strip; // cache --strip
    std::optional<int> memoryBudget; // --memory-budget MB: what one picture may take to open
    bool keepOrientation = false; // --keep-orientation: photos as stored, not turned upright
    bool keepColours = false; // --keep-colours: an embedded colour profile is not converted

    // Batch work (convert and apply): with an output folder every word is an input.
    std::optional<std::string> outputFolder; // -o, --output
    std::optional<std::string> name; // --name PATTERN
    std::optional<unsigned> jobs; // -j, --jobs
    bool overwrite = false;
    bool verbose = false; // -v
    bool quiet = false; // -q
};

struct CommandLine {
    std::string command;
    // convert and apply: IN OUT, or every input when options.outputFolder is set.
    std::vector<std::string> operands;
    std::vector<Operation> operations; // apply only
    Options options;
};

CommandLine ParseCommandLine(const std::vector<std::string>& arguments);

// The usage of every command, as `vtlc --help` prints it.
std::string Usage();
// One command's usage with what each of its options means (`vtlc COMMAND --help`); empty for a
// word that isn't a command.
std::string CommandHelp(const std::string& command);

} // namespace vtl::tools
