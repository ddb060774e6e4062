// HEIF/HEIC, AVIF and JPEG XL through the program's own plug-ins, on files made here by the
// formats' own encoders from a PNG the test writes: the pixels equal what the formats' own
// decoders make of them, on every road a picture takes (a file, vtlc, an archive member, a
// thumbnail), and damaged or lying files are refused. And the TIFF plug-in's rows as stored.

#include "browse/folder_thumbs.h"
#include "browse/thumb_size.h"
#include "codecs/png_image.h"
#include "input/archive_access.h"
#include "input/picture_loader.h"
#include "plugin_fixture.h"
#include "support/photo_pictures.h"
#include "support/same_pixels.h"
#include "tools/vtlc_fixture.h"

#include <gmock/gmock.h>

#include <sys/resource.h>

#include <algorithm>
#include <cstdlib>
#include <random>

namespace vtl::input {
namespace {

    namespace fs = std::filesystem;
    using platform::TBitmap;
    using vtl::testing::MaxDifference;
    using vtl::testing::Shell;
    std::string Q(const fs::path& path) { return vtl::testing::Quoted(path); }

    bool Have(const char* tool) { return fs::exists(fs::path("/usr/bin") / tool); }

    // Smooth ramps for the colour conversions, sharp edges for the chroma subsampling, odd sides
    // for the padding of coded blocks.
    TBitmap Picture(int32_t width, int32_t height)
    {
        TBitmap b(width, height, platform::TPixelFormat::pf24bit);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                bool box = x >= width / 4 && x < width / 2 && y >= height / 3 && y < height * 2 / 3;
                b.SetPixel(x, y,
                    box ? platform::Rgb(250, 220, 10)
                        : platform::Rgb(uint8_t(x * 255 / width), uint8_t(y * 255 / height),
                            uint8_t(128 + (x - y) % 64)));
            }
        return b;
    }

    void WritePng(const TBitmap& picture, const fs::path& file)
    {
        codecs::TPngImage png;
        png.Assign(picture);
        png.SaveToFile(file);
    }

    TBitmap ReadPng(const fs::path& file)
    {
        codecs::TPngImage png;
        png.LoadFromFile(file);
        TBitmap b;
        png.AssignTo(b);
        return b;
    }

    // The mean difference of the samples of two pictures of the same size.
    double MeanDifference(const TBitmap& a, const TBitmap& b)
    {
        EXPECT_EQ(a.Width(), b.Width());
        EXPECT_EQ(a.Height(), b.Height());
        if (a.Width() != b.Width() || a.Height() != b.Height() || a.Empty())
            return 255;
        double sum = 0;
        for (int y = 0; y < a.Height(); ++y)
            for (int x = 0; x < a.Width(); ++x) {
                platform::TColor p = a.Pixel(x, y), q = b.Pixel(x, y);
                sum += std::abs(platform::GetRValue(p) - platform::GetRValue(q))
                    + std::abs(platform::GetGValue(p) - platform::GetGValue(q))
                    + std::abs(platform::GetBValue(p) - platform::GetBValue(q));
            }
        return sum / (3.0 * a.Width() * a.Height());
    }

    std::vector<uint8_t> Bytes(const std::string& text) { return { text.begin(), text.end() }; }

    // The peak of this process's resident memory, in megabytes.
    long PeakMegabytes()
    {
        rusage usage {};
        getrusage(RUSAGE_SELF, &usage);
        return usage.ru_maxrss / 1024;
    }

    // A bare JPEG XL codestream whose size header claims width x height (30-bit fields) with
    // default image metadata, followed by `tail`.
    std::string JxlClaiming(uint32_t width, uint32_t height, const std::string& tail)
    {
        std::vector<bool> bits;
        auto put = [&bits](uint32_t value, int count) {
            for (int i = 0; i < count; ++i)
                bits.push_back((value >> i) & 1);
        };
        put(0, 1); // not a small picture
        put(3, 2);
        put(height - 1, 30);
        put(0, 3); // no aspect ratio: the width follows
        put(3, 2);
        put(width - 1, 30);
        put(1, 1); // all metadata default
        std::string out = "\xFF\x0A";
        for (size_t i = 0; i < bits.size(); i += 8) {
            uint8_t byte = 0;
            for (size_t j = 0; j < 8 && i + j < bits.size(); ++j)
                byte = uint8_t(byte | bits[i + j] << j);
            out += char(byte);
        }
        return out + tail;
    }

    // Every spatial extent (ispe) property of a HEIF file set to width x height.
    std::string WithExtent(std::string file, uint32_t width, uint32_t height)
    {
        for (size_t at = file.find("ispe"); at != std::string::npos;
             at = file.find("ispe", at + 4)) {
            if (at + 16 > file.size())
                break;
            for (int i = 0; i < 4; ++i) {
                file[at + 8 + size_t(i)] = char(width >> (24 - 8 * i));
                file[at + 12 + size_t(i)] = char(height >> (24 - 8 * i));
            }
        }
        return file;
    }

    // The file's pixel-information property (16 bytes, tied to the primary image by the
    // encoders here) made into a rotation property of the same size: a quarter turn
    // anticlockwise, which libheif's own decoder applies and the plug-in must not.
    std::string WithQuarterTurn(std::string file)
    {
        size_t at = file.find("pixi");
        if (at == std::string::npos || at < 4
            || file.compare(at - 4, 4, std::string("\0\0\0\x10", 4)))
            return {};
        file.replace(at, 4, "irot");
        file[at + 4] = 1;
        return file;
    }

    class ModernPluginsTest : public testing::PluginTest {
    protected:
        void SetUp() override
        {
            testing::PluginTest::SetUp();
            if (IsSkipped())
                return;
            for (const char* name : { "vtlheif.spi", "vtljxl.spi", "vtlarc.spi" })
                if (!fs::exists(testing::OwnPluginDir() / name))
                    GTEST_SKIP() << name << " not built";
            PluginFolders folders { m_dir.Path(), testing::OwnPluginDir() };
            m_registry = std::make_unique<PluginRegistry>(folders);
            m_registry->SetLines(OwnPluginLines(folders));
            WritePng(m_source, m_dir / "source.png");
        }

        // `command` (with {in} and {out}) run on the test's PNG, making `name`.
        fs::path Encode(const std::string& name, std::string command)
        {
            auto out = m_dir / name;
            command.replace(command.find("{in}"), 4, Q(m_dir / "source.png"));
            command.replace(command.find("{out}"), 5, Q(out));
            EXPECT_TRUE(Shell(command)) << command;
            return out;
        }

        // What a command-line decoder makes of `file`, as a PNG read back.
        TBitmap Oracle(const std::string& command, const fs::path& file)
        {
            auto png = m_dir / (file.filename().string() + ".oracle.png");
            EXPECT_TRUE(Shell(command + " " + Q(file) + " " + Q(png))) << command;
            return ReadPng(png);
        }

        // The picture as the program opens the file (orientation and colours as stored, so that
        // the plug-in's own output is compared).
        TBitmap Open(const fs::path& file)
        {
            DecodeContext context;
            context.photo = { false, false };
            TBitmap picture;
            auto result = OpenPictureFile(*m_registry, file, picture, context);
            EXPECT_EQ(result.outcome, FileOpenOutcome::Picture) << file << " " << result.message;
            return picture;
        }

        FileOpenResult TryOpen(const std::string& name, const std::string& bytes)
        {
            auto file = m_dir / name;
            vtl::testing::WriteFile(file, bytes);
            TBitmap picture;
            auto result = OpenPictureFile(*m_registry, file, picture, {});
            EXPECT_TRUE(picture.Empty()) << name;
            return result;
        }

        TBitmap m_source = Picture(45, 31);
        std::unique_ptr<PluginRegistry> m_registry;
    };

    TEST_F(ModernPluginsTest, HeifAndAvifDecodeAsTheirOwnDecodersDecodeThem)
    {
        if (!Have("heif-enc") || !Have("heif-convert") || !Have("avifenc") || !Have("avifdec"))
            GTEST_SKIP() << "libheif-examples or libavif-bin not installed";
        // HEVC, and AV1 by libheif and by libavif: the same conversion from YCbCr as libheif's
        // own decoder, exactly.
        for (const auto& file : { Encode("a.heic", "heif-enc -q 90 {in} -o {out}"),
                 Encode("b.heif", "heif-enc -A -q 90 {in} -o {out}"),
                 Encode("c.avif", "avifenc {in} {out}") }) {
            TBitmap picture = Open(file);
            EXPECT_EQ(MaxDifference(picture, Oracle("heif-convert", file)), 0) << file;
            // Lossy, but still the picture that was encoded.
            EXPECT_LT(MeanDifference(picture, m_source), 6) << file;
        }
        // libavif's decoder rounds its YCbCr conversion differently: within one step.
        auto avif = m_dir / "c.avif";
        EXPECT_LE(MaxDifference(Open(avif), Oracle("avifdec", avif)), 1);
    }

    TEST_F(ModernPluginsTest, HeifRotationIsLeftToTheHost)
    {
        if (!Have("heif-enc") || !Have("heif-convert") || !Have("avifenc"))
            GTEST_SKIP() << "libheif-examples or libavif-bin not installed";
        for (const auto& file : { Encode("a.heic", "heif-enc -q 90 {in} -o {out}"),
                 Encode("c.avif", "avifenc {in} {out}") }) {
            const TBitmap stored = Oracle("heif-convert", file);
            std::string turned = WithQuarterTurn(vtl::testing::ReadFile(file));
            ASSERT_FALSE(turned.empty()) << file;
            auto turnedFile = m_dir / ("turned" + file.extension().string());
            vtl::testing::WriteFile(turnedFile, turned);
            // libheif's own decoder turns it; the plug-in hands over the raster as stored.
            TBitmap upright = Oracle("heif-convert", turnedFile);
            EXPECT_EQ(upright.Width(), stored.Height()) << file;
            EXPECT_EQ(MaxDifference(Open(turnedFile), stored), 0) << file;
        }
    }

    TEST_F(ModernPluginsTest, JpegXlDecodesUprightAndInSrgbAsDjxlDoes)
    {
        if (!Have("cjxl") || !Have("djxl"))
            GTEST_SKIP() << "libjxl-tools not installed";
        // djxl asked for sRGB as the plug-in asks libjxl: the same pixels. (Left to itself djxl
        // converts a lossy picture to its original space through its colour management, which
        // differs by a few steps.)
        const std::string djxl = "djxl --color_space=RGB_D65_SRG_Rel_SRG";
        auto lossy = Encode("lossy.jxl", "cjxl {in} {out}");
        TBitmap picture = Open(lossy);
        EXPECT_EQ(MaxDifference(picture, Oracle(djxl, lossy)), 0);
        EXPECT_LT(MeanDifference(picture, m_source), 6);
        // Lossless: the picture itself.
        auto lossless = Encode("lossless.jxl", "cjxl -d 0 {in} {out}");
        EXPECT_EQ(MaxDifference(Open(lossless), m_source), 0);
        EXPECT_EQ(MaxDifference(Open(lossless), Oracle("djxl", lossless)), 0);

        // A JPEG turned by its Exif orientation (6: a quarter turn clockwise to show it) keeps
        // the orientation in the codestream; libjxl turns the picture, since the host can't.
        if (!Have("exiftool") || !Have("convert"))
            GTEST_SKIP() << "exiftool or ImageMagick not installed";
        auto jpeg = m_dir / "turned.jpg";
        ASSERT_TRUE(Shell("/usr/bin/convert " + Q(m_dir / "source.png") + " -quality 90 " + Q(jpeg)
            + " && exiftool -q -overwrite_original -n -Orientation=6 " + Q(jpeg)));
        auto turned = m_dir / "turned.jxl";
        ASSERT_TRUE(Shell("cjxl " + Q(jpeg) + " " + Q(turned)));
        TBitmap upright = Open(turned);
        EXPECT_EQ(upright.Width(), m_source.Height());
        EXPECT_EQ(upright.Height(), m_source.Width());
        EXPECT_EQ(MaxDifference(upright, Oracle("djxl", turned)), 0);
    }

    TEST_F(ModernPluginsTest, LossyJpegXlOfAWideGamutPictureComesOutInSrgb)
    {
        if (!Have("cjxl") || !Have("djxl") || !Have("convert"))
            GTEST_SKIP() << "libjxl-tools or ImageMagick not installed";
        // The test's picture with a wide-gamut profile attached (its samples unchanged), and the
        // same converted to sRGB by ImageMagick's colour management: what the viewer must show.
        auto wideIcc = m_dir / "wide.icc";
        auto srgbIcc = m_dir / "srgb.icc";
        vtl::testing::WriteBytes(wideIcc, vtl::testing::WideGamutProfile());
        vtl::testing::WriteBytes(srgbIcc, vtl::testing::SrgbProfile());
        auto wide = m_dir / "wide.png";
        auto expected = m_dir / "expected.png";
        ASSERT_TRUE(Shell(std::string(vtl::testing::kMagick) + " " + Q(m_dir / "source.png")
            + " -profile " + Q(wideIcc) + " " + Q(wide)));
        ASSERT_TRUE(Shell(std::string(vtl::testing::kMagick) + " " + Q(wide) + " -profile "
            + Q(srgbIcc) + " -strip " + Q(expected)));
        const TBitmap inSrgb = ReadPng(expected);
        ASSERT_GT(MeanDifference(inSrgb, m_source), 8) << "the profile changes nothing";

        // Lossy files are coded in libjxl's own colour space and come out in sRGB.
        auto lossy = m_dir / "wide.jxl";
        ASSERT_TRUE(Shell("cjxl " + Q(wide) + " " + Q(lossy)));
        TBitmap picture = Open(lossy);
        EXPECT_LT(MeanDifference(picture, inSrgb), 6);
        EXPECT_EQ(
            MaxDifference(picture, Oracle("djxl --color_space=RGB_D65_SRG_Rel_SRG", lossy)), 0);
        // A lossless file keeps the samples it was given, in the space of its profile.
        auto lossless = m_dir / "wide-lossless.jxl";
        ASSERT_TRUE(Shell("cjxl -d 0 " + Q(wide) + " " + Q(lossless)));
        EXPECT_EQ(MaxDifference(Open(lossless), m_source), 0);
    }

    TEST_F(ModernPluginsTest, ArchiveMembersAndThumbnailsOfTheNewFormats)
    {
        if (!Have("heif-enc") || !Have("avifenc") || !Have("cjxl") || !Have("bsdtar"))
            GTEST_SKIP() << "an encoder or bsdtar not installed";
        auto folder = m_dir / "pictures";
        fs::create_directory(folder);
        std::vector<fs::path> files { Encode("pictures/a.heic", "heif-enc -q 90 {in} -o {out}"),
            Encode("pictures/b.avif", "avifenc {in} {out}"),
            Encode("pictures/c.jxl", "cjxl {in} {out}") };

        // Members of a zip: listed with their thumbnails, then decoded from memory in full, to
        // the pixels the file gives.
        auto zip = m_dir / "x.zip";
        ASSERT_TRUE(Shell(
            "cd " + Q(folder) + " && bsdtar --format zip -cf " + Q(zip) + " a.heic b.avif c.jxl"));
        std::vector<ArchiveMember> members;
        std::vector<int> widths;
        auto listed = ListArchive(
            *m_registry, zip, {},
            [&](const ArchiveMember&, document::TDIB& picture) {
                widths.push_back(picture.Width());
                return true;
            },
            members);
        ASSERT_EQ(listed.outcome, ArchiveOutcome::Done);
        ASSERT_EQ(members.size(), 3u);
        EXPECT_THAT(widths, ::testing::ElementsAre(45, 45, 45));
        for (size_t i = 0; i < members.size(); ++i) {
            std::vector<uint8_t> bytes;
            ASSERT_EQ(ExtractMember(*m_registry, zip, members[i].position, members[i].size, bytes)
                          .outcome,
                ArchiveOutcome::Done);
            bytes.resize(members[i].size);
            document::TDIB dib;
            ASSERT_EQ(DecodeFromMemory(*m_registry, dib, bytes, members[i].name, true, {}),
                MemoryDecode::Picture)
                << members[i].name;
            TBitmap fromMemory;
            dib.AssignTo(fromMemory);
            EXPECT_EQ(MaxDifference(fromMemory, Open(files[i])), 0) << members[i].name;
        }

        // The browser's thumbnails, through the hooks as vtlc's thumb command builds them.
        DecodeContext context;
        browse::FolderScanHooks hooks;
        hooks.findEntry = [this](std::string_view name) {
            return m_registry->PictureExtensions().FindEntry(std::string(name), 0);
        };
        hooks.decodeByPlugin = [this, &context](TBitmap& bitmap, const fs::path& file) {
            return DecodeFileByPlugin(*m_registry, bitmap, file, true, context);
        };
        browse::FolderThumbnails thumbs(browse::ThumbSizeOfIndex(0), hooks);
        thumbs.SelectFolder(folder);
        EXPECT_THAT(thumbs.Names(), ::testing::UnorderedElementsAre("a.heic", "b.avif", "c.jxl"));
        EXPECT_TRUE(thumbs.Failures().empty());
        EXPECT_EQ(PluginLibrary::OpenCount(), 0);
    }

    TEST_F(ModernPluginsTest, DamagedAndLyingFilesAreRefused)
    {
        if (!Have("heif-enc") || !Have("avifenc") || !Have("cjxl"))
            GTEST_SKIP() << "an encoder not installed";
        const long peakBefore = PeakMegabytes();
        std::mt19937 random(7);
        auto noise = [&random](size_t count) {
            std::string bytes(count, '\0');
            for (char& c : bytes)
                c = char(random());
            return bytes;
        };
        for (const auto& file : { Encode("a.heic", "heif-enc -q 90 {in} -o {out}"),
                 Encode("b.avif", "avifenc {in} {out}"), Encode("c.jxl", "cjxl {in} {out}") }) {
            const std::string good = vtl::testing::ReadFile(file);
            const std::string name = file.filename().string();
            const bool heif = file.extension() != ".jxl";
            // Cut short anywhere: refused, silently or with the usual message.
            for (size_t keep : { size_t(1), size_t(12), size_t(40), good.size() / 3,
                     good.size() / 2, good.size() - 10 }) {
                auto result = TryOpen(name, good.substr(0, keep));
                EXPECT_NE(result.outcome, FileOpenOutcome::Picture) << name << " " << keep;
            }
            // The signature, then noise.
            EXPECT_NE(TryOpen(name, good.substr(0, heif ? 40 : 2) + noise(4000)).outcome,
                FileOpenOutcome::Picture)
                << name;
            // Enormous claims are refused from the headers, before anything is decoded.
            std::string huge
                = heif ? WithExtent(good, 100000, 100000) : JxlClaiming(100000, 100000, noise(400));
            EXPECT_EQ(TryOpen(name, huge).outcome, FileOpenOutcome::Stopped) << name;
            // A size the host accepts (5000 x 5000) on data that holds no such picture: the
            // decode fails with the usual message, and the picture is never made.
            std::string lying
                = heif ? WithExtent(good, 5000, 5000) : JxlClaiming(5000, 5000, noise(4000));
            auto result = TryOpen(name, lying);
            EXPECT_EQ(result.outcome, FileOpenOutcome::Failed) << name;
            EXPECT_EQ(result.message, "読み込みに失敗しました。") << name;
            // The same bytes as archive members.
            document::TDIB dib;
            EXPECT_EQ(DecodeFromMemory(*m_registry, dib, Bytes(lying), name, true, {}),
                MemoryDecode::Failed)
                << name;
            EXPECT_EQ(DecodeFromMemory(*m_registry, dib, Bytes(good.substr(0, good.size() / 2)),
                          name, false, {}),
                MemoryDecode::Failed)
                << name;
        }
        // 5000 x 5000 at 3 bytes is 75 MB; nothing near it was ever held.
        EXPECT_LT(PeakMegabytes() - peakBefore, 60);
        EXPECT_EQ(PluginLibrary::OpenCount(), 0);
    }

    TEST_F(ModernPluginsTest, AStopAskedForDuringTheDecodeLeavesNothing)
    {
        if (!Have("heif-enc") || !Have("cjxl"))
            GTEST_SKIP() << "an encoder not installed";
        for (const auto& file : { Encode("a.heic", "heif-enc -q 90 {in} -o {out}"),
                 Encode("c.jxl", "cjxl {in} {out}") }) {
            // The user presses Esc once the status shows the first percentage.
            int reports = 0;
            std::vector<std::string> texts;
            DecodeContext context;
            context.status = [&texts](const std::string& text) { texts.push_back(text); };
            context.cancelled = [&reports] { return ++reports >= 2; };
            TBitmap picture;
            EXPECT_THROW(
                OpenPictureFile(*m_registry, file, picture, context), platform::ELoadCancelled)
                << file;
            EXPECT_TRUE(picture.Empty()) << file;
            ASSERT_FALSE(texts.empty()) << file;
            EXPECT_EQ(texts.front(), " Read 0%") << file;
            // Without the stop the same file reads, the percentages rising to 100.
            texts.clear();
            context.cancelled = {};
            EXPECT_EQ(OpenPictureFile(*m_registry, file, picture, context).outcome,
                FileOpenOutcome::Picture);
            EXPECT_THAT(texts, ::testing::Contains(" Read 100%")) << file;
        }
    }

    TEST_F(ModernPluginsTest, TiffRowsComeAsStoredWhateverTheOrientationTag)
    {
        if (!Have("convert") || !Have("exiftool"))
            GTEST_SKIP() << "ImageMagick or exiftool not installed";
        const char* orientations[] = { "TopLeft", "TopRight", "BottomRight", "BottomLeft",
            "LeftTop", "RightTop", "RightBottom", "LeftBottom" };
        for (int value = 1; value <= 8; ++value) {
            auto tiff = m_dir / ("o" + std::to_string(value) + ".tif");
            ASSERT_TRUE(Shell("/usr/bin/convert " + Q(m_dir / "source.png") + " -orient "
                + orientations[value - 1] + " " + Q(tiff)));
            ASSERT_TRUE(Shell(
                "exiftool -s3 -n -Orientation " + Q(tiff) + " | grep -qx " + std::to_string(value)))
                << "ImageMagick wrote no orientation " << value;
            EXPECT_TRUE(vtl::testing::SamePixels(Open(tiff), m_source)) << value;
        }
    }

    // vtlc, run as a user runs it, on files of the new formats.
    class ModernFormatsVtlcTest : public vtl::testing::VtlcTest {
    protected:
        void SetUp() override
        {
            if (!fs::exists(fs::path(VTL_BINARY_DIR) / "src/tools/vtlc/vtlc")
                || !fs::exists(testing::OwnPluginDir() / "vtlheif.spi")
                || !fs::exists(testing::OwnPluginDir() / "vtljxl.spi"))
                GTEST_SKIP() << "vtlc or the plug-ins not built";
            if (!Have("heif-enc") || !Have("avifenc") || !Have("cjxl"))
                GTEST_SKIP() << "an encoder not installed";
            WritePng(Picture(45, 31), m_dir / "source.png");
        }
    };

    TEST_F(ModernFormatsVtlcTest, InfoAndConvertReadTheNewFormats)
    {
        const std::string source = Q(m_dir / "source.png");
        ASSERT_TRUE(Shell("heif-enc -q 90 " + source + " -o " + Q(m_dir / "x.heic")));
        ASSERT_TRUE(Shell("avifenc " + source + " " + Q(m_dir / "x.avif")));
        ASSERT_TRUE(Shell("cjxl -d 0 " + source + " " + Q(m_dir / "x.jxl")));
        for (const char* name : { "x.heic", "x.avif", "x.jxl" }) {
            auto info = Vtlc("info " + P(name));
            ASSERT_EQ(info.status, 0) << name << info.err;
            EXPECT_THAT(info.out, ::testing::HasSubstr("decoder: plugin\nwidth: 45\nheight: 31\n"))
                << name;
            auto converted = Vtlc("convert " + P(name) + " " + P("out.bmp"));
            ASSERT_EQ(converted.status, 0) << name << converted.err;
            TBitmap bmp;
            bmp.LoadFromFile(m_dir / "out.bmp");
            EXPECT_EQ(bmp.Width(), 45);
            EXPECT_EQ(bmp.Height(), 31);
        }
        // Lossless JPEG XL: the very picture.
        TBitmap bmp;
        bmp.LoadFromFile(m_dir / "out.bmp");
        EXPECT_TRUE(vtl::testing::SamePixels(bmp, ReadPng(m_dir / "source.png")));

        // A damaged file: the usual refusal, and the tool keeps its word on the others.
        vtl::testing::WriteFile(
            m_dir / "bad.heic", vtl::testing::ReadFile(m_dir / "x.heic").substr(0, 100));
        auto bad = Vtlc("info " + P("bad.heic") + " " + P("x.jxl"));
        EXPECT_EQ(bad.status, 1);
        EXPECT_THAT(bad.out, ::testing::HasSubstr("file: " + P("x.jxl")));
    }

} // namespace
} // namespace vtl::input
