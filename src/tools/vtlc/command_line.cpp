#include "tools/vtlc/command_line.h"

#include "app/settings.h"

#include <algorithm>
#include <array>
#include <cstdlib>

namespace vtl::tools {

const char* const kUsage
    = "usage:\n"
      "  vtlc info FILE...                    key: value lines per file\n"
      "  vtlc convert IN OUT [OPTIONS]        read IN, write OUT (kind from --as, else OUT's "
      "extension)\n"
      "  vtlc apply IN OUT OP [ARG...] [+ OP [ARG...]]... [OPTIONS]\n"
      "                                       processing operations in order, then write\n"
      "  vtlc thumbs FOLDER [--size N]        refresh a folder's thumbnail cache\n"
      "  vtlc cache FILE [--strip OUT.bmp]    print a thumbnail cache's lines\n"
      "  vtlc palette FILE                    print a palette file's entries\n"
      "  vtlc list ARCHIVE                    list an archive's picture members\n"
      "  vtlc extract ARCHIVE MEMBER OUT      write one member's bytes\n"
      "OPTIONS: --as bmp|bmp-rle|jpeg|png|png-interlace|png-transparent|png-interlace-transparent\n"
      "         --quality N  --png-best  --format "
      "1bit|4bit|4bit-rle|8bit|8bit-rle|24bit|halftone|halftone-mono\n"
      "         --quantise low|high  --one-bit-colour RRGGBB\n";

namespace {
    template <size_t N>
    void CheckChoice(const std::string& option, const std::string& value,
        const std::array<const char*, N>& choices)
    {
        if (std::none_of(choices.begin(), choices.end(), [&](const char* c) { return value == c; }))
            throw UsageError { "unknown value for " + option + ": " + value };
    }

    int Number(const std::string& option, const std::string& text, int low, int high)
    {
        auto n = app::StrToInt(text);
        if (!n || *n < low || *n > high)
            throw UsageError { option + " needs a number from " + std::to_string(low) + " to "
                + std::to_string(high) };
        return *n;
    }

    // Consumes an option at `i` when there is one; returns false for a non-option word.
    bool TakeOption(const std::vector<std::string>& args, size_t& i, Options& o)
    {
        const std::string& word = args[i];
        if (word.size() < 3 || word.compare(0, 2, "--") != 0)
            return false;
        auto value = [&]() -> const std::string& {
            if (i + 1 >= args.size())
                throw UsageError { word + " needs a value" };
            return args[++i];
        };
        if (word == "--as") {
            o.as = value();
            CheckChoice(word, *o.as,
                std::array { "bmp", "bmp-rle", "jpeg", "png", "png-interlace", "png-transparent",
                    "png-interlace-transparent" });
        } else if (word == "--quality") {
            o.quality = Number(word, value(), 1, 100);
        } else if (word == "--png-best") {
            o.pngBest = true;
        } else if (word == "--format") {
            o.format = value();
            CheckChoice(word, *o.format,
                std::array { "1bit", "4bit", "4bit-rle", "8bit", "8bit-rle", "24bit", "halftone",
                    "halftone-mono" });
        } else if (word == "--quantise") {
            o.quantise = value();
            CheckChoice(word, *o.quantise, std::array { "low", "high" });
        } else if (word == "--one-bit-colour") {
            const std::string& text = value();
            if (text.size() != 6
                || text.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
                throw UsageError { "--one-bit-colour needs six hex digits RRGGBB" };
            o.oneBitColour = static_cast<unsigned>(std::strtoul(text.c_str(), nullptr, 16));
        } else if (word == "--size") {
            o.size = Number(word, value(), 0, 4);
        } else if (word == "--strip") {
            o.strip = value();
        } else {
            throw UsageError { "unknown option " + word };
        }
        return true;
    }
}

CommandLine ParseCommandLine(const std::vector<std::string>& args)
{
    if (args.empty())
        throw UsageError { "no command" };
    CommandLine c;
    c.command = args[0];
    static const std::array known { "info", "convert", "apply", "thumbs", "cache", "palette",
        "list", "extract" };
    if (std::find(known.begin(), known.end(), c.command) == known.end())
        throw UsageError { "unknown command " + c.command };

    std::vector<std::string> words;
    for (size_t i = 1; i < args.size(); ++i)
        if (!TakeOption(args, i, c.options))
            words.push_back(args[i]);

    auto operandCount = [&](size_t low, size_t high) {
        if (words.size() < low || words.size() > high)
            throw UsageError { c.command + ": wrong number of arguments" };
        c.operands = words;
    };
    if (c.command == "apply") {
        if (words.size() < 3)
            throw UsageError { "apply needs IN, OUT and an operation" };
        c.operands = { words[0], words[1] };
        for (size_t i = 2; i < words.size(); ++i) {
            if (words[i] == "+") {
                if (i + 1 == words.size() || words[i + 1] == "+")
                    throw UsageError { "apply: an operation must follow +" };
                continue;
            }
            if (i == 2 || words[i - 1] == "+")
                c.operations.push_back({ words[i], {} });
            else
                c.operations.back().arguments.push_back(words[i]);
        }
    } else if (c.command == "info") {
        operandCount(1, SIZE_MAX);
    } else if (c.command == "convert") {
        operandCount(2, 2);
    } else if (c.command == "extract") {
        operandCount(3, 3);
    } else {
        operandCount(1, 1);
    }
    const bool thumbs = c.command == "thumbs";
    const bool cache = c.command == "cache";
    if (c.options.size && !thumbs)
        throw UsageError { "--size belongs to thumbs" };
    if (c.options.strip && !cache)
        throw UsageError { "--strip belongs to cache" };
    return c;
}

} // namespace vtl::tools
