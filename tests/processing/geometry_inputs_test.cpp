// The field rules of the resize, clip and join dialogs.
#include "processing/geometry_inputs.h"

#include <gtest/gtest.h>

using namespace vtl::processing;

TEST(ScaleDialogRules, SizesAndRatioAreClampedAndNonNumbersKeepThePosition)
{
    struct Case {
        const char* text;
        int size;
        int ratio;
    };
    for (Case c : { Case { "7", 8, 10 }, { "0", 8, 10 }, { "8", 8, 10 }, { "4098", 4098, 400 },
             { "4099", 4098, 400 }, { "99999999999", 55, 55 }, { "", 55, 55 }, { "100", 100, 100 },
             { "401", 401, 400 }, { "9", 9, 10 } }) {
        EXPECT_EQ(ScaleSizeFromText(c.text, 55), c.size) << c.text;
        EXPECT_EQ(RatioFromText(c.text, 55), c.ratio) << c.text;
    }
}

TEST(ScaleDialogRules, LinkedSizesFollowTheOriginalProportions)
{
    EXPECT_EQ(SizeFromRatio(50, 101, 75).width, 50) << "p·W0 div 100 truncates";
    EXPECT_EQ(SizeFromRatio(50, 101, 75).height, 37);
    EXPECT_EQ(SizeFromRatio(400, 4000, 3000).width, 16000) << "the up-down clamps, not the rule";

    // Width 150 of 200 x 101: ratio 75, height 75.75 rounds to 76.
    LinkedSize fromWidth = FollowSize(150, 200, 101);
    EXPECT_EQ(fromWidth.ratio, 75);
    EXPECT_EQ(fromWidth.other, 76);
    // Halves round up: a height of 1 of 2 x 4 gives a width of 0.5, shown as 1.
    EXPECT_EQ(FollowSize(1, 4, 2).other, 1);
    EXPECT_EQ(FollowSize(1, 5, 2).other, 0) << "0.4 rounds down";
    EXPECT_EQ(FollowSize(33, 100, 100).ratio, 33);
    EXPECT_EQ(FollowSize(199, 200, 50).ratio, 99) << "x·100 div W0 truncates";
    // Large pictures don't overflow the products.
    EXPECT_EQ(FollowSize(4098, 100000, 100000).other, 4098);
    EXPECT_EQ(FollowSize(10, 0, 10).ratio, 0) << "an empty picture divides by nothing";
}

TEST(ClipDialogRules, OffsetsStayInsideThePictureAndCutTheExtent)
{
    int32_t left = 10, width = 80;
    ClipOffsetExit("50", left, width, 100);
    EXPECT_EQ(left, 50);
    EXPECT_EQ(width, 50) << "left + width may not pass the picture's width";

    ClipOffsetExit("100", left, width, 100);
    EXPECT_EQ(left, 99) << "at the width: width − 1";
    EXPECT_EQ(width, 1);

    width = 40;
    ClipOffsetExit("", left, width, 100);
    EXPECT_EQ(left, 0) << "no integer: 0";
    EXPECT_EQ(width, 40);

    ClipOffsetExit("12", left, width, 100);
    EXPECT_EQ(width, 40) << "an extent that fits stays";
}

TEST(ClipDialogRules, ExtentsAreCutAtThePictureEdgeAndNonNumbersKeepTheOldValue)
{
    int32_t height = 30;
    ClipExtentExit("90", 20, height, 100);
    EXPECT_EQ(height, 80);
    ClipExtentExit("abc", 20, height, 100);
    EXPECT_EQ(height, 80);
    ClipExtentExit("", 20, height, 100);
    EXPECT_EQ(height, 80);
    ClipExtentExit("5", 20, height, 100);
    EXPECT_EQ(height, 5);
    ClipExtentExit("99999999999", 20, height, 100);
    EXPECT_EQ(height, 5) << "too large for an integer: no integer";
}

TEST(ClipDialogRules, TheWholePictureIsNothingToDo)
{
    EXPECT_FALSE(ClipChangesPicture({ 0, 0, 64, 48 }, 64, 48));
    EXPECT_TRUE(ClipChangesPicture({ 1, 0, 63, 48 }, 64, 48));
    EXPECT_TRUE(ClipChangesPicture({ 0, 0, 64, 47 }, 64, 48));
}

TEST(JoinDialogRules, MarginFieldStaysWithin0To511)
{
    EXPECT_EQ(MarginFromText("0"), 0);
    EXPECT_EQ(MarginFromText("10"), 10);
    EXPECT_EQ(MarginFromText("511"), 511);
    EXPECT_EQ(MarginFromText("512"), 511);
    EXPECT_EQ(MarginFromText("9999"), 511);
    EXPECT_EQ(MarginFromText(""), 0);
}
