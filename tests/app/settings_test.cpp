#include "app/settings.h"
#include "platform/registry.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

using namespace vtl::app;
using vtl::platform::Registry;
using vtl::platform::RegistryRoot;
using vtl::platform::TRect;
using vtl::testing::ReadFile;
using vtl::testing::TempDir;
using vtl::testing::WriteFile;

namespace {
const TRect kWorkArea { 0, 0, 1920, 1040 };
const TextFont kMainFont { "MS UI Gothic", 9, kClWindowText, 0 };

void Put(Registry& reg, const char* section, const char* name, const char* value)
{
    reg.WriteString(RegistryRoot::CurrentUser, std::string(kSettingsKey) + "\\" + section, name, value);
}
}

TEST(Settings, DefaultsWhenTheRegistryIsEmpty)
{
    TempDir dir;
    Registry reg(dir.Path());
    Settings s = ReadSettings(reg, kWorkArea, kMainFont);
    Settings expected;
    expected.font = kMainFont;
    EXPECT_EQ(s, expected);
    EXPECT_EQ(s.width, 640);
    EXPECT_EQ(s.height, 400);
    EXPECT_EQ(s.jpg, 90);
    EXPECT_EQ(s.lev, 127);
    EXPECT_EQ(s.twainName, "img");
    EXPECT_TRUE(s.sumSave);
}

TEST(Settings, EveryValueSurvivesACloseAndAStart)
{
    TempDir dir;
    Settings s;
    s.top = 30;
    s.left = 40;
    s.height = 500;
    s.width = 700;
    s.font = { "IPAGothic", 14, 0x00FF8000, kFontBold | kFontStrikeOut };
    s.lineColor = 9;
    s.lineSize = 7;
    s.toolBar = false;
    s.statusBar = false;
    s.sumDir = "/home/u/Pictures, with \"quotes\"";
    s.sumWidth = 222;
    s.sumSave = false;
    s.sumSize = 4;
    s.png = true;
    s.wall = true;
    s.lev = 200;
    s.wait = 0;
    s.jpg = 55;
    s.twainDir = "/tmp/scans/";
    s.twainName = "scan";
    s.twainMode = 3;
    s.twainSave = true;
    {
        Registry reg(dir.Path());
        WriteSettings(reg, s, false);
        reg.Flush();
    }
    Registry reg(dir.Path());
    EXPECT_EQ(ReadSettings(reg, kWorkArea, kMainFont), s);
}

TEST(Settings, StoredFormsAreTheProgramsOwn)
{
    TempDir dir;
    Registry reg(dir.Path());
    Settings s;
    s.font = kMainFont;
    s.font.color = 0x000000FF;
    s.show240 = true;
    WriteSettings(reg, s, false);
    reg.Flush();
    const std::string file = ReadFile(reg.FilePath(RegistryRoot::CurrentUser));
    const std::string expected = "REGEDIT4\n"
                                 "\n[HKEY_CURRENT_USER\\software\\Tamsol\\vtl\\Pos]\n"
                                 "\"Top\"=\"0\"\n\"Left\"=\"0\"\n\"Height\"=\"400\"\n\"Width\"=\"640\"\n"
                                 "\n[HKEY_CURRENT_USER\\software\\Tamsol\\vtl\\Bar]\n"
                                 "\"Tool\"=\"1\"\n\"Status\"=\"1\"\n"
                                 "\n[HKEY_CURRENT_USER\\software\\Tamsol\\vtl\\Sum]\n"
                                 "\"Dir\"=\"\"\n\"Width\"=\"160\"\n\"Save\"=\"1\"\n\"Size\"=\"0\"\n"
                                 "\n[HKEY_CURRENT_USER\\software\\Tamsol\\vtl\\Op]\n"
                                 "\"png\"=\"0\"\n\"wall\"=\"0\"\n\"Lev\"=\"127\"\n\"wait\"=\"1\"\n\"jpg\"=\"90\"\n"
                                 "\n[HKEY_CURRENT_USER\\software\\Tamsol\\vtl\\Font]\n"
                                 "\"Name\"=\"MS UI Gothic\"\n\"Size\"=\"9\"\n\"Color\"=\"$000000FF\"\n\"Style\"=\"0\"\n"
                                 "\n[HKEY_CURRENT_USER\\software\\Tamsol\\vtl\\Line]\n"
                                 "\"Color\"=\"0\"\n\"Size\"=\"3\"\n"
                                 "\n[HKEY_CURRENT_USER\\software\\Tamsol\\vtl\\TWAIN]\n"
                                 "\"Dir\"=\"\"\n\"Name\"=\"img\"\n\"Mode\"=\"0\"\n\"Save\"=\"0\"\n";
    EXPECT_EQ(file, expected); // Op/240 is never written
}

TEST(Settings, MaximisedCloseLeavesThePositionAlone)
{
    TempDir dir;
    Registry reg(dir.Path());
    Put(reg, "Pos", "Top", "77");
    Settings s;
    s.top = 5;
    WriteSettings(reg, s, true);
    EXPECT_EQ(reg.ReadString(RegistryRoot::CurrentUser, "software\\Tamsol\\vtl\\Pos", "Top"), "77");
    EXPECT_FALSE(reg.ReadString(RegistryRoot::CurrentUser, "software\\Tamsol\\vtl\\Pos", "Width"));
}

TEST(Settings, ReadingRules)
{
    TempDir dir;
    Registry reg(dir.Path());
    Put(reg, "Op", "jpg", "not a number");
    Put(reg, "Op", "Lev", " 100");
    Put(reg, "Op", "wall", "2"); // any non-zero number is true
    Put(reg, "Op", "png", "yes"); // not a number: default
    Put(reg, "Sum", "Size", "9"); // past the last size: default
    Put(reg, "Line", "Color", "$9");
    Put(reg, "Font", "Size", "20"); // not read while Font/Name is empty
    Put(reg, "Font", "Color", "$00112233");
    Settings s = ReadSettings(reg, kWorkArea, kMainFont);
    EXPECT_EQ(s.jpg, 90);
    EXPECT_EQ(s.lev, 100);
    EXPECT_TRUE(s.wall);
    EXPECT_FALSE(s.png);
    EXPECT_EQ(s.sumSize, 0);
    EXPECT_EQ(s.lineColor, 9);
    EXPECT_EQ(s.font, kMainFont);

    Put(reg, "Font", "Name", "IPAGothic");
    s = ReadSettings(reg, kWorkArea, kMainFont);
    EXPECT_EQ(s.font.name, "IPAGothic");
    EXPECT_EQ(s.font.size, 20);
    EXPECT_EQ(s.font.color, 0x00112233);
    Put(reg, "Font", "Color", "");
    EXPECT_EQ(ReadSettings(reg, kWorkArea, kMainFont).font.color, kClWindowText);
}

TEST(Settings, WindowIsPulledIntoTheWorkArea)
{
    const TRect area { 0, 30, 1024, 738 };
    EXPECT_EQ(ClampIntoWorkArea({ -50, -20, 590, 380 }, area), (TRect { 0, 30, 640, 430 }));
    EXPECT_EQ(ClampIntoWorkArea({ 900, 600, 1540, 1000 }, area), (TRect { 384, 338, 1024, 738 }));
    // Wider than the work area: the left edge ends at right minus width.
    EXPECT_EQ(ClampIntoWorkArea({ 10, 40, 1210, 440 }, area), (TRect { -176, 40, 1024, 440 }));
}

TEST(Settings, NumbersAndColours)
{
    EXPECT_EQ(StrToInt("42"), 42);
    EXPECT_EQ(StrToInt("-7"), -7);
    EXPECT_EQ(StrToInt("$FF"), 255);
    EXPECT_EQ(StrToInt("0x10"), 16);
    EXPECT_EQ(StrToInt("$80000008"), kClWindowText);
    EXPECT_EQ(StrToInt("2147483647"), 2147483647);
    EXPECT_EQ(StrToInt("-2147483648"), INT32_MIN);
    for (const char* bad : { "", " ", "$", "12a", "2147483648", "$100000000", "1 ", "--1" })
        EXPECT_FALSE(StrToInt(bad)) << bad;
    for (int32_t c : { 0, 0x00FFFFFF, 0x00123456, kClWindowText }) {
        EXPECT_EQ(StrToInt(ColorToStr(c)), c);
    }
    EXPECT_EQ(ColorToStr(0x00ABCDEF), "$00ABCDEF");
    EXPECT_EQ(SlideShowInterval(0), 500);
    EXPECT_EQ(SlideShowInterval(5), 5000);
}
