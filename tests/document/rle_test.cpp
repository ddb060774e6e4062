#include "document/dib_errors.h"
#include "document/rle.h"
#include "platform/checked.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

namespace vtl::document {
namespace {

    using Bytes = std::vector<uint8_t>;

    size_t RowBytes(int width, int bits) { return *platform::BmpRowBytes(width, bits); }

    // An uncompressed picture whose stored rows are given as pixel indices (stored order).
    DibImage Indexed(
        int width, const std::vector<Bytes>& storedRows, int bits, bool topDown = false)
    {
        DibImage image;
        image.info.biWidth = width;
        const int height = static_cast<int>(storedRows.size());
        image.info.biHeight = topDown ? -height : height;
        image.info.biBitCount = static_cast<uint16_t>(bits);
        image.info.biClrUsed = bits == 8 ? 256 : 16;
        const size_t rowBytes = RowBytes(width, bits);
        image.bits = platform::MappedBlock(rowBytes * storedRows.size());
        for (size_t y = 0; y < storedRows.size(); ++y) {
            uint8_t* row = image.bits.Data() + y * rowBytes;
            for (size_t x = 0; x < storedRows[y].size(); ++x) {
                if (bits == 8)
                    row[x] = storedRows[y][x];
                else
                    row[x / 2] |= static_cast<uint8_t>(storedRows[y][x] << ((x & 1) ? 0 : 4));
            }
        }
        return image;
    }

    Bytes Encoded(const DibImage& image)
    {
        return Bytes(image.bits.Data(), image.bits.Data() + image.bits.Size());
    }

    Bytes BlockBytes(const platform::MappedBlock& block)
    {
        return Bytes(block.Data(), block.Data() + block.Size());
    }

    // --- RLE8 encoder ---

    TEST(Rle8Encode, LongRunThenOtherPixelGivesTwoRuns)
    {
        Bytes row(256, 7);
        row[255] = 9;
        DibImage rle = Convert8BitRGBTo8BitRLE(Indexed(256, { row }, 8));
        EXPECT_THAT(Encoded(rle), ::testing::ElementsAre(255, 7, 1, 9, 0, 0, 0, 1));
        EXPECT_EQ(rle.info.biCompression, kBiRle8);
        EXPECT_EQ(rle.info.biSizeImage, 8u);
        EXPECT_EQ(rle.info.biHeight, 1);
    }

    TEST(Rle8Encode, RepeatedPixelLeavesTheLiteralAndOpensARun)
    {
        // 1 2 3 4 5 | 5 ... : the second 5 takes the first out of the literal.
        Bytes row { 1, 2, 3, 4, 5 };
        row.resize(20, 5);
        EXPECT_THAT(Encoded(Convert8BitRGBTo8BitRLE(Indexed(20, { row }, 8))),
            ::testing::ElementsAre(0, 4, 1, 2, 3, 4, 16, 5, 0, 0, 0, 1));

        // An odd literal gets a pad byte; a literal of two pixels is written as two runs of one.
        Bytes odd { 1, 2, 3, 7 };
        odd.resize(16, 7);
        odd[14] = 8;
        odd[15] = 9;
        EXPECT_THAT(Encoded(Convert8BitRGBTo8BitRLE(Indexed(16, { odd }, 8))),
            ::testing::ElementsAre(0, 3, 1, 2, 3, 0, 11, 7, 1, 8, 1, 9, 0, 0, 0, 1));
    }

    TEST(Rle8Encode, LiteralAndRunLimits)
    {
        // 255 pixels with no equal neighbours fill one literal; the 256th starts afresh and runs
        // on through the rest of the row, 255 at a time.
        Bytes row(600, 255);
        for (int x = 0; x < 255; ++x)
            row[x] = static_cast<uint8_t>(x);
        Bytes expected { 0, 255 };
        for (int x = 0; x < 255; ++x)
            expected.push_back(static_cast<uint8_t>(x));
        expected.push_back(0);
        for (uint8_t b : { 255, 255, 90, 255, 0, 0, 0, 1 })
            expected.push_back(b);
        EXPECT_EQ(Encoded(Convert8BitRGBTo8BitRLE(Indexed(600, { row }, 8))), expected);
    }

    TEST(Rle8Encode, TopDownSourceBecomesBottomUp)
    {
        std::vector<Bytes> stored { Bytes(8, 1), Bytes(8, 2) }; // top row first
        DibImage rle = Convert8BitRGBTo8BitRLE(Indexed(8, stored, 8, true));
        EXPECT_EQ(rle.info.biHeight, 2);
        EXPECT_THAT(Encoded(rle), ::testing::ElementsAre(8, 2, 0, 0, 8, 1, 0, 0, 0, 1));
    }

    TEST(Rle8Encode, EncodingThatDoesNotFitFails)
    {
        std::mt19937 random(5);
        std::vector<Bytes> rows(16, Bytes(64));
        for (auto& r : rows)
            for (auto& p : r)
                p = static_cast<uint8_t>(random());
        DibImage source = Indexed(64, rows, 8);
        const long live = platform::MappedBlock::LiveBlocks();
        EXPECT_THROW(
            {
                try {
                    Convert8BitRGBTo8BitRLE(source);
                } catch (const EDIBCompressionFailed& e) {
                    EXPECT_STREQ(e.what(), "Convert8BitRGBTo8BitRLE: Compression Failed");
                    throw;
                }
            },
            EDIBCompressionFailed);
        EXPECT_EQ(platform::MappedBlock::LiveBlocks(), live);
        // A single pixel needs six bytes and its row only has four.
        EXPECT_THROW(Convert8BitRGBTo8BitRLE(Indexed(1, { { 3 } }, 8)), EDIBCompressionFailed);
    }

    TEST(RleEncode, WrongSourcesAreRefused)
    {
        DibImage four = Indexed(4, { { 1, 2, 3, 4 } }, 4);
        EXPECT_THROW(Convert8BitRGBTo8BitRLE(four), EDIBBadDIBType);
        DibImage eight = Indexed(4, { { 1, 2, 3, 4 } }, 8);
        EXPECT_THROW(Convert4BitRGBTo4BitRLE(eight), EDIBBadDIBType);
        EXPECT_THROW(Convert8BitRLETo8BitRGB(eight), EDIBBadDIBType);
        EXPECT_THROW(Convert4BitRLETo4BitRGB(four), EDIBBadDIBType);
    }

    // --- RLE4 encoder ---

    TEST(Rle4Encode, CountsAreCutToThePixelsLeftInTheRow)
    {
        // Nine pixels of 10: bytes AA AA AA AA A0.
        EXPECT_THAT(Encoded(Convert4BitRGBTo4BitRLE(Indexed(9, { Bytes(9, 10) }, 4))),
            ::testing::ElementsAre(8, 0xAA, 1, 0xA0, 0, 0, 0, 1));
    }

    TEST(Rle4Encode, LiteralOfBytesWithPad)
    {
        // Bytes 12 34 56 77 77 77: a literal of three bytes (six pixels), then a run of three.
        DibImage source = Indexed(12, { { 1, 2, 3, 4, 5, 6, 7, 7, 7, 7, 7, 7 }, Bytes(12, 0) }, 4);
        EXPECT_THAT(Encoded(Convert4BitRGBTo4BitRLE(source)),
            ::testing::ElementsAre(0, 6, 0x12, 0x34, 0x56, 0, 6, 0x77, 0, 0, 12, 0x00, 0, 0, 0, 1));
    }

    TEST(Rle4Encode, OddWidthLiteralAtRowEnd)
    {
        // Bytes 12 x 6, 34 50: a run of six bytes, then a literal of two bytes cut to the three
        // pixels left; the zero row's run of eight bytes is cut to fifteen pixels.
        DibImage source
            = Indexed(15, { { 1, 2, 1, 2, 1, 2, 1, 2, 1, 2, 1, 2, 3, 4, 5 }, Bytes(15, 0) }, 4);
        EXPECT_THAT(Encoded(Convert4BitRGBTo4BitRLE(source)),
            ::testing::ElementsAre(12, 0x12, 0, 3, 0x34, 0x50, 0, 0, 15, 0, 0, 0, 0, 1));
    }

    // --- Decoders ---

    TEST(RleDecode, RoundTripsOfCompressiblePictures)
    {
        std::mt19937 random(11);
        for (int bits : { 8, 4 }) {
            for (int width : { 1, 2, 3, 17, 300 }) {
                std::vector<Bytes> rows(40, Bytes(width));
                for (auto& r : rows) {
                    uint8_t v = 0;
                    for (auto& p : r) {
                        if (random() % 10 == 0)
                            v = static_cast<uint8_t>(random() % (bits == 8 ? 256 : 16));
                        p = v;
                    }
                }
                DibImage source = Indexed(width, rows, bits);
                DibImage rle;
                try {
                    rle = bits == 8 ? Convert8BitRGBTo8BitRLE(source)
                                    : Convert4BitRGBTo4BitRLE(source);
                } catch (const EDIBCompressionFailed&) {
                    ASSERT_LE(width, 3) << "bits " << bits;
                    continue;
                }
                DibImage back
                    = bits == 8 ? Convert8BitRLETo8BitRGB(rle) : Convert4BitRLETo4BitRGB(rle);
                EXPECT_EQ(back.info.biCompression, kBiRgb);
                EXPECT_EQ(BlockBytes(back.bits), BlockBytes(source.bits))
                    << "bits " << bits << " width " << width;
            }
        }
    }

    TEST(RleDecode, DeltaAbsoluteAndNibbles)
    {
        // 8 bits, 6 x 3: a run of two in row 0, a delta of (1, 1) to (3, 1), a run of one there,
        // an end of line, and an absolute run of three with its pad byte in row 2.
        Bytes data { 2, 5, 0, 2, 1, 1, 1, 9, 0, 0, 0, 3, 7, 8, 9, 0, 0, 1 };
        Bytes pixels = BlockBytes(DecodeRle8(data, 6, 3));
        EXPECT_THAT(pixels,
            ::testing::ElementsAre(5, 5, 0, 0, 0, 0, 0, 0, //
                0, 0, 0, 9, 0, 0, 0, 0, //
                7, 8, 9, 0, 0, 0, 0, 0));

        // 4 bits: a run of 5 starting at an odd column alternates its nibbles, high first; an
        // absolute run of 3 pixels takes two bytes and is padded to an even length.
        Bytes data4 { 0, 2, 1, 0, 5, 0xAB, 0, 0, 0, 3, 0x12, 0x30, 0, 1 };
        Bytes pixels4 = BlockBytes(DecodeRle4(data4, 7, 2));
        EXPECT_THAT(
            pixels4, ::testing::ElementsAre(0x0A, 0xBA, 0xBA, 0x00, 0x12, 0x30, 0x00, 0x00));
    }

    struct BadStream {
        int bits;
        int width;
        int height;
        Bytes data;
        const char* message;
    };

    TEST(RleDecode, DataThatWouldWriteOutsideThePictureIsRefused)
    {
        const std::vector<BadStream> cases {
            { 8, 4, 1, { 0, 0, 0, 0 }, "Convert8BitRLETo8BitRGB: Bad RLE Data 1" },
            { 8, 4, 2, { 0, 2, 5, 0 }, "Convert8BitRLETo8BitRGB: Bad RLE Data 2" },
            { 8, 4, 2, { 0, 2, 0, 3 }, "Convert8BitRLETo8BitRGB: Bad RLE Data 2" },
            { 8, 4, 1, { 2, 1, 0, 3, 1, 2, 3, 0 }, "Convert8BitRLETo8BitRGB: Bad RLE Data 3" },
            { 8, 4, 1, { 0, 0, 0, 3, 1, 2, 3, 0 }, "Convert8BitRLETo8BitRGB: Bad RLE Data 3" },
            { 8, 4, 1, { 3, 1, 2, 1 }, "Convert8BitRLETo8BitRGB: Bad RLE Data 4" },
            { 8, 4, 1, { 0, 0, 1, 1 }, "Convert8BitRLETo8BitRGB: Bad RLE Data 4" },
            { 4, 4, 1, { 0, 0, 0, 0 }, "Convert4BitRLETo4BitRGB: Bad RLE Data 5" },
            { 4, 4, 1, { 0, 2, 5, 0 }, "Convert4BitRLETo4BitRGB: Bad RLE Data 6" },
            { 4, 4, 1, { 2, 0x11, 0, 3, 0x12, 0x30 }, "Convert4BitRLETo4BitRGB: Bad RLE Data 7" },
            { 4, 5, 1, { 4, 0x11, 2, 0x11 }, "Convert4BitRLETo4BitRGB: Bad RLE Data 8" },
        };
        for (const auto& c : cases) {
            try {
                if (c.bits == 8)
                    DecodeRle8(c.data, c.width, c.height);
                else
                    DecodeRle4(c.data, c.width, c.height);
                ADD_FAILURE() << c.message << " not raised";
            } catch (const EDIBInvalidDIB& e) {
                EXPECT_STREQ(e.what(), c.message);
            }
        }
    }

    TEST(RleDecode, DataEndingEarlyKeepsWhatWasDecoded)
    {
        // No end of bitmap; a run count without its value; an absolute run missing bytes; a delta
        // without its offsets. The picture ends where the data does.
        EXPECT_THAT(
            BlockBytes(DecodeRle8(Bytes { 2, 4 }, 4, 1)), ::testing::ElementsAre(4, 4, 0, 0));
        EXPECT_THAT(
            BlockBytes(DecodeRle8(Bytes { 2, 4, 1 }, 4, 1)), ::testing::ElementsAre(4, 4, 0, 0));
        EXPECT_THAT(
            BlockBytes(DecodeRle8(Bytes { 0, 4, 7, 8 }, 4, 1)), ::testing::ElementsAre(7, 8, 0, 0));
        EXPECT_THAT(BlockBytes(DecodeRle8(Bytes { 1, 3, 0, 2, 1 }, 4, 1)),
            ::testing::ElementsAre(3, 0, 0, 0));
        EXPECT_THAT(BlockBytes(DecodeRle4(Bytes { 0, 5, 0x12 }, 8, 1)),
            ::testing::ElementsAre(0x12, 0, 0, 0));
        EXPECT_THAT(BlockBytes(DecodeRle4(Bytes { 0, 5, 0x12, 0x34, 0x56 }, 8, 1)),
            ::testing::ElementsAre(0x12, 0x34, 0x50, 0));
        // An odd absolute run whose pad byte is missing still keeps its pixels.
        EXPECT_THAT(BlockBytes(DecodeRle8(Bytes { 0, 3, 7, 8, 9 }, 4, 1)),
            ::testing::ElementsAre(7, 8, 9, 0));
        EXPECT_THAT(BlockBytes(DecodeRle8(Bytes {}, 4, 1)), ::testing::ElementsAre(0, 0, 0, 0));
    }

    TEST(RleDecode, EndOfLineAfterTheLastRowThenEndOfBitmap)
    {
        EXPECT_THAT(BlockBytes(DecodeRle8(Bytes { 4, 1, 0, 0, 0, 1 }, 4, 1)),
            ::testing::ElementsAre(1, 1, 1, 1));
        // A delta may move to just past the last row; nothing may be written there.
        EXPECT_NO_THROW(DecodeRle8(Bytes { 0, 2, 4, 1, 0, 1 }, 4, 1));
        EXPECT_THROW(DecodeRle8(Bytes { 0, 2, 0, 1, 1, 1 }, 4, 1), EDIBInvalidDIB);
    }

    TEST(RleDecode, UnusableSizesAreRefused)
    {
        EXPECT_THROW(DecodeRle8(Bytes { 0, 1 }, 0, 1), EDIBInvalidDIB);
        EXPECT_THROW(DecodeRle8(Bytes { 0, 1 }, 4, 0), EDIBInvalidDIB);
        EXPECT_THROW(DecodeRle4(Bytes { 0, 1 }, 1 << 30, 1 << 30), EDIBInvalidDIB);
    }

    TEST(RleDecode, ConversionKeepsColourTableAndGivesBottomUp)
    {
        DibImage rle;
        rle.info.biWidth = 2;
        rle.info.biHeight = 1;
        rle.info.biCompression = kBiRle8;
        rle.info.biClrUsed = 3;
        rle.colorTable[2] = platform::RGBQuad { 1, 2, 3, 0 };
        const Bytes data { 2, 2, 0, 1 };
        rle.bits = platform::MappedBlock(data.size());
        std::memcpy(rle.bits.Data(), data.data(), data.size());
        DibImage plain = Convert8BitRLETo8BitRGB(rle);
        EXPECT_EQ(plain.info.biClrUsed, 3u);
        EXPECT_EQ(plain.colorTable[2], rle.colorTable[2]);
        EXPECT_EQ(plain.info.biSizeImage, 4u);
        EXPECT_THAT(BlockBytes(plain.bits), ::testing::ElementsAre(2, 2, 0, 0));
    }

} // namespace
} // namespace vtl::document
