#pragma once
// Where batch work writes: the inputs a command line names, and the output file of each, checked
// before any picture is read.

#include "document/picture_saving.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace vtl::tools {

struct BatchJob {
    std::string input;
    std::filesystem::path output;
    document::SaveKind kind = document::SaveKind::Bmp;
};

struct OutputNaming {
    std::filesystem::path folder;
    std::string pattern = "{name}.{ext}";
    std::optional<document::SaveKind> as; // --as; else the output name's extension decides
};

// The operands with each folder replaced by the files in it (not hidden ones), in name order.
std::vector<std::string> ExpandInputs(const std::vector<std::string>& operands);

// One output name from the pattern: {name}, {ext}, {n} and {n:WIDTH}. Throws UsageError for an
// unknown field or a name that would leave the folder.
std::string ExpandName(const std::string& pattern, const std::filesystem::path& input,
    const std::optional<document::SaveKind>& as, size_t counter);

// The output of every input, in input order. Refuses, before any work, outputs whose kind isn't
// known, two inputs writing one file (naming both) and an output that is another input.
std::vector<BatchJob> PlanOutputs(const std::vector<std::string>& inputs, const OutputNaming& naming);

} // namespace vtl::tools
