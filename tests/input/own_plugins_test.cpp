// The program's own plug-ins, through the host: GIF, TIFF and WebP pictures made by ImageMagick
// decode to the pixels ImageMagick reads, and archives made by bsdtar (and an lzh archive built
// here) list and extract their members.

#include "input/archive_access.h"
#include "input/picture_loader.h"
#include "plugin_fixture.h"

#include <gmock/gmock.h>

#include <cstdlib>

namespace vtl::input {
namespace {

    using namespace testing;
    using ::testing::ElementsAre;
    namespace fs = std::filesystem;

    bool RunQuietly(const std::string& command)
    {
        return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
    }

    // RGB of the picture at (x, y) from the top.
    std::array<uint8_t, 3> RgbAt(document::TDIB& dib, int x, int y)
    {
        const uint8_t* row = dib.ScanLine(y);
        if (dib.BitCount() == 24)
            return { row[3 * x + 2], row[3 * x + 1], row[3 * x] };
        EXPECT_EQ(dib.BitCount(), 8);
        auto entry = dib.ColorTable()[row[x]];
        return { entry.rgbRed, entry.rgbGreen, entry.rgbBlue };
    }

    class OwnPluginsTest : public testing::PluginTest {
    protected:
        void SetUp() override
        {
            testing::PluginTest::SetUp();
            if (IsSkipped())
                return;
            if (!fs::exists(OwnPluginDir() / "vtlgif.spi"))
                GTEST_SKIP() << "own plug-ins not built";
            PluginFolders folders { m_dir.Path(), OwnPluginDir() };
            m_registry = std::make_unique<PluginRegistry>(folders);
            m_registry->SetLines(OwnPluginLines(folders));
        }

        // Decodes `file` through the plug-ins and compares every pixel with ImageMagick's reading.
        void ExpectSamePixelsAsImageMagick(const fs::path& file)
        {
            document::TDIB dib;
            auto result = OpenFileByPlugin(*m_registry, file, dib, {});
            ASSERT_EQ(result.outcome, PluginOpenOutcome::Picture) << file << " " << result.message;
            auto raw = m_dir / "oracle.rgb";
            // The oracle applies the orientation tag, as libtiff does.
            ASSERT_TRUE(RunQuietly("/usr/bin/convert '" + file.string()
                + "[0]' -auto-orient -depth 8 rgb:'" + raw.string() + "'"));
            std::string rgb = vtl::testing::ReadFile(raw);
            ASSERT_EQ(rgb.size(), size_t(dib.Width()) * size_t(dib.Height()) * 3) << file;
            int mismatches = 0;
            for (int y = 0; y < dib.Height(); ++y)
                for (int x = 0; x < dib.Width(); ++x) {
                    auto p = RgbAt(dib, x, y);
                    size_t at = (size_t(y) * size_t(dib.Width()) + size_t(x)) * 3;
                    for (int c = 0; c < 3; ++c)
                        if (p[size_t(c)] != uint8_t(rgb[at + size_t(c)]))
                            ++mismatches;
                }
            EXPECT_EQ(mismatches, 0) << file;
        }

        std::unique_ptr<PluginRegistry> m_registry;
    };

    TEST_F(OwnPluginsTest, PicturesDecodeAsImageMagickReadsThem)
    {
        if (!fs::exists("/usr/bin/convert"))
            GTEST_SKIP() << "ImageMagick (/usr/bin/convert) not installed";
        const std::string src = "-size 37x23 gradient:red-blue -fill yellow -draw 'rectangle 3,4 "
                                "10,12' -alpha off -depth 8";
        struct Case {
            const char* name;
            std::string options;
        };
        for (const auto& c : std::vector<Case> {
                 { "a.gif", "" },
                 { "interlaced.gif", "-interlace GIF" },
                 { "rgb.tif", "" },
                 { "lzw.tif", "-compress lzw" },
                 { "grey.tif", "-colorspace gray" },
                 { "palette.tif", "-type Palette" },
                 { "bottom.tiff", "-orient bottom-left" },
                 { "lossless.webp", "-define webp:lossless=true" },
             }) {
            auto file = m_dir / c.name;
            ASSERT_TRUE(RunQuietly(
                "/usr/bin/convert " + src + " " + c.options + " '" + file.string() + "'"))
                << c.name;
            ExpectSamePixelsAsImageMagick(file);
        }
    }

    TEST_F(OwnPluginsTest, PicturesDecodeFromMemoryToo)
    {
        if (!fs::exists("/usr/bin/convert"))
            GTEST_SKIP() << "ImageMagick (/usr/bin/convert) not installed";
        for (const char* name : { "m.gif", "m.tif", "m.webp" }) {
            auto file = m_dir / name;
            ASSERT_TRUE(
                RunQuietly("/usr/bin/convert -size 20x10 xc:green '" + file.string() + "'"));
            std::string bytes = vtl::testing::ReadFile(file);
            document::TDIB dib;
            auto span = std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
            ASSERT_EQ(
                DecodeFromMemory(*m_registry, dib, span, name, true, {}), MemoryDecode::Picture)
                << name;
            EXPECT_EQ(dib.Width(), 20);
            EXPECT_EQ(dib.Height(), 10);
            // Damaged data is declined or fails; it never crashes.
            auto head = span.first(span.size() / 2);
            EXPECT_NE(
                DecodeFromMemory(*m_registry, dib, head, name, true, {}), MemoryDecode::Unclaimed)
                << name;
        }
    }

    // CRC-16 as LHA files keep it (polynomial 0xA001, reflected, starting at 0).
    uint16_t Crc16(const std::string& data)
    {
        uint16_t crc = 0;
        for (unsigned char byte : data) {
            crc ^= byte;
            for (int i = 0; i < 8; ++i)
                crc = (crc & 1) ? uint16_t((crc >> 1) ^ 0xA001) : uint16_t(crc >> 1);
        }
        return crc;
    }

    // An LHA archive of stored (-lh0-) members with level-0 headers.
    std::string StoredLzh(const std::vector<std::pair<std::string, std::string>>& members)
    {
        std::string out;
        for (const auto& [name, body] : members) {
            Bytes h;
            h.insert(h.end(), { 0, 0, '-', 'l', 'h', '0', '-' });
            Put32(h, uint32_t(body.size()));
            Put32(h, uint32_t(body.size()));
            Put32(h, 0x21000000); // 1996-08-00 00:00 in MS-DOS form
            h.push_back(0x20); // attribute
            h.push_back(0); // header level
            h.push_back(uint8_t(name.size()));
            h.insert(h.end(), name.begin(), name.end());
            Put16(h, Crc16(body));
            h[0] = uint8_t(h.size() - 2);
            uint8_t sum = 0;
            for (size_t i = 2; i < h.size(); ++i)
                sum = uint8_t(sum + h[i]);
            h[1] = sum;
            out += AsText(h) + body;
        }
        out += '\0';
        return out;
    }

    TEST_F(OwnPluginsTest, ArchivesListAndExtractTheirPictures)
    {
        if (!fs::exists("/usr/bin/convert") || !fs::exists("/usr/bin/bsdtar"))
            GTEST_SKIP() << "ImageMagick or bsdtar not installed";
        auto content = m_dir / "content";
        fs::create_directories(content / "sub");
        ASSERT_TRUE(RunQuietly(
            "/usr/bin/convert -size 30x20 xc:red '" + (content / "a.gif").string() + "'"));
        ASSERT_TRUE(RunQuietly(
            "/usr/bin/convert -size 30x20 xc:blue '" + (content / "sub" / "b.tif").string() + "'"));
        vtl::testing::WriteFile(content / "notes.txt", "not a picture");
        const std::string gif = vtl::testing::ReadFile(content / "a.gif");
        const std::string tif = vtl::testing::ReadFile(content / "sub" / "b.tif");

        auto zip = m_dir / "x.zip";
        auto sevenZip = m_dir / "x.7z";
        ASSERT_TRUE(RunQuietly("cd '" + content.string() + "' && /usr/bin/bsdtar --format zip -cf '"
            + zip.string() + "' a.gif notes.txt sub/b.tif"));
        ASSERT_TRUE(
            RunQuietly("cd '" + content.string() + "' && /usr/bin/bsdtar --format 7zip -cf '"
                + sevenZip.string() + "' a.gif notes.txt sub/b.tif"));
        auto lzh = m_dir / "x.lzh";
        vtl::testing::WriteFile(
            lzh, StoredLzh({ { "a.gif", gif }, { "notes.txt", "text" }, { "b.tif", tif } }));

        for (const auto& archive : { zip, sevenZip, lzh }) {
            std::vector<ArchiveMember> members;
            std::vector<int> widths;
            auto result = ListArchive(
                *m_registry, archive, {},
                [&](const ArchiveMember&, document::TDIB& picture) {
                    widths.push_back(picture.Width());
                    return true;
                },
                members);
            ASSERT_EQ(result.outcome, ArchiveOutcome::Done) << archive;
            ASSERT_EQ(members.size(), 2u) << archive;
            EXPECT_EQ(members[0].name, "a.gif");
            EXPECT_THAT(members[1].name, ::testing::EndsWith("b.tif"));
            EXPECT_EQ(members[1].size, tif.size());
            EXPECT_THAT(widths, ElementsAre(30, 30));

            std::vector<uint8_t> bytes;
            ASSERT_EQ(
                ExtractMember(*m_registry, archive, members[1].position, members[1].size, bytes)
                    .outcome,
                ArchiveOutcome::Done);
            EXPECT_EQ(
                std::string(bytes.begin(), bytes.begin() + std::ptrdiff_t(members[1].size)), tif)
                << archive;

            auto target = SaveMemberTarget(m_dir / "out.png", members[0].name);
            ASSERT_EQ(SaveMember(*m_registry, archive, members[0].position, members[0].size, target)
                          .outcome,
                ArchiveOutcome::Done);
            EXPECT_EQ(vtl::testing::ReadFile(m_dir / "out.gif"), gif) << archive;
        }
        EXPECT_EQ(PluginLibrary::OpenCount(), 0);
    }

} // namespace
} // namespace vtl::input
