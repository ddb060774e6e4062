// The program's own manager library over SANE's "test" device.

#include "input/twain_acquisition.h"
#include "input/sane_backend_pin.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

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

// Sets a variable for the time of a test and puts back what was there.
class EnvVar {
public:
    EnvVar(const char* name, const std::string& value)
        : m_name(name)
    {
        if (const char* old = std::getenv(name))
            m_old = old;
        setenv(name, value.c_str(), 1);
    }
    ~EnvVar()
    {
        if (m_old)
            setenv(m_name, m_old->c_str(), 1);
        else
            unsetenv(m_name);
    }

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

std::vector<unsigned char> ReadAll(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return { std::istreambuf_iterator<char>(in), {} };
}

class TwainSaneTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!std::filesystem::exists(m_library))
            GTEST_SKIP() << "the manager library was not built";
        vtl::testing::PinSaneTestBackend(m_library);
        std::ofstream(Sane() / "dll.conf") << "test\n";
        std::ofstream(Sane() / "test.conf")
            << "number_of_devices 2\nmode Color\ndepth 8\nresolution 25.0\n"
               "test-picture \"Color pattern\"\n";
        m_env.emplace_back("SANE_CONFIG_DIR", Sane().string());
        m_env.emplace_back("VTL_TWAIN_DSM", m_library.string());
        m_env.emplace_back("VTL_HOME", (m_dir.Path() / "home").string());
    }

    // SANE reads its configuration folder once per process, so all tests share one.
    static const std::filesystem::path& Sane()
    {
        static TempDir dir;
        return dir.Path();
    }

    std::filesystem::path m_library = std::filesystem::path(VTL_BINARY_DIR) / "plugins" / "vtltwain.so";
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
    if (session.AcquireToFiles(m_dir.Path() / "img", TwainFileFormat::Bmp) == TwainOutcome::CannotOpen)
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
    for (const Case& c : { Case { "Gray", 8, false, 8 }, Case { "Gray", 16, false, 8 },
             Case { "Gray", 1, false, 1 }, Case { "Color", 16, true, 24 },
             Case { "Color", 1, false, 24 } }) {
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
