#pragma once
// Shared pieces of the plug-in tests: where the test plug-ins and the program's own plug-ins
// were built, data files in the test plug-ins' formats, the call log, and a registry over a
// fresh data folder.

#include "input/plugin_registry.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace vtl::input::testing {

using Bytes = std::vector<uint8_t>;

inline std::filesystem::path TestPluginDir()
{
    return std::filesystem::path(VTL_BINARY_DIR) / "tests" / "input" / "plugins";
}
inline std::filesystem::path OwnPluginDir()
{
    return std::filesystem::path(VTL_BINARY_DIR) / "plugins";
}
inline std::filesystem::path TestPlugin(const std::string& name)
{
    return TestPluginDir() / (name + ".spi");
}

inline void Put16(Bytes& out, uint16_t v)
{
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}
inline void Put32(Bytes& out, uint32_t v)
{
    Put16(out, uint16_t(v));
    Put16(out, uint16_t(v >> 16));
}
inline void PutBlock(Bytes& out, const Bytes& block)
{
    Put32(out, uint32_t(block.size()));
    out.insert(out.end(), block.begin(), block.end());
}
inline std::string AsText(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

// Flags of the test picture plug-in's data.
enum : uint32_t {
    kInfoFails = 1,
    kPictureFails = 2,
    kProgress = 4,
    kFailWithBlocks = 8,
    kThrows = 16
};
// Flags of the test archive plug-in's data.
enum : uint32_t { kListFails = 1, kFileFails = 2, kNoTerminator = 4, kSizesTooLarge = 8 };

// A 40-byte info header followed by `tableEntries` colour-table entries (grey ramp).
inline Bytes InfoHeader(int32_t width, int32_t height, uint16_t bits, uint32_t sizeImage = 0,
    uint32_t colorsUsed = 0, uint32_t tableEntries = 0)
{
    Bytes h;
    Put32(h, 40);
    Put32(h, uint32_t(width));
    Put32(h, uint32_t(height));
    Put16(h, 1);
    Put16(h, bits);
    Put32(h, 0);
    Put32(h, sizeImage);
    Put32(h, 3780);
    Put32(h, 3780);
    Put32(h, colorsUsed);
    Put32(h, 0);
    for (uint32_t i = 0; i < tableEntries; ++i) {
        uint8_t v = uint8_t(i);
        h.insert(h.end(), { v, v, v, 0 });
    }
    return h;
}

// Data the test picture plug-in takes: its flags, the size GetPictureInfo reports, and the two
// blocks GetPicture returns.
inline Bytes TestPicture(const Bytes& info, const Bytes& bits, uint32_t flags = 0,
    int32_t infoWidth = 2, int32_t infoHeight = 2)
{
    Bytes out { 'T', 'P', 'I', 'C' };
    Put32(out, flags);
    Put32(out, uint32_t(infoWidth));
    Put32(out, uint32_t(infoHeight));
    PutBlock(out, info);
    PutBlock(out, bits);
    return out;
}

// A 2 x 2 24-bit picture: bottom row blue, green; top row red, white.
inline Bytes SmallPicture(uint32_t flags = 0)
{
    Bytes bits { 255, 0, 0, 0, 255, 0, 0, 0, 0, 0, 255, 255, 255, 255, 255, 0 };
    return TestPicture(InfoHeader(2, 2, 24), bits, flags);
}

struct TestMember {
    std::string path;
    std::string name;
    Bytes body;
};
inline Bytes TestArchive(const std::vector<TestMember>& members, uint32_t flags = 0)
{
    Bytes out { 'T', 'A', 'R', 'C' };
    Put32(out, flags);
    Put32(out, uint32_t(members.size()));
    for (const auto& m : members) {
        out.push_back(uint8_t(m.path.size()));
        out.insert(out.end(), m.path.begin(), m.path.end());
        out.push_back(uint8_t(m.name.size()));
        out.insert(out.end(), m.name.begin(), m.name.end());
        PutBlock(out, m.body);
    }
    return out;
}

// A registry over a fresh data folder whose plug-in folder is the test plug-ins' folder, with a
// call log the test plug-ins write to.
class PluginTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!std::filesystem::exists(TestPlugin("tpic")))
            GTEST_SKIP() << "test plug-ins not built in " << TestPluginDir();
        m_logPath = m_dir / "calls.log";
        setenv("VTL_TEST_PLUGIN_LOG", m_logPath.c_str(), 1);
    }
    void TearDown() override { unsetenv("VTL_TEST_PLUGIN_LOG"); }

    PluginFolders Folders() const { return { m_dir.Path(), TestPluginDir() }; }
    PluginRegistry MakeRegistry(std::vector<std::string> lines)
    {
        PluginRegistry registry(Folders());
        registry.SetLines(std::move(lines));
        return registry;
    }
    std::filesystem::path File(const std::string& name, const Bytes& bytes)
    {
        auto path = m_dir / name;
        vtl::testing::WriteFile(path, AsText(bytes));
        return path;
    }
    // The calls logged so far ("tpic:IsSupported" ...), and a fresh log.
    std::vector<std::string> Calls()
    {
        std::vector<std::string> calls;
        std::string text = vtl::testing::ReadFile(m_logPath);
        size_t start = 0;
        while (start < text.size()) {
            size_t end = text.find('\n', start);
            calls.push_back(text.substr(start, end - start));
            start = end == std::string::npos ? text.size() : end + 1;
        }
        std::filesystem::remove(m_logPath);
        return calls;
    }

    vtl::testing::TempDir m_dir;
    std::filesystem::path m_logPath;
};

} // namespace vtl::input::testing
