// The folder listing shared by the browser's scan and the stepping of documents: which files are
// listed, the listing and natural orders, and where a step lands.

#include "browse/folder_listing.h"
#include "browse/folder_thumbs.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace vtl::browse {
namespace {

    namespace fs = std::filesystem;
    using Names = std::vector<std::string>;

    Names Sorted(Names names, bool natural)
    {
        std::sort(names.begin(), names.end(), [natural](const std::string& a, const std::string& b) {
            return natural ? NaturalOrder(a, b) : ListingOrder(a, b);
        });
        return names;
    }

    TEST(FolderListing, NaturalOrderComparesNumbersByValue)
    {
        // Each row is in natural order; the listing order of the same names differs where noted.
        const std::vector<Names> rows = {
            { "img1.jpg", "img2.jpg", "img10.jpg", "img11.jpg", "img100.jpg" },
            { "a9b", "a10", "a10b", "a10c2", "a10c10" },
            // Equal values: leading zeros and case only break the tie, as the listing does.
            { "img007.jpg", "img07.jpg", "IMG7.jpg", "img7.jpg" },
            // Numbers longer than any machine integer still compare by value.
            { "p99999999999999999999", "p100000000000000000000", "p100000000000000000001" },
            // Letters without case, and a name before the longer names it begins.
            { "Apple2", "apple10", "b", "B1", "b1.png" },
            // Characters below the digits stand before numbers, letters after.
            { "x-1", "x.1", "x0", "x5", "x_1", "xa" },
        };
        for (const Names& row : rows) {
            SCOPED_TRACE(row.front());
            for (size_t i = 0; i + 1 < row.size(); ++i) {
                EXPECT_TRUE(NaturalOrder(row[i], row[i + 1])) << row[i] << " < " << row[i + 1];
                EXPECT_FALSE(NaturalOrder(row[i + 1], row[i])) << row[i + 1] << " !< " << row[i];
            }
            // Whatever order the names come in, sorting gives the row back.
            Names shuffled = row;
            std::mt19937 random(7);
            for (int k = 0; k < 5; ++k) {
                std::shuffle(shuffled.begin(), shuffled.end(), random);
                EXPECT_EQ(Sorted(shuffled, true), row);
            }
        }
        EXPECT_EQ(Sorted({ "img10.jpg", "img2.jpg", "img1.jpg" }, false),
            (Names { "img1.jpg", "img10.jpg", "img2.jpg" }));
        EXPECT_FALSE(NaturalOrder("same", "same"));
    }

    TEST(FolderListing, ListingOrderIgnoresCaseAndPutsPrefixesFirst)
    {
        EXPECT_EQ(Sorted({ "b.bmp", "B.bmp", "a.BMP", "ab", "A" }, false),
            (Names { "A", "a.BMP", "ab", "B.bmp", "b.bmp" }));
    }

    TEST(FolderListing, OnlyPicturesThatTheBrowserListsAreListed)
    {
        testing::TempDir dir;
        for (const char* name : { "img10.jpg", "img2.PNG", "img1.bmp", "notes.txt", "vtl.snx",
                 ".hidden.bmp", "photo.tif", "noext" })
            testing::WriteFile(dir / name, "x");
        fs::create_directory(dir / "folder.bmp");
        fs::create_symlink(dir / "img1.bmp", dir / "link.bmp");
        fs::create_symlink(dir / "gone.bmp", dir / "dangling.bmp");

        // The built-in entries when no plug-in is registered: "*.tif" is nobody's.
        EXPECT_EQ(ListFolderPictures(dir.Path(), {}, false),
            (Names { "img1.bmp", "img10.jpg", "img2.PNG", "link.bmp" }));
        EXPECT_EQ(ListFolderPictures(dir.Path(), {}, true),
            (Names { "img1.bmp", "img2.PNG", "img10.jpg", "link.bmp" }));
        // A plug-in's pattern makes its files pictures too.
        auto withTiff = [](std::string_view name) {
            return name.ends_with(".tif") ? kFirstPluginEntry : BuiltInPictureEntry(name);
        };
        EXPECT_EQ(ListFolderPictures(dir.Path(), withTiff, false),
            (Names { "img1.bmp", "img10.jpg", "img2.PNG", "link.bmp", "photo.tif" }));
        // Every regular file is listed before the picture filter applies.
        EXPECT_EQ(ListFolderFiles(dir.Path()),
            (Names { "img1.bmp", "img10.jpg", "img2.PNG", "link.bmp", "noext", "notes.txt",
                "photo.tif", "vtl.snx" }));
        EXPECT_TRUE(ListFolderPictures(dir / "missing", {}, false).empty());
    }

    TEST(FolderListing, StepsWrapAndStartFromWhereAMissingNameWouldStand)
    {
        const Names names = { "a.bmp", "c.bmp", "e.bmp" };
        auto step = [&names](std::string_view current, bool forward) {
            auto index = StepIndex(names, current, forward, false);
            return index ? names[*index] : std::string("none");
        };
        EXPECT_EQ(step("a.bmp", true), "c.bmp");
        EXPECT_EQ(step("e.bmp", true), "a.bmp");
        EXPECT_EQ(step("a.bmp", false), "e.bmp");
        EXPECT_EQ(step("c.bmp", false), "a.bmp");
        // Renamed or deleted: its neighbours by name.
        EXPECT_EQ(step("d.bmp", true), "e.bmp");
        EXPECT_EQ(step("d.bmp", false), "c.bmp");
        EXPECT_EQ(step("B.bmp", false), "a.bmp");
        EXPECT_EQ(step("f.bmp", true), "a.bmp");
        EXPECT_EQ(step("0.bmp", false), "e.bmp");
        EXPECT_FALSE(StepIndex({}, "a.bmp", true, false));
        // The only picture steps to itself, as the browser's single thumbnail does.
        EXPECT_EQ(StepIndex({ "a.bmp" }, "a.bmp", true, false), 0u);
        // In natural order the missing name's place is found by that order.
        const Names natural = { "p1.bmp", "p2.bmp", "p10.bmp" };
        EXPECT_EQ(StepIndex(natural, "p3.bmp", true, true), 2u);
        EXPECT_EQ(StepIndex(natural, "p3.bmp", false, true), 1u);
    }

} // namespace
} // namespace vtl::browse
