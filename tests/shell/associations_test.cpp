// File associations over a registry in a temporary folder: the extension list built from the
// plug-in list, associating and taking back with the previous owner's backup, the saved "shell"
// list and the walk of the dialog's "設定".
#include "shell/associations.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

using namespace vtl::shell;
using vtl::platform::Registry;
using vtl::platform::RegistryRoot;
using vtl::testing::TempDir;

namespace {

constexpr RegistryRoot HKCR = RegistryRoot::ClassesRoot;
constexpr RegistryRoot HKLM = RegistryRoot::LocalMachine;
const std::filesystem::path kProgram = "/opt/vistrel/bin/vtl";

std::vector<std::string> ExtensionsOf(const ExtensionList& list)
{
    std::vector<std::string> out;
    for (const auto& entry : list.entries)
        out.push_back(entry.extension);
    return out;
}

std::string Default(const Registry& reg, const std::string& key)
{
    return reg.ReadString(HKCR, key, "").value_or("<none>");
}

class AssociationTest : public ::testing::Test {
protected:
    TempDir dir;
    Registry reg { dir.Path() };
};

TEST(AssociationList, BuiltInsFirstThenEnabledPluginExtensionsInLineOrder)
{
    const ExtensionList list = BuildExtensionList({
        R"(f,*.PIC,*.pi,"PIC 形式","ifpic.spi")",
        R"(f,*.gif,"GIF 形式","ifgif.spi",x)", // switched off
        R"(a,*.lzh,*.lha,"LHA 書庫","axlha.spi")",
        "f,\"only two\"", // not a plug-in line
        R"(f,"no patterns","empty.spi")",
    });
    EXPECT_EQ(ExtensionsOf(list),
        (std::vector<std::string> {
            ".bmp", ".jpg", ".jpeg", ".png", ".pic", ".pi", ".lzh", ".lha" }));
    EXPECT_EQ(list.DescriptionOf(0), "ビットマップ イメージ");
    EXPECT_EQ(list.DescriptionOf(1), "JPEG イメージ");
    EXPECT_EQ(list.DescriptionOf(2), "JPEG イメージ");
    EXPECT_EQ(list.DescriptionOf(3), "PNG イメージ");
    EXPECT_EQ(list.DescriptionOf(4), "PIC 形式");
    EXPECT_EQ(list.DescriptionOf(5), "PIC 形式");
    EXPECT_EQ(list.DescriptionOf(6), "LHA 書庫");
    EXPECT_EQ(list.IndexOf(".gif"), -1);
}

TEST(AssociationList, KnownExtensionsAreNotRepeatedAndKeepTheirDescription)
{
    const ExtensionList list = BuildExtensionList({
        R"(f,*.JPG,*.jfif,"other JPEG","ifjpeg.spi")",
        R"(f,*.jpg,"only jpeg again","ifjpeg2.spi")", // adds nothing, yet counts as a description
        R"(f,*.pic,*.pic,"PIC","ifpic.spi")",
    });
    EXPECT_EQ(ExtensionsOf(list),
        (std::vector<std::string> { ".bmp", ".jpg", ".jpeg", ".png", ".jfif", ".pic" }));
    EXPECT_EQ(list.DescriptionOf(1), "JPEG イメージ");
    EXPECT_EQ(list.DescriptionOf(4), "other JPEG");
    EXPECT_EQ(list.DescriptionOf(5), "PIC") << "a plug-in that added nothing still takes its index";
}

TEST(AssociationList, PatternsThatNameNoSingleKeyAreLeftOut)
{
    const ExtensionList list = BuildExtensionList({ R"(f,*.a\b,pic,*pic,"odd","odd.spi")" });
    EXPECT_EQ(list.Size(), 4u);
}

TEST_F(AssociationTest, AssociatingAnUnownedExtensionWritesTheIdentifierAndItsCommand)
{
    Associate(reg, ".png", "PNG イメージ", kProgram);
    EXPECT_EQ(Default(reg, ".png"), "vtl.png");
    EXPECT_FALSE(reg.ValueExists(HKCR, ".png", "vtl.bak"));
    EXPECT_EQ(Default(reg, "vtl.png"), "PNG イメージ");
    EXPECT_EQ(Default(reg, "vtl.png\\DefaultIcon"), "\"/opt/vistrel/bin/vtl\",0");
    EXPECT_EQ(Default(reg, "vtl.png\\shell\\open\\command"), "\"/opt/vistrel/bin/vtl\" -n");
    EXPECT_EQ(Default(reg, "vtl.png\\shell\\open\\ddeexec"), "\"%1\"");
    EXPECT_EQ(Default(reg, "vtl.png\\shell\\open\\ddeexec\\Application"), "vtl");
    EXPECT_EQ(Default(reg, "vtl.png\\shell\\open\\ddeexec\\Topic"), "OpenGraphic");

    EXPECT_EQ(AssociatedProgram().filename(), "vtl");
}

TEST_F(AssociationTest, PreviousOwnerIsBackedUpOnceAndRestoredOnRemoval)
{
    reg.WriteString(HKCR, ".jpg", "", "jpegfile");
    reg.WriteString(HKCR, ".jpg", "Content Type", "image/jpeg");
    Associate(reg, ".jpg", "JPEG イメージ", kProgram);
    EXPECT_EQ(Default(reg, ".jpg"), "vtl.jpg");
    EXPECT_EQ(reg.ReadString(HKCR, ".jpg", "vtl.bak"), "jpegfile");

    // A second "設定" finds the extension ours and leaves the backup as it is.
    Associate(reg, ".jpg", "JPEG イメージ", kProgram);
    EXPECT_EQ(reg.ReadString(HKCR, ".jpg", "vtl.bak"), "jpegfile");

    Unassociate(reg, ".jpg");
    EXPECT_EQ(Default(reg, ".jpg"), "jpegfile");
    EXPECT_FALSE(reg.ValueExists(HKCR, ".jpg", "vtl.bak"));
    EXPECT_EQ(reg.ReadString(HKCR, ".jpg", "Content Type"), "image/jpeg");
    EXPECT_FALSE(reg.KeyExists(HKCR, "vtl.jpg"));
}

TEST_F(AssociationTest, RepeatedAssociationWithoutOwnerWritesNoBackup)
{
    Associate(reg, ".bmp", "ビットマップ イメージ", kProgram);
    Associate(reg, ".bmp", "ビットマップ イメージ", kProgram);
    EXPECT_FALSE(reg.ValueExists(HKCR, ".bmp", "vtl.bak"));
    // An identifier spelt in other case is the same key, and so no previous owner either.
    reg.WriteString(HKCR, ".bmp", "", "VTL.BMP");
    Associate(reg, ".bmp", "ビットマップ イメージ", kProgram);
    EXPECT_FALSE(reg.ValueExists(HKCR, ".bmp", "vtl.bak"));
}

TEST_F(AssociationTest, ExistingIdentifierKeyIsLeftAsItIs)
{
    reg.WriteString(HKCR, "vtl.png", "", "my own name");
    reg.WriteString(HKCR, "vtl.png\\shell\\open\\command", "", "custom");
    Associate(reg, ".png", "PNG イメージ", kProgram);
    EXPECT_EQ(Default(reg, ".png"), "vtl.png");
    EXPECT_EQ(Default(reg, "vtl.png"), "my own name");
    EXPECT_EQ(Default(reg, "vtl.png\\shell\\open\\command"), "custom");
    EXPECT_FALSE(reg.KeyExists(HKCR, "vtl.png\\DefaultIcon"));
}

TEST_F(AssociationTest, RemovalWithoutBackupDeletesTheKeyUnlessItHasShellEx)
{
    Associate(reg, ".png", "PNG イメージ", kProgram);
    Unassociate(reg, ".png");
    EXPECT_FALSE(reg.KeyExists(HKCR, ".png"));
    EXPECT_FALSE(reg.KeyExists(HKCR, "vtl.png"));

    Associate(reg, ".bmp", "ビットマップ イメージ", kProgram);
    reg.WriteString(HKCR, ".bmp\\ShellEx\\{BB2E617C}", "", "{handler}");
    Unassociate(reg, ".bmp");
    EXPECT_TRUE(reg.KeyExists(HKCR, ".bmp"));
    EXPECT_EQ(reg.ReadString(HKCR, ".bmp", ""), "");
    EXPECT_EQ(Default(reg, ".bmp\\ShellEx\\{BB2E617C}"), "{handler}");
    EXPECT_FALSE(reg.KeyExists(HKCR, "vtl.bmp"));
}

TEST_F(AssociationTest, RemovalLeavesExtensionsOfOtherProgramsAlone)
{
    Associate(reg, ".jpg", "JPEG イメージ", kProgram);
    reg.WriteString(HKCR, ".jpg", "", "other.jpg"); // a third program took it over
    reg.WriteString(HKCR, ".jpg", "vtl.bak", "jpegfile");
    Unassociate(reg, ".jpg");
    EXPECT_EQ(Default(reg, ".jpg"), "other.jpg");
    EXPECT_EQ(reg.ReadString(HKCR, ".jpg", "vtl.bak"), "jpegfile");
    EXPECT_TRUE(reg.KeyExists(HKCR, "vtl.jpg"));

    // A missing key and an identifier that merely begins with "vtl" are no business of ours.
    Unassociate(reg, ".tif");
    EXPECT_FALSE(reg.KeyExists(HKCR, ".tif"));
    reg.WriteString(HKCR, ".gif", "", "vtlx.gif");
    Unassociate(reg, ".gif");
    EXPECT_EQ(Default(reg, ".gif"), "vtlx.gif");
}

TEST_F(AssociationTest, SavedStateChecksListedExtensionsAndTakesBackVanishedOnes)
{
    reg.WriteString(HKCR, ".pic", "", "picfile");
    Associate(reg, ".pic", "PIC", kProgram);
    Associate(reg, ".png", "PNG イメージ", kProgram);
    reg.WriteString(HKLM, "SOFTWARE\\Tamsol\\vtl", "shell", ".png,.pic");

    const ExtensionList list = BuildExtensionList({ R"(f,*.pic,"PIC","ifpic.spi",x)" });
    const std::vector<bool> checked = LoadSavedState(reg, list);
    EXPECT_EQ(checked, (std::vector<bool> { false, false, false, true }));
    EXPECT_EQ(Default(reg, ".pic"), "picfile");
    EXPECT_FALSE(reg.KeyExists(HKCR, "vtl.pic"));
    EXPECT_EQ(Default(reg, ".png"), "vtl.png") << "still listed, so untouched";
    // The saved list itself changes only with "設定".
    EXPECT_EQ(reg.ReadString(HKLM, "software\\tamsol\\vtl", "shell"), ".png,.pic");
}

TEST_F(AssociationTest, ApplyingWalksTheListAndSavesTheCheckedExtensions)
{
    reg.WriteString(HKCR, ".jpg", "", "jpegfile");
    const ExtensionList list = BuildExtensionList({ R"(f,*.pic,"PIC 形式","ifpic.spi")" });
    ApplyAssociations(reg, list, { false, true, false, true, true }, kProgram);
    EXPECT_EQ(reg.ReadString(HKLM, "SOFTWARE\\Tamsol\\vtl", "shell"), ".jpg,.png,.pic");
    EXPECT_EQ(Default(reg, ".jpg"), "vtl.jpg");
    EXPECT_EQ(Default(reg, "vtl.pic"), "PIC 形式");
    EXPECT_FALSE(reg.KeyExists(HKCR, ".bmp"));
    EXPECT_EQ(SavedExtensions(reg), (std::vector<std::string> { ".jpg", ".png", ".pic" }));

    ApplyAssociations(reg, list, std::vector<bool>(list.Size(), false), kProgram);
    EXPECT_EQ(reg.ReadString(HKLM, "SOFTWARE\\Tamsol\\vtl", "shell"), "");
    EXPECT_TRUE(SavedExtensions(reg).empty());
    EXPECT_EQ(Default(reg, ".jpg"), "jpegfile");
    EXPECT_FALSE(reg.KeyExists(HKCR, ".png"));
    EXPECT_FALSE(reg.KeyExists(HKCR, ".pic"));
    EXPECT_FALSE(reg.KeyExists(HKCR, "vtl.jpg"));
}

TEST_F(AssociationTest, AssociationsSurviveTheRegistryFiles)
{
    const ExtensionList list = BuildExtensionList({});
    ApplyAssociations(reg, list, { true, false, false, false }, kProgram);
    reg.Flush();
    Registry again(dir.Path());
    EXPECT_EQ(Default(again, ".bmp"), "vtl.bmp");
    EXPECT_EQ(Default(again, "vtl.bmp\\shell\\open\\command"), "\"/opt/vistrel/bin/vtl\" -n");
    EXPECT_EQ(LoadSavedState(again, list), (std::vector<bool> { true, false, false, false }));
}

} // namespace
