#include "tools/vtlc/output_names.h"

#include "app/settings.h"
#include "tools/vtlc/command_line.h"

#include <algorithm>
#include <map>

namespace vtl::tools {

namespace fs = std::filesystem;

std::vector<std::string> ExpandInputs(const std::vector<std::string>& operands)
{
    std::vector<std::string> inputs;
    for (const std::string& operand : operands) {
        std::error_code ec;
        if (operand == "-" || !fs::is_directory(operand, ec)) {
            inputs.push_back(operand);
            continue;
        }
        std::vector<std::string> files;
        for (const fs::directory_entry& entry : fs::directory_iterator(operand, ec)) {
            const std::string name = entry.path().filename().string();
            if (name.empty() || name[0] == '.' || entry.is_directory(ec))
                continue;
            files.push_back(entry.path().string());
        }
        if (ec)
            throw UsageError { "cannot read the folder " + operand + ": " + ec.message() };
        std::sort(files.begin(), files.end());
        inputs.insert(inputs.end(), files.begin(), files.end());
    }
    return inputs;
}

namespace {
    const char* KindExtension(document::SaveKind kind)
    {
        switch (kind) {
        case document::SaveKind::Bmp:
        case document::SaveKind::BmpRle:
            return "bmp";
        case document::SaveKind::Jpeg:
            return "jpg";
        default:
            return "png";
        }
    }

    std::string Counter(size_t counter, const std::string& width)
    {
        std::string digits = std::to_string(counter);
        if (width.empty())
            return digits;
        const auto w = app::StrToInt(width);
        if (!w || *w < 1 || *w > 20)
            throw UsageError { "--name: {n:" + width + "} needs a width from 1 to 20" };
        if (digits.size() < size_t(*w))
            digits.insert(0, size_t(*w) - digits.size(), '0');
        return digits;
    }
}

std::string ExpandName(const std::string& pattern, const fs::path& input,
    const std::optional<document::SaveKind>& as, size_t counter)
{
    std::string name;
    for (size_t i = 0; i < pattern.size();) {
        if (pattern[i] != '{') {
            name += pattern[i++];
            continue;
        }
        const size_t close = pattern.find('}', i);
        if (close == std::string::npos)
            throw UsageError { "--name: a { without its }" };
        const std::string field = pattern.substr(i + 1, close - i - 1);
        i = close + 1;
        if (field == "name") {
            name += input.stem().string();
        } else if (field == "ext") {
            const std::string own = input.extension().string();
            name += as ? KindExtension(*as) : own.empty() ? "" : own.substr(1);
        } else if (field == "n" || field.rfind("n:", 0) == 0) {
            name += Counter(counter, field.size() > 2 ? field.substr(2) : "");
        } else {
            throw UsageError { "--name: unknown field {" + field + "}" };
        }
    }
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos)
        throw UsageError { "--name makes \"" + name + "\" for " + input.string()
            + ", which is not a file name" };
    return name;
}

std::vector<BatchJob> PlanOutputs(const std::vector<std::string>& inputs, const OutputNaming& naming)
{
    std::vector<BatchJob> jobs;
    std::map<fs::path, size_t> byInput; // where each input is, to find outputs that replace one
    for (size_t i = 0; i < inputs.size(); ++i)
        byInput.emplace(fs::weakly_canonical(fs::absolute(inputs[i])), i);

    std::map<fs::path, size_t> byOutput;
    for (size_t i = 0; i < inputs.size(); ++i) {
        BatchJob job;
        job.input = inputs[i];
        job.output = naming.folder / ExpandName(naming.pattern, inputs[i], naming.as, i + 1);
        const auto kind = naming.as ? naming.as : document::SaveKindFromExtension(job.output);
        if (!kind)
            throw UsageError { "the kind of " + job.output.string()
                + " is not known: name it .bmp, .jpg, .png or use --as" };
        job.kind = *kind;

        const fs::path where = fs::weakly_canonical(fs::absolute(job.output));
        if (auto [it, fresh] = byOutput.emplace(where, i); !fresh)
            throw UsageError { inputs[it->second] + " and " + inputs[i] + " would both be written to "
                + job.output.string() };
        if (auto other = byInput.find(where); other != byInput.end() && other->second != i)
            throw UsageError { inputs[i] + " would be written over the input "
                + inputs[other->second] };
        jobs.push_back(std::move(job));
    }
    return jobs;
}

} // namespace vtl::tools
