// BMP reading and writing of the image buffer, on files built byte by byte.

#include "document/dib.h"
#include "document/dib_bmp.h"
#include "platform/mapped_block.h"
#include "platform/stream.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace vtl::document {
namespace {

    using platform::EReadError;
    using platform::MappedBlock;

    void Put16(std::vector<uint8_t>& v, uint32_t x)
    {
        v.push_back(uint8_t(x));
        v.push_back(uint8_t(x >> 8));
    }
    void Put32(std::vector<uint8_t>& v, uint32_t x)
    {
        for (int i = 0; i < 4; ++i)
            v.push_back(uint8_t(x >> (8 * i)));
    }

    // A BMP file: fields default to a sound file, tests break one at a time.
    struct BmpSpec {
        uint32_t headerSize = 40;
        int32_t width = 2;
        int32_t height = 2;
        uint16_t bitCount = 8;
        uint32_t compression = 0;
        uint32_t sizeImage = 0;
        int32_t xRes = 2835;
        int32_t yRes = 2835;
        uint32_t clrUsed = 0;
        std::vector<uint32_t> masks; // written after a 40-byte header
        std::vector<uint32_t> table; // 0x00RRGGBB as BGRA bytes
        std::vector<uint8_t> pixels;
        int64_t offBits = -1; // -1: right after the table
        int64_t fileSize = -1; // -1: the true size
    };

    std::vector<uint8_t> MakeBmp(const BmpSpec& s)
    {
        std::vector<uint8_t> header;
        Put32(header, s.headerSize);
        if (s.headerSize == 12) {
            Put16(header, uint16_t(s.width));
            Put16(header, uint16_t(s.height));
            Put16(header, 1);
            Put16(header, s.bitCount);
        } else {
            Put32(header, uint32_t(s.width));
            Put32(header, uint32_t(s.height));
            Put16(header, 1);
            Put16(header, s.bitCount);
            Put32(header, s.compression);
            Put32(header, s.sizeImage);
            Put32(header, uint32_t(s.xRes));
            Put32(header, uint32_t(s.yRes));
            Put32(header, s.clrUsed);
            Put32(header, 0);
            for (uint32_t m : s.masks)
                Put32(header, m);
            while (header.size() < s.headerSize)
                header.push_back(0);
        }
        for (uint32_t c : s.table) {
            header.push_back(uint8_t(c));
            header.push_back(uint8_t(c >> 8));
            header.push_back(uint8_t(c >> 16));
            if (s.headerSize != 12)
                header.push_back(0);
        }
        uint32_t off = s.offBits >= 0 ? uint32_t(s.offBits) : uint32_t(14 + header.size());
        std::vector<uint8_t> file = { 'B', 'M' };
        uint32_t size = uint32_t(14 + header.size() + s.pixels.size());
        Put32(file, s.fileSize >= 0 ? uint32_t(s.fileSize) : size);
        Put32(file, 0);
        Put32(file, off);
        file.insert(file.end(), header.begin(), header.end());
        while (file.size() < off)
            file.push_back(0);
        file.insert(file.end(), s.pixels.begin(), s.pixels.end());
        return file;
    }

    // An 8-bit 2 x 2 picture with a 4-entry table: bottom row 0 1, top row 2 3.
    BmpSpec Pal8()
    {
        BmpSpec s;
        s.clrUsed = 4;
        s.table = { 0x000000, 0xFF0000, 0x00FF00, 0x0000FF };
        s.pixels = { 0, 1, 0, 0, 2, 3, 0, 0 };
        return s;
    }

    template <typename E> std::string LoadError(const std::vector<uint8_t>& file)
    {
        TDIB dib;
        try {
            dib.LoadFromBytes(file);
        } catch (const E& e) {
            return e.what();
        } catch (const std::exception& e) {
            return std::string("wrong class: ") + e.what();
        }
        return "no error";
    }

    TEST(DibBmpRead, EightBitFileKeepsHeaderTableAndRows)
    {
        TDibEx dib;
        dib.LoadFromBytes(MakeBmp(Pal8()));
        EXPECT_EQ(dib.Width(), 2);
        EXPECT_EQ(dib.Height(), 2);
        EXPECT_EQ(dib.PixelFormat(), DibPixelFormat::Dib8Bit);
        EXPECT_EQ(dib.Info().biClrUsed, 4u);
        EXPECT_EQ(dib.Info().biXPelsPerMeter, 2835);
        // Row 0 is the top row: the second stored one.
        EXPECT_EQ(dib.GetPixels(0, 0), 2u);
        EXPECT_EQ(dib.GetPixels(1, 0), 3u);
        EXPECT_EQ(dib.GetPixels(1, 1), 1u);
        EXPECT_EQ(dib.ColorTable()[1], (RGBQuad { 0, 0, 0xFF, 0 }));
        EXPECT_EQ(dib.PixelBlockSize(), 8u);
    }

    TEST(DibBmpRead, ColoursUsedZeroMeansFullTableAndResolutionZeroBecomes3780)
    {
        BmpSpec s;
        s.bitCount = 4;
        s.xRes = 0;
        s.yRes = 0;
        s.table.assign(16, 0x808080);
        s.pixels.assign(8, 0x12);
        TDIB dib;
        dib.LoadFromBytes(MakeBmp(s));
        EXPECT_EQ(dib.Info().biClrUsed, 16u);
        EXPECT_EQ(dib.Info().biXPelsPerMeter, 3780);
        EXPECT_EQ(dib.Info().biYPelsPerMeter, 3780);
    }

    TEST(DibBmpRead, SixteenBitsWithoutBitFieldsAre555)
    {
        BmpSpec s;
        s.bitCount = 16;
        s.width = 3;
        s.height = 1;
        // red 31, green 31, blue 31; pure red 16; blue 1
        s.pixels = { 0xFF, 0x7F, 0x00, 0x40, 0x01, 0x00, 0, 0 };
        TDibEx dib;
        dib.LoadFromBytes(MakeBmp(s));
        EXPECT_EQ(dib.BitCount(), 24);
        EXPECT_EQ(dib.Info().biCompression, 0u);
        EXPECT_EQ(dib.Info().biSizeImage, 0u);
        EXPECT_EQ(dib.GetPixels(0, 0), platform::Rgb(255, 255, 255));
        // 16 << 3 = 128; 128 x 255 / 248 = 131
        EXPECT_EQ(dib.GetPixels(1, 0), platform::Rgb(131, 0, 0));
        EXPECT_EQ(dib.GetPixels(2, 0), platform::Rgb(0, 0, 8));
        EXPECT_EQ(dib.PixelBlockSize(), 12u); // 9 bytes padded to 12
    }

    TEST(DibBmpRead, BitFieldsMasksAndTableMovedUp)
    {
        BmpSpec s;
        s.bitCount = 16;
        s.compression = 3;
        s.width = 1;
        s.height = 1;
        s.masks = { 0xF800, 0x07E0, 0x001F };
        s.clrUsed = 2;
        s.table = { 0x112233, 0x445566 };
        s.pixels = { 0xE0, 0x07, 0, 0 }; // green 63
        TDibEx dib;
        dib.LoadFromBytes(MakeBmp(s));
        EXPECT_EQ(dib.GetPixels(0, 0), platform::Rgb(0, 255, 0));
        ASSERT_EQ(dib.Info().biClrUsed, 2u);
        EXPECT_EQ(dib.ColorTable()[0], (RGBQuad { 0x33, 0x22, 0x11, 0 }));
        EXPECT_EQ(dib.ColorTable()[1], (RGBQuad { 0x66, 0x55, 0x44, 0 }));
    }

    TEST(DibBmpRead, ThirtyTwoBitsWithShiftedMasks)
    {
        BmpSpec s;
        s.bitCount = 32;
        s.compression = 3;
        s.width = 1;
        s.height = 1;
        // 10-bit channels: the top 8 of each count.
        s.masks = { 0x3FF00000, 0x000FFC00, 0x000003FF };
        uint32_t p = (0x3FFu << 20) | (0x200u << 10) | 0x004u;
        s.pixels = { uint8_t(p), uint8_t(p >> 8), uint8_t(p >> 16), uint8_t(p >> 24) };
        TDibEx dib;
        dib.LoadFromBytes(MakeBmp(s));
        EXPECT_EQ(dib.GetPixels(0, 0), platform::Rgb(255, 128, 1));
    }

    TEST(DibBmpRead, ZeroMaskIsRefused)
    {
        BmpSpec s;
        s.bitCount = 16;
        s.compression = 3;
        s.masks = { 0xFF00, 0x00FF, 0 };
        s.pixels.assign(8, 0);
        EXPECT_EQ(
            LoadError<EDIBInvalidDIB>(MakeBmp(s)), "TInternalDIB.LoadFromStream: Invalid Masks");
    }

    TEST(DibBmpRead, MaskChannelShiftsIntoTheTopByte)
    {
        EXPECT_EQ(MakeMaskChannel(0x1F).shift, -3);
        EXPECT_EQ(MakeMaskChannel(0x1F).Extract(31), 255);
        EXPECT_EQ(MakeMaskChannel(0xFF000000).shift, 24);
        EXPECT_EQ(MakeMaskChannel(0x1).Extract(1), 255);
        EXPECT_EQ(MakeMaskChannel(0x1).Extract(0), 0);
    }

    TEST(DibBmpRead, Os2HeaderLoadsAndSavesAsWindowsBmp)
    {
        BmpSpec s;
        s.headerSize = 12;
        s.bitCount = 1;
        s.table = { 0x000000, 0xFFFFFF };
        s.pixels = { 0x80, 0, 0, 0, 0x40, 0, 0, 0 };
        TDibEx dib;
        dib.LoadFromBytes(MakeBmp(s));
        EXPECT_EQ(dib.PixelFormat(), DibPixelFormat::Dib1Bit);
        EXPECT_EQ(dib.Info().biSize, 40u);
        EXPECT_EQ(dib.Info().biClrUsed, 2u);
        EXPECT_EQ(dib.Info().biXPelsPerMeter, 3780);
        EXPECT_EQ(dib.GetPixels(1, 0), 1u);
        EXPECT_EQ(dib.GetPixels(0, 1), 1u);

        std::vector<uint8_t> saved = dib.SaveToBytes();
        ASSERT_EQ(saved.size(), 14u + 40 + 8 + 8);
        EXPECT_EQ(saved[14], 40);
        EXPECT_EQ(saved[10], 62); // bfOffBits
        EXPECT_EQ(saved[54 + 4], 0xFF); // white entry, 4 bytes each now
        EXPECT_EQ(saved[54 + 7], 0);
        TDibEx again;
        again.LoadFromBytes(saved);
        EXPECT_EQ(again.GetPixels(1, 0), 1u);
    }

    TEST(DibBmpRead, TopDownKeepsItsOrientation)
    {
        BmpSpec s = Pal8();
        s.height = -2;
        TDIB dib;
        dib.LoadFromBytes(MakeBmp(s));
        EXPECT_EQ(dib.Height(), 2);
        EXPECT_TRUE(dib.TopDown());
        EXPECT_EQ(dib.ScanLine(0)[1], 1); // the first stored row
        EXPECT_EQ(dib.SaveToBytes(), MakeBmp(s));
    }

    TEST(DibBmpRead, RleStaysCompressedWithTheFileSizeFromTheHeader)
    {
        BmpSpec s;
        s.bitCount = 8;
        s.compression = 1;
        s.clrUsed = 2;
        s.table = { 0, 0xFFFFFF };
        s.pixels = { 2, 1, 0, 0, 2, 0, 0, 1 };
        s.sizeImage = 8;
        std::vector<uint8_t> file = MakeBmp(s);
        file.push_back(0xAA); // beyond bfSize: not part of the picture
        TDibEx dib;
        dib.LoadFromBytes(file);
        EXPECT_EQ(dib.PixelFormat(), DibPixelFormat::Dib8BitRle);
        EXPECT_EQ(dib.PixelBlockSize(), 8u);
        std::vector<uint8_t> block(8);
        dib.ReadPixelBlock(block);
        EXPECT_EQ(block, s.pixels);
        EXPECT_THROW(dib.ScanLine(0), EDIBBadDIBType);
        EXPECT_THROW(dib.GetPixels(0, 0), EDIBBadDIBType);
        // Written back with its compression and compressed data.
        std::vector<uint8_t> saved = dib.SaveToBytes();
        EXPECT_EQ(saved[30], 1);
        EXPECT_EQ(std::vector<uint8_t>(saved.end() - 8, saved.end()), s.pixels);
    }

    TEST(DibBmpRead, RleWithoutFileSizeUsesTheImageSize)
    {
        BmpSpec s;
        s.bitCount = 4;
        s.compression = 2;
        s.table.assign(16, 0);
        s.pixels = { 2, 0x12, 0, 0, 2, 0x34, 0, 1 };
        s.sizeImage = 6;
        s.fileSize = 0;
        TDibEx dib;
        dib.LoadFromBytes(MakeBmp(s));
        EXPECT_EQ(dib.PixelFormat(), DibPixelFormat::Dib4BitRle);
        EXPECT_EQ(dib.PixelBlockSize(), 6u);
    }

    TEST(DibBmpRead, RefusalsCarryTheirMessages)
    {
        auto file = MakeBmp(Pal8());
        file[0] = 'X';
        EXPECT_EQ(
            LoadError<EDIBInvalidDIBFile>(file), "TInternalDIB.LoadFromFile: File type is invalid");

        BmpSpec s = Pal8();
        s.bitCount = 7;
        EXPECT_EQ(
            LoadError<EDIBInvalidDIB>(MakeBmp(s)), "TInternalDIB.LoadFromStream: Invalid BitCout");

        s = Pal8();
        s.headerSize = 12;
        s.bitCount = 16;
        EXPECT_EQ(
            LoadError<EDIBInvalidDIB>(MakeBmp(s)), "TInternalDIB.LoadFromStream: Invalid BitCount");

        s = Pal8();
        s.headerSize = 64;
        EXPECT_EQ(LoadError<EDIBInvalidDIB>(MakeBmp(s)),
            "TInternalDIB.LoadFromStream: Invalid Bitmap Header Size");

        s = Pal8();
        s.offBits = 14 + 40 + 8; // inside the 4-entry table
        EXPECT_EQ(LoadError<EDIBInvalidDIB>(MakeBmp(s)),
            "TInternalDIB.LoadFromFile: bfOffBits is too small");

        for (auto [w, h] : { std::pair { 0, 2 }, { -2, 2 }, { 2, 0 }, { 2, INT32_MIN } }) {
            s = Pal8();
            s.width = w;
            s.height = h;
            EXPECT_EQ(LoadError<EDIBInvalidDIB>(MakeBmp(s)),
                "TInternalDIB.LoadFromStream: Invalid Width or Height")
                << w << " x " << h;
        }

        s = Pal8();
        s.compression = 2; // RLE4 on an 8-bit picture
        EXPECT_EQ(LoadError<EDIBInvalidDIB>(MakeBmp(s)),
            "TInternalDIB.GetPixelFormat: Invalid DIB(8Bit)");
    }

    TEST(DibBmpRead, HostileSizesFailBeforeAllocating)
    {
        long before = MappedBlock::LiveBlocks();
        BmpSpec s = Pal8();
        s.width = 60000;
        s.height = 60000; // 3.6 GB of rows claimed by an 80-byte file
        EXPECT_EQ(LoadError<EDIBInvalidDIB>(MakeBmp(s)),
            "TInternalDIB.LoadFromStream: Invalid Width or Height");
        s.width = 40000;
        s.height = 40000; // within the limits, but the bytes are not there
        EXPECT_EQ(LoadError<EReadError>(MakeBmp(s)), "Stream read error");
        std::vector<uint8_t> beyond = MakeBmp(Pal8());
        beyond[13] = 0x40; // bfOffBits beyond the file
        EXPECT_EQ(LoadError<EReadError>(beyond), "Stream read error");
        s = Pal8();
        s.pixels.resize(5); // truncated rows
        EXPECT_EQ(LoadError<EReadError>(MakeBmp(s)), "Stream read error");
        s = Pal8();
        s.clrUsed = 0xFFFFFFFF; // would overflow 4 x colours used in 32 bits
        s.table.assign(256, 0);
        s.offBits = 14 + 40 + 1024;
        EXPECT_EQ(LoadError<EDIBInvalidDIB>(MakeBmp(s)),
            "TInternalDIB.LoadFromFile: bfOffBits is too small");
        EXPECT_EQ(MappedBlock::LiveBlocks(), before);
    }

    TEST(DibBmpRead, MoreThan256ColoursAreCappedAndTheRestSkipped)
    {
        BmpSpec s = Pal8();
        s.clrUsed = 300;
        s.table.assign(300, 0x010203);
        s.table[0] = 0xABCDEF;
        TDIB dib;
        dib.LoadFromBytes(MakeBmp(s));
        EXPECT_EQ(dib.Info().biClrUsed, 256u);
        EXPECT_EQ(dib.ColorTable()[0], (RGBQuad { 0xEF, 0xCD, 0xAB, 0 }));
        EXPECT_EQ(dib.ColorTable().size(), 256u);
    }

    TEST(DibBmpRead, ReadsFromTheStreamsPosition)
    {
        std::vector<uint8_t> bytes = { 1, 2, 3 };
        auto file = MakeBmp(Pal8());
        bytes.insert(bytes.end(), file.begin(), file.end());
        platform::TMemoryStream stream(bytes);
        stream.Seek(3);
        TDIB dib;
        dib.LoadFromStream(stream);
        EXPECT_EQ(dib.Info().biClrUsed, 4u);
    }

    TEST(DibBmpRead, FailingLoadKeepsThePictureAndFreesItsBlocks)
    {
        TDIB dib;
        dib.LoadFromBytes(MakeBmp(Pal8()));
        const uint8_t* before = dib.Internal().Image.bits.Data();
        long live = MappedBlock::LiveBlocks();

        BmpSpec big;
        big.bitCount = 32;
        big.width = 4;
        big.height = 4;
        big.pixels.assign(64, 0x7F);
        MappedBlock::FailNextMappingsForTesting(1);
        EXPECT_THROW(dib.LoadFromBytes(MakeBmp(big)), EOutOfResources);
        MappedBlock::FailNextMappingsForTesting(0);

        BmpSpec truncated = big;
        truncated.pixels.resize(40);
        EXPECT_THROW(dib.LoadFromBytes(MakeBmp(truncated)), EReadError);

        EXPECT_EQ(MappedBlock::LiveBlocks(), live);
        EXPECT_EQ(dib.Internal().Image.bits.Data(), before);
        EXPECT_EQ(dib.Width(), 2);
        EXPECT_EQ(dib.Info().biClrUsed, 4u);
    }

    TEST(DibBmpWrite, FileHeaderAndLayoutAreExact)
    {
        TDIB dib;
        dib.LoadFromBytes(MakeBmp(Pal8()));
        std::vector<uint8_t> saved = dib.SaveToBytes();
        ASSERT_EQ(saved.size(), 54u + 16 + 8);
        EXPECT_EQ(saved[0], 'B');
        EXPECT_EQ(saved[1], 'M');
        EXPECT_EQ(saved[2], 78); // bfSize
        EXPECT_EQ(saved[6] | saved[7] | saved[8] | saved[9], 0);
        EXPECT_EQ(saved[10], 70); // bfOffBits
        EXPECT_EQ(saved[46], 4); // colours used
        EXPECT_EQ(saved[38], 0x13); // resolution kept: 2835 = 0x0B13
        EXPECT_EQ(std::vector<uint8_t>(saved.end() - 8, saved.end()), Pal8().pixels);
        EXPECT_EQ(saved, MakeBmp(Pal8()));
    }

    TEST(DibBmpWrite, FileStreamRoundTripAndMissingFile)
    {
        TDIB dib;
        dib.LoadFromBytes(MakeBmp(Pal8()));
        auto path = std::filesystem::temp_directory_path()
            / ("vtl_dib_bmp_" + std::to_string(getpid()) + ".bmp");
        dib.SaveToFile(path);
        TDIB again;
        again.LoadFromFile(path);
        EXPECT_EQ(again.SaveToBytes(), dib.SaveToBytes());
        std::filesystem::remove(path);
        EXPECT_THROW(again.LoadFromFile(path), platform::EFOpenError);
    }

} // namespace
} // namespace vtl::document
