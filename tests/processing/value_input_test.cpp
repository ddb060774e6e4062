#include "processing/value_input.h"

#include <gtest/gtest.h>

namespace vtl::processing {
namespace {

    TEST(ValueInput, RealNumbers)
    {
        EXPECT_EQ(ParseReal("1.5"), 1.5);
        EXPECT_EQ(ParseReal(" -2 "), -2.0);
        EXPECT_EQ(ParseReal("+.5"), 0.5);
        EXPECT_EQ(ParseReal("1e3"), 1000.0);
        EXPECT_EQ(ParseReal("5."), 5.0);
        for (const char* bad :
            { "", " ", "-", ".", "1.2.3", "inf", "nan", "0x10", "1e", "--1", "1,5", "x" })
            EXPECT_EQ(ParseReal(bad), std::nullopt) << bad;
        EXPECT_EQ(RealToText(1.5), "1.5");
        EXPECT_EQ(RealToText(45), "45");
        EXPECT_EQ(RealToText(-0.25), "-0.25");
        EXPECT_EQ(RealToText(1e-5), "1E-5");
        EXPECT_EQ(RealToText(1e20), "1E20");
        EXPECT_EQ(ParseReal(RealToText(0.1)), 0.1);
    }

    TEST(ValueInput, KeyFilters)
    {
        EXPECT_TRUE(InputKeyAllowed(InputMode::Text, U'a'));
        EXPECT_TRUE(InputKeyAllowed(InputMode::Integer, U'-'));
        EXPECT_TRUE(InputKeyAllowed(InputMode::Integer, kBackspace));
        EXPECT_FALSE(InputKeyAllowed(InputMode::Integer, U'.'));
        EXPECT_TRUE(InputKeyAllowed(InputMode::Real, U'.'));
        EXPECT_FALSE(InputKeyAllowed(InputMode::Real, U'e'));
        EXPECT_TRUE(DigitKeyAllowed(U'7'));
        EXPECT_FALSE(DigitKeyAllowed(U'-'));
        EXPECT_TRUE(DigitKeyAllowed(kBackspace));
    }

    TEST(ValueInput, IntegerChecksAndMessages)
    {
        // The mosaic's block size: 1..256.
        EXPECT_EQ(CheckIntegerInput("", 1, 256).message, "整数値を入力してください");
        EXPECT_EQ(CheckIntegerInput("-", 1, 256).message, "整数値を入力してください");
        EXPECT_EQ(CheckIntegerInput("257", 1, 256).message, "値が大きすぎます");
        EXPECT_EQ(CheckIntegerInput("0", 1, 256).message, "値が小さすぎます");
        InputCheck ok = CheckIntegerInput("256", 1, 256);
        EXPECT_TRUE(ok.accepted);
        EXPECT_EQ(ok.integer, 256);
        // Equal limits take any integer.
        EXPECT_TRUE(CheckIntegerInput("-99999", 0, 0).accepted);
    }

    TEST(ValueInput, RealChecksAndMessages)
    {
        EXPECT_EQ(CheckRealInput("a", -360, 360).message, "数値を入力してください");
        EXPECT_EQ(CheckRealInput("360.5", -360, 360).message, "値が大きすぎます");
        EXPECT_EQ(CheckRealInput("-361", -360, 360).message, "値が小さすぎます");
        InputCheck ok = CheckRealInput("-12.5", -360, 360);
        EXPECT_TRUE(ok.accepted);
        EXPECT_EQ(ok.real, -12.5);
        EXPECT_TRUE(CheckRealInput("1e9", 1, 1).accepted);
    }

    TEST(ValueInput, ThresholdExitRule)
    {
        EXPECT_EQ(ThresholdFromText("0", 50), 1);
        EXPECT_EQ(ThresholdFromText("255", 50), 254);
        EXPECT_EQ(ThresholdFromText("999", 50), 254);
        EXPECT_EQ(ThresholdFromText("1", 50), 1);
        EXPECT_EQ(ThresholdFromText("254", 50), 254);
        EXPECT_EQ(ThresholdFromText("", 50), 50);
    }

    TEST(ValueInput, PlacementKeepsTheDialogInTheWorkArea)
    {
        const platform::TRect work { 0, 0, 1000, 700 };
        EXPECT_EQ(
            PlaceDialog(200, 100, { 500, 400 }, work), (platform::TRect { 400, 350, 600, 450 }));
        EXPECT_EQ(PlaceDialog(200, 100, { 10, 10 }, work), (platform::TRect { 0, 0, 200, 100 }));
        EXPECT_EQ(
            PlaceDialog(200, 100, { 990, 690 }, work), (platform::TRect { 800, 600, 1000, 700 }));
        // Larger than the work area: the right and bottom edges win.
        EXPECT_EQ(PlaceDialog(1200, 100, { 500, 400 }, work).Right, 1000);
        const platform::TRect offset { 100, 50, 900, 650 };
        EXPECT_EQ(
            PlaceDialog(300, 200, { 120, 60 }, offset), (platform::TRect { 100, 50, 400, 250 }));
    }

} // namespace
} // namespace vtl::processing
