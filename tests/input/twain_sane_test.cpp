// The program's own manager library over SANE's "test" device.

#include "input/sane_test_device.h"
#include "input/twain_acquisition.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <list>
#include <optional>
#include <string>
#include <vector>

using namespace vtl::input;
using vtl::testing::TempDir;

namespace {

using vtl::testing::EnvVar;
using vtl::testing::SaneTestDevice;

std::vector<unsigned char> ReadAll(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return { std::istreambuf_iterator<char>(in), {} };
}

class TwainSaneTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!m_sane.Use("mode Color\ndepth 8\nresolution 25.0\ntest-picture \"Color pattern\""))
            GTEST_SKIP() << "the manager library was not built";
        m_env.emplace_back("VTL_HOME", (m_dir.Path() / "home").string());
    }

    static const std::filesystem::path& Sane() { return SaneTestDevice::Folder(); }

    SaneTestDevice m_sane;
    TempDir m_dir;
    std::list<EnvVar> m_env;
    int m_pumped = 0;
    std::function<bool()> m_pump = [this] { return ++m_pumped < 1000; };
};

} // namespace

TEST_F(TwainSaneTest, AcquiresTestDeviceToFilesAndDocuments)
{
    TwainLibrary library(TwainManagerPath());
    ASSERT_EQ(library.Status(), TwainLibrary::State::Loaded);
    TwainSession session(library.Entry(), nullptr, m_pump);
    if (session.AcquireToFiles(m_dir.Path() / "img", TwainFileFormat::Bmp)
        == TwainOutcome::CannotOpen)
        GTEST_SKIP() << "SANE's test backend is not available";
    // A flatbed gives one page per scan.
    ASSERT_EQ(session.Written().size(), 1u);
    EXPECT_EQ(session.Written()[0], m_dir.Path() / "img_1.bmp");
    const auto bmp = ReadAll(session.Written()[0]);
    ASSERT_GT(bmp.size(), 54u);
    int32_t width = 0, height = 0;
    uint16_t bits = 0;
    std::memcpy(&width, &bmp[18], 4);
    std::memcpy(&height, &bmp[22], 4);
    std::memcpy(&bits, &bmp[28], 2);
    EXPECT_EQ(bits, 24);
    EXPECT_GT(width, 10);
    EXPECT_GT(height, 10); // bottom-up rows

    EXPECT_EQ(session.AcquireForDocuments(), TwainOutcome::Done);
    vtl::platform::TBitmap picture;
    ASSERT_TRUE(session.NextAcquired(picture));
    EXPECT_EQ(picture.Width(), width);
    EXPECT_EQ(picture.Height(), height);
    EXPECT_FALSE(session.NextAcquired(picture));
}

TEST_F(TwainSaneTest, PictureKindsOfTheDevice)
{
    struct Case {
        const char* mode;
        int depth;
        bool threePass;
        uint16_t bits;
    };
    // Grey of one bit is line art; colour of one bit per channel and colour sent as three
    // frames become 24 bits.
    for (const Case& c :
        { Case { "Gray", 8, false, 8 }, Case { "Gray", 16, false, 8 }, Case { "Gray", 1, false, 1 },
            Case { "Color", 16, true, 24 }, Case { "Color", 1, false, 24 } }) {
        std::ofstream(Sane() / "test.conf")
            << "mode " << c.mode << "\ndepth " << c.depth << "\nresolution 25.0\nthree-pass "
            << (c.threePass ? "true" : "false") << "\n";
        TwainLibrary library(TwainManagerPath());
        TwainSession session(library.Entry(), nullptr, m_pump);
        const auto base = m_dir.Path()
            / (std::string(c.mode) + std::to_string(c.depth) + (c.threePass ? "p" : ""));
        if (session.AcquireToFiles(base, TwainFileFormat::Bmp) == TwainOutcome::CannotOpen)
            GTEST_SKIP() << "SANE's test backend is not available";
        ASSERT_EQ(session.Written().size(), 1u) << c.mode;
        const auto bmp = ReadAll(session.Written()[0]);
        ASSERT_GT(bmp.size(), 54u);
        uint16_t bits = 0;
        std::memcpy(&bits, &bmp[28], 2);
        EXPECT_EQ(bits, c.bits) << c.mode << c.depth;
    }
}

TEST_F(TwainSaneTest, SelectionIsRememberedAsDefault)
{
    EnvVar device("VTL_TWAIN_DEVICE", "test:1");
    TwainLibrary library(TwainManagerPath());
    {
        TwainSession session(library.Entry(), nullptr, m_pump);
        if (session.SelectSource() == TwainOutcome::CannotOpen)
            GTEST_SKIP() << "SANE cannot start";
        if (std::string(session.SelectedSource().ProductName).empty())
            GTEST_SKIP() << "SANE's test backend is not available";
        EXPECT_STREQ(session.SelectedSource().ProductName, "test:1");
    }
    unsetenv("VTL_TWAIN_DEVICE"); // nobody chooses now: the remembered device stays the default
    TwainLibrary again(TwainManagerPath());
    TwainSession session(again.Entry(), nullptr, m_pump);
    EXPECT_EQ(session.SelectSource(), TwainOutcome::Done);
    EXPECT_STREQ(session.SelectedSource().ProductName, "test:1");
}

TEST_F(TwainSaneTest, DeviceThatFailsOrHangsMidScanLeavesNothingBehind)
{
    struct Case {
        const char* what;
        const char* options;
    };
    // The hung device sends its first block and then pauses longer than the stall limit.
    std::optional<EnvVar> stall;
    stall.emplace("VTL_TWAIN_STALL_MS", "50");
    for (const Case& c : { Case { "fails", "mode Gray\nread-status-code \"SANE_STATUS_IO_ERROR\"" },
             Case { "hangs",
                 "mode Gray\nresolution 300.0\nread-delay true\nread-delay-duration 200000" } }) {
        SaneTestDevice::Configure(c.options);
        TwainLibrary library(TwainManagerPath());
        TwainSession session(library.Entry(), nullptr, m_pump);
        const auto folder = m_dir.Path() / c.what;
        std::filesystem::create_directories(folder);
        const auto started = std::chrono::steady_clock::now();
        ASSERT_EQ(session.AcquireToFiles(folder / "img", TwainFileFormat::Bmp), TwainOutcome::Done)
            << c.what;
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20)) << c.what;
        EXPECT_TRUE(session.TransferFailed()) << c.what;
        EXPECT_TRUE(session.Written().empty()) << c.what;
        EXPECT_TRUE(std::filesystem::is_empty(folder)) << c.what;

        EXPECT_EQ(session.AcquireForDocuments(), TwainOutcome::Done) << c.what;
        EXPECT_TRUE(session.TransferFailed()) << c.what;
        EXPECT_EQ(session.PicturesReceived(), 0u) << c.what;
    }
    // The manager is left fit for the next scan; the slow device, given time, delivers.
    stall.reset();
    SaneTestDevice::Configure(
        "mode Gray\nresolution 150.0\nread-delay true\nread-delay-duration 200000");
    TwainLibrary library(TwainManagerPath());
    TwainSession session(library.Entry(), nullptr, m_pump);
    EXPECT_EQ(session.AcquireForDocuments(), TwainOutcome::Done);
    EXPECT_FALSE(session.TransferFailed());
    EXPECT_EQ(session.PicturesReceived(), 1u);
}

TEST_F(TwainSaneTest, RememberedDeviceThatIsGoneIsNotReplaced)
{
    std::filesystem::create_directories(m_dir.Path() / "home");
    std::ofstream(m_dir.Path() / "home" / "twain-source") << "test:5\n";
    TwainLibrary library(TwainManagerPath());
    {
        TwainSession session(library.Entry(), nullptr, m_pump);
        EXPECT_EQ(session.AcquireForDocuments(), TwainOutcome::CannotOpen);
        EXPECT_EQ(session.PicturesReceived(), 0u);
    }
    // The test hook names a device that is there, whatever was remembered.
    EnvVar device("VTL_TWAIN_DEVICE", "test:1");
    TwainSession session(library.Entry(), nullptr, m_pump);
    EXPECT_EQ(session.AcquireForDocuments(), TwainOutcome::Done);
    EXPECT_EQ(session.PicturesReceived(), 1u);
}
