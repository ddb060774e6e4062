// The image buffer's pixel memory and its packed DIBs: a mapping the system refuses is reported
// as the buffer's own error and leaves the buffer as it was; a packed DIB whose header announces
// more than 256 colours has its pixels right after the capped table.

#include "document/dib.h"
#include "platform/bitmap.h"
#include "platform/byte_reader.h"
#include "platform/mapped_block.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace vtl::document {
namespace {

    using platform::MappedBlock;
    using platform::Rgb;

    constexpr const char* kMappingRefused = "GetMemory: Cannot Make File Mapping Object";

    // Makes the next mapping fail for the time of one call, and never lets the fault outlive a
    // test that stops early.
    class DibMemory : public ::testing::Test {
    protected:
        void TearDown() override { MappedBlock::FailNextMappingsForTesting(0); }

        // The class and text of what `f` throws with the next mapping refused.
        static std::string ErrorWithRefusedMapping(const std::function<void()>& f)
        {
            MappedBlock::FailNextMappingsForTesting(1);
            std::string result = "no error";
            try {
                f();
            } catch (const EOutOfResources& e) {
                result = e.what();
            } catch (const std::bad_alloc&) {
                result = "std::bad_alloc";
            } catch (const std::exception& e) {
                result = std::string("wrong class: ") + e.what();
            }
            MappedBlock::FailNextMappingsForTesting(0);
            return result;
        }
    };

    std::vector<uint8_t> InfoHeader(
        int32_t width, int32_t height, uint16_t bits, uint32_t compression, uint32_t clrUsed)
    {
        std::vector<uint8_t> b(40, 0);
        platform::PutU32le(b.data(), 40);
        platform::PutU32le(b.data() + 4, uint32_t(width));
        platform::PutU32le(b.data() + 8, uint32_t(height));
        platform::PutU16le(b.data() + 12, 1);
        platform::PutU16le(b.data() + 14, bits);
        platform::PutU32le(b.data() + 16, compression);
        platform::PutU32le(b.data() + 32, clrUsed);
        return b;
    }

    void Append(std::vector<uint8_t>& b, std::initializer_list<uint8_t> bytes)
    {
        b.insert(b.end(), bytes.begin(), bytes.end());
    }

    void AppendU32(std::vector<uint8_t>& b, uint32_t v)
    {
        Append(b, { uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24) });
    }

    TDibEx Make8Bit()
    {
        TDibEx dib;
        dib.SetWidth(3);
        dib.SetHeight(2);
        dib.SetPixels(2, 1, 7);
        return dib;
    }

    TEST_F(DibMemory, EveryNewPixelBlockReportsARefusedMappingAndKeepsThePicture)
    {
        const TDibEx source = Make8Bit();
        const std::vector<uint8_t> plainFile = source.SaveToBytes();
        // Run-length coding must pay for itself: a plain area does.
        TDibEx rle;
        rle.SetWidth(32);
        rle.SetHeight(8);
        rle.SetPixelFormat(DibPixelFormat::Dib8BitRle);
        const std::vector<uint8_t> rleFile = rle.SaveToBytes();
        const std::vector<uint8_t> packed = source.SaveToClipboardFormat().data;
        std::vector<uint8_t> packed32 = InfoHeader(1, 1, 32, 0, 0);
        AppendU32(packed32, 0x00102030);
        const platform::TBitmap bitmap(4, 4, platform::TPixelFormat::pf24bit);

        const std::pair<const char*, std::function<void(TDibEx&)>> cases[] = {
            { "width", [](TDibEx& d) { d.SetWidth(40); } },
            { "height", [](TDibEx& d) { d.SetHeight(-40); } },
            { "bit count", [](TDibEx& d) { d.SetBitCount(24); } },
            { "copy of a display bitmap", [&](TDibEx& d) { d.Assign(bitmap); } },
            { "new 1 x 1 buffer", [](TDibEx& d) { d.AssignNone(); } },
            { "BMP file", [&](TDibEx& d) { d.LoadFromBytes(plainFile); } },
            { "RLE file", [&](TDibEx& d) { d.LoadFromBytes(rleFile); } },
            { "clipboard", [&](TDibEx& d) { d.LoadFromClipboardFormat(CF_DIB, packed, nullptr); } },
            { "32-bit clipboard",
                [&](TDibEx& d) { d.LoadFromClipboardFormat(CF_DIB, packed32, nullptr); } },
            { "scanner block", [&](TDibEx& d) { d.LoadFromDIB(packed); } },
        };
        for (const auto& [name, operation] : cases) {
            SCOPED_TRACE(name);
            TDibEx dib = Make8Bit();
            dib.UniqueDIB();
            const uint8_t* bits = dib.Internal().Image.bits.Data();
            const long live = MappedBlock::LiveBlocks();
            EXPECT_EQ(ErrorWithRefusedMapping([&] { operation(dib); }), kMappingRefused);
            EXPECT_EQ(MappedBlock::LiveBlocks(), live);
            EXPECT_EQ(dib.Internal().Image.bits.Data(), bits);
            EXPECT_EQ(dib.Width(), 3);
            EXPECT_EQ(dib.Height(), 2);
            EXPECT_EQ(dib.GetPixels(2, 1), 7u);
        }
        // A buffer made afresh needs pixel memory from its first moment.
        EXPECT_EQ(ErrorWithRefusedMapping([] { TDIB fresh; }), kMappingRefused);
    }

    TEST_F(DibMemory, UnsharingThatCannotMapLeavesBothBuffersSharing)
    {
        TDibEx first = Make8Bit();
        TDibEx second;
        second.Assign(first);
        const long live = MappedBlock::LiveBlocks();
        EXPECT_EQ(ErrorWithRefusedMapping([&] { second.SetPixels(0, 0, 1); }), kMappingRefused);
        EXPECT_EQ(ErrorWithRefusedMapping([&] { second.ScanLine(0); }), kMappingRefused);
        EXPECT_EQ(first.Internal().RefCount, 2);
        EXPECT_EQ(&first.Internal(), &second.Internal());
        EXPECT_EQ(second.GetPixels(0, 0), 0u);
        EXPECT_EQ(MappedBlock::LiveBlocks(), live);
        // With memory again the change lands in one buffer only.
        second.SetPixels(0, 0, 1);
        EXPECT_EQ(second.GetPixels(0, 0), 1u);
        EXPECT_EQ(first.GetPixels(0, 0), 0u);
    }

    // ---- packed DIBs announcing more than 256 colours ----

    // A 2 x 2 eight-bit packed DIB whose header announces `clrUsed` colours but which holds 256
    // entries (entry i = (i, 255 - i, 1)) and then `gap` filler bytes before its rows.
    std::vector<uint8_t> Packed8(uint32_t clrUsed, size_t gap)
    {
        std::vector<uint8_t> b = InfoHeader(2, 2, 8, 0, clrUsed);
        for (int i = 0; i < 256; ++i)
            Append(b, { 1, uint8_t(255 - i), uint8_t(i), 0 });
        b.insert(b.end(), gap, 0xEE);
        // Bottom row first: indices 10, 11 below 20, 21.
        Append(b, { 10, 11, 0, 0, 20, 21, 0, 0 });
        return b;
    }

    TEST(DibClipboardTable, PixelsFollowTheCappedTableWhateverTheHeaderAnnounces)
    {
        // 40 bytes of header and at most 1036 of masks and table: past 259 announced colours the
        // pixels start at byte 1076, twelve bytes after the 256th entry of a header without bit
        // fields; below that, after the announced table.
        const std::pair<uint32_t, size_t> cases[]
            = { { 257u, 4 }, { 259u, 12 }, { 300u, 12 }, { 100000u, 12 }, { 0xFFFFFFFFu, 12 } };
        for (auto [clrUsed, gap] : cases) {
            SCOPED_TRACE(clrUsed);
            const std::vector<uint8_t> block = Packed8(clrUsed, gap);
            for (bool scanner : { false, true }) {
                TDibEx dib;
                if (scanner)
                    dib.LoadFromDIB(block);
                else
                    dib.LoadFromClipboardFormat(CF_DIB, block, nullptr);
                EXPECT_EQ(dib.Info().biClrUsed, 256u);
                EXPECT_EQ(dib.PixelBlockSize(), 8u);
                EXPECT_EQ(dib.ColorTable()[0], (RGBQuad { 1, 255, 0, 0 }));
                EXPECT_EQ(dib.ColorTable()[255], (RGBQuad { 1, 0, 255, 0 }));
                EXPECT_EQ(dib.GetPixels(0, 0), 20u);
                EXPECT_EQ(dib.GetPixels(1, 0), 21u);
                EXPECT_EQ(dib.GetPixels(0, 1), 10u);
                EXPECT_EQ(dib.GetPixels(1, 1), 11u);
            }
        }
        // Exactly 256 announced: the table ends at 1064 and the pixels follow at once.
        TDibEx exact;
        exact.LoadFromClipboardFormat(CF_DIB, Packed8(256, 0), nullptr);
        EXPECT_EQ(exact.GetPixels(0, 0), 20u);
        EXPECT_EQ(exact.PixelBlockSize(), 8u);
    }

    TEST(DibClipboardTable, BitFieldMasksCountIntoTheCap)
    {
        // 16 bits, 5-6-5 masks, 1000 colours announced: masks and 256 entries, then one row.
        std::vector<uint8_t> b = InfoHeader(2, 1, 16, 3, 1000);
        AppendU32(b, 0xF800);
        AppendU32(b, 0x07E0);
        AppendU32(b, 0x001F);
        for (int i = 0; i < 256; ++i)
            AppendU32(b, 0x00ABCDEF);
        ASSERT_EQ(b.size(), 1076u);
        Append(b, { 0x00, 0xF8, 0x1F, 0x00 }); // pure red, pure blue
        TDibEx dib;
        dib.LoadFromClipboardFormat(CF_DIB, b, nullptr);
        EXPECT_EQ(dib.PixelFormat(), DibPixelFormat::Dib24Bit);
        EXPECT_EQ(dib.Info().biClrUsed, 256u);
        EXPECT_EQ(dib.GetPixels(0, 0), Rgb(255, 0, 0));
        EXPECT_EQ(dib.GetPixels(1, 0), Rgb(0, 0, 255));
    }

    TEST(DibClipboardTable, ABlockEndingInsideTheTableIsStillRefused)
    {
        std::vector<uint8_t> block = Packed8(300, 0);
        block.resize(40 + 200);
        TDIB dib;
        const auto before = &dib.Internal();
        EXPECT_THROW(dib.LoadFromClipboardFormat(CF_DIB, block, nullptr), platform::EReadError);
        EXPECT_EQ(&dib.Internal(), before);
    }

} // namespace
} // namespace vtl::document
