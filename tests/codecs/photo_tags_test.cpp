// Photo tags: the orientation and profile read from each format (and nothing from hostile
// blocks), pictures of every pixel format turned, and the loader and the thumbnail scan turning
// the photos they read.
#include "codecs/photo_tags.h"

#include "browse/folder_thumbs.h"
#include "codecs/jpeg_encoder.h"
#include "input/picture_loader.h"
#include "png_test_builder.h"
#include "support/photo_pictures.h"
#include "support/same_pixels.h"

#include <gtest/gtest.h>

namespace vtl::codecs {
namespace {

    using platform::TBitmap;
    using platform::TPixelFormat;
    using testing::PngBuilder;
    using testing::TempDir;
    using Bytes = std::vector<uint8_t>;

    // ---- blocks of tags, built byte by byte ----

    struct Entry {
        uint16_t tag;
        uint16_t type;
        uint32_t count;
        uint32_t value; // a SHORT sits in the first two bytes of the value field
    };

    class TiffWriter {
    public:
        explicit TiffWriter(bool little)
            : m_little(little)
        {
        }
        void U16(Bytes& b, uint32_t v) const
        {
            if (m_little)
                b.insert(b.end(), { uint8_t(v), uint8_t(v >> 8) });
            else
                b.insert(b.end(), { uint8_t(v >> 8), uint8_t(v) });
        }
        void U32(Bytes& b, uint32_t v) const
        {
            if (m_little)
                b.insert(
                    b.end(), { uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24) });
            else
                b.insert(
                    b.end(), { uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v) });
        }
        // Header, IFD0 at `ifd` (its entry count as `claimed` when given), the link to the next
        // directory, then `tail`.
        Bytes Block(const std::vector<Entry>& entries, uint32_t ifd = 8, uint32_t next = 0,
            const Bytes& tail = {}, int claimed = -1) const
        {
            Bytes b = m_little ? Bytes { 'I', 'I' } : Bytes { 'M', 'M' };
            U16(b, 42);
            U32(b, ifd);
            b.resize(std::max<size_t>(b.size(), ifd), 0);
            U16(b, claimed >= 0 ? uint32_t(claimed) : uint32_t(entries.size()));
            for (const Entry& e : entries) {
                U16(b, e.tag);
                U16(b, e.type);
                U32(b, e.count);
                if (e.type == 3 && e.count == 1) {
                    U16(b, e.value);
                    U16(b, 0);
                } else {
                    U32(b, e.value);
                }
            }
            U32(b, next);
            b.insert(b.end(), tail.begin(), tail.end());
            return b;
        }

    private:
        bool m_little;
    };

    Entry OrientationEntry(uint32_t value) { return { 0x0112, 3, 1, value }; }

    Bytes Segment(uint8_t marker, const Bytes& payload)
    {
        const size_t length = payload.size() + 2;
        Bytes b { 0xFF, marker, uint8_t(length >> 8), uint8_t(length) };
        b.insert(b.end(), payload.begin(), payload.end());
        return b;
    }

    Bytes ExifSegment(const Bytes& tiff)
    {
        Bytes payload { 'E', 'x', 'i', 'f', 0, 0 };
        payload.insert(payload.end(), tiff.begin(), tiff.end());
        return Segment(0xE1, payload);
    }

    Bytes Join(std::initializer_list<Bytes> parts)
    {
        Bytes all;
        for (const Bytes& p : parts)
            all.insert(all.end(), p.begin(), p.end());
        return all;
    }

    const Bytes& PlainJpeg()
    {
        static const Bytes jpeg = EncodeJpeg(testing::BlockPicture(), 95);
        return jpeg;
    }

    Bytes JpegWith(const Bytes& segments) { return testing::WithSegments(PlainJpeg(), segments); }

    const Bytes& Profile()
    {
        static const Bytes profile = testing::WideGamutProfile();
        return profile;
    }

    // A 2 x 1 RGB PNG with `extra` chunks before its image data.
    Bytes PngWith(const std::function<void(PngBuilder&)>& extra)
    {
        PngBuilder png;
        png.Header(2, 1, 8, 2);
        extra(png);
        const Bytes raw { 0, 255, 0, 0, 0, 0, 255 };
        png.Image(raw).End();
        return png.Bytes();
    }

    Bytes IccpData(const Bytes& profile)
    {
        Bytes data { 'i', 'c', 'c', 0, 0 };
        const Bytes z = PngBuilder::Compress(profile);
        data.insert(data.end(), z.begin(), z.end());
        return data;
    }

    Bytes Box(std::string_view type, const Bytes& payload)
    {
        Bytes b;
        const uint32_t size = uint32_t(payload.size() + 8);
        b.insert(b.end(),
            { uint8_t(size >> 24), uint8_t(size >> 16), uint8_t(size >> 8), uint8_t(size) });
        b.insert(b.end(), type.begin(), type.end());
        b.insert(b.end(), payload.begin(), payload.end());
        return b;
    }

    // A HEIF file's structure: brands, a primary item 1 and the properties in `properties`, of
    // which item `item` is associated with the 1-based `indices`.
    Bytes Heif(const std::vector<Bytes>& properties, const Bytes& indices, uint8_t item = 1)
    {
        Bytes ipcoPayload;
        for (const Bytes& p : properties)
            ipcoPayload.insert(ipcoPayload.end(), p.begin(), p.end());
        Bytes ipma { 0, 0, 0, 0, 0, 0, 0, 1, 0, item, uint8_t(indices.size()) };
        ipma.insert(ipma.end(), indices.begin(), indices.end());
        const Bytes iprp = Box("iprp", Join({ Box("ipco", ipcoPayload), Box("ipma", ipma) }));
        const Bytes meta
            = Box("meta", Join({ Bytes { 0, 0, 0, 0 }, Box("pitm", { 0, 0, 0, 0, 0, 1 }), iprp }));
        return Join(
            { Box("ftyp",
                  { 'h', 'e', 'i', 'c', 0, 0, 0, 0, 'm', 'i', 'f', '1', 'h', 'e', 'i', 'c' }),
                meta, Box("mdat", { 1, 2, 3 }) });
    }

    Bytes Colr(const Bytes& profile)
    {
        Bytes payload { 'p', 'r', 'o', 'f' };
        payload.insert(payload.end(), profile.begin(), profile.end());
        return Box("colr", payload);
    }

    PhotoTags FromFileToo(const Bytes& bytes)
    {
        // Files and memory blocks take different readers under the parsers: both must agree.
        TempDir dir;
        testing::WriteBytes(dir / "f", bytes);
        const PhotoTags fromFile = ReadPhotoTags(dir / "f");
        const PhotoTags fromMemory = ReadPhotoTags(bytes);
        EXPECT_EQ(fromFile.orientation, fromMemory.orientation);
        EXPECT_EQ(fromFile.iccProfile, fromMemory.iccProfile);
        return fromMemory;
    }

    // ---- reading ----

    TEST(PhotoTagsRead, EveryFormatGivesItsOrientationAndProfile)
    {
        const TiffWriter ii(true), mm(false);
        EXPECT_EQ(
            FromFileToo(JpegWith(ExifSegment(ii.Block({ OrientationEntry(6) })))).orientation, 6);
        EXPECT_EQ(
            FromFileToo(JpegWith(ExifSegment(mm.Block({ OrientationEntry(8) })))).orientation, 8);
        EXPECT_EQ(
            FromFileToo(JpegWith(testing::IccMarkers(Profile(), 60000))).iccProfile, Profile());

        const Bytes tiffExif = ii.Block({ OrientationEntry(3) });
        const PhotoTags png = FromFileToo(PngWith(
            [&](PngBuilder& p) { p.Chunk("eXIf", tiffExif).Chunk("iCCP", IccpData(Profile())); }));
        EXPECT_EQ(png.orientation, 3);
        EXPECT_EQ(png.iccProfile, Profile());

        // A TIFF file: the profile lies after the directory, where its offset says.
        const uint32_t profileAt = 8 + 2 + 2 * 12 + 4;
        const PhotoTags tiff = FromFileToo(
            mm.Block({ OrientationEntry(5), { 34675, 7, uint32_t(Profile().size()), profileAt } },
                8, 0, Profile()));
        EXPECT_EQ(tiff.orientation, 5);
        EXPECT_EQ(tiff.iccProfile, Profile());

        // WebP: the extended layout's flags name both; the pixels' chunk of odd size lies between.
        auto chunk = [](std::string_view type, const Bytes& data) {
            Bytes b(type.begin(), type.end());
            const uint32_t n = uint32_t(data.size());
            b.insert(b.end(), { uint8_t(n), uint8_t(n >> 8), uint8_t(n >> 16), uint8_t(n >> 24) });
            b.insert(b.end(), data.begin(), data.end());
            if (n & 1)
                b.push_back(0);
            return b;
        };
        const Bytes body
            = Join({ chunk("VP8X", { 0x28, 0, 0, 0, 1, 0, 0, 1, 0, 0 }), chunk("ICCP", Profile()),
                chunk("VP8L", { 1, 2, 3 }), chunk("EXIF", ii.Block({ OrientationEntry(7) })) });
        const uint32_t riffSize = uint32_t(body.size() + 4);
        const Bytes webp
            = Join({ Bytes { 'R', 'I', 'F', 'F', uint8_t(riffSize), uint8_t(riffSize >> 8),
                         uint8_t(riffSize >> 16), uint8_t(riffSize >> 24), 'W', 'E', 'B', 'P' },
                body });
        const PhotoTags web = FromFileToo(webp);
        EXPECT_EQ(web.orientation, 7);
        EXPECT_EQ(web.iccProfile, Profile());
        // Flags cleared: the chunks are not looked for.
        Bytes noFlags = webp;
        noFlags[20] = 0;
        EXPECT_EQ(ReadPhotoTags(noFlags).orientation, 1);
        EXPECT_TRUE(ReadPhotoTags(noFlags).iccProfile.empty());

        // Other files, and BMP, carry nothing.
        EXPECT_EQ(
            ReadPhotoTags(Bytes { 'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0 }).orientation, 1);
        EXPECT_EQ(ReadPhotoTags(std::filesystem::path("/nonexistent/photo.jpg")).orientation, 1);
    }

    TEST(PhotoTagsRead, HeifTransformsComposeInTheirOrder)
    {
        const Bytes irot1 = Box("irot", { 1 }), irot2 = Box("irot", { 2 }),
                    irot3 = Box("irot", { 3 });
        const Bytes imir0 = Box("imir", { 0 }), imir1 = Box("imir", { 1 });
        struct Case {
            const char* name;
            Bytes indices;
            int orientation;
        };
        const std::vector<Bytes> properties { irot1, irot2, irot3, imir0, imir1, Colr(Profile()) };
        // Hand-worked: an anticlockwise quarter turn is orientation 8; a top-to-bottom mirror after
        // it puts the first stored row on the left and the first column on top: 5.
        const Case cases[] = {
            { "none", {}, 1 },
            { "quarter anticlockwise", { 1 }, 8 },
            { "half", { 2 }, 3 },
            { "three quarters", { 3 }, 6 },
            { "top-bottom mirror", { 4 }, 4 },
            { "left-right mirror", { 5 }, 2 },
            { "turn then mirror", { 1, 4 }, 5 },
            { "mirror then turn", { 4, 1 }, 7 },
            { "two turns", { 1, 1 | 0x80 }, 3 },
            { "an index past the properties", { 9, 3 }, 6 },
        };
        for (const Case& c : cases) {
            const PhotoTags tags = FromFileToo(Heif(properties, c.indices));
            EXPECT_EQ(tags.orientation, c.orientation) << c.name;
        }
        EXPECT_EQ(ReadPhotoTags(Heif(properties, { 6 })).iccProfile, Profile());
        // Properties of another item are not the primary's; an Exif-like nclx colour is no profile.
        EXPECT_EQ(ReadPhotoTags(Heif(properties, { 1 }, 2)).orientation, 1);
        const Bytes nclx = Box("colr", { 'n', 'c', 'l', 'x', 0, 1, 0, 13, 0, 6, 0x80 });
        EXPECT_TRUE(ReadPhotoTags(Heif({ nclx }, { 1 })).iccProfile.empty());
        // The same in an AVIF file.
        Bytes avif = Heif(properties, { 3 });
        std::copy_n("avif", 4, avif.begin() + 8);
        EXPECT_EQ(ReadPhotoTags(avif).orientation, 6);
    }

    TEST(PhotoTagsRead, AvifTransformsAgreeWithTheLibraryDecoder)
    {
        // avifenc writes irot and imir; heif-convert applies them as the library reads them. Our
        // orientation applied to the source must give the same picture.
        if (!testing::HavePhotoTools() || !testing::Shell("command -v avifenc")
            || !testing::Shell("command -v heif-convert"))
            GTEST_SKIP() << "avifenc, heif-convert or ImageMagick is not installed";
        TempDir dir;
        const TBitmap source = testing::BlockPicture(3, 2);
        source.SaveToFile(dir / "s.bmp");
        ASSERT_TRUE(testing::Shell(std::string(testing::kMagick) + " "
            + testing::Quoted(dir / "s.bmp") + " " + testing::Quoted(dir / "s.png")));
        for (const char* transform : { "--irot 1", "--irot 2", "--imir 0", "--imir 1",
                 "--irot 1 --imir 0", "--irot 3 --imir 1" }) {
            const auto avif = dir / "t.avif", png = dir / "t.png", bmp = dir / "t.bmp";
            ASSERT_TRUE(testing::Shell("avifenc --lossless " + std::string(transform) + " "
                + testing::Quoted(dir / "s.png") + " " + testing::Quoted(avif)));
            ASSERT_TRUE(testing::Shell(
                "heif-convert " + testing::Quoted(avif) + " " + testing::Quoted(png)));
            ASSERT_TRUE(testing::Shell(std::string(testing::kMagick) + " " + testing::Quoted(png)
                + " BMP3:" + testing::Quoted(bmp)));
            TBitmap expected;
            expected.LoadFromFile(bmp);
            TBitmap turned(source);
            ApplyOrientation(turned, ReadPhotoTags(avif).orientation);
            EXPECT_LE(testing::MaxDifference(turned, expected), 3) << transform;
        }
    }

    // ---- hostile blocks ----

    TEST(PhotoTagsRead, HostileBlocksReadAsNothingAndThePictureStillLoads)
    {
        const TiffWriter ii(true);
        struct Case {
            const char* name;
            Bytes file;
            int orientation;
        };
        const Bytes tiff6 = ii.Block({ OrientationEntry(6) });
        Bytes pastTheEnd = tiff6;
        pastTheEnd[5] = 0x13; // IFD0 at 0x1308, beyond the block's 26 bytes
        Bytes truncatedApp1 = ExifSegment(tiff6);
        truncatedApp1[3] = 0xF0; // longer than the file
        std::vector<Case> cases = {
            { "directory past the end", JpegWith(ExifSegment(pastTheEnd)), 1 },
            { "directory inside the header",
                JpegWith(ExifSegment(ii.Block({ OrientationEntry(6) }, 2))), 1 },
            { "entry count past the block",
                JpegWith(ExifSegment(ii.Block({ { 0x0100, 3, 1, 5 } }, 8, 0, {}, 0xFFFF))), 1 },
            { "orientation count overflows",
                JpegWith(ExifSegment(ii.Block({ { 0x0112, 3, 0xFFFFFFFF, 6 } }))), 1 },
            { "orientation as LONG", JpegWith(ExifSegment(ii.Block({ { 0x0112, 4, 1, 6 } }))), 1 },
            { "orientation 0", JpegWith(ExifSegment(ii.Block({ OrientationEntry(0) }))), 1 },
            { "orientation 9", JpegWith(ExifSegment(ii.Block({ OrientationEntry(9) }))), 1 },
            { "not a TIFF header", JpegWith(ExifSegment({ 'I', 'M', 42, 0, 8, 0, 0, 0 })), 1 },
            { "segment longer than the file", Join({ Bytes { 0xFF, 0xD8 }, truncatedApp1 }), 1 },
            // Only IFD0 is read, so a chain of directories that loops costs nothing.
            { "directories in a loop",
                JpegWith(ExifSegment(ii.Block({ OrientationEntry(6) }, 8, 8))), 6 },
            { "a second Exif segment is ignored",
                JpegWith(
                    Join({ ExifSegment(tiff6), ExifSegment(ii.Block({ OrientationEntry(3) })) })),
                6 },
        };
        // Profiles whose APP2 pieces don't add up: one missing, one twice, counts that disagree,
        // numbered from 0.
        const size_t piece = Profile().size() / 3 + 1;
        cases.push_back({ "a profile piece missing",
            JpegWith(testing::IccMarkers(Profile(), piece, { 1, 3 }, 3)), 1 });
        cases.push_back({ "a profile piece twice",
            JpegWith(testing::IccMarkers(Profile(), piece, { 1, 2, 2, 3 }, 3)), 1 });
        cases.push_back({ "counts disagree",
            JpegWith(Join({ testing::IccMarkers(Profile(), piece, { 1, 2 }, 3),
                testing::IccMarkers(Profile(), piece, { 3 }, 4) })),
            1 });
        // A profile whose header is not one.
        Bytes notAProfile(200, 7);
        cases.push_back({ "profile without its signature",
            JpegWith(testing::IccMarkers(notAProfile, 100)), 1 });

        for (const Case& c : cases) {
            const PhotoTags tags = FromFileToo(c.file);
            EXPECT_EQ(tags.orientation, c.orientation) << c.name;
            EXPECT_TRUE(tags.iccProfile.empty()) << c.name;
        }
        // Pieces out of order are put in order.
        const Bytes shuffled = JpegWith(testing::IccMarkers(Profile(), piece, { 3, 1, 2 }));
        EXPECT_EQ(ReadPhotoTags(shuffled).iccProfile, Profile());

        // The loader opens each picture as stored (all but the truncated one, which ends before
        // its pixels).
        TempDir dir;
        input::PluginRegistry registry;
        const input::DecodeContext context;
        for (size_t i = 0; i < cases.size(); ++i) {
            if (cases[i].file.size() < 200)
                continue;
            const auto path = dir / ("hostile" + std::to_string(i) + ".jpg");
            testing::WriteBytes(path, cases[i].file);
            TBitmap bitmap;
            ASSERT_EQ(input::OpenPictureFile(registry, path, bitmap, context).outcome,
                input::FileOpenOutcome::Picture)
                << cases[i].name;
            EXPECT_EQ(bitmap.Width(), cases[i].orientation == 6 ? 24 : 32) << cases[i].name;
        }
    }

    TEST(PhotoTagsRead, HostilePngAndHeifStructures)
    {
        // A profile that inflates past the limit is refused however small its chunk.
        const Bytes huge(kMaxProfileBytes + 1000, 0);
        const PhotoTags bomb
            = FromFileToo(PngWith([&](PngBuilder& p) { p.Chunk("iCCP", IccpData(huge)); }));
        EXPECT_TRUE(bomb.iccProfile.empty());
        // A damaged CRC, a name without its end, another compression method, a cut-off stream.
        Bytes cut = IccpData(Profile());
        cut.resize(cut.size() / 2);
        Bytes method = IccpData(Profile());
        method[4] = 1;
        const std::vector<std::function<void(PngBuilder&)>> broken {
            [&](PngBuilder& p) { p.Chunk("iCCP", IccpData(Profile()), false); },
            [&](PngBuilder& p) { p.Chunk("iCCP", Bytes(90, 'a')); },
            [&](PngBuilder& p) { p.Chunk("iCCP", method); },
            [&](PngBuilder& p) { p.Chunk("iCCP", cut); },
            [&](PngBuilder& p) {
                p.Chunk("eXIf", Bytes { 'M', 'M', 0, 42, 0xFF, 0xFF, 0xFF, 0xF0 });
            },
        };
        for (size_t i = 0; i < broken.size(); ++i) {
            const PhotoTags tags = FromFileToo(PngWith(broken[i]));
            EXPECT_EQ(tags.orientation, 1) << i;
            EXPECT_TRUE(tags.iccProfile.empty()) << i;
        }

        // HEIF boxes whose sizes lie: past the file, smaller than their header, a 64-bit size
        // of nearly 2^64, an association list cut short.
        const Bytes good = Heif({ Box("irot", { 1 }) }, { 1 });
        EXPECT_EQ(ReadPhotoTags(good).orientation, 8);
        const size_t metaAt = 24; // after the 24-byte ftyp box
        auto lying = [&](size_t at, std::initializer_list<uint8_t> size) {
            Bytes b = good;
            std::copy(size.begin(), size.end(), b.begin() + ptrdiff_t(at));
            return b;
        };
        const std::vector<Bytes> hostile {
            lying(metaAt, { 0x7F, 0xFF, 0xFF, 0xFF }),
            lying(metaAt, { 0, 0, 0, 4 }),
            lying(metaAt, { 0, 0, 0, 1 }),
            lying(0, { 0, 0, 0, 200 }),
            Bytes(good.begin(), good.end() - 20),
            Heif({ Box("irot", {}) }, { 1 }),
        };
        for (size_t i = 0; i < hostile.size(); ++i) {
            const PhotoTags tags = FromFileToo(hostile[i]);
            EXPECT_EQ(tags.orientation, 1) << i;
            EXPECT_TRUE(tags.iccProfile.empty()) << i;
        }
        // Every cut of a tagged JPEG, PNG and HEIF file reads without harm.
        const Bytes jpeg
            = JpegWith(Join({ ExifSegment(TiffWriter(false).Block({ OrientationEntry(6) })),
                testing::IccMarkers(Profile(), 200) }));
        const Bytes png = PngWith([&](PngBuilder& p) {
            p.Chunk("eXIf", TiffWriter(true).Block({ OrientationEntry(6) }))
                .Chunk("iCCP", IccpData(Profile()));
        });
        const Bytes heif = Heif({ Box("irot", { 3 }), Colr(Profile()) }, { 1, 2 });
        for (const Bytes* file : { &jpeg, &png, &heif })
            for (size_t n = 0; n < file->size(); n += 1 + n / 64) {
                // A cut keeps what lies before it, or nothing; never anything else.
                const PhotoTags tags = ReadPhotoTags(std::span(file->data(), n));
                EXPECT_TRUE(tags.orientation == 1 || tags.orientation == 6) << n;
                EXPECT_TRUE(tags.iccProfile.empty() || tags.iccProfile == Profile()) << n;
            }
    }

    // ---- turning ----

    TEST(ApplyOrientation, EveryPixelFormatAndValueMovesEveryPixelToItsPlace)
    {
        const TPixelFormat formats[] = { TPixelFormat::pf1bit, TPixelFormat::pf4bit,
            TPixelFormat::pf8bit, TPixelFormat::pf15bit, TPixelFormat::pf16bit,
            TPixelFormat::pf24bit, TPixelFormat::pf32bit };
        for (const TPixelFormat format : formats) {
            // Odd sizes, and wider than a byte of 1-bit pixels.
            TBitmap stored(13, 5, format);
            const int bits = stored.BitsPerPixel();
            if (bits <= 8) {
                std::vector<platform::RGBQuad> table(size_t(1) << bits);
                for (size_t i = 0; i < table.size(); ++i)
                    table[i] = { uint8_t(i * 3), uint8_t(255 - i), uint8_t(i * 7), 0 };
                stored.SetPalette(table);
            }
            const uint32_t mask = bits >= 24 ? 0xFFFFFFu : (1u << bits) - 1;
            for (int y = 0; y < stored.Height(); ++y)
                for (int x = 0; x < stored.Width(); ++x)
                    stored.SetRawPixel(x, y, uint32_t(x * 2654435761u + y * 40503u) & mask);
            for (int orientation = 1; orientation <= 8; ++orientation) {
                TBitmap turned(stored);
                ApplyOrientation(turned, orientation);
                ASSERT_EQ(turned.PixelFormat(), format);
                EXPECT_EQ(turned.PaletteEntries(), stored.PaletteEntries());
                const bool swapped = orientation >= 5;
                ASSERT_EQ(turned.Width(), swapped ? 5 : 13) << orientation;
                ASSERT_EQ(turned.Height(), swapped ? 13 : 5) << orientation;
                int wrong = 0;
                for (int y = 0; y < turned.Height(); ++y)
                    for (int x = 0; x < turned.Width(); ++x) {
                        const auto [sx, sy] = testing::StoredPixel(orientation, x, y, 13, 5);
                        wrong += turned.RawPixel(x, y) != stored.RawPixel(sx, sy);
                    }
                EXPECT_EQ(wrong, 0) << "bits " << bits << " orientation " << orientation;
            }
        }
    }

    TEST(MakePhotoUpright, TheOptionsDecide)
    {
        const TBitmap stored = testing::BlockPicture();
        PhotoTags tags;
        tags.orientation = 6;
        TBitmap picture(stored);
        EXPECT_FALSE(MakePhotoUpright(picture, tags, { false, true }));
        EXPECT_TRUE(testing::SamePixels(picture, stored));
        EXPECT_TRUE(MakePhotoUpright(picture, tags, { true, false }));
        EXPECT_TRUE(testing::SamePixels(picture, testing::Oriented(stored, 6)));
        tags.orientation = 1;
        EXPECT_FALSE(MakePhotoUpright(picture, tags, {}));
    }

    // ---- the loader and the thumbnails ----

    class PhotoLoading : public ::testing::Test {
    protected:
        void SetUp() override
        {
            if (!testing::HavePhotoTools())
                GTEST_SKIP() << "exiftool or ImageMagick is not installed";
        }
        TBitmap Open(const std::filesystem::path& file, codecs::PhotoOptions photo = {})
        {
            input::DecodeContext context;
            context.photo = photo;
            TBitmap bitmap;
            EXPECT_EQ(input::OpenPictureFile(m_registry, file, bitmap, context).outcome,
                input::FileOpenOutcome::Picture);
            return bitmap;
        }
        TempDir m_dir;
        input::PluginRegistry m_registry;
        const TBitmap m_source = testing::BlockPicture();
    };

    TEST_F(PhotoLoading, AllEightJpegOrientationsOpenUpright)
    {
        for (int orientation = 1; orientation <= 8; ++orientation) {
            const auto file = m_dir / ("o" + std::to_string(orientation) + ".jpg");
            ASSERT_TRUE(testing::WriteOrientedJpeg(m_source, file, orientation));
            EXPECT_EQ(ReadPhotoTags(file).orientation, orientation);
            EXPECT_LE(
                testing::MaxDifference(Open(file), testing::Oriented(m_source, orientation)), 3)
                << orientation;
            // Turned off: the picture as stored.
            EXPECT_LE(testing::MaxDifference(Open(file, { false, true }), m_source), 3)
                << orientation;
        }
    }

    TEST_F(PhotoLoading, PngExifOrientationIsExact)
    {
        for (int orientation : { 2, 5, 6 }) {
            const auto file = m_dir / ("o" + std::to_string(orientation) + ".png");
            ASSERT_TRUE(testing::WriteOrientedPng(m_source, file, orientation));
            EXPECT_TRUE(testing::SamePixels(Open(file), testing::Oriented(m_source, orientation)))
                << orientation;
            EXPECT_TRUE(testing::SamePixels(Open(file, { false, false }), m_source)) << orientation;
        }
    }

    TEST_F(PhotoLoading, ArchiveMembersAreTurnedFromTheirOwnBytesAlsoAsThumbnails)
    {
        // Wide enough that a thumbnail decodes at a quarter of the size.
        const TBitmap wide = testing::BlockPicture(64, 32);
        const auto file = m_dir / "member.jpg";
        ASSERT_TRUE(testing::WriteOrientedJpeg(wide, file, 6));
        const Bytes bytes = testing::ReadBytes(file);
        input::DecodeContext context;
        document::TDIB dib;
        ASSERT_EQ(input::DecodeFromMemory(m_registry, dib, bytes, "a/member.jpg", true, context),
            input::MemoryDecode::Picture);
        TBitmap full;
        dib.AssignTo(full);
        EXPECT_LE(testing::MaxDifference(full, testing::Oriented(wide, 6)), 3);

        ASSERT_EQ(input::DecodeFromMemory(m_registry, dib, bytes, "a/member.jpg", false, context),
            input::MemoryDecode::Picture);
        TBitmap thumb;
        dib.AssignTo(thumb);
        ASSERT_EQ(thumb.Width(), 64);
        ASSERT_EQ(thumb.Height(), 128);
        // The centre of each quarter-size 2 x 2 block is the block's colour.
        const TBitmap shown = testing::Oriented(wide, 6);
        for (int y = 1; y < 128; y += 16)
            for (int x = 1; x < 64; x += 16)
                EXPECT_LE(
                    testing::ColourDifference(thumb.Pixel(x, y), shown.Pixel(x * 4 + 2, y * 4 + 2)),
                    12)
                    << x << "," << y;
    }

    TEST_F(PhotoLoading, FolderThumbnailsAreUprightUnlessTurnedOff)
    {
        // Red on the stored left, blue on the right: upright (orientation 6) red is on top.
        TBitmap stored(240, 80, TPixelFormat::pf24bit);
        for (int y = 0; y < 80; ++y)
            for (int x = 0; x < 240; ++x)
                stored.SetPixel(
                    x, y, x < 120 ? platform::Rgb(255, 0, 0) : platform::Rgb(0, 0, 255));
        ASSERT_TRUE(testing::WriteOrientedJpeg(stored, m_dir / "photo.jpg", 6));
        for (const bool upright : { true, false }) {
            browse::FolderScanHooks hooks;
            hooks.photo = { upright, true };
            browse::FolderThumbnails thumbs(browse::kThumbSizes[0], hooks);
            thumbs.SelectFolder(m_dir.Path());
            ASSERT_EQ(thumbs.Store().Count(), 1);
            TBitmap canvas(64, 48, TPixelFormat::pf24bit);
            thumbs.Store().Draw(canvas.Canvas(), 0, 0, 0);
            const platform::TColor top = canvas.Pixel(32, 4), bottom = canvas.Pixel(32, 44);
            const platform::TColor left = canvas.Pixel(12, 24), right = canvas.Pixel(52, 24);
            if (upright) {
                EXPECT_GT(platform::GetRValue(top), 200) << std::hex << top;
                EXPECT_GT(platform::GetBValue(bottom), 200) << std::hex << bottom;
            } else {
                EXPECT_GT(platform::GetRValue(left), 200) << std::hex << left;
                EXPECT_GT(platform::GetBValue(right), 200) << std::hex << right;
            }
        }
    }

} // namespace
} // namespace vtl::codecs
