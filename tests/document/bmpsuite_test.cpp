// The public BMP suite: good files load and match their reference pictures; questionable and bad
// files are refused cleanly or load where the buffer's reading rules accept them.

#include "document/dib.h"
#include "platform/bitmap.h"
#include "platform/byte_reader.h"
#include "platform/stream.h"

#ifdef VTL_HAVE_LIBPNG
#include "codecs/png_oracle.h"
#endif

#include <algorithm>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace vtl::document {
namespace {

    namespace fs = std::filesystem;

    fs::path SuiteDir() { return fs::path(VTL_TESTDATA_DIR) / "bmpsuite"; }

    std::vector<uint8_t> ReadFile(const fs::path& path)
    {
        std::ifstream in(path, std::ios::binary);
        return { std::istreambuf_iterator<char>(in), {} };
    }

    std::vector<fs::path> FilesIn(const std::string& folder)
    {
        std::vector<fs::path> files;
        for (const auto& e : fs::directory_iterator(SuiteDir() / folder))
            if (e.path().extension() == ".bmp")
                files.push_back(e.path());
        std::sort(files.begin(), files.end());
        return files;
    }

    // The suite's page shows each BMP after the reference pictures of its group: the PNGs
    // that precede it since the previous BMP.
    std::map<std::string, std::vector<std::string>> References()
    {
        std::ifstream in(SuiteDir() / "html" / "bmpsuite.html");
        std::stringstream text;
        text << in.rdbuf();
        std::string page = text.str();
        std::map<std::string, std::vector<std::string>> refs;
        std::vector<std::string> group;
        bool lastWasBmp = true;
        const std::string marker = "src=\"";
        for (size_t at = page.find(marker); at != std::string::npos; at = page.find(marker, at)) {
            at += marker.size();
            size_t close = page.find('"', at);
            if (close == std::string::npos)
                break;
            std::string name = page.substr(at, close - at);
            if (name.size() > 4 && name.substr(name.size() - 4) == ".bmp") {
                refs[name.substr(3)] = group; // "../g/pal1.bmp" -> "g/pal1.bmp"
                lastWasBmp = true;
            } else {
                if (lastWasBmp)
                    group.clear();
                group.push_back(name);
                lastWasBmp = false;
            }
        }
        return refs;
    }

    bool Loadable(const std::vector<uint8_t>& bytes, TDIB& dib, std::string& error)
    {
        try {
            dib.LoadFromBytes(bytes);
            return true;
        } catch (const EDIBError& e) {
            error = e.what();
        } catch (const platform::EReadError& e) {
            error = e.what();
        }
        return false;
    }

#ifdef VTL_HAVE_LIBPNG
    // Compares the picture with a reference PNG; run-length pictures leave skipped pixels at
    // index 0, so the "-0" reference is the one to match when the suite offers it.
    void ExpectMatchesReference(const std::string& name, const platform::TBitmap& bitmap,
        const std::vector<std::string>& candidates, int tolerance)
    {
        std::string chosen;
        for (const auto& c : candidates)
            if (c.find("-0.png") != std::string::npos)
                chosen = c;
        std::optional<testing::OracleImage> ref;
        for (const auto& c : candidates) {
            if (!chosen.empty() && c != chosen)
                continue;
            if (c.substr(c.size() - 4) != ".png")
                continue;
            auto decoded = testing::DecodeWithLibpng(ReadFile(SuiteDir() / "html" / c));
            if (decoded && int(decoded->width) == bitmap.Width()
                && int(decoded->height) == bitmap.Height()) {
                ref = decoded;
                break;
            }
        }
        ASSERT_TRUE(ref.has_value()) << name << ": no reference of its size";
        int mismatches = 0;
        for (int y = 0; y < bitmap.Height(); ++y)
            for (int x = 0; x < bitmap.Width(); ++x) {
                platform::TColor c = bitmap.Pixel(x, y);
                const uint8_t* p = ref->At(uint32_t(x), uint32_t(y));
                // The buffer has no alpha: translucent pixels of the reference say nothing.
                if (p[3] != 255)
                    continue;
                if (std::abs(platform::GetRValue(c) - p[0]) > tolerance
                    || std::abs(platform::GetGValue(c) - p[1]) > tolerance
                    || std::abs(platform::GetBValue(c) - p[2]) > tolerance) {
                    if (++mismatches <= 3)
                        ADD_FAILURE()
                            << name << " differs at " << x << "," << y << ": " << std::hex << c
                            << " vs " << int(p[0]) << " " << int(p[1]) << " " << int(p[2]);
                }
            }
        EXPECT_EQ(mismatches, 0) << name;
    }
#endif

    // Channels from 5 or 6 bits are scaled by v x 255 / max with the integer division of the
    // buffer's mask rule; the suite's pictures round instead, so they may differ by one.
    int ToleranceFor(const std::string& name)
    {
        return name.find("16") != std::string::npos ? 1 : 0;
    }

    class BmpSuite : public ::testing::Test {
    protected:
        void SetUp() override
        {
            if (!fs::exists(SuiteDir() / "g"))
                GTEST_SKIP() << "bmpsuite not found at " << SuiteDir()
                             << "; conformance tests skipped";
        }
    };

    TEST_F(BmpSuite, GoodFilesLoadAndMatchTheirReferences)
    {
        auto refs = References();
        for (const auto& path : FilesIn("g")) {
            std::string name = "g/" + path.filename().string();
            SCOPED_TRACE(name);
            TDIB dib;
            std::string error;
            ASSERT_TRUE(Loadable(ReadFile(path), dib, error)) << error;
            platform::TBitmap bitmap;
            dib.AssignTo(bitmap);
            // Handing the pixel block over gives the same bitmap as copying it, padding and
            // palette included, and leaves the read buffer as a new one.
            TDIB handing;
            handing.LoadFromBytes(ReadFile(path));
            platform::TBitmap handed;
            handing.MoveTo(handed);
            EXPECT_EQ(handed.PixelFormat(), bitmap.PixelFormat());
            EXPECT_TRUE(std::ranges::equal(handed.Bits(), bitmap.Bits()));
            EXPECT_TRUE(std::ranges::equal(handed.EffectivePalette(), bitmap.EffectivePalette()));
            EXPECT_EQ(handing.Width(), 1);
            // Saving and reading again gives the same picture.
            TDIB again;
            again.LoadFromBytes(dib.SaveToBytes());
            EXPECT_EQ(again.SaveToBytes(), dib.SaveToBytes());
#ifdef VTL_HAVE_LIBPNG
            ASSERT_TRUE(refs.count(name)) << "no reference listed";
            ExpectMatchesReference(name, bitmap, refs[name], ToleranceFor(name));
#endif
        }
    }

    // Which questionable and bad files load follows from the reading rules; the lists are kept
    // so that a change of rule shows up here.
    TEST_F(BmpSuite, QuestionableAndBadFilesAreRefusedCleanlyOrLoad)
    {
        const std::set<std::string> expectedToLoad = {
            // Questionable files whose headers follow the reading rules.
            "q/pal1p1.bmp", // a one-entry table: colours used 1
            "q/pal4rlecut.bmp", "q/pal8rlecut.bmp", // end of bitmap early: the rest stays index 0
            "q/pal4rletrns.bmp", "q/pal8rletrns.bmp", // deltas skip pixels, which stay index 0
            "q/pal8offs.bmp", // a gap between table and pixels: bfOffBits is followed
            "q/pal8os2-hs.bmp", "q/pal8os2-sz.bmp", // OS/2 headers with odd file sizes
            "q/pal8os2v2-40sz.bmp", // an OS/2 2.x header that is 40 bytes long reads as Windows
            "q/pal8oversizepal.bmp", // 300 colours used: 256 kept, the rest skipped
            "q/rgb16-231.bmp", "q/rgb16-3103.bmp", "q/rgb16faketrns.bmp", "q/rgba16-1924.bmp",
            "q/rgba16-4444.bmp", "q/rgba16-5551.bmp", // any non-zero masks, turned into 24 bits
            "q/rgb32-111110.bmp", "q/rgb32-7187.bmp", "q/rgb32-xbgr.bmp", "q/rgb32fakealpha.bmp",
            "q/rgba32-1.bmp", "q/rgba32-1010102.bmp", "q/rgba32-2.bmp", "q/rgba32-61754.bmp",
            "q/rgba32-81284.bmp", // the same for 32 bits; alpha is not kept
            "q/rgb24largepal.bmp", // a colour table on a 24-bit picture is kept
            "q/rgb24lprof.bmp", "q/rgb24prof.bmp", "q/rgb24prof2.bmp", // version 5 headers; the
                                                                       // profile is not applied
            // Bad files whose faults lie in fields the rules don't use or that stay harmless.
            "b/badbitssize.bmp", // the image size field is not used for uncompressed pictures
            "b/baddens1.bmp", "b/baddens2.bmp", // resolutions are kept as they are
            "b/badfilesize.bmp", // bfSize is not needed for uncompressed pictures
            "b/badplanes.bmp", // the plane count is not checked
            "b/badrle.bmp", "b/badrle4.bmp", "b/badrle4bis.bmp", "b/badrle4ter.bmp",
            "b/badrlebis.bmp",
            "b/badrleter.bmp", // kept compressed; decoding never leaves the picture or the data
            "b/pal8badindex.bmp", // indices beyond the table draw black
        };
        auto refs = References();
        std::vector<std::string> loaded;
        for (const std::string folder : { "q", "b" }) {
            for (const auto& path : FilesIn(folder)) {
                std::string name = folder + "/" + path.filename().string();
                SCOPED_TRACE(name);
                TDIB dib;
                std::string error;
                if (!Loadable(ReadFile(path), dib, error)) {
                    std::cout << "refused " << name << ": " << error << "\n";
                    continue;
                }
                loaded.push_back(name);
                // Whatever loads can be drawn, converted to 24 bits and saved.
                platform::TBitmap bitmap;
                dib.AssignTo(bitmap);
                TDIB copy;
                copy.Assign(dib);
                try {
                    copy.SetPixelFormat(DibPixelFormat::Dib24Bit);
                } catch (const EDIBError&) {
                    // Run-length data that the conversion finds bad is refused there.
                }
                EXPECT_FALSE(copy.SaveToBytes().empty());
#ifdef VTL_HAVE_LIBPNG
                // Colours are not managed, so a picture whose reference shows its profile
                // applied is not compared; masks wider or narrower than 8 bits may round
                // differently by one.
                if (folder == "q" && refs.count(name) && !refs[name].empty()
                    && name != "q/rgb24prof2.bmp")
                    ExpectMatchesReference(name, bitmap, refs[name], 1);
#endif
            }
        }
        std::string list;
        for (const auto& n : loaded)
            list += n + " ";
        std::cout << "loaded: " << list << "\n";
        EXPECT_EQ(std::set<std::string>(loaded.begin(), loaded.end()), expectedToLoad);
    }

    TEST_F(BmpSuite, BitmapArrayFileIsRefused)
    {
        TDIB dib;
        EXPECT_THROW(
            dib.LoadFromBytes(ReadFile(SuiteDir() / "x" / "ba-bm.bmp")), EDIBInvalidDIBFile);
    }

} // namespace
} // namespace vtl::document
