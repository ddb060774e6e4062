#include "tools/vtlc/command_line.h"

#include "app/settings.h"
#include "tools/vtlc/apply_command.h"

#include <algorithm>
#include <array>
#include <cstdlib>

namespace vtl::tools {

namespace {
    struct CommandText {
        const char* name;
        const char* synopsis; // the lines of the usage
        const char* details; // what `vtlc COMMAND --help` adds
    };

    constexpr const char* kSaveOptions
        = "  --as KIND        bmp, bmp-rle, jpeg, png, png-interlace, png-transparent or\n"
          "                   png-interlace-transparent (else the output's extension decides)\n"
          "  --quality N      JPEG quality 1-100 (else the program's setting)\n"
          "  --png-best       PNG at the strongest compression\n";
    constexpr const char* kBudgetOption
        = "  --memory-budget MB  the memory one picture may take to open (else the program's\n"
          "                   setting, by default half of the machine's memory)\n";
    constexpr const char* kPhotoOptions
        = "  --keep-orientation  keep photos as stored instead of turning them upright by their\n"
          "                   orientation tag\n"
          "  --keep-colours   keep the stored colours of a photo with an embedded colour profile\n"
          "                   instead of converting them to sRGB\n";
    constexpr const char* kBatchOptions
        = "  -o, --output DIR every word is an input, written into DIR (made when missing);\n"
          "                   a folder as an input stands for the files in it\n"
          "  --name PATTERN   output names: {name} the input's name without extension, {ext} the\n"
          "                   extension of --as or else the input's, {n} a counter from 1,\n"
          "                   {n:3} the counter in three digits (default {name}.{ext})\n"
          "  --overwrite      replace existing files (never another input)\n"
          "  -j, --jobs N     files converted at once (default: the machine's cores)\n"
          "  -v, --verbose    name each file written\n"
          "  -q, --quiet      no progress line and no notes, only failures\n"
          "  -                as IN reads standard input, as OUT writes standard output (needs --as)\n"
          "Exit status: 0 when every file was written, 1 when any failed, 2 for a usage error.\n";

    const CommandText kCommands[] = {
        { "info", "  vtlc info FILE...                    key: value lines per file\n", "" },
        { "convert",
            "  vtlc convert IN OUT [OPTIONS]        read IN, write OUT (kind from --as, else OUT's "
            "extension)\n"
            "  vtlc convert -o DIR IN... [OPTIONS]  the same for many files\n",
            "  --format F       1bit, 4bit, 4bit-rle, 8bit, 8bit-rle, 24bit, halftone or\n"
            "                   halftone-mono: the pixel format written\n"
            "  --quantise low|high  colour reduction for --format\n"
            "  --one-bit-colour RRGGBB  the second colour of 1bit\n" },
        { "apply",
            "  vtlc apply IN OUT OP [ARG...] [+ OP [ARG...]]... [OPTIONS]\n"
            "                                       processing operations in order, then write\n"
            "  vtlc apply -o DIR IN... -- OP [ARG...] [+ OP [ARG...]]... [OPTIONS]\n",
            "" },
        { "thumbs", "  vtlc thumbs FOLDER [--size N]        refresh a folder's thumbnail cache\n",
            "  --size N         thumbnail size 0-4 (else the program's setting)\n"
            "  --memory-budget MB  as for the other commands; thumbnails get an eighth of it\n" },
        { "cache", "  vtlc cache FILE [--strip OUT.bmp]    print a thumbnail cache's lines\n",
            "  --strip OUT.bmp  also write the cache's strip of thumbnails\n" },
        { "palette", "  vtlc palette FILE                    print a palette file's entries\n", "" },
        { "list", "  vtlc list ARCHIVE                    list an archive's picture members\n", "" },
        { "extract", "  vtlc extract ARCHIVE MEMBER OUT      write one member's bytes\n", "" },
    };

    bool Batched(const std::string& command) { return command == "convert" || command == "apply"; }
    // The commands that read pictures, and so take the photo options.
    bool ReadsPictures(const std::string& command)
    {
        return Batched(command) || command == "info" || command == "thumbs";
    }
}

std::string Usage()
{
    std::string text = "usage:\n";
    for (const CommandText& c : kCommands)
        text += c.synopsis;
    text += "  vtlc --version | vtlc COMMAND --help\n"
            "OPTIONS of convert and apply: --as KIND  --quality N  --png-best  -o DIR  --name "
            "PATTERN\n"
            "  --overwrite  -j N  -v  -q  --memory-budget MB; convert also --format F\n"
            "  --quantise low|high  --one-bit-colour RRGGBB\n"
            "OPTIONS of info, convert, apply and thumbs: --keep-orientation  --keep-colours\n";
    return text;
}

std::string CommandHelp(const std::string& command)
{
    for (const CommandText& c : kCommands) {
        if (command != c.name)
            continue;
        std::string text = std::string("usage:\n") + c.synopsis;
        if (command == "apply") {
            text += "operations:\n";
            for (const ApplyOperation& o : ApplyOperations())
                text += std::string("  ") + o.name + (*o.arguments ? " " : "") + o.arguments + "\n";
        }
        if (Batched(command) || ReadsPictures(command) || *c.details)
            text += "options:\n";
        if (Batched(command))
            text += std::string(kSaveOptions) + c.details + kBudgetOption + kPhotoOptions
                + kBatchOptions;
        else if (command == "info")
            text += std::string(kBudgetOption) + kPhotoOptions;
        else if (ReadsPictures(command))
            text += std::string(c.details) + kPhotoOptions;
        else
            text += c.details;
        return text;
    }
    return {};
}

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

    // Short options that take a value accept it attached too ("-j4", "-oout").
    bool ShortOption(const std::string& word, char letter)
    {
        return word.size() >= 2 && word[0] == '-' && word[1] == letter;
    }

    // Consumes an option at `i` when there is one; returns false for a non-option word ("-"
    // alone is standard input or output, "--" separates apply's inputs from its operations).
    bool TakeOption(const std::vector<std::string>& args, size_t& i, Options& o)
    {
        const std::string& word = args[i];
        auto value = [&]() -> const std::string& {
            if (i + 1 >= args.size())
                throw UsageError { word + " needs a value" };
            return args[++i];
        };
        if (word == "-v" || word == "--verbose") {
            o.verbose = true;
            return true;
        }
        if (word == "-q" || word == "--quiet") {
            o.quiet = true;
            return true;
        }
        if (ShortOption(word, 'o') || word == "--output") {
            o.outputFolder = word.size() > 2 && word[1] == 'o' ? word.substr(2) : value();
            if (o.outputFolder->empty())
                throw UsageError { "-o needs a folder" };
            return true;
        }
        if (ShortOption(word, 'j') || word == "--jobs") {
            const std::string text = word.size() > 2 && word[1] == 'j' ? word.substr(2) : value();
            o.jobs = static_cast<unsigned>(Number("-j", text, 1, 1024));
            return true;
        }
        if (word.size() < 3 || word.compare(0, 2, "--") != 0)
            return false;
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
        } else if (word == "--memory-budget") {
            o.memoryBudget = Number(word, value(), 1, INT32_MAX);
        } else if (word == "--name") {
            o.name = value();
        } else if (word == "--overwrite") {
            o.overwrite = true;
        } else if (word == "--keep-orientation") {
            o.keepOrientation = true;
        } else if (word == "--keep-colours") {
            o.keepColours = true;
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
    if (CommandHelp(c.command).empty())
        throw UsageError { "unknown command " + c.command };

    std::vector<std::string> words;
    for (size_t i = 1; i < args.size(); ++i)
        if (!TakeOption(args, i, c.options))
            words.push_back(args[i]);

    const Options& o = c.options;
    const bool batch = o.outputFolder.has_value();
    auto operandCount = [&](size_t low, size_t high) {
        if (words.size() < low || words.size() > high)
            throw UsageError { c.command + ": wrong number of arguments" };
        c.operands = words;
    };
    if (c.command == "apply") {
        // IN OUT OP..., or with -o: IN... -- OP...
        size_t first = 2;
        if (batch) {
            auto dashes = std::find(words.begin(), words.end(), "--");
            if (dashes == words.end())
                throw UsageError { "apply -o DIR: put -- between the inputs and the operations" };
            first = static_cast<size_t>(dashes - words.begin()) + 1;
            if (first == 1)
                throw UsageError { "apply -o DIR needs at least one input" };
        } else if (words.size() < 3) {
            throw UsageError { "apply needs IN, OUT and an operation" };
        }
        if (first >= words.size())
            throw UsageError { "apply needs an operation" };
        c.operands.assign(words.begin(), words.begin() + std::ptrdiff_t(batch ? first - 1 : 2));
        for (size_t i = first; i < words.size(); ++i) {
            if (words[i] == "+") {
                if (i + 1 == words.size() || words[i + 1] == "+")
                    throw UsageError { "apply: an operation must follow +" };
                continue;
            }
            if (i == first || words[i - 1] == "+")
                c.operations.push_back({ words[i], {} });
            else
                c.operations.back().arguments.push_back(words[i]);
        }
    } else if (c.command == "info") {
        operandCount(1, SIZE_MAX);
    } else if (c.command == "convert") {
        if (batch)
            operandCount(1, SIZE_MAX);
        else if (words.size() > 2)
            throw UsageError { "convert: several inputs need -o DIR" };
        else
            operandCount(2, 2);
    } else if (c.command == "extract") {
        operandCount(3, 3);
    } else {
        operandCount(1, 1);
    }
    if (batch && std::find(c.operands.begin(), c.operands.end(), "-") != c.operands.end())
        throw UsageError { "- (standard input) can't be one of the inputs of -o DIR" };

    if (o.size && c.command != "thumbs")
        throw UsageError { "--size belongs to thumbs" };
    if (o.strip && c.command != "cache")
        throw UsageError { "--strip belongs to cache" };
    if (o.memoryBudget && !Batched(c.command) && c.command != "info" && c.command != "thumbs")
        throw UsageError { "--memory-budget belongs to info, convert, apply and thumbs" };
    if ((o.keepOrientation || o.keepColours) && !ReadsPictures(c.command))
        throw UsageError { "--keep-orientation and --keep-colours belong to info, convert, apply "
                           "and thumbs" };
    const bool batchOptionGiven
        = batch || o.name || o.jobs || o.overwrite || o.verbose || o.quiet;
    if (batchOptionGiven && !Batched(c.command))
        throw UsageError { "-o, --name, -j, --overwrite, -v and -q belong to convert and apply" };
    if (o.name && !batch)
        throw UsageError { "--name needs -o DIR" };
    return c;
}

} // namespace vtl::tools
