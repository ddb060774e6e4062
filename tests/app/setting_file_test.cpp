#include "app/comma_text.h"
#include "app/setting_file.h"

#include <gtest/gtest.h>

using namespace vtl::app;
using vtl::platform::TRect;

TEST(CommaText, FieldsQuotesAndBlanks)
{
    using V = std::vector<std::string>;
    EXPECT_EQ(SplitCommaText("a,b,c"), (V { "a", "b", "c" }));
    EXPECT_EQ(SplitCommaText("  a b,c"), (V { "a", "b", "c" })); // a blank ends a field
    EXPECT_EQ(SplitCommaText("a,,b"), (V { "a", "", "b" }));
    EXPECT_EQ(SplitCommaText("a, b"), (V { "a", "b" }));
    EXPECT_EQ(SplitCommaText("\"x y\",\"say \"\"hi\"\"\",z"), (V { "x y", "say \"hi\"", "z" }));
    EXPECT_EQ(SplitCommaText("\"unterminated"), (V { "unterminated" }));
    EXPECT_EQ(SplitCommaText("a,"), (V { "a" }));
    EXPECT_EQ(SplitCommaText(""), V {});
    for (const V& fields : { V { "plain", "with blank", "with,comma", "", "q\"uote" }, V { "one" } })
        EXPECT_EQ(SplitCommaText(JoinCommaText(fields)), fields);
    EXPECT_EQ(JoinCommaText({ "3", "/p/a.bmp", "a.bmp" }), "3,/p/a.bmp,a.bmp");
    EXPECT_EQ(SplitLines("a\r\nb\nc\rd\r\n"), (V { "a", "b", "c", "d" }));
}

TEST(SettingFile, ReadsEntriesAsTheyWereSaved)
{
    std::vector<SettingEntry> saved = {
        { 3, "/pics/a.bmp", "a.bmp", TRect { 10, 20, 330, 260 } },
        { 7, "/my pics/b, c.png", "b, c.png", TRect { -5, 0, 95, 50 } },
    };
    const std::string text = FormatSettingFile(saved);
    EXPECT_EQ(text.substr(0, 28), "%vtl%\r\n3,/pics/a.bmp,a.bmp,1");
    auto read = ParseSettingFile(text);
    ASSERT_TRUE(read);
    ASSERT_EQ(read->size(), 2u);
    EXPECT_EQ((*read)[1].path, "/my pics/b, c.png");
    EXPECT_EQ((*read)[1].caption, "b, c.png");
    EXPECT_EQ((*read)[1].bounds, (TRect { -5, 0, 95, 50 }));
    EXPECT_EQ((*read)[0].zoomIndex, 3);
    EXPECT_EQ((*read)[1].zoomIndex, 7);
}

TEST(SettingFile, WrongOrShortFilesAndOddLines)
{
    EXPECT_FALSE(ParseSettingFile(""));
    EXPECT_FALSE(ParseSettingFile("%vtl%\r\n")); // only the marker: nothing to do
    EXPECT_FALSE(ParseSettingFile("%VTL%\r\n3,/a.bmp"));
    EXPECT_FALSE(ParseSettingFile("\x01\xff\xfe garbage\n3,/a.bmp"));

    auto read = ParseSettingFile("%vtl%\n"
                                 "\n"
                                 "onlyone\n"
                                 "5,/a.bmp\n" // two fields: opened, nothing restored
                                 "2,/b.bmp,cap,1,2,3\n" // six fields: no caption or bounds
                                 "x,/c.bmp,cap,l,t,w,h\n" // numbers that aren't numbers
                                 "9,/d.bmp,d,1,2,3,4\x00junk\n");
    ASSERT_TRUE(read);
    ASSERT_EQ(read->size(), 4u);
    EXPECT_EQ((*read)[0].zoomIndex, 5);
    EXPECT_FALSE((*read)[0].caption);
    EXPECT_FALSE((*read)[1].caption);
    EXPECT_FALSE((*read)[1].bounds);
    EXPECT_EQ((*read)[2].zoomIndex, 3);
    EXPECT_EQ((*read)[2].caption, "cap");
    EXPECT_FALSE((*read)[2].bounds);
    EXPECT_EQ((*read)[3].zoomIndex, 3);
    EXPECT_EQ((*read)[3].bounds, (TRect { 1, 2, 4, 6 }));
}
