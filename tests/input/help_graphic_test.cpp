// Help-graphic files built here by the format's rules: both picture types, stored and
// run-length packed, with and without colour tables.

#include "input/help_graphic.h"
#include "platform/stream.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstring>

namespace vtl::input {
namespace {

    using platform::ByteReader;
    using platform::EReadError;
    using platform::TBitmap;
    using platform::TPixelFormat;
    using Bytes = std::vector<uint8_t>;

    void Put16(Bytes& out, uint16_t v)
    {
        out.push_back(uint8_t(v));
        out.push_back(uint8_t(v >> 8));
    }
    void Put32(Bytes& out, uint32_t v)
    {
        Put16(out, uint16_t(v));
        Put16(out, uint16_t(v >> 16));
    }
    void PutCWord(Bytes& out, uint16_t v)
    {
        if (v < 128) {
            out.push_back(uint8_t(v << 1));
        } else {
            out.push_back(uint8_t(((v & 0x7F) << 1) | 1));
            out.push_back(uint8_t(v >> 7));
        }
    }
    void PutCDWord(Bytes& out, uint32_t v)
    {
        if (v < 32768) {
            Put16(out, uint16_t(v << 1));
        } else {
            Put16(out, uint16_t(((v & 0x7FFF) << 1) | 1));
            Put16(out, uint16_t(v >> 15));
        }
    }

    // The packer the help compiler would use: runs of three or more repeat, the rest is copied.
    Bytes PackRunLength(const Bytes& data)
    {
        Bytes out;
        size_t i = 0;
        while (i < data.size()) {
            size_t run = 1;
            while (i + run < data.size() && data[i + run] == data[i] && run < 127)
                ++run;
            if (run >= 3) {
                out.push_back(uint8_t(run));
                out.push_back(data[i]);
                i += run;
                continue;
            }
            size_t start = i;
            while (i < data.size() && i - start < 127) {
                if (i + 2 < data.size() && data[i] == data[i + 1] && data[i] == data[i + 2])
                    break;
                ++i;
            }
            out.push_back(uint8_t(0x80 | (i - start)));
            out.insert(out.end(), data.begin() + long(start), data.begin() + long(i));
        }
        return out;
    }

    // A file of one picture: header, picture fields, then the (packed) data right after them.
    Bytes HelpFile(uint8_t type, uint8_t packing, const Bytes& fieldsBeforeOffsets,
        const Bytes& afterOffsets, const Bytes& data, uint16_t magic = 0x706C)
    {
        Bytes file;
        Put16(file, magic);
        Put16(file, 1);
        Put32(file, 8);
        Bytes picture { type, packing };
        picture.insert(picture.end(), fieldsBeforeOffsets.begin(), fieldsBeforeOffsets.end());
        const uint32_t dataOffset = uint32_t(picture.size() + 8 + afterOffsets.size());
        Put32(picture, dataOffset);
        Put32(picture, 0); // hotspots
        picture.insert(picture.end(), afterOffsets.begin(), afterOffsets.end());
        picture.insert(picture.end(), data.begin(), data.end());
        file.insert(file.end(), picture.begin(), picture.end());
        return file;
    }

    Bytes BitmapFile(uint8_t packing, uint32_t width, uint32_t height, uint16_t bits,
        const std::vector<platform::RGBQuad>& colors, const Bytes& pixels)
    {
        const Bytes data = packing == 1 ? PackRunLength(pixels) : pixels;
        Bytes fields;
        PutCDWord(fields, 96);
        PutCDWord(fields, 96);
        PutCWord(fields, 1);
        PutCWord(fields, bits);
        PutCDWord(fields, width);
        PutCDWord(fields, height);
        PutCDWord(fields, uint32_t(colors.size()));
        PutCDWord(fields, 0);
        PutCDWord(fields, uint32_t(data.size()));
        PutCDWord(fields, 0);
        Bytes table;
        for (const auto& c : colors)
            table.insert(table.end(), { c.rgbBlue, c.rgbGreen, c.rgbRed, 0 });
        return HelpFile(6, packing, fields, table, data);
    }

    Bytes MetafileFile(uint8_t packing, uint16_t widthHmm, uint16_t heightHmm, const Bytes& wmf)
    {
        const Bytes data = packing == 1 ? PackRunLength(wmf) : wmf;
        Bytes fields;
        PutCWord(fields, 8); // MM_ANISOTROPIC
        Put16(fields, widthHmm);
        Put16(fields, heightHmm);
        PutCDWord(fields, uint32_t(wmf.size()));
        PutCDWord(fields, uint32_t(data.size()));
        PutCDWord(fields, 0);
        return HelpFile(8, packing, fields, {}, data);
    }

    // A small metafile: window extent 100 x 50, a red brush, one rectangle.
    Bytes SmallMetafile()
    {
        Bytes m;
        Put16(m, 1);
        Put16(m, 9);
        Put16(m, 0x0300);
        Put32(m, 0);
        Put16(m, 1);
        Put32(m, 0);
        Put16(m, 0);
        auto record = [&](uint16_t function, std::initializer_list<uint16_t> params) {
            Put32(m, uint32_t(3 + params.size()));
            Put16(m, function);
            for (uint16_t p : params)
                Put16(m, p);
        };
        record(0x020C, { 50, 100 }); // SetWindowExt
        record(0x02FC, { 0, 0x00FF, 0, 0 }); // CreateBrushIndirect: solid red
        record(0x012D, { 0 }); // SelectObject
        record(0x041B, { 40, 90, 10, 10 }); // Rectangle 10, 10, 90, 40
        record(0x0000, {});
        return m;
    }

    // 4 x 3 picture, 8 bits, four colours; rows bottom-up and padded to 4 bytes.
    const std::vector<platform::RGBQuad> kFourColours
        = { { 0, 0, 0, 0 }, { 0, 0, 255, 0 }, { 0, 255, 0, 0 }, { 255, 0, 0, 0 } };
    const Bytes kFourColourPixels = { 0, 1, 2, 3, 3, 3, 3, 3, 1, 1, 1, 1 };

    class RecordingPlayer : public IMetafilePlayer {
    public:
        void Play(const WmfPicture& picture, TBitmap& bitmap) override
        {
            played.push_back(picture);
            size = { bitmap.Width(), bitmap.Height() };
            format = bitmap.PixelFormat();
        }
        std::vector<WmfPicture> played;
        platform::TPoint size;
        TPixelFormat format {};
    };

    TEST(HelpGraphicNumbers, CompressedWordsAndDoubleWords)
    {
        struct Case {
            Bytes bytes;
            uint32_t word;
        } words[] = { { { 0x0A }, 5 }, { { 0x0B, 0x01 }, 133 }, { { 0x00 }, 0 }, { { 0xFE }, 127 },
            { { 0xFF, 0xFF }, 32767 } };
        for (const Case& c : words) {
            ByteReader r(c.bytes);
            EXPECT_EQ(ReadCompressedWord(r), c.word);
            EXPECT_TRUE(r.AtEnd());
        }
        struct DCase {
            Bytes bytes;
            uint32_t value;
        } dwords[] = { { { 0x0A, 0x00 }, 5 }, { { 0xFE, 0xFF }, 32767 },
            { { 0x03, 0x00, 0x01, 0x00 }, 1 + 32768 },
            { { 0xFF, 0xFF, 0xFF, 0xFF }, 32767 + 65535u * 32768 } };
        for (const DCase& c : dwords) {
            ByteReader r(c.bytes);
            EXPECT_EQ(ReadCompressedDWord(r), c.value);
            EXPECT_TRUE(r.AtEnd());
        }
        const Bytes cut = { 0x0B };
        ByteReader r1(cut);
        EXPECT_THROW(ReadCompressedWord(r1), EReadError);
        const Bytes cutD = { 0x01, 0x00, 0x01 };
        ByteReader r2(cutD);
        EXPECT_THROW(ReadCompressedDWord(r2), EReadError);
    }

    TEST(HelpGraphicNumbers, RunLengthUnpacking)
    {
        EXPECT_EQ(UnpackRunLength(Bytes { 0x83, 1, 2, 3 }), (Bytes { 1, 2, 3 }));
        EXPECT_EQ(UnpackRunLength(Bytes { 0x05, 0xFF }), Bytes(5, 0xFF));
        EXPECT_EQ(UnpackRunLength(Bytes { 0x02, 7, 0x81, 9, 0x80, 0x00, 4 }), (Bytes { 7, 7, 9 }));
        // Data that ends inside a group gives what is there.
        EXPECT_EQ(UnpackRunLength(Bytes { 0x85, 1, 2 }), (Bytes { 1, 2 }));
        EXPECT_EQ(UnpackRunLength(Bytes { 0x81, 1, 0x05 }), (Bytes { 1 }));
        EXPECT_EQ(UnpackRunLength(Bytes { 0x7F, 1 }, 10), Bytes(10, 1));
        const Bytes sample = { 1, 1, 1, 1, 2, 3, 4, 4, 4, 5 };
        EXPECT_EQ(UnpackRunLength(PackRunLength(sample)), sample);
    }

    TEST(HelpGraphicBitmap, EightBitWithColourTableStoredAndPacked)
    {
        for (uint8_t packing : { 0, 1 }) {
            SCOPED_TRACE(int(packing));
            TBitmap bmp;
            ASSERT_TRUE(ReadHelpGraphic(
                bmp, BitmapFile(packing, 4, 3, 8, kFourColours, kFourColourPixels), nullptr));
            ASSERT_EQ(bmp.Width(), 4);
            ASSERT_EQ(bmp.Height(), 3);
            // The bottom row is stored first.
            EXPECT_EQ(bmp.Pixel(0, 2), platform::Rgb(0, 0, 0));
            EXPECT_EQ(bmp.Pixel(1, 2), platform::Rgb(255, 0, 0));
            EXPECT_EQ(bmp.Pixel(2, 2), platform::Rgb(0, 255, 0));
            EXPECT_EQ(bmp.Pixel(3, 2), platform::Rgb(0, 0, 255));
            EXPECT_EQ(bmp.Pixel(2, 1), platform::Rgb(0, 0, 255));
            EXPECT_EQ(bmp.Pixel(0, 0), platform::Rgb(255, 0, 0));
        }
    }

    TEST(HelpGraphicBitmap, BmpStreamFollowsTheFieldsAndZeroColoursGiveNoTable)
    {
        // 24 bits, 2 x 2, no colour table.
        const Bytes pixels = { 0, 0, 255, 255, 255, 255, 0, 0, 0, 255, 0, 0, 0, 255, 0, 0 };
        for (uint8_t packing : { 0, 1 }) {
            auto picture = ParseHelpGraphic(BitmapFile(packing, 2, 2, 24, {}, pixels));
            ASSERT_TRUE(picture);
            const Bytes& bmp = picture->bmpStream;
            ASSERT_EQ(bmp.size(), 54 + pixels.size());
            ByteReader r(bmp);
            EXPECT_EQ(r.u16le(), 0x4D42);
            EXPECT_EQ(r.u32le(), 54 + pixels.size());
            EXPECT_EQ(r.u32le(), 0u);
            EXPECT_EQ(r.u32le(), 54u); // pixel offset
            EXPECT_EQ(r.u32le(), 40u);
            EXPECT_EQ(r.i32le(), 2);
            EXPECT_EQ(r.i32le(), 2);
            EXPECT_EQ(r.u16le(), 1);
            EXPECT_EQ(r.u16le(), 24);
            for (int i = 0; i < 4; ++i)
                EXPECT_EQ(r.u32le(), 0u); // compression, size, resolutions
            EXPECT_EQ(r.u32le(), 0u); // colours used
            EXPECT_TRUE(std::equal(pixels.begin(), pixels.end(), bmp.begin() + 54));
        }
        TBitmap bmp;
        ASSERT_TRUE(ReadHelpGraphic(bmp, BitmapFile(1, 2, 2, 24, {}, pixels), nullptr));
        EXPECT_EQ(bmp.Pixel(0, 1), platform::Rgb(255, 0, 0));
        EXPECT_EQ(bmp.Pixel(1, 1), platform::Rgb(255, 255, 255));
        EXPECT_EQ(bmp.Pixel(0, 0), platform::Rgb(0, 255, 0));
        EXPECT_EQ(bmp.Pixel(1, 0), platform::Rgb(255, 0, 0));
    }

    TEST(HelpGraphicBitmap, ColourTableIsCopiedAfterTheHeaders)
    {
        auto picture = ParseHelpGraphic(BitmapFile(0, 4, 3, 8, kFourColours, kFourColourPixels));
        ASSERT_TRUE(picture);
        const Bytes& bmp = picture->bmpStream;
        ASSERT_EQ(bmp.size(), 54 + 16 + kFourColourPixels.size());
        EXPECT_EQ(ByteReader(bmp).Take(14).subspan(10)[0], 54 + 16);
        EXPECT_EQ(bmp[54 + 4 + 2], 255); // second colour: red
        EXPECT_EQ(bmp[46], 4); // colours used
    }

    TEST(HelpGraphicMetafile, SizeInPixelsAndPlaceableHeader)
    {
        for (uint8_t packing : { 0, 1 }) {
            SCOPED_TRACE(int(packing));
            auto file = MetafileFile(packing, 2540, 1270, SmallMetafile());
            auto picture = ParseHelpGraphic(file);
            ASSERT_TRUE(picture);
            EXPECT_EQ(picture->pixelWidth, 96);
            EXPECT_EQ(picture->pixelHeight, 48);
            const Bytes& wmf = picture->placeableMetafile;
            ASSERT_EQ(wmf.size(), 22 + SmallMetafile().size());
            ByteReader r(wmf);
            EXPECT_EQ(r.u32le(), 0x9AC6CDD7u);
            uint16_t words[10];
            ByteReader w(wmf);
            uint16_t x = 0;
            for (auto& word : words)
                x ^= word = w.u16le();
            EXPECT_EQ(words[2], 0); // handle
            EXPECT_EQ(words[5], 96);
            EXPECT_EQ(words[6], 48);
            EXPECT_EQ(words[7], 96); // units per inch
            EXPECT_EQ(w.u16le(), x); // checksum
            EXPECT_TRUE(std::equal(wmf.begin() + 22, wmf.end(), SmallMetafile().begin()));

            RecordingPlayer player;
            TBitmap bmp(5, 5, TPixelFormat::pf8bit);
            ASSERT_TRUE(ReadHelpGraphic(bmp, file, &player));
            EXPECT_EQ(bmp.Width(), 96);
            EXPECT_EQ(bmp.Height(), 48);
            EXPECT_EQ(bmp.PixelFormat(), TPixelFormat::pf24bit);
            ASSERT_EQ(player.played.size(), 1u);
            EXPECT_EQ(player.size, (platform::TPoint { 96, 48 }));
            EXPECT_EQ(player.format, TPixelFormat::pf24bit);
            EXPECT_EQ(player.played[0].bounds, platform::Rect(0, 0, 96, 48));
            ASSERT_EQ(player.played[0].records.size(), 4u);
            EXPECT_EQ(player.played[0].records[3].op, WmfOp::Rectangle);
            // Nothing drawn yet is white.
            EXPECT_EQ(bmp.Pixel(50, 20), platform::Rgb(255, 255, 255));
        }
    }

    TEST(HelpGraphicMetafile, RoundingOfTheSize)
    {
        // 96 / 2540 of 1 hundredth is well under a half; 14 hundredths is 0.53 pixels.
        auto tiny = ParseHelpGraphic(MetafileFile(0, 13, 14, SmallMetafile()));
        ASSERT_TRUE(tiny);
        EXPECT_EQ(tiny->pixelWidth, 0);
        EXPECT_EQ(tiny->pixelHeight, 1);
        auto large = ParseHelpGraphic(MetafileFile(0, 65535, 2541, SmallMetafile()));
        EXPECT_EQ(large->pixelWidth, 2477);
        EXPECT_EQ(large->pixelHeight, 96);
        // A picture without a side draws nothing.
        RecordingPlayer player;
        TBitmap bmp;
        EXPECT_TRUE(ReadHelpGraphic(bmp, MetafileFile(0, 13, 14, SmallMetafile()), &player));
        EXPECT_TRUE(player.played.empty());
        EXPECT_TRUE(bmp.Empty());
    }

    TEST(HelpGraphicFile, RefusalsLeaveTheBitmapUntouched)
    {
        TBitmap bmp(7, 3, TPixelFormat::pf24bit);
        bmp.SetPixel(1, 1, platform::Rgb(1, 2, 3));
        auto unchanged = [&] {
            EXPECT_EQ(bmp.Width(), 7);
            EXPECT_EQ(bmp.Pixel(1, 1), platform::Rgb(1, 2, 3));
        };
        // Packing method 2: false, an empty document.
        EXPECT_FALSE(
            ReadHelpGraphic(bmp, BitmapFile(2, 4, 3, 8, kFourColours, kFourColourPixels), nullptr));
        unchanged();
        Bytes wrongMagic = BitmapFile(0, 4, 3, 8, kFourColours, kFourColourPixels);
        wrongMagic[1] = 0x71;
        EXPECT_FALSE(ReadHelpGraphic(bmp, wrongMagic, nullptr));
        EXPECT_FALSE(ReadHelpGraphic(bmp, Bytes {}, nullptr));
        EXPECT_FALSE(ReadHelpGraphic(bmp, Bytes { 'l' }, nullptr));
        unchanged();
        // The other magic is as good.
        Bytes otherMagic = BitmapFile(0, 4, 3, 8, kFourColours, kFourColourPixels);
        otherMagic[1] = 0x50;
        EXPECT_TRUE(ParseHelpGraphic(otherMagic));
        // A picture of another type is read and nothing is drawn.
        Bytes otherType = BitmapFile(0, 4, 3, 8, kFourColours, kFourColourPixels);
        otherType[8] = 5;
        EXPECT_TRUE(ReadHelpGraphic(bmp, otherType, nullptr));
        unchanged();
        // A metafile that isn't one goes to the general error report.
        RecordingPlayer player;
        EXPECT_ANY_THROW(
            ReadHelpGraphic(bmp, MetafileFile(0, 2540, 2540, Bytes(40, 0x11)), &player));
        EXPECT_TRUE(player.played.empty());
        unchanged();
    }

    TEST(HelpGraphicFile, TruncatedFiles)
    {
        const Bytes full = BitmapFile(1, 4, 3, 8, kFourColours, kFourColourPixels);
        // Cut anywhere: never a read beyond the data. Inside the fields the cut is a read
        // error; inside the pixels the stream just ends there.
        for (size_t size = 2; size < full.size(); ++size) {
            Bytes cut(full.begin(), full.begin() + long(size));
            try {
                auto picture = ParseHelpGraphic(cut);
                ASSERT_TRUE(picture);
                EXPECT_LT(picture->bmpStream.size(), 54 + 16 + kFourColourPixels.size());
            } catch (const EReadError&) {
            }
        }
        // A first-picture offset past the end.
        Bytes far = full;
        far[4] = 0xFF;
        EXPECT_THROW(ParseHelpGraphic(far), EReadError);
        // A packed data offset past the end gives no pixels.
        Bytes noPixels = full;
        const size_t dataOffsetAt
            = noPixels.size() - PackRunLength(kFourColourPixels).size() - 16 - 8;
        noPixels[dataOffsetAt + 3] = 0x7F;
        auto picture = ParseHelpGraphic(noPixels);
        ASSERT_TRUE(picture);
        EXPECT_EQ(picture->bmpStream.size(), 54u + 16);
        // A colour table longer than the file.
        Bytes hugeTable = BitmapFile(0, 4, 3, 8, kFourColours, kFourColourPixels);
        // Colours used sits after type, packing, two resolutions, planes, bits, width, height.
        hugeTable[8 + 12] = 0xFE;
        hugeTable[8 + 13] = 0xFF;
        EXPECT_ANY_THROW(ReadHelpGraphic(*std::make_unique<TBitmap>(), hugeTable, nullptr));
    }

    TEST(HelpGraphicFile, ReadsFromDisk)
    {
        vtl::testing::TempDir dir;
        const Bytes bytes = BitmapFile(1, 4, 3, 8, kFourColours, kFourColourPixels);
        vtl::testing::WriteFile(dir / "a.shg", std::string(bytes.begin(), bytes.end()));
        TBitmap bmp;
        EXPECT_TRUE(ReadHelpGraphicFile(bmp, dir / "a.shg", nullptr));
        EXPECT_EQ(bmp.Width(), 4);
        EXPECT_ANY_THROW(ReadHelpGraphicFile(bmp, dir / "missing.shg", nullptr));
    }

} // namespace
} // namespace vtl::input
