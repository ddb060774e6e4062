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
