#include "processing/user_filters.h"
#include "support/temp_dir.h"
#include "test_pictures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

namespace vtl::processing {
namespace {

    using testing::At;
    using testing::Bgr;
    using testing::SamePicture;

    const char* kIdentity3 = "0,0,0,0,1,0,0,0,0";

    TEST(UserFilterFile, ReadsTenAndTwentySixFieldLinesOnly)
    {
        TFilter filter;
        filter.LoadFromText("\"soft\",0,0.25,0,0.25,0,0.25,0,0.25,0\r\n"
                            "\"too short\",1,2,3\r\n"
                            "\"big\",1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1\r\n"
                            "\r\n"
                            "plain,1 2 3 4 5 6 7 8 9\n");
        ASSERT_EQ(filter.Count(), 3u);
        EXPECT_EQ(filter.Names(), (std::vector<std::string> { "soft", "big", "plain" }));
        EXPECT_EQ(filter.Data()[0], "0,0.25,0,0.25,0,0.25,0,0.25,0");
        EXPECT_EQ(filter.Data()[2], "1,2,3,4,5,6,7,8,9"); // blanks separate fields too
        EXPECT_EQ(filter.GetCoefficients(0), 3);
        EXPECT_EQ(filter.Coefficients()[1], 0.25);
        EXPECT_EQ(filter.GetCoefficients(1), 5);
        EXPECT_EQ(filter.GetCoefficients(3), std::nullopt);
    }

    TEST(UserFilterFile, NameWithACommaAndAQuoteSurviveSaveAndLoad)
    {
        vtl::testing::TempDir dir;
        TFilter filter;
        filter.SetLists({ "edge, strong", "say \"hi\"", "plain" },
            { kIdentity3, kIdentity3, "1,1,1,1,1,1,1,1,1" });
        filter.Save(dir / "vtl.fil");
        EXPECT_EQ(vtl::testing::ReadFile(dir / "vtl.fil").substr(0, 34),
            "\"edge, strong\",0,0,0,0,1,0,0,0,0\r\n");
        TFilter again;
        ASSERT_TRUE(again.Load(dir / "vtl.fil"));
        EXPECT_EQ(again.Names(), filter.Names());
        EXPECT_EQ(again.Data(), filter.Data());
    }

    TEST(UserFilterFile, MissingFileLeavesTheListsAlone)
    {
        vtl::testing::TempDir dir;
        TFilter filter;
        filter.SetLists({ "keep" }, { kIdentity3 });
        EXPECT_FALSE(filter.Load(dir / "none.fil"));
        EXPECT_EQ(filter.Count(), 1u);
    }

    TEST(UserFilterFile, LivesInTheDataFolder)
    {
        vtl::testing::TempDir dir;
        const char* old = std::getenv("VTL_HOME");
        const std::string saved = old ? old : "";
        setenv("VTL_HOME", dir.Path().c_str(), 1);
        EXPECT_EQ(TFilter::FilePath(), dir / "vtl.fil");
        if (old)
            setenv("VTL_HOME", saved.c_str(), 1);
        else
            unsetenv("VTL_HOME");
    }

    TEST(UserFilterApply, NonNumericCoefficientLoadsButDoesNothing)
    {
        TFilter filter;
        filter.LoadFromText("\"broken\",0,0,0,0,x,0,0,0,0\r\n\"inf\",0,0,0,0,inf,0,0,0,0\r\n");
        ASSERT_EQ(filter.Count(), 2u);
        const TBitmap before = testing::Random24(8, 8, 1);
        TBitmap picture(before), undo;
        EXPECT_FALSE(filter.Apply(picture, &undo, 0, {}));
        EXPECT_FALSE(filter.Apply(picture, &undo, 1, {}));
        EXPECT_TRUE(SamePicture(picture, before));
        EXPECT_TRUE(undo.Empty());
    }

    TEST(UserFilterApply, FiveByFiveNeedsFiveByFive)
    {
        TFilter filter;
        filter.SetLists({ "big" }, { "0,0,0,0,0,0,0,0,0,0,0,0,1,0,0,0,0,0,0,0,0,0,0,0,0" });
        TBitmap small = testing::Random24(4, 4, 2);
        const TBitmap before(small);
        EXPECT_FALSE(filter.Apply(small, nullptr, 0, {}));
        EXPECT_TRUE(SamePicture(small, before));
        TBitmap enough = testing::Random24(5, 5, 2);
        const TBitmap enoughBefore(enough);
        EXPECT_TRUE(filter.Apply(enough, nullptr, 0, {}));
        EXPECT_TRUE(SamePicture(enough, enoughBefore)); // the identity
    }

    TEST(UserFilterApply, IdentitySaturationAndNegativeSums)
    {
        TFilter filter;
        filter.SetLists(
            { "id", "double", "minus" }, { kIdentity3, "0,0,0,0,2,0,0,0,0", "0,0,0,0,-1,0,0,0,0" });
        const TBitmap before = testing::Random24(9, 7, 3);
        TBitmap picture(before);
        ASSERT_TRUE(filter.Apply(picture, nullptr, 0, {}));
        EXPECT_TRUE(SamePicture(picture, before));

        TBitmap bright = testing::Flat24(4, 4, { 200, 100, 20 });
        ASSERT_TRUE(filter.Apply(bright, nullptr, 1, {}));
        EXPECT_EQ(At(bright, 1, 1), (Bgr { 255, 200, 40 }));
        ASSERT_TRUE(filter.Apply(bright, nullptr, 2, {}));
        EXPECT_EQ(At(bright, 1, 1), (Bgr { 0, 0, 0 }));
    }

    TEST(UserFilterApply, SameAsThePlainWeightedSum)
    {
        TFilter filter;
        filter.SetLists({ "odd" },
            { "0.1,-0.3,0.05,1e-1,0.7,.2,0.125,-0.5,0.3,0.01,0.02,0.03,0.04,0.05,0.06,0.07,0.08,"
              "0.09,0.1,0.11,0.12,0.13,-0.14,0.15,0.5" });
        ASSERT_EQ(filter.GetCoefficients(0), 5);
        const std::array<double, 25> k = filter.Coefficients();
        const TBitmap before = testing::Random24(13, 11, 4);
        TBitmap picture(before);
        ASSERT_TRUE(filter.Apply(picture, nullptr, 0, {}));
        auto value = [&](int32_t x, int32_t y, int c) {
            return x < 0 || y < 0 || x >= 13 || y >= 11 ? 0 : before.ScanLine(y)[3 * x + c];
        };
        for (int32_t y = 0; y < 11; ++y)
            for (int32_t x = 0; x < 13; ++x)
                for (int c = 0; c < 3; ++c) {
                    double sum = 0;
                    for (int r = 0; r < 5; ++r)
                        for (int col = 0; col < 5; ++col)
                            sum += k[size_t(r * 5 + col)] * value(x - 2 + col, y - 2 + r, c);
                    const int want = int(std::clamp(std::nearbyint(sum), 0.0, 255.0));
                    ASSERT_EQ(picture.ScanLine(y)[3 * x + c], want) << x << "," << y << "," << c;
                }
    }

    TEST(UserFilterEditor, AddUpdateDeleteAndMove)
    {
        FilterListEdit edit({ "a", "b" }, { kIdentity3, kIdentity3 });
        const std::vector<std::string> cells { "1", "2", "3", "4", "5", "6", "7", "8", "-0.5" };
        EXPECT_FALSE(edit.Add("", cells));
        std::vector<std::string> bad = cells;
        bad[3] = "1.2.3";
        EXPECT_FALSE(edit.Add("c", bad));
        EXPECT_FALSE(edit.Modified());
        ASSERT_TRUE(edit.Add("c", cells));
        EXPECT_EQ(edit.Data()[2], "1,2,3,4,5,6,7,8,-0.5");
        EXPECT_TRUE(edit.Modified());
        EXPECT_EQ(edit.Cells(2), cells);

        ASSERT_TRUE(edit.Update(0, "A", cells));
        EXPECT_EQ(edit.Names()[0], "A");
        EXPECT_FALSE(edit.Update(7, "A", cells));

        EXPECT_EQ(edit.MoveUp(2), 1u);
        EXPECT_EQ(edit.Names(), (std::vector<std::string> { "A", "c", "b" }));
        EXPECT_EQ(edit.MoveDown(0), 1u);
        EXPECT_EQ(edit.Names(), (std::vector<std::string> { "c", "A", "b" }));
        EXPECT_EQ(edit.MoveUp(0), std::nullopt);
        EXPECT_EQ(edit.MoveDown(2), std::nullopt);

        auto b = edit.ButtonsFor(0);
        EXPECT_TRUE(b.update && b.remove && !b.up && b.down);
        b = edit.ButtonsFor(2);
        EXPECT_TRUE(b.up && !b.down);
        b = edit.ButtonsFor(-1);
        EXPECT_FALSE(b.update || b.remove || b.up || b.down);

        ASSERT_TRUE(edit.Delete(1));
        EXPECT_EQ(edit.Names(), (std::vector<std::string> { "c", "b" }));
        EXPECT_EQ(edit.Data().size(), 2u);
    }

    TEST(UserFilterEditor, ReorderingReachesTheFile)
    {
        vtl::testing::TempDir dir;
        FilterListEdit edit({ "first", "second" }, { kIdentity3, "1,1,1,1,1,1,1,1,1" });
        ASSERT_EQ(edit.MoveDown(0), 1u);
        ASSERT_TRUE(edit.Modified());
        TFilter filter;
        filter.SetLists(edit.Names(), edit.Data());
        filter.Save(dir / "vtl.fil");
        EXPECT_EQ(vtl::testing::ReadFile(dir / "vtl.fil"),
            "\"second\",1,1,1,1,1,1,1,1,1\r\n\"first\",0,0,0,0,1,0,0,0,0\r\n");
    }

    TEST(UserFilterEditor, GridKeys)
    {
        for (char32_t key : { U'0', U'9', U'-', U'.', char32_t(8) })
            EXPECT_TRUE(CoefficientKeyAllowed(key));
        for (char32_t key : { U'a', U' ', U',', U'e', U'+' })
            EXPECT_FALSE(CoefficientKeyAllowed(key));
    }

} // namespace
} // namespace vtl::processing
