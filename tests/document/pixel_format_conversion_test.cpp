#include "document/dib_errors.h"
#include "document/fixed_palettes.h"
#include "document/pixel_format_conversion.h"
#include "document/rle.h"
#include "platform/checked.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <set>
#include <vector>

namespace vtl::document {
namespace {

    using platform::MappedBlock;
    using platform::RGBQuad;
    using platform::TColor;
    using F = DibPixelFormat;

    constexpr TColor kWhite = platform::Rgb(255, 255, 255);

    const std::vector<TColor> kColours { platform::Rgb(0, 0, 0), kWhite, platform::Rgb(200, 16, 40),
        platform::Rgb(8, 160, 96), platform::Rgb(120, 64, 248) };

    RGBQuad QuadOf(TColor c)
    {
        return RGBQuad { platform::GetBValue(c), platform::GetGValue(c), platform::GetRValue(c),
            0 };
    }

    size_t RowBytes(const DibImage& image)
    {
        return *platform::BmpRowBytes(image.info.biWidth, image.info.biBitCount);
    }

    // Colours of any stored picture, top row first; RLE pictures are decoded on the way.
    std::vector<TColor> Colours(const DibImage& image)
    {
        const int width = image.info.biWidth;
        const int height = std::abs(image.info.biHeight);
        MappedBlock decoded;
        const uint8_t* bits = image.bits.Data();
        if (image.info.biCompression == kBiRle8) {
            decoded = DecodeRle8(image.bits.Bytes(), width, height);
            bits = decoded.Data();
        } else if (image.info.biCompression == kBiRle4) {
            decoded = DecodeRle4(image.bits.Bytes(), width, height);
            bits = decoded.Data();
        }
        const size_t rowBytes = RowBytes(image);
        std::vector<TColor> out;
        for (int top = 0; top < height; ++top) {
            const int stored = image.info.biHeight < 0 ? top : height - 1 - top;
            const uint8_t* row = bits + stored * rowBytes;
            for (int x = 0; x < width; ++x) {
                int index = 0;
                switch (image.info.biBitCount) {
                case 24:
                    out.push_back(platform::Rgb(row[3 * x + 2], row[3 * x + 1], row[3 * x]));
                    continue;
                case 8:
                    index = row[x];
                    break;
                case 4:
                    index = (x & 1) ? row[x / 2] & 15 : row[x / 2] >> 4;
                    break;
                default:
                    index = (row[x / 8] >> (7 - x % 8)) & 1;
                }
                const RGBQuad& q = image.colorTable[index];
                out.push_back(platform::Rgb(q.rgbRed, q.rgbGreen, q.rgbBlue));
            }
        }
        return out;
    }

    // A picture of the given format whose pixels (top row first) are colours of `colours`.
    DibImage Make(F format, int width, int height, const std::vector<int>& pick,
        const std::vector<TColor>& colours, bool topDown)
    {
        DibImage image;
        const bool rle = format == F::Dib4BitRle || format == F::Dib8BitRle;
        const uint16_t bits = format == F::Dib1Bit              ? 1
            : (format == F::Dib4Bit || format == F::Dib4BitRle) ? 4
            : (format == F::Dib8Bit || format == F::Dib8BitRle) ? 8
                                                                : 24;
        image.info.biWidth = width;
        image.info.biHeight = topDown && !rle ? -height : height;
        image.info.biBitCount = bits;
        image.info.biClrUsed = bits == 24 ? 0 : static_cast<uint32_t>(colours.size());
        if (bits != 24)
            for (size_t i = 0; i < colours.size(); ++i)
                image.colorTable[i] = QuadOf(colours[i]);
        const size_t rowBytes = RowBytes(image);
        image.bits = MappedBlock(rowBytes * height);
        for (int i = 0; i < width * height; ++i) {
            const int top = i / width;
            const int x = i % width;
            const int stored = image.info.biHeight < 0 ? top : height - 1 - top;
            uint8_t* row = image.bits.Data() + stored * rowBytes;
            const int index = pick[i];
            switch (bits) {
            case 24: {
                const TColor c = colours[index];
                row[3 * x] = platform::GetBValue(c);
                row[3 * x + 1] = platform::GetGValue(c);
                row[3 * x + 2] = platform::GetRValue(c);
                break;
            }
            case 8:
                row[x] = static_cast<uint8_t>(index);
                break;
            case 4:
                row[x / 2] |= static_cast<uint8_t>(index << ((x & 1) ? 0 : 4));
                break;
            default:
                row[x / 8] |= static_cast<uint8_t>(index << (7 - x % 8));
            }
        }
        if (format == F::Dib8BitRle)
            return Convert8BitRGBTo8BitRLE(image);
        if (format == F::Dib4BitRle)
            return Convert4BitRGBTo4BitRLE(image);
        return image;
    }

    std::vector<uint8_t> Snapshot(const DibImage& image)
    {
        const size_t head = sizeof(BitmapInfoHeader) + sizeof(image.colorTable);
        std::vector<uint8_t> bytes(head + image.bits.Size());
        std::memcpy(bytes.data(), &image.info, sizeof(BitmapInfoHeader));
        std::memcpy(bytes.data() + sizeof(BitmapInfoHeader), image.colorTable.data(),
            sizeof(image.colorTable));
        if (image.bits.Size() != 0)
            std::memcpy(bytes.data() + head, image.bits.Data(), image.bits.Size());
        return bytes;
    }

    const F kSources[] { F::Dib1Bit, F::Dib4Bit, F::Dib4BitRle, F::Dib8Bit, F::Dib8BitRle,
        F::Dib24Bit };
    const F kTargets[] { F::Dib1Bit, F::Dib4Bit, F::Dib4BitRle, F::Dib8Bit, F::Dib8BitRle,
        F::Dib24Bit, F::DibHalftone, F::DibHalftoneMono };

    bool IsRle(F f) { return f == F::Dib4BitRle || f == F::Dib8BitRle; }
    bool Quantises(F from, F to)
    {
        const bool to4 = to == F::Dib4Bit || to == F::Dib4BitRle;
        const bool to8 = to == F::Dib8Bit || to == F::Dib8BitRle;
        return (to4 && (from == F::Dib24Bit || from == F::Dib8Bit || from == F::Dib8BitRle))
            || (to8 && from == F::Dib24Bit);
    }

    // Every route of the table on a 33 x 4 picture of five colours in long runs (so that RLE
    // coding fits), bottom-up and top-down, with both quantisers.
    TEST(ConvertPixelFormatTest, EveryRouteKeepsThePicture)
    {
        const int width = 33;
        const int height = 4;
        std::vector<int> pick;
        const int runs[height][2] = { { 16, 0 }, { 20, 2 }, { 33, 4 }, { 10, 3 } };
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                pick.push_back(x < runs[y][0] ? runs[y][1] : 1 + y % 2);
        for (F from : kSources) {
            const bool oneBit = from == F::Dib1Bit;
            std::vector<TColor> colours = kColours;
            std::vector<int> picked = pick;
            if (oneBit) {
                colours = { platform::Rgb(200, 16, 40), kWhite };
                for (int& p : picked)
                    p &= 1;
            }
            for (bool topDown : { false, true }) {
                if (topDown && IsRle(from))
                    continue;
                const DibImage source = Make(from, width, height, picked, colours, topDown);
                const std::vector<TColor> before = Colours(source);
                const std::vector<uint8_t> snapshot = Snapshot(source);
                for (F to : kTargets) {
                    for (uint8_t mode : { 0, 1 }) {
                        SCOPED_TRACE(testing::Message()
                            << "from " << int(from) << " to " << int(to) << " topDown " << topDown
                            << " mode " << int(mode));
                        ConversionOptions options;
                        options.quantiseMode = mode;
                        DibImage out = ConvertPixelFormat(source, to, options, {});
                        EXPECT_EQ(Snapshot(source), snapshot);

                        const F stored = to == F::DibHalftone ? F::Dib8Bit
                            : to == F::DibHalftoneMono        ? F::Dib1Bit
                                                              : to;
                        EXPECT_EQ(PixelFormatOf(out.info), stored);
                        EXPECT_EQ(out.info.biWidth, width);
                        const bool expectTopDown = topDown && !IsRle(to);
                        EXPECT_EQ(out.info.biHeight, expectTopDown ? -height : height);
                        if (!IsRle(to)) {
                            EXPECT_EQ(out.bits.Size(), RowBytes(out) * height);
                        }
                        if (to != from) {
                            EXPECT_EQ(out.info.biSizeImage, out.bits.Size());
                        }

                        const std::vector<TColor> after = Colours(out);
                        if (to == F::DibHalftone) {
                            EXPECT_EQ(out.info.biClrUsed, 215u);
                        } else if (to == F::DibHalftoneMono
                            || (to == F::Dib1Bit && from != F::Dib1Bit)) {
                            EXPECT_EQ(out.info.biClrUsed, 2u);
                            EXPECT_EQ(out.colorTable[0], QuadOf(0));
                            EXPECT_EQ(out.colorTable[1], QuadOf(kWhite));
                            if (to == F::Dib1Bit) {
                                for (size_t i = 0; i < before.size(); ++i)
                                    EXPECT_EQ(after[i], before[i] == kWhite ? kWhite : 0) << i;
                            }
                        } else {
                            EXPECT_EQ(after, before);
                            if (Quantises(from, to)) {
                                EXPECT_EQ(out.info.biClrUsed,
                                    std::set<TColor>(before.begin(), before.end()).size());
                            } else {
                                // Expansion and RLE coding keep colours used and the table.
                                EXPECT_EQ(out.info.biClrUsed, source.info.biClrUsed);
                                EXPECT_EQ(out.colorTable, source.colorTable);
                            }
                        }
                    }
                }
            }
        }
    }

    // A 1 x 1 picture converts between every pair; RLE targets need more room than a one-pixel
    // row has (six bytes against four), so those report a failed compression.
    TEST(ConvertPixelFormatTest, OnePixelPictures)
    {
        for (F from : kSources) {
            DibImage source;
            source.info.biWidth = 1;
            source.info.biHeight = 1;
            source.info.biBitCount = from == F::Dib1Bit         ? 1
                : (from == F::Dib4Bit || from == F::Dib4BitRle) ? 4
                : (from == F::Dib8Bit || from == F::Dib8BitRle) ? 8
                                                                : 24;
            source.info.biClrUsed = from == F::Dib24Bit ? 0 : 2;
            source.colorTable[1] = QuadOf(kWhite);
            if (IsRle(from)) {
                source.info.biCompression = from == F::Dib8BitRle ? kBiRle8 : kBiRle4;
                const uint8_t data[] { 1, static_cast<uint8_t>(from == F::Dib8BitRle ? 1 : 0x10), 0,
                    0, 0, 1 };
                source.bits = MappedBlock(sizeof data);
                std::memcpy(source.bits.Data(), data, sizeof data);
            } else {
                source.bits = MappedBlock(4);
                source.bits.Data()[0] = from == F::Dib24Bit ? 255
                    : from == F::Dib8Bit                    ? 1
                    : from == F::Dib4Bit                    ? 0x10
                                                            : 0x80;
                source.bits.Data()[1] = source.bits.Data()[2] = source.bits.Data()[0];
            }
            ASSERT_EQ(Colours(source), std::vector<TColor> { kWhite });
            for (F to : kTargets) {
                SCOPED_TRACE(testing::Message() << "from " << int(from) << " to " << int(to));
                if (IsRle(to) && to != from) {
                    EXPECT_THROW(ConvertPixelFormat(source, to, {}, {}), EDIBCompressionFailed);
                    continue;
                }
                DibImage out = ConvertPixelFormat(source, to, {}, {});
                EXPECT_EQ(Colours(out), std::vector<TColor> { kWhite });
            }
        }
    }

    TEST(ConvertPixelFormatTest, SameFormatIsACopyOfItsOwn)
    {
        DibImage source = Make(F::Dib8Bit, 3, 2, { 0, 1, 2, 3, 4, 0 }, kColours, true);
        DibImage out = ConvertPixelFormat(source, F::Dib8Bit, {}, {});
        EXPECT_NE(out.bits.Data(), source.bits.Data());
        EXPECT_EQ(Snapshot(out), Snapshot(source));
    }

    TEST(ConvertPixelFormatTest, OneBitColourIsMatchedExactly)
    {
        // Runs of four pixels, so that the RLE source fits its compression.
        const int order[] { 0, 1, 2, 3, 4, 2 };
        std::vector<int> pick;
        for (int i = 0; i < 48; ++i)
            pick.push_back(order[(i / 4) % 6]);
        auto expect = [&](int wanted) {
            std::vector<TColor> out;
            for (int p : pick)
                out.push_back(p == wanted ? kWhite : 0);
            return out;
        };
        for (F from : { F::Dib4Bit, F::Dib8Bit, F::Dib24Bit, F::Dib8BitRle }) {
            SCOPED_TRACE(int(from));
            DibImage source = Make(from, 24, 2, pick, kColours, false);
            ConversionOptions options;
            options.oneBitColour = platform::Rgb(200, 16, 40);
            EXPECT_EQ(Colours(ConvertPixelFormat(source, F::Dib1Bit, options, {})), expect(2));
            // A colour that differs in one channel by one matches nothing.
            options.oneBitColour = platform::Rgb(200, 16, 41);
            EXPECT_EQ(Colours(ConvertPixelFormat(source, F::Dib1Bit, options, {})), expect(-1));
            // The window colour of the desktop scheme is white.
            options.oneBitColour = 0x80000005;
            EXPECT_EQ(Colours(ConvertPixelFormat(source, F::Dib1Bit, options, {})), expect(1));
        }
    }

    TEST(ConvertPixelFormatTest, BrokenSourcesAreRefused)
    {
        DibImage source = Make(F::Dib24Bit, 5, 3, std::vector<int>(15, 1), kColours, false);
        source.info.biBitCount = 16;
        EXPECT_THROW(ConvertPixelFormat(source, F::Dib8Bit, {}, {}), EDIBInvalidDIB);
        source.info.biBitCount = 24;
        source.info.biHeight = 4; // the block only holds three rows
        EXPECT_THROW(ConvertPixelFormat(source, F::Dib8Bit, {}, {}), EDIBInvalidDIB);
        EXPECT_THROW(ConvertPixelFormat(source, F::DibHalftone, {}, {}), EDIBInvalidDIB);
        EXPECT_THROW(ConvertPixelFormat(source, F::Dib1Bit, {}, {}), EDIBInvalidDIB);
    }

    struct Recorder {
        std::vector<platform::ProgressReport> reports;
        platform::ProgressHandler Handler()
        {
            return [this](const platform::ProgressReport& r) { reports.push_back(r); };
        }
    };

    void ExpectReports(
        const Recorder& recorder, int total, const std::string& text, int width, int height)
    {
        ASSERT_EQ(recorder.reports.size(), static_cast<size_t>(total + 1));
        for (size_t i = 0; i < recorder.reports.size(); ++i) {
            const auto& r = recorder.reports[i];
            EXPECT_EQ(r.text, text);
            EXPECT_EQ(r.rect, platform::Rect(0, 0, width, height));
            if (i == 0) {
                EXPECT_EQ(r.stage, platform::ProgressStage::Starting);
                EXPECT_EQ(r.percent, 0);
                EXPECT_FALSE(r.redrawNow);
            } else if (i + 1 == recorder.reports.size()) {
                EXPECT_EQ(r.stage, platform::ProgressStage::Ending);
                EXPECT_EQ(r.percent, 100);
                EXPECT_TRUE(r.redrawNow);
            } else {
                EXPECT_EQ(r.stage, platform::ProgressStage::Running);
                EXPECT_EQ(r.percent, static_cast<int>(i) * 100 / total);
                EXPECT_FALSE(r.redrawNow);
            }
        }
    }

    TEST(ConvertPixelFormatTest, QuantisingConversionsReportProgress)
    {
        const std::vector<int> pick(40 * 3, 3);
        struct Case {
            F from;
            F to;
            uint8_t mode;
            int total;
            const char* text;
        };
        for (const Case& c :
            { Case { F::Dib24Bit, F::Dib8Bit, 0, 256, "PixelFormat 24Bit -> 8Bit" },
                Case { F::Dib24Bit, F::Dib8BitRle, 1, 256, "PixelFormat 24Bit -> 8BitRLE" },
                Case { F::Dib24Bit, F::Dib4Bit, 1, 16, "PixelFormat 24Bit -> 4Bit" },
                Case { F::Dib24Bit, F::Dib4BitRle, 0, 16, "PixelFormat 24Bit -> 4BitRLE" },
                Case { F::Dib8Bit, F::Dib4Bit, 0, 16, "PixelFormat 8Bit -> 4Bit" },
                Case { F::Dib8Bit, F::Dib4BitRle, 0, 16, "PixelFormat 8Bit -> 4BitRLE" },
                Case { F::Dib8BitRle, F::Dib4Bit, 0, 16, "PixelFormat 8BitRLE -> 4Bit" },
                Case { F::Dib8BitRle, F::Dib4BitRle, 0, 16, "PixelFormat 8BitRLE -> 4BitRLE" } }) {
            SCOPED_TRACE(c.text);
            Recorder recorder;
            ConversionOptions options;
            options.quantiseMode = c.mode;
            ConvertPixelFormat(
                Make(c.from, 40, 3, pick, kColours, false), c.to, options, recorder.Handler());
            ExpectReports(recorder, c.total, c.text, 40, 3);
        }
        // Routes that do not quantise say nothing.
        for (auto [from, to] :
            { std::pair { F::Dib8Bit, F::Dib24Bit }, std::pair { F::Dib24Bit, F::Dib1Bit },
                std::pair { F::Dib4BitRle, F::Dib8Bit }, std::pair { F::Dib24Bit, F::DibHalftone },
                std::pair { F::Dib8Bit, F::Dib8BitRle } }) {
            Recorder recorder;
            ConvertPixelFormat(
                Make(from, 40, 3, pick, kColours, false), to, {}, recorder.Handler());
            EXPECT_TRUE(recorder.reports.empty());
        }
    }

    TEST(ConvertPixelFormatTest, FailuresEndTheProgressAndFreeEverything)
    {
        std::mt19937 random(1);
        std::vector<int> noise(64 * 16);
        for (int& n : noise)
            n = static_cast<int>(random() % 5);
        const DibImage source = Make(F::Dib24Bit, 64, 16, noise, kColours, false);
        const std::vector<uint8_t> snapshot = Snapshot(source);
        const long live = MappedBlock::LiveBlocks();

        // Noise does not compress: the quantised picture is made, the encoding fails.
        Recorder recorder;
        EXPECT_THROW(ConvertPixelFormat(source, F::Dib8BitRle, {}, recorder.Handler()),
            EDIBCompressionFailed);
        ASSERT_FALSE(recorder.reports.empty());
        EXPECT_EQ(recorder.reports.back().stage, platform::ProgressStage::Ending);
        EXPECT_EQ(recorder.reports.size(), 257u);
        EXPECT_EQ(MappedBlock::LiveBlocks(), live);

        // Pixel memory refused, for every kind of route.
        for (F to : kTargets) {
            Recorder failed;
            MappedBlock::FailNextMappingsForTesting(1);
            EXPECT_THROW(ConvertPixelFormat(source, to, {}, failed.Handler()), EOutOfResources);
            MappedBlock::FailNextMappingsForTesting(0);
            EXPECT_EQ(MappedBlock::LiveBlocks(), live);
            if (!failed.reports.empty()) {
                EXPECT_EQ(failed.reports.back().stage, platform::ProgressStage::Ending);
            }
        }
        EXPECT_EQ(Snapshot(source), snapshot);
    }

} // namespace
} // namespace vtl::document
