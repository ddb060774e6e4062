#include "tools/vtlc/command_line.h"

#include <gtest/gtest.h>

using namespace vtl::tools;

namespace {
CommandLine Parse(std::vector<std::string> args) { return ParseCommandLine(args); }
}

TEST(VtlcCommandLine, ApplySplitsOperationsAtPlus)
{
    auto c = Parse({ "apply", "in.bmp", "out.png", "rotate", "90", "+", "grey", "+", "resize", "10", "20",
        "--as", "png-interlace", "--quality", "75" });
    EXPECT_EQ(c.operands, (std::vector<std::string> { "in.bmp", "out.png" }));
    ASSERT_EQ(c.operations.size(), 3u);
    EXPECT_EQ(c.operations[0].name, "rotate");
    EXPECT_EQ(c.operations[0].arguments, (std::vector<std::string> { "90" }));
    EXPECT_EQ(c.operations[1].name, "grey");
    EXPECT_TRUE(c.operations[1].arguments.empty());
    EXPECT_EQ(c.operations[2].arguments, (std::vector<std::string> { "10", "20" }));
    EXPECT_EQ(c.options.as, "png-interlace");
    EXPECT_EQ(c.options.quality, 75);
}

TEST(VtlcCommandLine, OptionsAndOperands)
{
    auto c = Parse({ "convert", "a.png", "b.bmp", "--format", "8bit-rle", "--quantise", "high",
        "--one-bit-colour", "FF8000", "--png-best" });
    EXPECT_EQ(c.options.format, "8bit-rle");
    EXPECT_EQ(c.options.quantise, "high");
    EXPECT_EQ(c.options.oneBitColour, 0xFF8000u);
    EXPECT_TRUE(c.options.pngBest);
    EXPECT_EQ(Parse({ "info", "a", "b", "c" }).operands.size(), 3u);
    EXPECT_EQ(Parse({ "thumbs", "/pics", "--size", "4" }).options.size, 4);
    EXPECT_EQ(Parse({ "cache", "vtl.snx", "--strip", "s.bmp" }).options.strip, "s.bmp");
}

TEST(VtlcCommandLine, UsageErrors)
{
    const std::vector<std::vector<std::string>> bad = {
        {},
        { "frobnicate" },
        { "info" },
        { "convert", "a" },
        { "convert", "a", "b", "c" },
        { "convert", "a", "b", "--as", "gif" },
        { "convert", "a", "b", "--quality", "0" },
        { "convert", "a", "b", "--quality", "101" },
        { "convert", "a", "b", "--quality" },
        { "convert", "a", "b", "--one-bit-colour", "FFF" },
        { "convert", "a", "b", "--one-bit-colour", "GG0000" },
        { "convert", "a", "b", "--bogus" },
        { "convert", "a", "b", "--size", "2" },
        { "apply", "a", "b" },
        { "apply", "a", "b", "grey", "+" },
        { "apply", "a", "b", "grey", "+", "+", "x" },
        { "extract", "a.zip", "m" },
        { "thumbs", "/p", "--size", "5" },
    };
    for (const auto& args : bad)
        EXPECT_THROW(ParseCommandLine(args), UsageError) << (args.empty() ? "" : args[0]) << " " << args.size();
}

TEST(VtlcCommandLine, BatchForms)
{
    auto c = Parse({ "convert", "-o", "out", "a.jpg", "b.jpg", "-j4", "--as", "png", "-v", "--name", "{n}.{ext}" });
    EXPECT_EQ(c.options.outputFolder, "out");
    EXPECT_EQ(c.operands, (std::vector<std::string> { "a.jpg", "b.jpg" }));
    EXPECT_EQ(c.options.jobs, 4u);
    EXPECT_TRUE(c.options.verbose);
    EXPECT_EQ(c.options.name, "{n}.{ext}");

    // apply: inputs before --, operations after it; negative numbers stay arguments.
    auto a = Parse({ "apply", "--output", "o", "x.bmp", "y.bmp", "--", "rotate", "-30", "+", "gray", "-q", "--jobs", "2" });
    EXPECT_EQ(a.operands, (std::vector<std::string> { "x.bmp", "y.bmp" }));
    ASSERT_EQ(a.operations.size(), 2u);
    EXPECT_EQ(a.operations[0].arguments, (std::vector<std::string> { "-30" }));
    EXPECT_TRUE(a.options.quiet);
    EXPECT_EQ(a.options.jobs, 2u);

    // "-" is a file operand for the standard streams.
    EXPECT_EQ(Parse({ "convert", "-", "-", "--as", "png" }).operands, (std::vector<std::string> { "-", "-" }));

    const std::vector<std::vector<std::string>> bad = {
        { "convert", "a", "b", "c" }, // several inputs without -o
        { "apply", "-o", "d", "a", "gray" }, // no -- between inputs and operations
        { "apply", "-o", "d", "--", "gray" }, // no input
        { "apply", "-o", "d", "a", "--" }, // no operation
        { "convert", "-o", "d", "-" }, // standard input among batch inputs
        { "convert", "a", "b", "--name", "{name}.png" }, // a pattern without a folder
        { "info", "a", "-j", "2" }, // batch options belong to convert and apply
        { "convert", "-o" },
        { "convert", "-o", "d", "a", "-j", "0" },
        { "convert", "-o", "d", "a", "-jx" },
    };
    for (const auto& args : bad)
        EXPECT_THROW(ParseCommandLine(args), UsageError) << args.size() << " " << args.back();
}
