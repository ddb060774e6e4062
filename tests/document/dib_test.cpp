// The image buffer: sharing, pixel access, setters, palettes, the clipboard form, copies to and
// from the display bitmap, the canvas, and what a failure leaves behind.

#include "document/dib.h"
#include "document/fixed_palettes.h"
#include "platform/bitmap.h"
#include "platform/byte_reader.h"
#include "platform/mapped_block.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace vtl::document {
namespace {

    using platform::MappedBlock;
    using platform::Rgb;
    using platform::TBitmap;
    using platform::TPixelFormat;

    // A 3 x 2 24-bit buffer with distinct colours, bottom-up.
    TDibEx Make24()
    {
        TDibEx dib;
        dib.SetBitCount(24);
        dib.SetWidth(3);
        dib.SetHeight(2);
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 3; ++x)
                dib.SetPixels(x, y, Rgb(uint8_t(10 * x), uint8_t(100 + y), 7));
        return dib;
    }

    std::vector<uint8_t> PackedDib(uint32_t headerSize, int32_t width, int32_t height,
        uint16_t bits, uint32_t compression, uint32_t clrUsed, std::vector<uint8_t> rest)
    {
        std::vector<uint8_t> b(headerSize, 0);
        platform::PutU32le(b.data(), headerSize);
        if (headerSize == 12) {
            platform::PutU16le(b.data() + 4, uint16_t(width));
            platform::PutU16le(b.data() + 6, uint16_t(height));
            platform::PutU16le(b.data() + 8, 1);
            platform::PutU16le(b.data() + 10, bits);
        } else {
            platform::PutU32le(b.data() + 4, uint32_t(width));
            platform::PutU32le(b.data() + 8, uint32_t(height));
            platform::PutU16le(b.data() + 12, 1);
            platform::PutU16le(b.data() + 14, bits);
            platform::PutU32le(b.data() + 16, compression);
            platform::PutU32le(b.data() + 32, clrUsed);
        }
        b.insert(b.end(), rest.begin(), rest.end());
        return b;
    }

    template <typename E, typename F> std::string ErrorOf(F&& f)
    {
        try {
            f();
        } catch (const E& e) {
            return e.what();
        } catch (const std::exception& e) {
            return std::string("wrong class: ") + e.what();
        }
        return "no error";
    }

    TEST(Dib, NewBufferIsOneBlackPixelOfEightBits)
    {
        TDibEx dib;
        EXPECT_EQ(dib.Width(), 1);
        EXPECT_EQ(dib.Height(), 1);
        EXPECT_EQ(dib.BitCount(), 8);
        EXPECT_EQ(dib.Info().biClrUsed, 256u);
        EXPECT_EQ(dib.Info().biXPelsPerMeter, 3780);
        EXPECT_EQ(dib.PixelFormat(), DibPixelFormat::Dib8Bit);
        EXPECT_EQ(dib.PixelBlockSize(), 4u);
        EXPECT_EQ(dib.GetPixels(0, 0), 0u);
        EXPECT_EQ(dib.ColorTable()[255], RGBQuad {});
        EXPECT_EQ(dib.QuantiseMode, 0);
        EXPECT_EQ(dib.OneBitColour, 0xFFFFFFu);
        EXPECT_FALSE(dib.Empty());
        EXPECT_TRUE(dib.UseFMO());
    }

    TEST(Dib, AssignSharesUntilTheFirstChange)
    {
        TDibEx a = Make24();
        a.QuantiseMode = 1;
        TDibEx b;
        b.Assign(a);
        EXPECT_EQ(b.QuantiseMode, 1);
        EXPECT_EQ(&a.Internal(), &b.Internal());
        EXPECT_EQ(a.Internal().RefCount, 2);
        b.SetPixels(0, 0, Rgb(1, 2, 3));
        EXPECT_NE(&a.Internal(), &b.Internal());
        EXPECT_EQ(a.Internal().RefCount, 1);
        EXPECT_EQ(a.GetPixels(0, 0), Rgb(0, 100, 7));
        EXPECT_EQ(b.GetPixels(0, 0), Rgb(1, 2, 3));
        // ScanLine hands out writable rows, so it unshares too.
        TDIB c(a);
        c.ScanLine(1)[0] = 99;
        EXPECT_EQ(a.GetPixels(0, 1), Rgb(0, 101, 7));
        {
            TDIB d(a);
            EXPECT_EQ(a.Internal().RefCount, 2);
        }
        EXPECT_EQ(a.Internal().RefCount, 1);
    }

    // A buffer shared with another hands over a copy: the other keeps its picture.
    TEST(Dib, MoveToCopiesWhatIsShared)
    {
        TDibEx a = Make24();
        TDIB shared(a);
        platform::TBitmap handed;
        shared.MoveTo(handed);
        EXPECT_EQ(shared.Width(), 1);
        EXPECT_EQ(a.GetPixels(0, 0), Rgb(0, 100, 7));
        EXPECT_EQ(handed.Width(), a.Width());
        EXPECT_EQ(handed.Pixel(0, 0), Rgb(0, 100, 7));
        EXPECT_EQ(a.Internal().RefCount, 1);
    }

    TEST(Dib, ScanLineCountsFromTheTop)
    {
        TDibEx dib = Make24();
        EXPECT_EQ(dib.ScanLine(0)[1], 100); // green of the top row
        EXPECT_EQ(dib.ScanLine(1)[1], 101);
        // The top row of a bottom-up picture is the last in memory.
        EXPECT_EQ(dib.ScanLine(0), dib.PixelBlock().data() + 12);
        EXPECT_EQ(ErrorOf<EDIBPixelPositionRange>([&] { dib.ScanLine(2); }),
            "TDIB.GetScanLine: y is Out of Range");
        EXPECT_EQ(ErrorOf<EDIBPixelPositionRange>([&] { dib.ScanLine(-1); }),
            "TDIB.GetScanLine: y is Out of Range");
    }

    TEST(Dib, SetPixelsInEachBitCount)
    {
        TDibEx dib;
        dib.SetWidth(9);
        dib.SetBitCount(1);
        dib.SetPixels(0, 0, 5);
        dib.SetPixels(8, 0, 1);
        EXPECT_EQ(dib.ScanLine(0)[0], 0x80);
        EXPECT_EQ(dib.ScanLine(0)[1], 0x80);
        dib.SetPixels(0, 0, 0);
        EXPECT_EQ(dib.ScanLine(0)[0], 0x00);

        dib.SetBitCount(4);
        dib.SetPixels(0, 0, 0x1A);
        dib.SetPixels(1, 0, 0x3);
        EXPECT_EQ(dib.ScanLine(0)[0], 0xA3);
        EXPECT_EQ(dib.GetPixels(0, 0), 0xAu);

        dib.SetBitCount(8);
        dib.SetPixels(2, 0, 255);
        EXPECT_EQ(dib.GetPixels(2, 0), 255u);
        EXPECT_THROW(dib.SetPixels(2, 0, 256), EDIBInvalidDIBPara);

        dib.SetBitCount(24);
        dib.SetPixels(1, 0, Rgb(1, 2, 3));
        EXPECT_EQ(dib.ScanLine(0)[3], 3); // blue first
        EXPECT_EQ(dib.ScanLine(0)[5], 1);
    }

    TEST(Dib, PixelPositionsAtTheEdge)
    {
        TDibEx dib = Make24();
        EXPECT_EQ(ErrorOf<EDIBPixelPositionRange>([&] { dib.SetPixels(3, 0, 0); }),
            "TDIB.SetPixels: Pixel Position is Out of Range");
        EXPECT_THROW(dib.SetPixels(0, 2, 0), EDIBPixelPositionRange);
        EXPECT_THROW(dib.SetPixels(-1, 0, 0), EDIBPixelPositionRange);
        EXPECT_EQ(dib.GetPixels(3, 0), 0u);
        EXPECT_EQ(dib.GetPixels(0, -1), 0u);
    }

    TEST(Dib, CompressedPicturesRefusePixelAccess)
    {
        TDibEx dib;
        dib.SetWidth(64);
        dib.SetPixelFormat(DibPixelFormat::Dib8BitRle);
        ASSERT_EQ(dib.PixelFormat(), DibPixelFormat::Dib8BitRle);
        EXPECT_EQ(
            ErrorOf<EDIBBadDIBType>([&] { dib.ScanLine(0); }), "TDIB.GetScanLine: Bad DIB Type");
        EXPECT_EQ(ErrorOf<EDIBBadDIBType>([&] { dib.SetPixels(0, 0, 1); }),
            "TDIB.SetPixels: Bad DIB Type");
        EXPECT_EQ(
            ErrorOf<EDIBBadDIBType>([&] { dib.GetPixels(0, 0); }), "TDIB.GetPixels: Bad DIB Type");
    }

    TEST(Dib, SizeSettersMakeAFreshZeroPicture)
    {
        TDibEx dib;
        dib.SetPixels(0, 0, 9);
        platform::HPalette grey
            = platform::CreatePalette(std::vector<platform::PaletteEntry>(256, { 9, 9, 9, 0 }));
        dib.SetPalette(grey);
        dib.SetWidth(5);
        EXPECT_EQ(dib.Width(), 5);
        EXPECT_EQ(dib.BitCount(), 8);
        EXPECT_EQ(dib.Info().biClrUsed, 256u);
        EXPECT_EQ(dib.GetPixels(0, 0), 0u);
        EXPECT_EQ(dib.ColorTable()[0], RGBQuad {});

        dib.SetPixels(1, 0, 3);
        dib.SetWidth(5); // unchanged: nothing happens
        EXPECT_EQ(dib.GetPixels(1, 0), 3u);

        dib.SetHeight(-3);
        EXPECT_EQ(dib.Height(), 3);
        EXPECT_TRUE(dib.TopDown());
        EXPECT_EQ(
            ErrorOf<EDIBInvalidDIBPara>([&] { dib.SetWidth(0); }), "TDIB.SetWidth: Invalid Width");
        EXPECT_THROW(dib.SetHeight(0), EDIBInvalidDIBPara);

        dib.SetBitCount(4);
        EXPECT_EQ(dib.Info().biClrUsed, 16u);
        dib.SetBitCount(24);
        EXPECT_EQ(dib.Info().biClrUsed, 0u);
        EXPECT_EQ(dib.PixelBlockSize(), 16u * 3);
        EXPECT_EQ(ErrorOf<EDIBInvalidDIBPara>([&] { dib.SetBitCount(16); }),
            "TDIB.SetBitCount: Invalid BitCount");
    }

    TEST(Dib, PaletteReadWrite)
    {
        TDIB dib;
        dib.SetBitCount(4);
        platform::HPalette first = dib.Palette();
        ASSERT_TRUE(first);
        EXPECT_EQ(first->entries.size(), 16u);
        EXPECT_EQ(dib.Palette(), first); // cached

        std::vector<platform::PaletteEntry> three
            = { { 255, 0, 0, 0 }, { 0, 255, 0, 0 }, { 0, 0, 255, 0 } };
        dib.SetPalette(platform::CreatePalette(three));
        EXPECT_EQ(dib.Info().biClrUsed, 3u);
        EXPECT_EQ(dib.ColorTable()[2], (RGBQuad { 255, 0, 0, 0 }));
        EXPECT_TRUE(dib.PaletteModified());
        EXPECT_EQ(dib.Palette()->entries, three);

        auto empty = std::make_shared<platform::TLogPalette>();
        EXPECT_EQ(ErrorOf<EDIBInvalidPalette>([&] { dib.SetPalette(empty); }),
            "TDIB.SetPalette: Invalid Palette");
        dib.SetPalette(nullptr);
        EXPECT_EQ(dib.Info().biClrUsed, 0u);
        EXPECT_FALSE(dib.Palette());

        dib.PaletteDrawMode = 1;
        EXPECT_EQ(dib.Palette()->entries.size(), 215u);
        dib.PaletteDrawMode = 2;
        EXPECT_EQ(dib.Palette()->entries.size(), 2u);
        EXPECT_EQ(dib.Palette()->entries[1], (platform::PaletteEntry { 255, 255, 255, 0 }));
    }

    TEST(Dib, SetPaletteOnASharedBufferLeavesTheOtherAlone)
    {
        TDIB a;
        TDIB b(a);
        b.SetPalette(
            platform::CreatePalette(std::vector<platform::PaletteEntry> { { 1, 2, 3, 0 } }));
        EXPECT_EQ(a.Info().biClrUsed, 256u);
        EXPECT_EQ(b.Info().biClrUsed, 1u);
    }

    TEST(DibClipboard, PackedDibRoundTrip)
    {
        TDibEx dib = Make24();
        ClipboardData data = dib.SaveToClipboardFormat();
        EXPECT_EQ(data.format, CF_DIB);
        EXPECT_FALSE(data.palette);
        ASSERT_EQ(data.data.size(), 40u + 24);
        EXPECT_EQ(data.data[0], 40);
        TDibEx again;
        again.LoadFromClipboardFormat(CF_DIB, data.data, nullptr);
        EXPECT_EQ(again.GetPixels(2, 1), Rgb(20, 101, 7));
        TDibEx scanned;
        scanned.LoadFromDIB(data.data);
        EXPECT_EQ(scanned.GetPixels(2, 1), Rgb(20, 101, 7));
    }

    TEST(DibClipboard, HeaderRules)
    {
        // 4 bits with colours used 0: 16 entries; resolution 0 becomes 3780; pixels are the rest.
        std::vector<uint8_t> rest(16 * 4, 0);
        rest[4] = 0xFF; // entry 1 blue
        rest.insert(rest.end(), { 0x10, 0, 0, 0 });
        TDibEx dib;
        dib.LoadFromClipboardFormat(CF_DIB, PackedDib(40, 2, 1, 4, 0, 0, rest), nullptr);
        EXPECT_EQ(dib.Info().biClrUsed, 16u);
        EXPECT_EQ(dib.Info().biXPelsPerMeter, 3780);
        EXPECT_EQ(dib.GetPixels(0, 0), 1u);

        // Core header: 3-byte entries.
        dib.LoadFromClipboardFormat(
            CF_DIB, PackedDib(12, 1, 1, 1, 0, 0, { 0, 0, 0, 9, 8, 7, 0x80, 0, 0, 0 }), nullptr);
        EXPECT_EQ(dib.ColorTable()[1], (RGBQuad { 9, 8, 7, 0 }));
        EXPECT_EQ(dib.GetPixels(0, 0), 1u);

        // 16 bits become 24.
        dib.LoadFromClipboardFormat(
            CF_DIB, PackedDib(40, 1, 1, 16, 0, 0, { 0x1F, 0, 0, 0 }), nullptr);
        EXPECT_EQ(dib.GetPixels(0, 0), Rgb(0, 0, 255));
    }

    TEST(DibClipboard, RefusalsCarryTheirMessages)
    {
        TDIB dib;
        std::vector<uint8_t> good = PackedDib(40, 1, 1, 24, 0, 0, { 1, 2, 3, 0 });
        EXPECT_EQ(ErrorOf<EInvalidGraphic>([&] { dib.LoadFromClipboardFormat(2, good, nullptr); }),
            "TDIB.LoadFromClipboardFormat: Invalid Clipboard Format or No Data");
        EXPECT_EQ(
            ErrorOf<EInvalidGraphic>([&] { dib.LoadFromClipboardFormat(CF_DIB, {}, nullptr); }),
            "TDIB.LoadFromClipboardFormat: Invalid Clipboard Format or No Data");

        auto clip = [&](std::vector<uint8_t> b) {
            return ErrorOf<EDIBInvalidDIB>(
                [&] { dib.LoadFromClipboardFormat(CF_DIB, b, nullptr); });
        };
        auto scan = [&](std::vector<uint8_t> b) {
            return ErrorOf<EDIBInvalidDIB>([&] { dib.LoadFromDIB(b); });
        };
        auto badSize = PackedDib(64, 1, 1, 24, 0, 0, { 0, 0, 0, 0 });
        EXPECT_EQ(clip(badSize), "TDIB.LoadFromClipboardFormat: Invalid Clipboard Data");
        EXPECT_EQ(scan(badSize), "TInternalDIB.LoadFromDIB: Invalid Bitmap Header Size");
        auto zeroWidth = PackedDib(40, 0, 1, 24, 0, 0, { 0, 0, 0, 0 });
        EXPECT_EQ(clip(zeroWidth), "TInternalDIB.LoadFromStream: Invalid Width or Height");
        EXPECT_EQ(scan(zeroWidth), "TInternalDIB.LoadFromDIB: Invalid Width or Height");
        auto badBits = PackedDib(40, 1, 1, 2, 0, 0, { 0, 0, 0, 0 });
        EXPECT_EQ(clip(badBits), "TInternalDIB.LoadFromClipboardFormat: Invalid biBitCount");
        EXPECT_EQ(scan(badBits), "TInternalDIB.LoadFromDIB: Invalid BitCout");
        EXPECT_EQ(scan(PackedDib(12, 1, 1, 16, 0, 0, { 0, 0, 0, 0 })),
            "TInternalDIB.LoadFromDIB: Invalid BitCount");
        EXPECT_EQ(clip(PackedDib(40, 1, 1, 32, 3, 0, std::vector<uint8_t>(16, 0))),
            "TInternalDIB.LoadFromStream: Invalid Masks");
        // Rows that are not all there, and a table longer than the block.
        EXPECT_THROW(dib.LoadFromDIB(PackedDib(40, 4, 4, 24, 0, 0, std::vector<uint8_t>(47, 0))),
            platform::EReadError);
        EXPECT_THROW(dib.LoadFromDIB(PackedDib(40, 1, 1, 8, 0, 200, std::vector<uint8_t>(100, 0))),
            platform::EReadError);
        EXPECT_THROW(dib.LoadFromDIB(std::vector<uint8_t> { 40, 0 }), platform::EReadError);
        EXPECT_EQ(dib.Width(), 1); // still the new buffer
    }

    class FakeClipboard : public TClipboard {
    public:
        std::optional<std::vector<uint8_t>> dib;
        int opens = 0, closes = 0;
        std::vector<uint32_t> asked;
        void Open() override { ++opens; }
        void Close() override { ++closes; }
        std::optional<std::vector<uint8_t>> GetAsHandle(uint32_t format) override
        {
            asked.push_back(format);
            return format == CF_DIB ? dib : std::nullopt;
        }
        void SetAsHandle(uint32_t, std::vector<uint8_t>) override { }
    };

    TEST(DibClipboard, AssignFromClipboardClosesItOnEveryPath)
    {
        FakeClipboard clipboard;
        clipboard.dib = Make24().SaveToClipboardFormat().data;
        TDibEx dib;
        dib.Assign(clipboard);
        EXPECT_EQ(dib.Width(), 3);
        EXPECT_EQ(clipboard.asked, (std::vector<uint32_t> { CF_DIB, CF_PALETTE }));
        clipboard.dib.reset();
        EXPECT_THROW(dib.Assign(clipboard), EInvalidGraphic);
        EXPECT_EQ(clipboard.opens, 2);
        EXPECT_EQ(clipboard.closes, 2);
        EXPECT_EQ(dib.Width(), 3);
    }

    TEST(DibBitmap, AssignToAndBackKeepsPixelsPaletteAndFormat)
    {
        struct Case {
            int bits;
            TPixelFormat format;
        };
        for (Case c : { Case { 1, TPixelFormat::pf1bit }, { 4, TPixelFormat::pf4bit },
                 { 8, TPixelFormat::pf8bit }, { 24, TPixelFormat::pf24bit } }) {
            SCOPED_TRACE(c.bits);
            TDibEx dib;
            dib.SetBitCount(c.bits);
            dib.SetWidth(5);
            dib.SetHeight(-3); // top-down source
            std::vector<platform::PaletteEntry> entries;
            for (int i = 0; i < (c.bits <= 8 ? 1 << c.bits : 0); ++i)
                entries.push_back({ uint8_t(i), uint8_t(255 - i), uint8_t(i * 3), 0 });
            if (!entries.empty())
                dib.SetPalette(platform::CreatePalette(entries));
            for (int y = 0; y < 3; ++y)
                for (int x = 0; x < 5; ++x)
                    dib.SetPixels(x, y,
                        c.bits == 24 ? Rgb(uint8_t(x), uint8_t(y), 200)
                                     : uint32_t(x + y) % (1u << c.bits));
            TBitmap bitmap;
            dib.AssignTo(bitmap);
            EXPECT_EQ(bitmap.PixelFormat(), c.format);
            EXPECT_EQ(bitmap.Width(), 5);
            EXPECT_EQ(bitmap.Height(), 3);
            EXPECT_EQ(bitmap.PaletteEntries(), entries);
            TDibEx back;
            back.Assign(bitmap);
            EXPECT_EQ(back.BitCount(), c.bits);
            EXPECT_FALSE(back.TopDown());
            EXPECT_EQ(back.Info().biClrUsed, c.bits <= 8 ? 1u << c.bits : 0u);
            for (int y = 0; y < 3; ++y)
                for (int x = 0; x < 5; ++x)
                    EXPECT_EQ(back.GetPixels(x, y), dib.GetPixels(x, y)) << x << "," << y;
        }
    }

    TEST(DibBitmap, DeepBitmapsBecome24BitsAndRleIsExpanded)
    {
        TBitmap bitmap(2, 1, TPixelFormat::pf16bit);
        bitmap.SetPixel(0, 0, Rgb(255, 0, 0));
        TDibEx dib;
        dib.Assign(bitmap);
        EXPECT_EQ(dib.BitCount(), 24);
        EXPECT_EQ(dib.GetPixels(0, 0), Rgb(255, 0, 0));
        EXPECT_EQ(dib.GetPixels(1, 0), Rgb(255, 255, 255));

        TDibEx rle;
        rle.SetWidth(64);
        rle.SetPixels(2, 0, 7);
        rle.SetPixelFormat(DibPixelFormat::Dib8BitRle);
        TBitmap drawn;
        rle.AssignTo(drawn);
        EXPECT_EQ(drawn.PixelFormat(), TPixelFormat::pf8bit);
        EXPECT_EQ(drawn.ScanLine(0)[2], 7);

        TBitmap empty;
        dib.Assign(empty);
        EXPECT_EQ(dib.Width(), 1);
    }

    TEST(DibBitmap, DrawStretchesWithTheCanvasCopyMode)
    {
        TDibEx dib = Make24();
        TBitmap target(6, 4, TPixelFormat::pf24bit);
        dib.Draw(target.Canvas(), platform::Rect(0, 0, 6, 4));
        EXPECT_EQ(target.Pixel(5, 3), Rgb(20, 101, 7));
        EXPECT_EQ(target.Pixel(1, 1), Rgb(0, 100, 7));
        target.Canvas().CopyMode = platform::rop::kSrcInvert;
        dib.Draw(target.Canvas(), platform::Rect(0, 0, 6, 4));
        EXPECT_EQ(target.Pixel(5, 3), 0u);

        dib.PaletteDrawMode = 2; // black and white by error diffusion
        TBitmap mono(3, 2, TPixelFormat::pf24bit);
        dib.Draw(mono.Canvas(), platform::Rect(0, 0, 3, 2));
        for (int x = 0; x < 3; ++x) {
            platform::TColor c = mono.Pixel(x, 0);
            EXPECT_TRUE(c == 0 || c == 0xFFFFFF) << std::hex << c;
        }
    }

    TEST(DibCanvas, DrawingLandsInTheBuffer)
    {
        TDibEx dib = Make24();
        TDIB other(dib);
        {
            TDIBCanvas canvas(dib);
            canvas.Canvas().Brush.Color = Rgb(1, 2, 3);
            canvas.Canvas().FillRect(platform::Rect(1, 0, 2, 2));
        }
        EXPECT_EQ(dib.GetPixels(1, 0), Rgb(1, 2, 3));
        EXPECT_EQ(dib.GetPixels(1, 1), Rgb(1, 2, 3));
        EXPECT_EQ(dib.GetPixels(0, 0), Rgb(0, 100, 7));
        EXPECT_TRUE(dib.Modified());
        TDibEx untouched;
        untouched.Assign(other);
        EXPECT_EQ(untouched.GetPixels(1, 0), Rgb(10, 100, 7)); // the shared copy kept its pixels

        TDIB rle;
        rle.SetWidth(64);
        rle.SetPixelFormat(DibPixelFormat::Dib8BitRle);
        EXPECT_THROW(TDIBCanvas { rle }, EOutOfResources);
    }

    TEST(DibFailure, FailedConversionKeepsThePictureAndFreesItsBlocks)
    {
        TDibEx dib = Make24();
        const uint8_t* bits = dib.Internal().Image.bits.Data();
        long live = MappedBlock::LiveBlocks();
        MappedBlock::FailNextMappingsForTesting(1);
        EXPECT_THROW(dib.SetPixelFormat(DibPixelFormat::Dib8Bit), EOutOfResources);
        MappedBlock::FailNextMappingsForTesting(0);
        EXPECT_EQ(MappedBlock::LiveBlocks(), live);
        EXPECT_EQ(dib.Internal().Image.bits.Data(), bits);
        EXPECT_EQ(dib.PixelFormat(), DibPixelFormat::Dib24Bit);

        MappedBlock::FailNextMappingsForTesting(1);
        EXPECT_THROW(dib.SetWidth(10), EOutOfResources);
        MappedBlock::FailNextMappingsForTesting(0);
        EXPECT_EQ(dib.Width(), 3);
        EXPECT_EQ(MappedBlock::LiveBlocks(), live);

        // Unsharing that fails leaves both buffers sharing as before.
        TDibEx shared;
        shared.Assign(dib);
        MappedBlock::FailNextMappingsForTesting(1);
        EXPECT_THROW(shared.SetPixels(0, 0, 0), EOutOfResources);
        MappedBlock::FailNextMappingsForTesting(0);
        EXPECT_EQ(dib.Internal().RefCount, 2);
        EXPECT_EQ(shared.GetPixels(0, 0), Rgb(0, 100, 7));
    }

    TEST(DibConversion, PixelFormatWriteGoesThroughTheConversionsAndReportsProgress)
    {
        TDibEx dib = Make24();
        std::vector<std::string> texts;
        dib.OnProgress = [&](const platform::ProgressReport& r) { texts.push_back(r.text); };
        dib.SetPixelFormat(DibPixelFormat::Dib8Bit);
        EXPECT_EQ(dib.PixelFormat(), DibPixelFormat::Dib8Bit);
        // Greens 100 and 101 share a histogram cell: three colours.
        EXPECT_EQ(dib.Info().biClrUsed, 3u);
        ASSERT_FALSE(texts.empty());
        EXPECT_EQ(texts.front(), "PixelFormat 24Bit -> 8Bit");
        EXPECT_EQ(dib.ProgressText, texts.back());
        TBitmap bitmap;
        dib.AssignTo(bitmap);
        EXPECT_EQ(bitmap.Pixel(2, 1), Rgb(20, 100, 7));

        dib.SetPixelFormat(DibPixelFormat::DibHalftone);
        EXPECT_EQ(dib.Info().biClrUsed, 215u);
    }

} // namespace
} // namespace vtl::document
