#include "platform/atomic_file.h"
#include "platform/registry.h"
#include "support/temp_dir.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <random>

using namespace vtl::platform;
using vtl::testing::ReadFile;
using vtl::testing::TempDir;
using vtl::testing::WriteFile;

namespace {
constexpr auto HKCU = RegistryRoot::CurrentUser;
}

TEST(Registry, RoundTripKeepsValuesAndIgnoresCase)
{
    TempDir dir;
    {
        Registry reg(dir.Path());
        reg.WriteString(HKCU, "software\\Tamsol\\vtl\\Pos", "Top", "12");
        reg.WriteString(HKCU, "software\\Tamsol\\vtl\\Pos", "", "default value");
        reg.WriteString(HKCU, "Software\\X", "quote\"and\\slash", "a \"b\" \\c\\ \nnext");
        reg.Flush();
    }
    Registry reg(dir.Path());
    EXPECT_EQ(reg.ReadString(HKCU, "SOFTWARE\\tamsol\\VTL\\pos", "top"), "12");
    EXPECT_EQ(reg.ReadString(HKCU, "software\\Tamsol\\vtl\\Pos", ""), "default value");
    EXPECT_EQ(reg.ReadString(HKCU, "software\\x", "QUOTE\"AND\\SLASH"), "a \"b\" \\c\\ \nnext");
    EXPECT_FALSE(reg.ReadString(HKCU, "software\\Tamsol\\vtl\\Pos", "Left"));
    EXPECT_FALSE(reg.ReadString(RegistryRoot::ClassesRoot, "software\\Tamsol\\vtl\\Pos", "Top"));
    // Writing with other case keeps the first spelling.
    reg.WriteString(HKCU, "SOFTWARE\\TAMSOL\\VTL\\POS", "TOP", "13");
    EXPECT_NE(reg.Serialise(HKCU).find("[HKEY_CURRENT_USER\\software\\Tamsol\\vtl\\Pos]\n\"Top\"=\"13\""),
        std::string::npos);
}

TEST(Registry, KeysBelowAndDeletion)
{
    TempDir dir;
    Registry reg(dir.Path());
    reg.WriteString(RegistryRoot::ClassesRoot, ".png", "", "pngfile");
    reg.WriteString(RegistryRoot::ClassesRoot, "pngfile\\shell\\open\\command", "", "vtl \"%1\"");
    reg.CreateKey(RegistryRoot::ClassesRoot, "pngfile\\DefaultIcon");
    EXPECT_TRUE(reg.KeyExists(RegistryRoot::ClassesRoot, "pngfile"));
    EXPECT_TRUE(reg.KeyExists(RegistryRoot::ClassesRoot, "PNGFILE\\shell"));
    EXPECT_FALSE(reg.KeyExists(RegistryRoot::ClassesRoot, "pngfil"));
    EXPECT_EQ(reg.SubKeyNames(RegistryRoot::ClassesRoot, "pngfile"),
        (std::vector<std::string> { "shell", "DefaultIcon" }));
    EXPECT_TRUE(reg.DeleteKey(RegistryRoot::ClassesRoot, "pngfile"));
    EXPECT_FALSE(reg.KeyExists(RegistryRoot::ClassesRoot, "pngfile\\shell\\open"));
    EXPECT_TRUE(reg.KeyExists(RegistryRoot::ClassesRoot, ".png"));
    EXPECT_TRUE(reg.DeleteValue(RegistryRoot::ClassesRoot, ".png", ""));
    EXPECT_FALSE(reg.ReadString(RegistryRoot::ClassesRoot, ".png", ""));
}

TEST(Registry, DamagedFilesReadWhatTheyCan)
{
    TempDir dir;
    WriteFile(dir / "HKEY_CURRENT_USER.reg",
        "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\software\\Tamsol\\vtl\\Op]\r\n"
        "\"jpg\"=dword:0000005a\r\n" // not a string: unreadable here
        "\"Lev\"=\"100\"\r\n"
        "\"wait\"=\"3\r\n" // unterminated
        "garbage line\r\n"
        "[HKEY_LOCAL_MACHINE\\software]\r\n\"x\"=\"y\"\r\n" // another root's key
        "[HKEY_CURRENT_USER\\software\\Tamsol\\vtl\\Pos\r\n\"Top\"=\"5\"\r\n" // unclosed key line
        "[HKEY_CURRENT_USER\\software\\Tamsol\\vtl\\Bar]\r\n\"Tool\"=\"0\"");
    std::mt19937 random(7);
    std::string garbage(4096, '\0');
    for (auto& c : garbage)
        c = static_cast<char>(random());
    WriteFile(dir / "HKEY_CLASSES_ROOT.reg", garbage);
    WriteFile(dir / "HKEY_LOCAL_MACHINE.reg", "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\a]\n\"b\"=\"c");

    Registry reg(dir.Path());
    const std::string op = "software\\Tamsol\\vtl\\Op";
    EXPECT_FALSE(reg.ReadString(HKCU, op, "jpg"));
    EXPECT_EQ(reg.ReadString(HKCU, op, "Lev"), "100");
    EXPECT_FALSE(reg.ReadString(HKCU, op, "wait"));
    EXPECT_FALSE(reg.ReadString(HKCU, "software", "x"));
    EXPECT_FALSE(reg.ReadString(HKCU, "software\\Tamsol\\vtl\\Pos", "Top"));
    EXPECT_EQ(reg.ReadString(HKCU, "software\\Tamsol\\vtl\\Bar", "Tool"), "0");
    EXPECT_FALSE(reg.ReadString(RegistryRoot::LocalMachine, "a", "b"));
}

TEST(Registry, FailedRenameKeepsThePreviousFile)
{
    TempDir dir;
    Registry reg(dir.Path());
    reg.WriteString(HKCU, "software\\Tamsol\\vtl\\Op", "jpg", "90");
    reg.Flush();
    const std::string before = ReadFile(reg.FilePath(HKCU));

    reg.WriteString(HKCU, "software\\Tamsol\\vtl\\Op", "jpg", "50");
    SetRenameFunctionForTesting([](const char*, const char*) {
        errno = EIO;
        return -1;
    });
    EXPECT_THROW(reg.Flush(), std::system_error);
    SetRenameFunctionForTesting({});

    EXPECT_EQ(ReadFile(reg.FilePath(HKCU)), before);
    // No temporary file is left behind, and the change is still pending for the next flush.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
    EXPECT_TRUE(reg.Dirty());
    reg.Flush();
    EXPECT_EQ(Registry(dir.Path()).ReadString(HKCU, "software\\Tamsol\\vtl\\Op", "jpg"), "50");
}
