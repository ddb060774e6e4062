// Embedded profiles converted to sRGB. Little CMS only builds the input profiles here; the
// expected colours come from the primaries themselves (RGB to XYZ, Bradford between white
// points, XYZ to linear sRGB, the sRGB curve), computed in this file.

#include "codecs/colour_profile.h"

#include <gtest/gtest.h>
#include <lcms2.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace vtl::codecs {
namespace {

    using platform::PaletteEntry;
    using platform::TBitmap;
    using platform::TPixelFormat;
    using Bytes = std::vector<uint8_t>;

    // ---- Profiles, built with Little CMS and saved to bytes as a file would carry them ----

    struct Xy {
        double x, y;
    };
    struct Space {
        const char* name;
        Xy white;
        std::array<Xy, 3> primaries;
        // Decoding of one channel (0..1) to linear light.
        double (*decode)(double);
        // The same curve for Little CMS.
        std::function<cmsToneCurve*()> curve;
    };

    double SrgbDecode(double v)
    {
        return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    }
    double SrgbEncode(double v)
    {
        return v <= 0.0031308 ? 12.92 * v : 1.055 * std::pow(v, 1 / 2.4) - 0.055;
    }
    cmsToneCurve* SrgbCurve()
    {
        const double params[] = { 2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045 };
        return cmsBuildParametricToneCurve(nullptr, 4, params);
    }

    constexpr double kAdobeGamma = 563.0 / 256.0;
    const Space kAdobeRgb { "AdobeRgb", { 0.3127, 0.3290 },
        { { { 0.64, 0.33 }, { 0.21, 0.71 }, { 0.15, 0.06 } } },
        [](double v) { return std::pow(v, kAdobeGamma); },
        [] { return cmsBuildGamma(nullptr, kAdobeGamma); } };
    const Space kDisplayP3 { "DisplayP3", { 0.3127, 0.3290 },
        { { { 0.680, 0.320 }, { 0.265, 0.690 }, { 0.150, 0.060 } } }, SrgbDecode, SrgbCurve };
    // D50-white, so the way to sRGB passes through a Bradford adaptation.
    const Space kProPhoto { "ProPhoto", { 0.3457, 0.3585 },
        { { { 0.7347, 0.2653 }, { 0.1596, 0.8404 }, { 0.0366, 0.0001 } } },
        [](double v) { return std::pow(v, 1.8); }, [] { return cmsBuildGamma(nullptr, 1.8); } };
    const Space kSrgb { "Srgb", { 0.3127, 0.3290 },
        { { { 0.64, 0.33 }, { 0.30, 0.60 }, { 0.15, 0.06 } } }, SrgbDecode, SrgbCurve };

    Bytes Save(cmsHPROFILE profile)
    {
        cmsUInt32Number size = 0;
        EXPECT_TRUE(cmsSaveProfileToMem(profile, nullptr, &size));
        Bytes bytes(size);
        EXPECT_TRUE(cmsSaveProfileToMem(profile, bytes.data(), &size));
        cmsCloseProfile(profile);
        return bytes;
    }

    Bytes RgbProfile(const Space& space, double version = 4.3)
    {
        const cmsCIExyY white { space.white.x, space.white.y, 1.0 };
        cmsCIExyYTRIPLE primaries {};
        cmsCIExyY* p[] = { &primaries.Red, &primaries.Green, &primaries.Blue };
        for (int i = 0; i < 3; ++i)
            *p[i] = { space.primaries[size_t(i)].x, space.primaries[size_t(i)].y, 1.0 };
        cmsToneCurve* curve = space.curve();
        cmsToneCurve* curves[3] = { curve, curve, curve };
        cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
        cmsFreeToneCurve(curve);
        cmsSetProfileVersion(profile, version);
        return Save(profile);
    }

    Bytes GreyProfile(double gamma)
    {
        cmsToneCurve* curve = cmsBuildGamma(nullptr, gamma);
        cmsHPROFILE profile = cmsCreateGrayProfile(cmsD50_xyY(), curve);
        cmsFreeToneCurve(curve);
        return Save(profile);
    }

    uint32_t Be32(const Bytes& b, size_t at)
    {
        return uint32_t(b[at]) << 24 | uint32_t(b[at + 1]) << 16 | uint32_t(b[at + 2]) << 8
            | b[at + 3];
    }
    void PutBe32(Bytes& b, size_t at, uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            b[at + size_t(i)] = uint8_t(v >> (8 * (3 - i)));
    }

    // ---- The independent computation ----

    using Vec = std::array<double, 3>;
    using Mat = std::array<Vec, 3>;

    Vec Mul(const Mat& m, const Vec& v)
    {
        Vec r {};
        for (size_t i = 0; i < 3; ++i)
            r[i] = m[i][0] * v[0] + m[i][1] * v[1] + m[i][2] * v[2];
        return r;
    }
    Mat Mul(const Mat& a, const Mat& b)
    {
        Mat r {};
        for (size_t i = 0; i < 3; ++i)
            for (size_t j = 0; j < 3; ++j)
                r[i][j] = a[i][0] * b[0][j] + a[i][1] * b[1][j] + a[i][2] * b[2][j];
        return r;
    }
    Mat Inverse(const Mat& m)
    {
        const double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1])
            - m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0])
            + m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
        Mat r {};
        for (size_t i = 0; i < 3; ++i)
            for (size_t j = 0; j < 3; ++j) {
                const size_t i1 = (j + 1) % 3, i2 = (j + 2) % 3, j1 = (i + 1) % 3, j2 = (i + 2) % 3;
                r[i][j] = (m[i1][j1] * m[i2][j2] - m[i1][j2] * m[i2][j1]) / det;
            }
        return r;
    }
    Vec XyzOf(Xy c) { return { c.x / c.y, 1.0, (1 - c.x - c.y) / c.y }; }

    // The RGB-to-XYZ matrix of a set of primaries: their XYZ as columns, scaled so that RGB
    // (1, 1, 1) is the white point.
    Mat RgbToXyz(const Space& space)
    {
        Mat m {};
        for (size_t c = 0; c < 3; ++c) {
            const Vec p = XyzOf(space.primaries[c]);
            for (size_t r = 0; r < 3; ++r)
                m[r][c] = p[r];
        }
        const Vec s = Mul(Inverse(m), XyzOf(space.white));
        for (size_t r = 0; r < 3; ++r)
            for (size_t c = 0; c < 3; ++c)
                m[r][c] *= s[c];
        return m;
    }

    // Bradford's von Kries adaptation from one white to another.
    Mat Bradford(Xy from, Xy to)
    {
        const Mat cone { { { 0.8951, 0.2664, -0.1614 }, { -0.7502, 1.7135, 0.0367 },
            { 0.0389, -0.0685, 1.0296 } } };
        const Vec a = Mul(cone, XyzOf(from)), b = Mul(cone, XyzOf(to));
        Mat scale {};
        for (size_t i = 0; i < 3; ++i)
            scale[i][i] = b[i] / a[i];
        return Mul(Inverse(cone), Mul(scale, cone));
    }

    struct Rgb {
        int r, g, b;
    };

    // Relative colorimetric into sRGB, out-of-gamut channels clipped.
    Rgb ExpectedSrgb(const Space& space, Rgb in)
    {
        Mat toXyz = RgbToXyz(space);
        if (space.white.x != kSrgb.white.x || space.white.y != kSrgb.white.y)
            toXyz = Mul(Bradford(space.white, kSrgb.white), toXyz);
        const Mat toSrgb = Inverse(RgbToXyz(kSrgb));
        const Vec linear = Mul(toSrgb,
            Mul(toXyz,
                Vec { space.decode(in.r / 255.0), space.decode(in.g / 255.0),
                    space.decode(in.b / 255.0) }));
        auto encode
            = [](double v) { return int(std::lround(255 * SrgbEncode(std::clamp(v, 0.0, 1.0)))); };
        return { encode(linear[0]), encode(linear[1]), encode(linear[2]) };
    }

    // Saturated primaries and secondaries (clipped on the way into sRGB), greys, mid-tones, skin
    // and sky, and dark colours where the curves differ most.
    const std::vector<Rgb> kColours { { 255, 0, 0 }, { 0, 255, 0 }, { 0, 0, 255 }, { 255, 255, 0 },
        { 0, 255, 255 }, { 255, 0, 255 }, { 0, 0, 0 }, { 255, 255, 255 }, { 128, 128, 128 },
        { 64, 64, 64 }, { 200, 200, 200 }, { 10, 10, 10 }, { 200, 120, 60 }, { 30, 90, 160 },
        { 128, 200, 100 }, { 230, 180, 150 }, { 90, 150, 220 }, { 20, 8, 40 }, { 250, 240, 10 },
        { 100, 50, 25 } };

    void ExpectNear(Rgb actual, Rgb expected, const std::string& what)
    {
        EXPECT_NEAR(actual.r, expected.r, 2) << what << " red";
        EXPECT_NEAR(actual.g, expected.g, 2) << what << " green";
        EXPECT_NEAR(actual.b, expected.b, 2) << what << " blue";
    }
    std::string Name(Rgb c)
    {
        return "(" + std::to_string(c.r) + "," + std::to_string(c.g) + "," + std::to_string(c.b)
            + ")";
    }

    // ---- Pictures ----

    // The colours laid out in rows of seven (so that 24-bit rows are padded), the last row filled
    // with the first colour.
    constexpr int kColumns = 7;
    TBitmap ColourPicture(TPixelFormat format, const std::vector<Rgb>& colours = kColours)
    {
        const int rows = int((colours.size() + kColumns - 1) / kColumns);
        TBitmap bitmap(kColumns, rows, format);
        for (size_t i = 0; i < size_t(kColumns * rows); ++i) {
            const Rgb c = colours[i < colours.size() ? i : 0];
            bitmap.SetPixel(int(i % kColumns), int(i / kColumns),
                platform::Rgb(uint8_t(c.r), uint8_t(c.g), uint8_t(c.b)));
        }
        return bitmap;
    }
    Rgb PixelAt(const TBitmap& bitmap, size_t i)
    {
        const auto c = bitmap.Pixel(int(i % kColumns), int(i / kColumns));
        return { platform::GetRValue(c), platform::GetGValue(c), platform::GetBValue(c) };
    }

    // Everything a refused conversion must leave as it was.
    struct Snapshot {
        TPixelFormat format;
        int width, height;
        Bytes bits;
        std::vector<PaletteEntry> palette;
        explicit Snapshot(const TBitmap& b)
            : format(b.PixelFormat())
            , width(b.Width())
            , height(b.Height())
            , bits(b.Bits().begin(), b.Bits().end())
            , palette(b.PaletteEntries())
        {
        }
        bool operator==(const Snapshot&) const = default;
    };

    // ---- Colours against the independent computation ----

    class ColourSpaceTest : public ::testing::TestWithParam<const Space*> { };

    // Version 4 profiles, and version 2 ones as most cameras embed.
    TEST_P(ColourSpaceTest, TwentyFourBitPixelsMatchTheMatrixComputation)
    {
        const Space& space = *GetParam();
        for (double version : { 4.3, 2.1 }) {
            TBitmap bitmap = ColourPicture(TPixelFormat::pf24bit);
            ASSERT_TRUE(ConvertToSrgb(bitmap, RgbProfile(space, version)));
            EXPECT_EQ(bitmap.PixelFormat(), TPixelFormat::pf24bit);
            for (size_t i = 0; i < kColours.size(); ++i)
                ExpectNear(PixelAt(bitmap, i), ExpectedSrgb(space, kColours[i]),
                    space.name + std::to_string(version) + Name(kColours[i]));
        }
    }

    INSTANTIATE_TEST_SUITE_P(WideGamuts, ColourSpaceTest,
        ::testing::Values(&kAdobeRgb, &kDisplayP3, &kProPhoto),
        [](const auto& param) { return std::string(param.param->name); });

    // The computation itself against published matrices and a value worked by hand: Adobe RGB's
    // mid grey 128 is (128/255)^2.2 = 0.2196 of full light, which sRGB's curve writes as 129.
    TEST(ColourProfile, IndependentComputationMatchesPublishedMatrices)
    {
        const Mat adobe = RgbToXyz(kAdobeRgb);
        EXPECT_NEAR(adobe[0][0], 0.5767, 1e-3);
        EXPECT_NEAR(adobe[1][1], 0.6274, 1e-3);
        EXPECT_NEAR(adobe[2][2], 0.9911, 1e-3);
        const Mat srgb = Inverse(RgbToXyz(kSrgb));
        EXPECT_NEAR(srgb[0][0], 3.2406, 1e-3);
        EXPECT_NEAR(srgb[1][0], -0.9689, 1e-3);
        const Rgb grey = ExpectedSrgb(kAdobeRgb, { 128, 128, 128 });
        EXPECT_EQ(grey.r, 129);
        EXPECT_EQ(grey.g, 129);
        EXPECT_EQ(grey.b, 129);
    }

    // ---- Pixel formats ----

    TEST(ColourProfile, ThirtyTwoBitPixelsKeepTheirFourthByte)
    {
        const Bytes profile = RgbProfile(kAdobeRgb);
        TBitmap bitmap = ColourPicture(TPixelFormat::pf32bit);
        for (int y = 0; y < bitmap.Height(); ++y)
            for (int x = 0; x < bitmap.Width(); ++x)
                bitmap.ScanLine(y)[4 * x + 3] = uint8_t(17 * x + 3 * y + 1);
        ASSERT_TRUE(ConvertToSrgb(bitmap, profile));
        EXPECT_EQ(bitmap.PixelFormat(), TPixelFormat::pf32bit);
        for (int y = 0; y < bitmap.Height(); ++y)
            for (int x = 0; x < bitmap.Width(); ++x)
                EXPECT_EQ(bitmap.ScanLine(y)[4 * x + 3], uint8_t(17 * x + 3 * y + 1))
                    << x << "," << y;
        for (size_t i = 0; i < kColours.size(); ++i)
            ExpectNear(PixelAt(bitmap, i), ExpectedSrgb(kAdobeRgb, kColours[i]), Name(kColours[i]));
    }

    TEST(ColourProfile, PalettePictureChangesOnlyItsTable)
    {
        const Bytes profile = RgbProfile(kAdobeRgb);
        std::vector<PaletteEntry> table;
        for (const Rgb& c : kColours)
            table.push_back({ uint8_t(c.r), uint8_t(c.g), uint8_t(c.b), 0 });
        table[1].peFlags = 4; // PC_NOCOLLAPSE survives
        TBitmap bitmap(31, 5, TPixelFormat::pf8bit);
        bitmap.SetPalette(table);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 31; ++x)
                bitmap.SetRawPixel(x, y, uint32_t(x + y) % table.size());
        const Bytes indices(bitmap.Bits().begin(), bitmap.Bits().end());

        ASSERT_TRUE(ConvertToSrgb(bitmap, profile));
        EXPECT_EQ(bitmap.PixelFormat(), TPixelFormat::pf8bit);
        EXPECT_EQ(Bytes(bitmap.Bits().begin(), bitmap.Bits().end()), indices);
        ASSERT_EQ(bitmap.PaletteEntries().size(), table.size());
        for (size_t i = 0; i < kColours.size(); ++i) {
            const PaletteEntry& e = bitmap.PaletteEntries()[i];
            ExpectNear({ e.peRed, e.peGreen, e.peBlue }, ExpectedSrgb(kAdobeRgb, kColours[i]),
                Name(kColours[i]));
        }
        EXPECT_EQ(bitmap.PaletteEntries()[1].peFlags, 4);
    }

    // A 4-bit picture without a table of its own indexes the default one: that is what converts.
    TEST(ColourProfile, DefaultPaletteIsConverted)
    {
        TBitmap bitmap(9, 2, TPixelFormat::pf4bit);
        bitmap.ClearPalette();
        const auto defaults = bitmap.EffectivePalette();
        const std::vector<PaletteEntry> before(defaults.begin(), defaults.end());
        ASSERT_TRUE(ConvertToSrgb(bitmap, RgbProfile(kAdobeRgb)));
        ASSERT_EQ(bitmap.PaletteEntries().size(), before.size());
        for (size_t i = 0; i < before.size(); ++i) {
            const PaletteEntry& e = bitmap.PaletteEntries()[i];
            ExpectNear({ e.peRed, e.peGreen, e.peBlue },
                ExpectedSrgb(kAdobeRgb, { before[i].peRed, before[i].peGreen, before[i].peBlue }),
                "entry " + std::to_string(i));
        }
    }

    TEST(ColourProfile, FifteenAndSixteenBitPicturesAreWidened)
    {
        const Bytes profile = RgbProfile(kDisplayP3);
        for (TPixelFormat format : { TPixelFormat::pf15bit, TPixelFormat::pf16bit }) {
            TBitmap bitmap = ColourPicture(format);
            TBitmap widened = bitmap;
            widened.SetPixelFormat(TPixelFormat::pf24bit);
            ASSERT_TRUE(ConvertToSrgb(bitmap, profile));
            EXPECT_EQ(bitmap.PixelFormat(), TPixelFormat::pf24bit);
            for (size_t i = 0; i < kColours.size(); ++i)
                ExpectNear(PixelAt(bitmap, i), ExpectedSrgb(kDisplayP3, PixelAt(widened, i)),
                    Name(kColours[i]));
        }
    }

    // Many padded rows (301 pixels: one byte of padding each), distinct colours in every row:
    // every row converted once, none skipped or converted twice.
    TEST(ColourProfile, EveryRowOfALargerPictureIsConverted)
    {
        const Bytes profile = RgbProfile(kAdobeRgb);
        TBitmap bitmap(301, 257, TPixelFormat::pf24bit);
        for (int y = 0; y < bitmap.Height(); ++y)
            for (int x = 0; x < bitmap.Width(); ++x)
                bitmap.SetPixel(x, y, platform::Rgb(uint8_t(y), uint8_t(x), uint8_t(x ^ y)));
        ASSERT_TRUE(ConvertToSrgb(bitmap, profile));
        for (int y = 0; y < bitmap.Height(); y += 16)
            for (int x = 0; x < bitmap.Width(); x += 7) {
                const auto c = bitmap.Pixel(x, y);
                ExpectNear(
                    { platform::GetRValue(c), platform::GetGValue(c), platform::GetBValue(c) },
                    ExpectedSrgb(kAdobeRgb, { y & 255, x & 255, (x ^ y) & 255 }),
                    std::to_string(x) + "," + std::to_string(y));
            }
    }

    // ---- Grey profiles ----

    TEST(ColourProfile, GreyProfileConvertsAGreyPalette)
    {
        std::vector<PaletteEntry> ramp;
        for (int i = 0; i < 256; ++i)
            ramp.push_back({ uint8_t(i), uint8_t(i), uint8_t(i), 0 });
        TBitmap bitmap(40, 3, TPixelFormat::pf8bit);
        bitmap.SetPalette(ramp);
        for (int x = 0; x < 40; ++x)
            bitmap.SetRawPixel(x, 1, uint32_t(6 * x));
        const Bytes indices(bitmap.Bits().begin(), bitmap.Bits().end());

        ASSERT_TRUE(ConvertToSrgb(bitmap, GreyProfile(1.8)));
        EXPECT_EQ(Bytes(bitmap.Bits().begin(), bitmap.Bits().end()), indices);
        for (int i = 0; i < 256; ++i) {
            // A D50 grey is sRGB's white scaled, so the level only changes its curve.
            const int expected = int(std::lround(255 * SrgbEncode(std::pow(i / 255.0, 1.8))));
            const PaletteEntry& e = bitmap.PaletteEntries()[size_t(i)];
            ExpectNear({ e.peRed, e.peGreen, e.peBlue }, { expected, expected, expected },
                "level " + std::to_string(i));
        }
    }

    TEST(ColourProfile, GreyProfileConvertsGreyTrueColourPixels)
    {
        TBitmap bitmap = ColourPicture(TPixelFormat::pf24bit,
            { { 0, 0, 0 }, { 50, 50, 50 }, { 128, 128, 128 }, { 255, 255, 255 } });
        ASSERT_TRUE(ConvertToSrgb(bitmap, GreyProfile(1.0)));
        for (const auto& [i, level] : { std::pair { 0, 0 }, { 1, 50 }, { 2, 128 }, { 3, 255 } }) {
            const int expected = int(std::lround(255 * SrgbEncode(level / 255.0)));
            ExpectNear(PixelAt(bitmap, size_t(i)), { expected, expected, expected },
                std::to_string(level));
        }
    }

    TEST(ColourProfile, GreyProfileRefusesColouredPictures)
    {
        const Bytes profile = GreyProfile(2.2);
        for (TPixelFormat format :
            { TPixelFormat::pf8bit, TPixelFormat::pf24bit, TPixelFormat::pf16bit }) {
            TBitmap bitmap = ColourPicture(format, { { 10, 10, 10 }, { 200, 20, 20 } });
            const Snapshot before(bitmap);
            EXPECT_FALSE(ConvertToSrgb(bitmap, profile));
            EXPECT_TRUE(Snapshot(bitmap) == before);
        }
    }

    // ---- Refusals: the picture stays byte for byte as it was ----

    TEST(ColourProfile, SrgbProfilesLeaveThePictureAsItIs)
    {
        cmsToneCurve* table = [] {
            // A tabulated curve, as many vendors' sRGB profiles carry instead of parameters.
            std::vector<float> values(1024);
            for (size_t i = 0; i < values.size(); ++i)
                values[i] = float(SrgbDecode(double(i) / 1023));
            return cmsBuildTabulatedToneCurveFloat(
                nullptr, cmsUInt32Number(values.size()), values.data());
        }();
        const cmsCIExyY white { 0.3127, 0.3290, 1 };
        cmsCIExyYTRIPLE primaries { { 0.64, 0.33, 1 }, { 0.30, 0.60, 1 }, { 0.15, 0.06, 1 } };
        cmsToneCurve* curves[3] = { table, table, table };
        cmsHPROFILE tabulated = cmsCreateRGBProfile(&white, &primaries, curves);
        cmsFreeToneCurve(table);
        cmsSetProfileVersion(tabulated, 2.1);

        for (const Bytes& profile :
            { Save(cmsCreate_sRGBProfile()), Save(tabulated), RgbProfile(kSrgb, 2.1) }) {
            TBitmap bitmap = ColourPicture(TPixelFormat::pf24bit);
            const Snapshot before(bitmap);
            EXPECT_FALSE(ConvertToSrgb(bitmap, profile));
            EXPECT_TRUE(Snapshot(bitmap) == before);
        }
    }

    // sRGB's primaries with a plain 2.2 gamma are not sRGB: the dark tones differ.
    TEST(ColourProfile, SrgbPrimariesWithAnotherCurveAreConverted)
    {
        Space gamma = kSrgb;
        gamma.decode = [](double v) { return std::pow(v, 2.2); };
        gamma.curve = [] { return cmsBuildGamma(nullptr, 2.2); };
        TBitmap bitmap = ColourPicture(TPixelFormat::pf24bit);
        ASSERT_TRUE(ConvertToSrgb(bitmap, RgbProfile(gamma)));
        for (size_t i = 0; i < kColours.size(); ++i)
            ExpectNear(PixelAt(bitmap, i), ExpectedSrgb(gamma, kColours[i]), Name(kColours[i]));
    }

    struct Damage {
        const char* name;
        std::function<Bytes()> make;
    };

    Bytes Patched(Bytes b, size_t at, uint32_t value)
    {
        PutBe32(b, at, value);
        return b;
    }

    // The index of a tag in the profile's table, or the table's end.
    size_t TagEntry(const Bytes& b, uint32_t signature)
    {
        const uint32_t count = Be32(b, 128);
        for (size_t i = 0; i < count; ++i)
            if (Be32(b, 132 + 12 * i) == signature)
                return 132 + 12 * i;
        ADD_FAILURE() << "tag missing";
        return 0;
    }

    const std::vector<Damage> kDamaged {
        { "Empty", [] { return Bytes(); } },
        { "HeaderOnly",
            [] {
                Bytes b = RgbProfile(kAdobeRgb);
                b.resize(128);
                return b;
            } },
        { "Truncated",
            [] {
                Bytes b = RgbProfile(kAdobeRgb);
                b.resize(b.size() - 40);
                return b;
            } },
        { "RandomBytes",
            [] {
                std::mt19937 random(7);
                Bytes b(600);
                for (auto& v : b)
                    v = uint8_t(random());
                return b;
            } },
        { "RandomBodyBehindAValidHeader",
            [] {
                Bytes b = RgbProfile(kAdobeRgb);
                std::mt19937 random(11);
                for (size_t i = 128; i < b.size(); ++i)
                    b[i] = uint8_t(random());
                return b;
            } },
        { "NoSignature", [] { return Patched(RgbProfile(kAdobeRgb), 36, 0x41435350); } },
        { "AbsurdHeaderSize", [] { return Patched(RgbProfile(kAdobeRgb), 0, 0xFFFFFFF0); } },
        { "HeaderSizeTooSmall", [] { return Patched(RgbProfile(kAdobeRgb), 0, 64); } },
        { "HugeTagCount", [] { return Patched(RgbProfile(kAdobeRgb), 128, 0x10000000); } },
        { "TagPastTheEnd",
            [] {
                Bytes b = RgbProfile(kAdobeRgb);
                return Patched(b, TagEntry(b, cmsSigRedColorantTag) + 4, uint32_t(b.size()) - 8);
            } },
        { "TagSizeWrapsAround",
            [] {
                Bytes b = RgbProfile(kAdobeRgb);
                return Patched(b, TagEntry(b, cmsSigProfileDescriptionTag) + 8, 0xFFFFFFF8);
            } },
        { "CurveTagOfAnotherType",
            [] {
                Bytes b = RgbProfile(kAdobeRgb);
                const size_t at = Be32(b, TagEntry(b, cmsSigRedTRCTag) + 4);
                return Patched(b, at, 0x58595A20); // 'XYZ '
            } },
        { "CmykColourSpace", [] { return Patched(RgbProfile(kAdobeRgb), 16, cmsSigCmykData); } },
        { "OutputClass", [] { return Patched(RgbProfile(kAdobeRgb), 12, cmsSigOutputClass); } },
        { "LabAbstract", [] { return Save(cmsCreateLab4Profile(nullptr)); } },
        { "CmykDeviceLink",
            [] { return Save(cmsCreateInkLimitingDeviceLink(cmsSigCmykData, 300)); } },
        { "OverTheSizeCap",
            [] {
                Bytes b = RgbProfile(kAdobeRgb);
                b.resize((size_t(16) << 20) + 4);
                PutBe32(b, 0, uint32_t(b.size()));
                return b;
            } },
    };

    TEST(ColourProfile, DamagedAndForeignProfilesAreRefused)
    {
        for (const Damage& damage : kDamaged) {
            const Bytes profile = damage.make();
            for (TPixelFormat format : { TPixelFormat::pf8bit, TPixelFormat::pf16bit,
                     TPixelFormat::pf24bit, TPixelFormat::pf32bit }) {
                TBitmap bitmap = ColourPicture(format);
                const Snapshot before(bitmap);
                EXPECT_FALSE(ConvertToSrgb(bitmap, profile)) << damage.name;
                EXPECT_TRUE(Snapshot(bitmap) == before) << damage.name;
            }
        }
    }

    // The profile's declared size rules: bytes after it (a padded last piece) are not its.
    TEST(ColourProfile, BytesAfterTheDeclaredSizeAreIgnored)
    {
        Bytes profile = RgbProfile(kAdobeRgb);
        profile.resize(profile.size() + 100, 0xEE);
        TBitmap bitmap = ColourPicture(TPixelFormat::pf24bit);
        ASSERT_TRUE(ConvertToSrgb(bitmap, profile));
        ExpectNear(PixelAt(bitmap, 12), ExpectedSrgb(kAdobeRgb, kColours[12]), "mid-tone");
    }

    TEST(ColourProfile, EmptyPictureIsLeftAlone)
    {
        TBitmap bitmap(0, 0, TPixelFormat::pf24bit);
        EXPECT_FALSE(ConvertToSrgb(bitmap, RgbProfile(kAdobeRgb)));
    }

    // Writes the fuzz target's seed corpus: run by hand with --gtest_also_run_disabled_tests and
    // VTL_CORPUS_OUT set to tests/fuzz/corpus/colour_profile.
    TEST(ColourProfile, DISABLED_WriteFuzzCorpus)
    {
        const char* out = std::getenv("VTL_CORPUS_OUT");
        if (!out)
            GTEST_SKIP() << "VTL_CORPUS_OUT not set";
        const std::filesystem::path folder(out);
        std::filesystem::create_directories(folder);
        auto write = [&](const std::string& name, const Bytes& bytes) {
            std::ofstream(folder / name, std::ios::binary)
                .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        };
        write("adobe_rgb_v2.icc", RgbProfile(kAdobeRgb, 2.1));
        write("display_p3_v4.icc", RgbProfile(kDisplayP3));
        write("prophoto_v4.icc", RgbProfile(kProPhoto));
        write("srgb.icc", Save(cmsCreate_sRGBProfile()));
        write("grey_gamma_18.icc", GreyProfile(1.8));
        write("lab_abstract.icc", Save(cmsCreateLab4Profile(nullptr)));
        // Large or repeated ones stay out: the cap's 16 MiB, the device link's 650 KB table.
        for (const Damage& damage : kDamaged) {
            const std::string name = damage.name;
            if (name != "OverTheSizeCap" && name != "Empty" && name != "CmykDeviceLink"
                && name != "LabAbstract")
                write("damaged_" + name + ".icc", damage.make());
        }
    }

} // namespace
} // namespace vtl::codecs
