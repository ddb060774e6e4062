// The execute macros of open requests: how lines become file names, and the macro vtl-open sends.
#include "app/open_requests.h"

#include <gtest/gtest.h>
#include <unistd.h>

using namespace vtl::app;

TEST(OpenMacro, LinesBecomeNamesWithTheirQuotesRemoved)
{
    using Names = std::vector<std::string>;
    EXPECT_EQ(MacroFileNames("/a/b.bmp"), (Names { "/a/b.bmp" }));
    // A quoted path with a blank keeps the blank.
    EXPECT_EQ(MacroFileNames("\"/my pictures/a b.png\""), (Names { "/my pictures/a b.png" }));
    EXPECT_EQ(MacroFileNames("\"/x.jpg\"\r\n/y.jpg\n\n\"/z.vtl\"\n"),
        (Names { "/x.jpg", "/y.jpg", "/z.vtl" }));
    // Only a leading quote counts, and the last character goes with it whatever it is.
    EXPECT_EQ(MacroFileNames("/it's \"here\".bmp"), (Names { "/it's \"here\".bmp" }));
    EXPECT_EQ(MacroFileNames("\"/open.bmp"), (Names { "/open.bm" }));
    EXPECT_EQ(MacroFileNames("\"\n\"\"\n"), Names {});
    EXPECT_EQ(MacroFileNames(""), Names {});
}

TEST(OpenMacro, WhatVtlOpenSendsReadsBackAsTheSameNames)
{
    const std::vector<std::string> names { "/a b/c.png", "/d.vtl", "/日本語/写真.jpg" };
    EXPECT_EQ(MakeOpenMacro(names), "\"/a b/c.png\"\n\"/d.vtl\"\n\"/日本語/写真.jpg\"\n");
    EXPECT_EQ(MacroFileNames(MakeOpenMacro(names)), names);
}

TEST(OpenMacro, ServerNameBelongsToTheUser)
{
    const std::string name = OpenGraphicServerName();
    EXPECT_NE(name.find("vtl-OpenGraphic-" + std::to_string(getuid())), std::string::npos);
}
