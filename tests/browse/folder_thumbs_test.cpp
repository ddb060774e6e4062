#include "browse/folder_thumbs.h"
#include "browse/thumb_cache.h"
#include "codecs/jpeg_encoder.h"
#include "codecs/png_image.h"
#include "support/temp_dir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>

namespace vtl::browse {
namespace {

    namespace fs = std::filesystem;
    using ::testing::ElementsAre;
    using Lines = std::vector<std::string>;
    using platform::Rgb;
    using platform::TBitmap;

    constexpr ThumbSize k64 = kThumbSizes[0];
    // A fixed moment for the cache file; pictures are made before or after it.
    constexpr int64_t kCacheTime = 1'700'000'000;

    TBitmap Picture(int32_t w, int32_t h, platform::TColor colour)
    {
        TBitmap bitmap(w, h, platform::TPixelFormat::pf24bit);
        bitmap.Canvas().Brush.Color = colour;
        bitmap.Canvas().FillRect(platform::Rect(0, 0, w, h));
        return bitmap;
    }

    void SetTime(const fs::path& path, int64_t seconds)
    {
        timespec times[2] = { { time_t(seconds), 0 }, { time_t(seconds), 0 } };
        ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
    }

    void MakeBmp(const fs::path& path, platform::TColor colour = Rgb(255, 0, 0))
    {
        Picture(40, 30, colour).SaveToFile(path);
        SetTime(path, kCacheTime - 100);
    }

    void MakePng(const fs::path& path)
    {
        codecs::TPngImage png;
        png.Assign(Picture(300, 100, Rgb(0, 0, 255)));
        png.SaveToFile(path);
        SetTime(path, kCacheTime - 100);
    }

    void MakeJpeg(const fs::path& path, int32_t w = 640, int32_t h = 480)
    {
        auto bytes = codecs::EncodeJpeg(Picture(w, h, Rgb(0, 255, 0)), 90);
        testing::WriteFile(path, std::string(bytes.begin(), bytes.end()));
        SetTime(path, kCacheTime - 100);
    }

    // Leaves the folder as the browser does, with the cache dated kCacheTime.
    void Leave(FolderThumbnails& thumbs, bool save = true)
    {
        fs::path cache = thumbs.FolderPath() / kFolderCacheName;
        thumbs.SaveCache(save);
        if (fs::exists(cache))
            SetTime(cache, kCacheTime);
    }

    Lines CacheLinesOf(const fs::path& cache)
    {
        Lines lines;
        TSumImg store(k64);
        LoadThumbCache(cache, lines, store);
        return lines;
    }

    TEST(PackedStamp, PacksLocalTimeLikeADirectoryEntry)
    {
        const char* oldTz = std::getenv("TZ");
        std::string saved = oldTz ? oldTz : "";
        setenv("TZ", "UTC", 1);
        tzset();
        // 2026-12-08 06:00:11 UTC: seconds are kept in 2-second steps.
        const int64_t t = 1796709611;
        EXPECT_EQ(
            PackedStamp(t), uint32_t((46u << 9 | 12u << 5 | 8u) << 16 | (6u << 11 | 0u << 5 | 5u)));
        EXPECT_EQ(PackedStamp(t - 1), PackedStamp(t));
        EXPECT_LT(PackedStamp(t), PackedStamp(t + 1));
        EXPECT_EQ(PackedStamp(0), 0x00210000u); // before 1980
        // Stamps from 2044 on have the top bit set and still sort after earlier ones.
        EXPECT_LT(PackedStamp(2335219200 - 86400 * 30), PackedStamp(2335219200 + 86400 * 30));
        if (oldTz)
            setenv("TZ", saved.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

    TEST(BuiltInEntries, ClassifyByLowerCaseExtension)
    {
        EXPECT_EQ(BuiltInPictureEntry("a.SNX"), kEntryCache);
        EXPECT_EQ(BuiltInPictureEntry("dir.x/a.Bmp"), kEntryBmp);
        EXPECT_EQ(BuiltInPictureEntry("IMG.JPG"), kEntryJpg);
        EXPECT_EQ(BuiltInPictureEntry("a.jpeg"), kEntryJpeg);
        EXPECT_EQ(BuiltInPictureEntry("a.png"), kEntryPng);
        EXPECT_EQ(BuiltInPictureEntry("a.jpe"), kEntryNone);
        EXPECT_EQ(BuiltInPictureEntry("png"), kEntryNone);
        EXPECT_EQ(BuiltInPictureEntry("a.png.txt"), kEntryNone);
    }

    TEST(FolderThumbnails, BuildsAFreshFolderAndSavesItsCache)
    {
        testing::TempDir dir;
        MakeJpeg(dir / "b.jpg");
        MakePng(dir / "A.PNG");
        MakeBmp(dir / "c.bmp");
        MakeBmp(dir / ".hidden.bmp");
        testing::WriteFile(dir / "notes.txt", "text");
        testing::WriteFile(dir / "vtl.idx", "old");
        fs::create_directory(dir / "sub.jpg");

        FolderThumbnails thumbs(k64);
        thumbs.SelectFolder(dir.Path().string() + "/");
        EXPECT_EQ(thumbs.FolderPath(), dir.Path());
        EXPECT_THAT(thumbs.Names(), ElementsAre("A.PNG", "b.jpg", "c.bmp"));
        EXPECT_EQ(thumbs.Store().Count(), 3);
        EXPECT_TRUE(thumbs.Modified());
        EXPECT_FALSE(thumbs.EditMode());
        EXPECT_EQ(thumbs.CacheStamp(), 0u);

        ASSERT_TRUE(thumbs.SaveCache(true));
        EXPECT_FALSE(thumbs.Modified());
        EXPECT_THAT(CacheLinesOf(dir / "vtl.snx"), ElementsAre("%vtl%", "A.PNG", "b.jpg", "c.bmp"));
        EXPECT_FALSE(fs::exists(dir / "vtl.idx"));
        // Nothing changed since: leaving again writes nothing.
        EXPECT_FALSE(thumbs.SaveCache(true));
    }

    TEST(FolderThumbnails, ThumbnailsShowThePictures)
    {
        testing::TempDir dir;
        MakePng(dir / "wide.png"); // 300 x 100 blue
        FolderThumbnails thumbs(k64);
        thumbs.SelectFolder(dir.Path());
        ASSERT_EQ(thumbs.Store().Count(), 1);
        TBitmap canvas = Picture(64, 48, Rgb(0, 0, 0));
        thumbs.Store().Draw(canvas.Canvas(), 0, 0, 0);
        EXPECT_EQ(canvas.Pixel(30, 5), Rgb(255, 255, 255));
        EXPECT_EQ(canvas.Pixel(30, 24), Rgb(0, 0, 255));
    }

    TEST(FolderThumbnails, FollowsDeletedAddedAndChangedFiles)
    {
        testing::TempDir dir;
        MakeJpeg(dir / "a.jpg");
        MakeJpeg(dir / "b.jpg");
        FolderThumbnails thumbs(k64);
        thumbs.SelectFolder(dir.Path());
        Leave(thumbs);

        fs::remove(dir / "b.jpg");
        MakePng(dir / "c.png");
        thumbs.SelectFolder(dir.Path());
        EXPECT_NE(thumbs.CacheStamp(), 0u);
        EXPECT_THAT(thumbs.Names(), ElementsAre("a.jpg", "c.png"));
        EXPECT_TRUE(thumbs.Modified());
        Leave(thumbs);

        // Unchanged: everything comes from the cache.
        thumbs.SelectFolder(dir.Path());
        EXPECT_THAT(thumbs.Names(), ElementsAre("a.jpg", "c.png"));
        EXPECT_FALSE(thumbs.Modified());
        EXPECT_FALSE(thumbs.SaveCache(true));

        // A change moves the file to the end.
        SetTime(dir / "a.jpg", kCacheTime + 10);
        thumbs.SelectFolder(dir.Path());
        EXPECT_THAT(thumbs.Names(), ElementsAre("c.png", "a.jpg"));
        EXPECT_EQ(thumbs.Store().Count(), 2);
    }

    TEST(FolderThumbnails, UnchangedFilesAreNotDecodedAgain)
    {
        testing::TempDir dir;
        MakeBmp(dir / "a.bmp");
        FolderThumbnails thumbs(k64);
        thumbs.SelectFolder(dir.Path());
        Leave(thumbs);
        // Damage the picture but keep its old stamp: the cached thumbnail is used.
        testing::WriteFile(dir / "a.bmp", "not a picture");
        SetTime(dir / "a.bmp", kCacheTime - 100);
        EXPECT_NO_THROW(thumbs.SelectFolder(dir.Path()));
        EXPECT_THAT(thumbs.Names(), ElementsAre("a.bmp"));
    }

    TEST(FolderThumbnails, EditModeShowsTheCacheAsItIs)
    {
        testing::TempDir dir;
        MakeBmp(dir / "a.bmp");
        MakeBmp(dir / "b.bmp");
        FolderThumbnails thumbs(k64);
        thumbs.SelectFolder(dir.Path());
        thumbs.SetEditMode(true);
        Leave(thumbs);
        EXPECT_THAT(CacheLinesOf(dir / "vtl.snx"), ElementsAre("%vtl_e%", "a.bmp", "b.bmp"));

        fs::remove(dir / "a.bmp");
        fs::remove(dir / "b.bmp");
        MakeBmp(dir / "c.bmp");
        thumbs.SelectFolder(dir.Path());
        EXPECT_TRUE(thumbs.EditFlag());
        EXPECT_TRUE(thumbs.EditMode());
        EXPECT_THAT(thumbs.Names(), ElementsAre("a.bmp", "b.bmp"));
        EXPECT_FALSE(thumbs.Modified());
        // Removing in edit mode only drops the entry.
        thumbs.RemoveEntry(0);
        EXPECT_THAT(thumbs.Names(), ElementsAre("b.bmp"));
        Leave(thumbs);
        EXPECT_THAT(CacheLinesOf(dir / "vtl.snx"), ElementsAre("%vtl_e%", "b.bmp"));

        // Turning edit mode off rewrites the marker; the next visit scans again.
        thumbs.SelectFolder(dir.Path());
        thumbs.SetEditMode(false);
        EXPECT_TRUE(thumbs.SaveCache(true));
        EXPECT_THAT(CacheLinesOf(dir / "vtl.snx"), ElementsAre("%vtl%", "b.bmp"));
        SetTime(dir / "vtl.snx", kCacheTime);
        thumbs.SelectFolder(dir.Path());
        EXPECT_FALSE(thumbs.EditMode());
        EXPECT_THAT(thumbs.Names(), ElementsAre("c.bmp"));
    }

    TEST(FolderThumbnails, EmptiedFolderDeletesItsCache)
    {
        testing::TempDir dir;
        MakeBmp(dir / "a.bmp");
        FolderThumbnails thumbs(k64);
        thumbs.SelectFolder(dir.Path());
        Leave(thumbs);
        fs::remove(dir / "a.bmp");

        thumbs.SelectFolder(dir.Path());
        EXPECT_TRUE(thumbs.Names().empty());
        EXPECT_TRUE(thumbs.Modified());
        // With Save off nothing is written or deleted; the cache is still read next time.
        thumbs.SaveCache(false);
        EXPECT_TRUE(fs::exists(dir / "vtl.snx"));
        thumbs.SelectFolder(dir.Path());
        EXPECT_TRUE(thumbs.SaveCache(true));
        EXPECT_FALSE(fs::exists(dir / "vtl.snx"));
    }

    TEST(FolderThumbnails, VirtualFolderTouchesNoFile)
    {
        testing::TempDir dir;
        MakeBmp(dir / "a.bmp");
        FolderThumbnails thumbs(k64);
        thumbs.SelectFolder(dir.Path());
        Leave(thumbs);
        const std::string before = testing::ReadFile(dir / "vtl.snx");

        for (const fs::path& folder : { fs::path(), dir / "missing" }) {
            thumbs.SelectFolder(folder);
            EXPECT_TRUE(thumbs.Names().empty());
            EXPECT_TRUE(thumbs.FolderPath().empty());
            thumbs.SetEditMode(!thumbs.EditMode());
            EXPECT_FALSE(thumbs.SaveCache(true));
        }
        EXPECT_EQ(testing::ReadFile(dir / "vtl.snx"), before);
    }

    TEST(FolderThumbnails, DamagedOrForeignCacheIsRebuilt)
    {
        testing::TempDir dir;
        MakeBmp(dir / "a.bmp");
        testing::WriteFile(dir / "vtl.snx", "WTL0\x40\x00\x30\x00 garbage");
        FolderThumbnails thumbs(k64);
        thumbs.SelectFolder(dir.Path());
        EXPECT_THAT(thumbs.Names(), ElementsAre("a.bmp"));
        Leave(thumbs);
        EXPECT_THAT(CacheLinesOf(dir / "vtl.snx"), ElementsAre("%vtl%", "a.bmp"));

        // A cache of another size is ignored and then overwritten in this size.
        FolderThumbnails larger(ThumbSizeOfIndex(4));
        larger.SelectFolder(dir.Path());
        EXPECT_THAT(larger.Names(), ElementsAre("a.bmp"));
        EXPECT_TRUE(larger.Modified());

        // A marker the folder does not know (an archive cache's) counts as no cache.
        SaveThumbCache(dir / "vtl.snx", { "%vtl_a%", "0,1,a.bmp" }, thumbs.Store());
        SetTime(dir / "vtl.snx", kCacheTime);
        thumbs.SelectFolder(dir.Path());
        EXPECT_THAT(thumbs.Names(), ElementsAre("a.bmp"));
        EXPECT_TRUE(thumbs.Modified());
    }

    TEST(FolderThumbnails, AnUnreadablePictureIsLeftOutAndTheScanGoesOn)
    {
        testing::TempDir dir;
        MakeBmp(dir / "old.bmp");
        MakeBmp(dir / "z.bmp");
        FolderThumbnails thumbs(k64);
        thumbs.SelectFolder(dir.Path());
        Leave(thumbs);
        fs::remove(dir / "old.bmp");
        MakeBmp(dir / "a.bmp");
        MakePng(dir / "b.png");
        fs::resize_file(dir / "b.png", fs::file_size(dir / "b.png") / 2);
        testing::WriteFile(dir / "c.jpg", "not a jpeg");
        MakeBmp(dir / "d.bmp");

        thumbs.SelectFolder(dir.Path());
        // The pictures after the damaged ones are there, the cached one gone from the folder is
        // dropped, and the damaged ones are named in scan order.
        EXPECT_THAT(thumbs.Names(), ElementsAre("z.bmp", "a.bmp", "d.bmp"));
        EXPECT_EQ(thumbs.Store().Count(), 3);
        ASSERT_EQ(thumbs.Failures().size(), 2u);
        EXPECT_EQ(thumbs.Failures()[0].file, dir / "b.png");
        EXPECT_FALSE(thumbs.Failures()[0].message.empty());
        EXPECT_EQ(thumbs.Failures()[1].file, dir / "c.jpg");

        // They never reach the cache, so each visit tries them again; a mended file is shown.
        Leave(thumbs);
        EXPECT_THAT(
            CacheLinesOf(dir / kFolderCacheName), ElementsAre("%vtl%", "z.bmp", "a.bmp", "d.bmp"));
        MakePng(dir / "b.png");
        SetTime(dir / "b.png", kCacheTime + 100);
        thumbs.SelectFolder(dir.Path());
        EXPECT_THAT(thumbs.Names(), ElementsAre("z.bmp", "a.bmp", "d.bmp", "b.png"));
        ASSERT_EQ(thumbs.Failures().size(), 1u);
        EXPECT_EQ(thumbs.Failures()[0].file, dir / "c.jpg");
    }

    TEST(FolderThumbnails, PluginFormatsGoThroughTheHooks)
    {
        testing::TempDir dir;
        for (const char* name :
            { "good.gif", "declined.gif", "unclaimed.gif", "throws.gif", "x.tif" })
            testing::WriteFile(dir / name, "data");
        int asked = 0;
        FolderScanHooks hooks;
        hooks.findEntry = [](std::string_view name) {
            if (name.ends_with(".gif"))
                return 5;
            return BuiltInPictureEntry(name);
        };
        hooks.decodeByPlugin = [&](TBitmap& bitmap, const fs::path& file) {
            ++asked;
            std::string name = file.filename().string();
            if (name == "throws.gif")
                throw std::runtime_error("plug-in trouble");
            if (name == "good.gif")
                bitmap = Picture(20, 20, Rgb(0, 0, 0));
            return name != "declined.gif";
        };
        FolderThumbnails thumbs(k64, hooks);
        thumbs.SelectFolder(dir.Path());
        EXPECT_EQ(asked, 4);
        EXPECT_THAT(thumbs.Names(), ElementsAre("good.gif"));

        // Without a plug-in hook such files are skipped.
        FolderThumbnails plain(k64, { hooks.findEntry, {} });
        plain.SelectFolder(dir.Path());
        EXPECT_TRUE(plain.Names().empty());
    }

    TEST(FolderThumbnails, SmallAndLargeJpegsBecomeThumbnails)
    {
        testing::TempDir dir;
        MakeJpeg(dir / "tiny.jpg", 12, 9); // decoded at full size
        MakeJpeg(dir / "big.jpeg", 1600, 1200); // decoded at one eighth
        FolderThumbnails thumbs(ThumbSizeOfIndex(4));
        thumbs.SelectFolder(dir.Path());
        ASSERT_THAT(thumbs.Names(), ElementsAre("big.jpeg", "tiny.jpg"));
        TBitmap canvas = Picture(128, 96, Rgb(0, 0, 0));
        thumbs.Store().Draw(canvas.Canvas(), 0, 0, 0);
        EXPECT_EQ(canvas.Pixel(64, 48), Rgb(0, 255, 0));
        thumbs.Store().Draw(canvas.Canvas(), 0, 0, 1);
        EXPECT_EQ(canvas.Pixel(0, 0), Rgb(255, 255, 255)); // 12 x 9 sits in the middle
        EXPECT_EQ(canvas.Pixel(64, 48), Rgb(0, 255, 0));
    }

} // namespace
} // namespace vtl::browse
