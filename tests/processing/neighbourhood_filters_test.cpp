// The window filters against plain per-pixel versions of their descriptions, and the edge cases
// of a flat picture.

#include "processing/neighbourhood_filters.h"
#include "test_pictures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace vtl::processing {
namespace {

    using platform::TPixelFormat;
    using testing::At;
    using testing::Bgr;

    // Channel c of (x, y), 0 outside the picture.
    int Value(const TBitmap& p, int32_t x, int32_t y, int c)
    {
        if (x < 0 || y < 0 || x >= p.Width() || y >= p.Height())
            return 0;
        return p.ScanLine(y)[3 * x + c];
    }

    // The blur's visiting order, written out per pixel.
    double GroupedSumAt(
        const TBitmap& p, int32_t x, int32_t y, int c, int half, const std::vector<double>& w)
    {
        const int side = half + 1;
        double sum = w[0] * Value(p, x, y, c);
        for (int f = 0; f <= half; ++f)
            for (int j = 1; j <= half; ++j) {
                int four = Value(p, x + j, y + f, c) + Value(p, x - j, y - f, c)
                    + Value(p, x + f, y - j, c) + Value(p, x - f, y + j, c);
                sum += four * w[size_t(f * side + j)];
            }
        return sum;
    }

    template <typename Fn> TBitmap Reference(const TBitmap& p, Fn&& channel)
    {
        return testing::Picture24(p.Width(), p.Height(), [&](int32_t x, int32_t y) {
            return Bgr { channel(x, y, 0), channel(x, y, 1), channel(x, y, 2) };
        });
    }

    uint8_t Clamp(int v) { return uint8_t(std::clamp(v, 0, 255)); }

    TEST(Blur, WeightsAsDescribed)
    {
        const std::vector<double> small = BlurWeights(BlurSize::Small);
        EXPECT_EQ(small, (std::vector<double> { 0.20, 0.12, 0.12, 0.08 }));
        const std::vector<double> large = BlurWeights(BlurSize::Large);
        ASSERT_EQ(large.size(), 36u);
        EXPECT_NEAR(large[0], 0.039789, 1e-6);
        EXPECT_NEAR(large[5], 0.001748, 1e-6);
        EXPECT_NEAR(large[35], 0.0000768, 1e-7);
        double total = 0;
        for (int dy = -5; dy <= 5; ++dy)
            for (int dx = -5; dx <= 5; ++dx)
                total += large[size_t(std::abs(dy) * 6 + std::abs(dx))];
        EXPECT_NEAR(total, 0.9891, 1e-4);
    }

    TEST(Blur, WhiteCornerAndDarkerBorders)
    {
        TBitmap white = testing::Flat24(3, 3, { 255, 255, 255 });
        ASSERT_TRUE(Blur(white, nullptr, BlurSize::Small, {}));
        EXPECT_EQ(At(white, 0, 0), (Bgr { 133, 133, 133 })); // 132.6
        EXPECT_EQ(At(white, 1, 1), (Bgr { 255, 255, 255 }));
        EXPECT_EQ(At(white, 1, 0).b, 184); // 255 x (0.2 + 3 x 0.12 + 2 x 0.08) = 183.6

        TBitmap large = testing::Flat24(30, 30, { 255, 255, 255 });
        ASSERT_TRUE(Blur(large, nullptr, BlurSize::Large, {}));
        EXPECT_LT(At(large, 0, 0).g, At(large, 5, 5).g);
        EXPECT_EQ(At(large, 15, 15).g, 252); // 255 x 0.9891, the window's whole weight
    }

    TEST(Blur, SameAsPlainPerPixelSums)
    {
        for (BlurSize size : { BlurSize::Small, BlurSize::Large }) {
            const int half = size == BlurSize::Small ? 1 : 5;
            const std::vector<double> w = BlurWeights(size);
            const TBitmap before = testing::Random24(29, 23, 5);
            TBitmap picture(before);
            ASSERT_TRUE(Blur(picture, nullptr, size, {}));
            TBitmap want = Reference(before, [&](int32_t x, int32_t y, int c) {
                return uint8_t(std::nearbyint(GroupedSumAt(before, x, y, c, half, w)));
            });
            EXPECT_TRUE(testing::SamePicture(picture, want));
        }
    }

    TEST(Sharpen, FlatInteriorBrightBorderAndReference)
    {
        TBitmap flat = testing::Flat24(5, 4, { 40, 50, 60 });
        ASSERT_TRUE(Sharpen(flat, nullptr, {}));
        EXPECT_EQ(At(flat, 2, 1), (Bgr { 40, 50, 60 }));
        EXPECT_EQ(At(flat, 2, 0), (Bgr { 80, 100, 120 })); // one neighbour fewer
        EXPECT_EQ(At(flat, 0, 0), (Bgr { 120, 150, 180 })); // two fewer

        const TBitmap before = testing::Random24(19, 13, 6);
        TBitmap picture(before);
        ASSERT_TRUE(Sharpen(picture, nullptr, {}));
        TBitmap want = Reference(before, [&](int32_t x, int32_t y, int c) {
            return Clamp(5 * Value(before, x, y, c) - Value(before, x, y - 1, c)
                - Value(before, x, y + 1, c) - Value(before, x - 1, y, c)
                - Value(before, x + 1, y, c));
        });
        EXPECT_TRUE(testing::SamePicture(picture, want));
    }

    TEST(Emboss, KernelTable)
    {
        EXPECT_EQ(EmbossKernel({ 0, false }), (std::array<int, 9> { 1, 0, 0, 0, 1, 0, 0, 0, -1 }));
        EXPECT_EQ(EmbossKernel({ 0, true }), (std::array<int, 9> { 2, 1, 0, 1, 1, -1, 0, -1, -2 }));
        EXPECT_EQ(EmbossKernel({ 1, false }), (std::array<int, 9> { 0, 0, -1, 0, 1, 0, 1, 0, 0 }));
        EXPECT_EQ(EmbossKernel({ 1, true }), (std::array<int, 9> { 0, -1, -2, 1, 1, -1, 2, 1, 0 }));
        EXPECT_EQ(EmbossKernel({ 2, false }), (std::array<int, 9> { 0, 0, 1, 0, 1, 0, -1, 0, 0 }));
        EXPECT_EQ(EmbossKernel({ 2, true }), (std::array<int, 9> { 0, 1, 2, -1, 1, 1, -2, -1, 0 }));
        EXPECT_EQ(EmbossKernel({ 3, false }), (std::array<int, 9> { -1, 0, 0, 0, 1, 0, 0, 0, 1 }));
        EXPECT_EQ(EmbossKernel({ 3, true }), (std::array<int, 9> { -2, -1, 0, -1, 1, 1, 0, 1, 2 }));
    }

    TEST(Emboss, FlatInteriorAndReferenceForEveryLight)
    {
        const TBitmap before = testing::Random24(17, 11, 12);
        for (int position = 0; position < 4; ++position)
            for (bool strong : { false, true }) {
                SCOPED_TRACE(position * 2 + strong);
                TBitmap flat = testing::Flat24(6, 6, { 90, 20, 200 });
                ASSERT_TRUE(Emboss(flat, nullptr, { position, strong }, {}));
                EXPECT_EQ(At(flat, 2, 3), (Bgr { 90, 20, 200 }));

                const std::array<int, 9> k = EmbossKernel({ position, strong });
                TBitmap picture(before);
                ASSERT_TRUE(Emboss(picture, nullptr, { position, strong }, {}));
                TBitmap want = Reference(before, [&](int32_t x, int32_t y, int c) {
                    int sum = 0;
                    for (int r = 0; r < 3; ++r)
                        for (int col = 0; col < 3; ++col)
                            sum += k[size_t(r * 3 + col)]
                                * Value(before, x + col - 1, y + r - 1, c);
                    return Clamp(sum);
                });
                EXPECT_TRUE(testing::SamePicture(picture, want));
            }
    }

    TEST(Edge, FlatIsBlackInsideBrightAtTheBorderAndReference)
    {
        TBitmap flat = testing::Flat24(6, 5, { 100, 100, 100 });
        ASSERT_TRUE(Edge(flat, nullptr, {}));
        EXPECT_EQ(At(flat, 2, 2), (Bgr { 0, 0, 0 }));
        EXPECT_EQ(At(flat, 0, 2), (Bgr { 255, 255, 255 })); // Gx = 400
        EXPECT_EQ(At(flat, 0, 0).r, 255);

        TBitmap dim = testing::Flat24(6, 5, { 20, 20, 20 });
        ASSERT_TRUE(Edge(dim, nullptr, {}));
        EXPECT_EQ(At(dim, 0, 2).g, 80); // Gx = 4 x 20, Gy = 0
        EXPECT_EQ(At(dim, 0, 0).g, 84); // Gx = Gy = 60: 84.85

        const TBitmap before = testing::Random24(21, 9, 13);
        TBitmap picture(before);
        ASSERT_TRUE(Edge(picture, nullptr, {}));
        TBitmap want = Reference(before, [&](int32_t x, int32_t y, int c) {
            auto v = [&](int dx, int dy) { return Value(before, x + dx, y + dy, c); };
            int gx = (v(1, -1) + 2 * v(1, 0) + v(1, 1)) - (v(-1, -1) + 2 * v(-1, 0) + v(-1, 1));
            int gy = (v(-1, 1) + 2 * v(0, 1) + v(1, 1)) - (v(-1, -1) + 2 * v(0, -1) + v(1, -1));
            return uint8_t(std::min(255, int(std::sqrt(double(gx * gx + gy * gy)))));
        });
        EXPECT_TRUE(testing::SamePicture(picture, want));
    }

    TEST(ContourLines, NoBlueGivesWhite)
    {
        TBitmap picture = testing::Picture24(20, 16, [](int32_t x, int32_t y) {
            return Bgr { 0, uint8_t(x * 12), uint8_t(y * 15) };
        });
        ASSERT_TRUE(ContourLines(picture, nullptr, {}));
        ASSERT_EQ(picture.PixelFormat(), TPixelFormat::pf1bit);
        for (int32_t y = 0; y < 16; ++y)
            for (int32_t x = 0; x < 20; ++x)
                ASSERT_EQ(picture.Pixel(x, y), 0xFFFFFFu);
    }

    TEST(ContourLines, SameAsThePlainZeroCrossingRule)
    {
        const std::vector<double> w = ContourWeights();
        EXPECT_NEAR(w[0], -0.019894, 1e-6);
        EXPECT_NEAR(w[size_t(2 * 7 + 2)], 0.0, 1e-15); // r^2 = 8
        EXPECT_GT(w[size_t(3 * 7 + 3)], 0.0);

        const TBitmap before = testing::Patchy24(40, 30, 21, 3);
        TBitmap picture(before);
        ASSERT_TRUE(ContourLines(picture, nullptr, {}));
        std::vector<int> sign(size_t(before.Width()) + 1, 0);
        int blacks = 0;
        for (int32_t y = 0; y < before.Height(); ++y)
            for (int32_t x = 0; x < before.Width(); ++x) {
                double v = GroupedSumAt(before, x, y, 0, 6, w);
                int above = sign[size_t(x) + 1], left = sign[size_t(x)];
                bool black
                    = (v > 0 && (above < 0 || left < 0)) || (v < 0 && (above > 0 || left > 0));
                sign[size_t(x) + 1] = v > 0 ? 1 : v < 0 ? -1 : 0;
                blacks += black;
                ASSERT_EQ(picture.Pixel(x, y), black ? 0u : 0xFFFFFFu) << x << "," << y;
            }
        EXPECT_GT(blacks, 0);
    }

    TEST(Median, RemovesALonePixel)
    {
        TBitmap picture = testing::Flat24(7, 7, { 10, 10, 10 });
        picture.ScanLine(3)[9] = picture.ScanLine(3)[10] = picture.ScanLine(3)[11] = 250;
        ASSERT_TRUE(Median(picture, nullptr, {}));
        EXPECT_EQ(At(picture, 3, 3), (Bgr { 10, 10, 10 }));
    }

    TEST(Median, SameAsAStableSortOfTheNine)
    {
        // Few colours and colours with equal keys make ties; the stable sort decides them.
        const TBitmap patchy = testing::Patchy24(33, 17, 4, 3);
        const TBitmap swapped = testing::Picture24(12, 12, [](int32_t x, int32_t y) {
            // 29 B + 150 G + 77 R is the same for (150, 0, 0) and (0, 29, 0).
            return (x + y) % 3 == 0 ? Bgr { 150, 0, 0 }
                : (x * y) % 2       ? Bgr { 0, 29, 0 }
                                    : Bgr { 9, 9, 9 };
        });
        for (const TBitmap& before : { patchy, swapped, testing::Random24(15, 9, 3) }) {
            TBitmap picture(before);
            ASSERT_TRUE(Median(picture, nullptr, {}));
            TBitmap want
                = testing::Picture24(before.Width(), before.Height(), [&](int32_t x, int32_t y) {
                      std::vector<std::pair<int, Bgr>> nine;
                      for (int dy = -1; dy <= 1; ++dy)
                          for (int dx = -1; dx <= 1; ++dx) {
                              Bgr c { uint8_t(Value(before, x + dx, y + dy, 0)),
                                  uint8_t(Value(before, x + dx, y + dy, 1)),
                                  uint8_t(Value(before, x + dx, y + dy, 2)) };
                              nine.push_back({ 29 * c.b + 150 * c.g + 77 * c.r, c });
                          }
                      std::stable_sort(nine.begin(), nine.end(),
                          [](auto& a, auto& b) { return a.first < b.first; });
                      return nine[4].second;
                  });
            EXPECT_TRUE(testing::SamePicture(picture, want));
        }
    }

} // namespace
} // namespace vtl::processing
