#include "input/twain_acquisition.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <fstream>
#include <iterator>
#include <vector>

using namespace vtl::input;
using namespace vtl::input::twain;
using vtl::testing::TempDir;

namespace {

// A packed DIB of `bits` (8 with a grey palette, or 24) filled with a gradient.
std::vector<uint8_t> PackedDib(int width, int height, int bits)
{
    const int colours = bits == 8 ? 256 : 0;
    const int stride = (width * bits + 31) / 32 * 4;
    std::vector<uint8_t> dib(40 + colours * 4 + stride * height);
    auto put32 = [&](size_t at, uint32_t v) { std::memcpy(&dib[at], &v, 4); };
    auto put16 = [&](size_t at, uint16_t v) { std::memcpy(&dib[at], &v, 2); };
    put32(0, 40);
    put32(4, static_cast<uint32_t>(width));
    put32(8, static_cast<uint32_t>(height));
    put16(12, 1);
    put16(14, static_cast<uint16_t>(bits));
    put32(20, static_cast<uint32_t>(stride * height));
    put32(32, static_cast<uint32_t>(colours));
    for (int i = 0; i < colours; ++i)
        dib[40 + i * 4] = dib[41 + i * 4] = dib[42 + i * 4] = static_cast<uint8_t>(i);
    uint8_t* pixels = &dib[40 + colours * 4];
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width * bits / 8; ++x)
            pixels[y * stride + x] = static_cast<uint8_t>((x * 7 + y * 13) & 0xFF);
    return dib;
}

// The manager as a test scripts it: what each call returns and what was asked.
struct FakeManager {
    TW_UINT16 openDsmRc = TWRC_SUCCESS;
    TW_UINT16 openDsRc = TWRC_SUCCESS;
    TW_UINT16 enableRc = TWRC_SUCCESS;
    TW_UINT16 userSelectRc = TWRC_SUCCESS;
    std::deque<TW_UINT16> events; // messages the event filter returns; then MSG_CLOSEDSREQ
    std::vector<TW_UINT16> transfers; // results of the native transfers in turn
    int stuckPending = -1; // >= 0: the count every MSG_ENDXFER reports
    int bits = 24;
    size_t next = 0;
    std::vector<TW_UINT16> calls;

    int Count(TW_UINT16 msg) const
    {
        return static_cast<int>(std::count(calls.begin(), calls.end(), msg));
    }
};

FakeManager* g_fake = nullptr;

TW_UINT16 FakeEntry(
    pTW_IDENTITY origin, pTW_IDENTITY, TW_UINT32 group, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data)
{
    FakeManager& f = *g_fake;
    EXPECT_STREQ(origin->ProductName, "vtl");
    f.calls.push_back(msg);
    if (group == DG_IMAGE && dat == DAT_IMAGENATIVEXFER) {
        if (f.next >= f.transfers.size())
            return TWRC_FAILURE;
        const TW_UINT16 rc = f.transfers[f.next++];
        if (rc == TWRC_XFERDONE) {
            auto dib = PackedDib(5, 3, f.bits);
            TW_HANDLE block = AllocDibBlock(dib.size());
            std::memcpy(DibBlockBytes(block), dib.data(), dib.size());
            *static_cast<TW_HANDLE*>(data) = block;
        }
        return rc;
    }
    switch (msg) {
    case MSG_OPENDSM:
        return f.openDsmRc;
    case MSG_GETDEFAULT:
        std::strcpy(static_cast<TW_IDENTITY*>(data)->ProductName, "fake");
        return TWRC_SUCCESS;
    case MSG_USERSELECT:
        return f.userSelectRc;
    case MSG_OPENDS:
        return f.openDsRc;
    case MSG_ENABLEDS:
        return f.enableRc;
    case MSG_PROCESSEVENT: {
        auto* event = static_cast<TW_EVENT*>(data);
        event->TWMessage = f.events.empty() ? MSG_CLOSEDSREQ : f.events.front();
        if (!f.events.empty())
            f.events.pop_front();
        return TWRC_DSEVENT;
    }
    case MSG_ENDXFER:
        static_cast<TW_PENDINGXFERS*>(data)->Count = static_cast<TW_UINT16>(
            f.stuckPending >= 0 ? f.stuckPending : f.transfers.size() - f.next);
        return TWRC_SUCCESS;
    case MSG_RESET:
        f.next = f.transfers.size();
        static_cast<TW_PENDINGXFERS*>(data)->Count = 0;
        return TWRC_SUCCESS;
    default:
        return TWRC_SUCCESS;
    }
}

uint16_t BitCountOf(const std::filesystem::path& bmp)
{
    std::ifstream in(bmp, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
    uint16_t bits = 0;
    if (bytes.size() >= 30 && bytes[0] == 'B' && bytes[1] == 'M')
        std::memcpy(&bits, &bytes[28], 2);
    return bits;
}

class TwainTest : public ::testing::Test {
protected:
    void SetUp() override { g_fake = &fake; }
    void TearDown() override { g_fake = nullptr; }
    TwainSession Session() { return TwainSession(&FakeEntry, nullptr, [this] { return ++pumped < 10000; }); }
    // Disable, close source and close manager ran, once each and last.
    void ExpectClosedDown()
    {
        ASSERT_GE(fake.calls.size(), 3u);
        const std::vector<TW_UINT16> tail(fake.calls.end() - 3, fake.calls.end());
        EXPECT_EQ(tail, (std::vector<TW_UINT16> { MSG_DISABLEDS, MSG_CLOSEDS, MSG_CLOSEDSM }));
        EXPECT_EQ(fake.Count(MSG_DISABLEDS), 1);
        EXPECT_EQ(fake.Count(MSG_CLOSEDS), 1);
    }
    FakeManager fake;
    TempDir dir;
    int pumped = 0;
};

} // namespace

TEST_F(TwainTest, ThreePagesToNumberedJpegFiles)
{
    fake.events = { MSG_NULL, MSG_XFERREADY };
    fake.transfers = { TWRC_XFERDONE, TWRC_XFERDONE, TWRC_XFERDONE };
    auto session = Session();
    EXPECT_EQ(session.AcquireToFiles(dir.Path() / "img", TwainFileFormat::Jpeg), TwainOutcome::Done);
    ASSERT_EQ(session.Written().size(), 3u);
    for (int n = 1; n <= 3; ++n) {
        const auto path = dir.Path() / ("img_" + std::to_string(n) + ".jpg");
        EXPECT_EQ(session.Written()[n - 1], path);
        std::ifstream in(path, std::ios::binary);
        unsigned char magic[2] = {};
        in.read(reinterpret_cast<char*>(magic), 2);
        EXPECT_EQ(magic[0], 0xFF);
        EXPECT_EQ(magic[1], 0xD8);
    }
    EXPECT_FALSE(std::filesystem::exists(dir.Path() / "img_4.jpg"));
    // The run ends with the transfers, without waiting for the source to ask to close.
    EXPECT_EQ(fake.Count(MSG_PROCESSEVENT), 2);
    ExpectClosedDown();
}

TEST_F(TwainTest, SourceClosedWithoutScanGivesNothing)
{
    auto session = Session();
    EXPECT_EQ(session.AcquireForDocuments(), TwainOutcome::Done);
    EXPECT_EQ(session.PicturesReceived(), 0u);
    vtl::platform::TBitmap picture;
    EXPECT_FALSE(session.NextAcquired(picture));
    EXPECT_EQ(fake.Count(MSG_GET), 0);
    ExpectClosedDown();
}

TEST_F(TwainTest, FileFormatsKeepOrReduceTheDepth)
{
    struct Case {
        int bits;
        TwainFileFormat format;
        uint16_t written;
    };
    const Case cases[] = { { 24, TwainFileFormat::Bmp, 24 }, { 24, TwainFileFormat::Bmp256, 8 },
        { 8, TwainFileFormat::Bmp256, 8 }, { 24, TwainFileFormat::BmpGrey16, 4 },
        { 8, TwainFileFormat::BmpGrey16, 4 } };
    int n = 0;
    for (const Case& c : cases) {
        fake = FakeManager {};
        fake.bits = c.bits;
        fake.events = { MSG_XFERREADY };
        fake.transfers = { TWRC_XFERDONE };
        auto session = Session();
        const auto base = dir.Path() / ("case" + std::to_string(++n));
        session.AcquireToFiles(base, c.format);
        ASSERT_EQ(session.Written().size(), 1u) << n;
        EXPECT_EQ(session.Written()[0].extension(), ".bmp");
        EXPECT_EQ(BitCountOf(session.Written()[0]), c.written) << "case " << n;
    }
    fake = FakeManager {};
    fake.events = { MSG_XFERREADY };
    fake.transfers = { TWRC_XFERDONE };
    auto session = Session();
    session.AcquireToFiles(dir.Path() / "p", TwainFileFormat::Png);
    ASSERT_EQ(session.Written().size(), 1u);
    EXPECT_EQ(session.Written()[0], dir.Path() / "p_1.png");
}

TEST_F(TwainTest, CancelledTransferIsSkipped)
{
    fake.events = { MSG_XFERREADY };
    fake.transfers = { TWRC_XFERDONE, TWRC_CANCEL, TWRC_XFERDONE };
    auto session = Session();
    EXPECT_EQ(session.AcquireForDocuments(), TwainOutcome::Done);
    EXPECT_EQ(session.PicturesReceived(), 2u);
    vtl::platform::TBitmap picture;
    ASSERT_TRUE(session.NextAcquired(picture));
    EXPECT_EQ(picture.Width(), 5);
    EXPECT_EQ(picture.Height(), 3);
    EXPECT_TRUE(session.NextAcquired(picture));
    EXPECT_FALSE(session.NextAcquired(picture));

    // To files, the cancelled page takes no number.
    fake = FakeManager {};
    fake.events = { MSG_XFERREADY };
    fake.transfers = { TWRC_CANCEL, TWRC_XFERDONE };
    session.AcquireToFiles(dir.Path() / "img", TwainFileFormat::Bmp);
    ASSERT_EQ(session.Written().size(), 1u);
    EXPECT_EQ(session.Written()[0], dir.Path() / "img_1.bmp");
    ExpectClosedDown();
}

TEST_F(TwainTest, FailingTransferEndsTheRun)
{
    fake.events = { MSG_XFERREADY, MSG_XFERREADY, MSG_XFERREADY };
    fake.transfers = { TWRC_XFERDONE, TWRC_FAILURE, TWRC_FAILURE, TWRC_FAILURE };
    fake.stuckPending = 1; // the source claims one more page for ever
    auto session = Session();
    EXPECT_EQ(session.AcquireForDocuments(), TwainOutcome::Done);
    EXPECT_EQ(fake.Count(MSG_GET), 2);
    EXPECT_EQ(fake.Count(MSG_RESET), 1);
    EXPECT_EQ(fake.Count(MSG_PROCESSEVENT), 1);
    EXPECT_EQ(session.PicturesReceived(), 1u); // what came before the failure is kept
    EXPECT_TRUE(session.TransferFailed());
    // The next run starts without the mark.
    fake = FakeManager {};
    fake.events = { MSG_XFERREADY };
    fake.transfers = { TWRC_CANCEL, TWRC_XFERDONE };
    EXPECT_EQ(session.AcquireForDocuments(), TwainOutcome::Done);
    EXPECT_FALSE(session.TransferFailed());
    ExpectClosedDown();
}

TEST_F(TwainTest, TableStopsAt999Pictures)
{
    fake.events = { MSG_XFERREADY };
    fake.transfers.assign(1005, TWRC_XFERDONE);
    auto session = Session();
    session.AcquireForDocuments();
    EXPECT_EQ(session.PicturesReceived(), kTwainMaxPictures);
    EXPECT_EQ(fake.Count(MSG_RESET), 1);
    ExpectClosedDown();
}

TEST_F(TwainTest, FailuresToOpenCloseWhatWasOpened)
{
    fake.openDsmRc = TWRC_FAILURE;
    EXPECT_EQ(Session().AcquireForDocuments(), TwainOutcome::CannotOpen);
    EXPECT_EQ(fake.calls, (std::vector<TW_UINT16> { MSG_OPENDSM }));

    fake = FakeManager {};
    fake.openDsRc = TWRC_FAILURE;
    EXPECT_EQ(Session().AcquireForDocuments(), TwainOutcome::CannotOpen);
    EXPECT_EQ(fake.calls,
        (std::vector<TW_UINT16> { MSG_OPENDSM, MSG_GETDEFAULT, MSG_OPENDS, MSG_CLOSEDSM }));

    fake = FakeManager {};
    fake.enableRc = TWRC_FAILURE;
    EXPECT_EQ(Session().AcquireForDocuments(), TwainOutcome::CannotOpen);
    EXPECT_EQ(fake.Count(MSG_PROCESSEVENT), 0);
    ExpectClosedDown();
}

TEST_F(TwainTest, WriteErrorStillClosesTheSource)
{
    fake.events = { MSG_XFERREADY };
    fake.transfers = { TWRC_XFERDONE, TWRC_XFERDONE };
    auto session = Session();
    EXPECT_ANY_THROW(session.AcquireToFiles(dir.Path() / "missing" / "img", TwainFileFormat::Bmp));
    EXPECT_EQ(fake.Count(MSG_RESET), 1);
    ExpectClosedDown();
}

TEST_F(TwainTest, QuittingEndsTheLoop)
{
    fake.events.assign(50, MSG_NULL);
    TwainSession session(&FakeEntry, nullptr, [this] { return ++pumped < 4; });
    session.AcquireForDocuments();
    EXPECT_EQ(fake.Count(MSG_PROCESSEVENT), 3);
    ExpectClosedDown();
}

TEST_F(TwainTest, SelectionGoesThroughTheManager)
{
    auto session = Session();
    EXPECT_EQ(session.SelectSource(), TwainOutcome::Done);
    EXPECT_EQ(fake.calls,
        (std::vector<TW_UINT16> { MSG_OPENDSM, MSG_GETDEFAULT, MSG_USERSELECT, MSG_CLOSEDSM }));
    EXPECT_STREQ(session.SelectedSource().ProductName, "fake");

    fake = FakeManager {};
    fake.openDsmRc = TWRC_FAILURE;
    EXPECT_EQ(session.SelectSource(), TwainOutcome::CannotOpen);
}

TEST(TwainLibraryTest, MissingLibraryOrEntry)
{
    TwainLibrary missing("/nonexistent/vtltwain.so");
    EXPECT_EQ(missing.Status(), TwainLibrary::State::NotInstalled);
    EXPECT_EQ(missing.Entry(), nullptr);
    const std::filesystem::path other = "/lib/x86_64-linux-gnu/libz.so.1";
    if (std::filesystem::exists(other)) {
        TwainLibrary noEntry(other);
        EXPECT_EQ(noEntry.Status(), TwainLibrary::State::NoEntry);
    }
}
