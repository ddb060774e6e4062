#pragma once
// vtlc run as a user runs it: a process in a fresh home folder, its status and both outputs.

#include "platform/bitmap.h"
#include "support/same_pixels.h"
#include "support/temp_dir.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <string>

namespace vtl::testing {

struct Outcome {
    int status;
    std::string out;
    std::string err;
};

class VtlcTest : public ::testing::Test {
protected:
    // `arguments` go through the shell, so they may carry a redirection of standard input.
    Outcome Vtlc(const std::string& arguments)
    {
        const auto out = m_dir / "stdout";
        const auto err = m_dir / "stderr";
        std::string command = "VTL_HOME='" + m_dir.Path().string() + "' '" VTL_BINARY_DIR "/src/tools/vtlc/vtlc' "
            + arguments + " >'" + out.string() + "' 2>'" + err.string() + "'";
        int raw = std::system(command.c_str());
        return { WEXITSTATUS(raw), ReadFile(out), ReadFile(err) };
    }
    std::string P(const char* name) { return (m_dir / name).string(); }
    std::string P(const std::string& name) { return (m_dir / name).string(); }

    // A 24-bit picture with a few colours and odd width; `seed` varies the colours.
    void MakePicture(const std::string& name, int seed = 0)
    {
        platform::TBitmap b(37, 21, platform::TPixelFormat::pf24bit);
        for (int y = 0; y < b.Height(); ++y)
            for (int x = 0; x < b.Width(); ++x)
                b.SetPixel(x, y, platform::Rgb(uint8_t(x * 6 + seed), uint8_t(y * 12), uint8_t((x + y + seed) % 2 ? 255 : 0)));
        b.SaveToFile(m_dir / name);
    }

    TempDir m_dir;
};

} // namespace vtl::testing
