// Files of a few hundred bytes that claim pictures of gigabytes: each reader prices the claim
// before it allocates, refuses what is over the budget with the size it would need, and opens
// what fits.

#include "browse/folder_thumbs.h"
#include "document/dib_bmp.h"
#include "input/archive_access.h"
#include "input/picture_loader.h"
#include "plugin_fixture.h"
#include "support/hostile_pictures.h"

#include <gmock/gmock.h>

#include <chrono>

namespace vtl::input {
namespace {

    using namespace vtl::testing::hostile;
    using platform::EPictureTooLarge;
    using platform::MemoryBudget;
    constexpr uint64_t kMiB = uint64_t(1) << 20;

    class BudgetTest : public testing::PluginTest {
    protected:
        void SetUp() override
        {
            testing::PluginTest::SetUp();
            if (IsSkipped())
                return;
            PluginFolders folders { m_dir.Path(), testing::OwnPluginDir() };
            m_registry = std::make_unique<PluginRegistry>(folders);
            m_registry->SetLines(OwnPluginLines(folders));
        }
        // Opens `bytes` saved as `name` with a budget of `megabytes`.
        FileOpenResult Open(const std::string& name, const Bytes& bytes, int64_t megabytes,
            platform::TBitmap& picture)
        {
            DecodeContext context;
            context.budget = MemoryBudget::FromMegabytes(megabytes);
            return OpenPictureFile(*m_registry, File(name, bytes), picture, context);
        }
        std::unique_ptr<PluginRegistry> m_registry;
    };

    TEST(MemoryBudget, CostsAndMessages)
    {
        // A 24-bit 1000 x 1000 picture: two copies of 3 MB and a screen's worth.
        EXPECT_EQ(platform::OpeningCost(1000, 1000, 24), 6'000'000 + 64 * kMiB);
        EXPECT_EQ(platform::OpeningCost(3, 1, 4), 2 * 2 + 64 * kMiB); // half bytes round up
        EXPECT_EQ(platform::OpeningCost(0, 1000, 24), 0u);
        EXPECT_EQ(platform::OpeningCost(INT32_MAX, INT32_MAX, 64), UINT64_MAX);
        EXPECT_EQ(platform::OpeningCost(int64_t(1) << 40, 1, 8), UINT64_MAX);

        const MemoryBudget budget = MemoryBudget::FromMegabytes(100);
        EXPECT_EQ(budget.bytes, 100 * kMiB);
        EXPECT_NO_THROW(budget.Require(100 * kMiB));
        try {
            budget.Require(250 * kMiB + 1);
            ADD_FAILURE() << "over the budget";
        } catch (const EPictureTooLarge& e) {
            EXPECT_STREQ(e.what(), "画像が大きすぎます。開くには約 251 MB のメモリが必要ですが、上限は 100 MB です。");
        }
        // The automatic budget is half of the machine's memory; thumbnails get an eighth of it.
        EXPECT_EQ(MemoryBudget::FromMegabytes(0).bytes, std::max<uint64_t>(platform::PhysicalMemory() / 2, 256 * kMiB));
        EXPECT_EQ(MemoryBudget::FromMegabytes(1024).ForThumbnails().bytes, 128 * kMiB);
        EXPECT_EQ(MemoryBudget::FromMegabytes(1 << 20).ForThumbnails().bytes, 512 * kMiB);
    }

    TEST_F(BudgetTest, RunLengthBitmapsThatEndAtOnce)
    {
        // 100000 x 1538 at 4 bits is 77 MB of pixels from a file of 124 bytes.
        platform::TBitmap picture;
        EXPECT_THROW(Open("rle4.bmp", RleBmp(4, 100000, 1538), 200, picture), EPictureTooLarge);
        EXPECT_TRUE(picture.Empty());
        auto opened = Open("rle4.bmp", RleBmp(4, 100000, 1538), 300, picture);
        ASSERT_EQ(opened.outcome, FileOpenOutcome::Picture);
        EXPECT_EQ(picture.Width(), 100000);
        EXPECT_EQ(picture.PixelFormat(), platform::TPixelFormat::pf4bit);

        // The 8-bit form claims a gigabyte and a half: refused by the budget a desktop gets.
        platform::TBitmap big;
        try {
            Open("rle8.bmp", RleBmp(8, 262140, 6000), 2048, big);
            ADD_FAILURE() << "two copies of 1.5 GB are over a 2 GB budget";
        } catch (const EPictureTooLarge& e) {
            EXPECT_EQ(e.Need(), platform::OpeningCost(262140, 6000, 8));
            EXPECT_THAT(e.what(), ::testing::HasSubstr("上限は 2048 MB"));
        }
        EXPECT_TRUE(big.Empty());
    }

    TEST_F(BudgetTest, PngAndJpegHeadersArePricedBeforeDecoding)
    {
        platform::TBitmap picture;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_THROW(Open("huge.png", HugePng(60000, 60000), 1024, picture), EPictureTooLarge);
        EXPECT_THROW(Open("huge.jpg", HugeJpeg(60000, 60000), 1024, picture), EPictureTooLarge);
        // Refused from the header: no time spent on pixels.
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
        // Under the budget the readers get the file and refuse the missing data themselves.
        try {
            Open("small.png", HugePng(600, 400), 1024, picture);
        } catch (const EPictureTooLarge&) {
            ADD_FAILURE() << "600 x 400 is within the budget";
        } catch (const std::exception&) {
        }
        EXPECT_TRUE(picture.Empty());
    }

    TEST_F(BudgetTest, PluginPicturesAreRefusedWithTheirSize)
    {
        if (!std::filesystem::exists(testing::OwnPluginDir() / "vtlgif.spi"))
            GTEST_SKIP() << "own plug-ins not built";
        // 5000 x 5000 is the largest kind of claim a plug-in may make (sides of 10240 at most).
        platform::TBitmap picture;
        auto refused = Open("huge.gif", HugeGif(5000, 5000), 150, picture);
        EXPECT_EQ(refused.outcome, FileOpenOutcome::Failed);
        EXPECT_THAT(refused.message, ::testing::HasSubstr("MB のメモリが必要ですが、上限は 150 MB です。"));
        EXPECT_TRUE(picture.Empty());

        // Archive members and the browser's thumbnails are held to the thumbnail budget.
        DecodeContext context;
        context.budget = MemoryBudget::FromMegabytes(1024); // thumbnails: 128 MB
        document::TDIB member;
        const Bytes gif = HugeGif(5000, 5000);
        EXPECT_EQ(DecodeFromMemory(*m_registry, member, gif, "m.gif", false, context), MemoryDecode::Failed);
        EXPECT_EQ(DecodeFileByPlugin(*m_registry, picture, File("t.gif", gif), true, context), false);
    }

    TEST_F(BudgetTest, ThumbnailsOfHugeClaimsAreListedAsFailures)
    {
        std::filesystem::create_directory(m_dir / "pics");
        vtl::testing::WriteFile(m_dir / "pics" / "a.png", testing::AsText(HugePng(20000, 20000)));
        vtl::testing::WriteFile(m_dir / "pics" / "b.bmp", testing::AsText(RleBmp(8, 40000, 40000)));
        vtl::testing::WriteFile(m_dir / "pics" / "c.jpg", testing::AsText(HugeJpeg(65000, 65000)));
        browse::FolderScanHooks hooks;
        hooks.budget = MemoryBudget::FromMegabytes(1024).ForThumbnails();
        browse::FolderThumbnails thumbs(browse::ThumbSizeOfIndex(0), hooks);
        thumbs.SelectFolder(m_dir / "pics");
        EXPECT_TRUE(thumbs.Names().empty());
        ASSERT_EQ(thumbs.Failures().size(), 3u);
        for (const auto& failure : thumbs.Failures())
            EXPECT_THAT(failure.message, ::testing::HasSubstr("上限は 128 MB")) << failure.file;
    }

} // namespace
} // namespace vtl::input

namespace vtl::input {
namespace {
    // Uncompressed pixels come whole from the file: a BMP is priced from its headers before
    // they are read, so a file of gigabytes is refused without reading it.
    TEST_F(BudgetTest, BitmapsArePricedBeforeTheirPixelsAreRead)
    {
        auto header = RleBmp(8, 30000, 30000);
        header[30] = 0; // BI_RGB: 900 MB of pixels the file claims to hold
        platform::TBitmap picture;
        try {
            Open("plain.bmp", header, 1024, picture);
            ADD_FAILURE() << "1.8 GB to open is over 1 GB";
        } catch (const EPictureTooLarge& e) {
            EXPECT_EQ(e.Need(), platform::OpeningCost(30000, 30000, 8));
        }
        auto size = document::PeekBmpSize(RleBmp(4, 7, -3));
        ASSERT_TRUE(size);
        EXPECT_EQ(size->width, 7);
        EXPECT_EQ(size->height, 3);
        EXPECT_EQ(size->bitsPerPixel, 4);
        EXPECT_FALSE(document::PeekBmpSize(HugePng(1, 1)));
    }
} // namespace
} // namespace vtl::input
