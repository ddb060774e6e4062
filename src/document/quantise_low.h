#pragma once
// Colour quantisation by the variance split, Low variant: a histogram of 65 536 colour cells is
// split into at most 256 (or 16) colours. Also the reduction of 8-bit pictures to 16 colours,
// which splits the palette entries that occur. The split itself is shared with the High variant.

#include "document/dib_image.h"
#include "platform/color.h"
#include "platform/geometry.h"
#include "platform/progress.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace vtl::document {

// Progress of a quantising conversion: a starting report, one running report per leaf of the
// split tree (the leaf that reaches the total is not reported) and an ending report.
class QuantiseProgress {
public:
    QuantiseProgress(const platform::ProgressHandler& handler, platform::TRect rect,
        std::string text, int total);
    void Start();
    void Leaf();
    void End();
    int Steps() const { return m_step; }

private:
    void Report(platform::ProgressStage stage, int percent, bool redraw);

    const platform::ProgressHandler& m_handler;
    platform::TRect m_rect;
    std::string m_text;
    int m_total;
    int m_step = 0;
};

// One entry of the list that the split works on: a colour, its weight, and the key of what it
// stands for (a histogram cell or an old palette index).
struct SplitEntry {
    uint8_t r = 0;
    uint8_t g = 0;
    uint8_t b = 0;
    uint32_t weight = 0;
    uint32_t key = 0;
};

// The decisions of a split, as the High variant walks them for each pixel.
struct SplitNode {
    uint8_t divideId = 3; // 0 red, 1 green, 2 blue, 3 leaf
    long double mean = 0;
    // A channel value goes to the lower child when it is not above `mean`, that is when it is not
    // above `threshold` = floor(mean); the integer form keeps the per-pixel walk cheap.
    int threshold = 0;
    int lower = -1;
    int upper = -1;
    int paletteIndex = -1; // leaves that held colours
};

enum class SplitVariant { Low, High };

// One pixel of the High variant's copy of the picture, as a 24-bit row stores it (weight 1).
struct SplitPixel {
    uint8_t b = 0;
    uint8_t g = 0;
    uint8_t r = 0;
};

// Splits the list in place to `depth` levels and appends the leaf colours to `palette` (upper
// parts before lower parts). The entry form sets indexByKey[key] to the palette index of each
// entry's leaf; the pixel form leaves the mapping to the returned tree. `progress` may be null.
std::vector<SplitNode> VarianceSplit(std::span<SplitEntry> entries, int depth, SplitVariant variant,
    std::vector<platform::RGBQuad>& palette, std::span<uint8_t> indexByKey,
    QuantiseProgress* progress);
std::vector<SplitNode> VarianceSplit(std::span<SplitPixel> pixels, int depth, SplitVariant variant,
    std::vector<platform::RGBQuad>& palette, QuantiseProgress* progress);

// The Low quantiser: a 24-bit uncompressed picture to 8 bits (256 colours) or 4 bits (16).
DibImage ConvertTrueColorTo8BitRGBLow(const DibImage& source, QuantiseProgress* progress);
DibImage ConvertTrueColorTo4BitRGBLow(const DibImage& source, QuantiseProgress* progress);

// 8 bits uncompressed to 4 bits by splitting the palette entries that occur, weighted by their
// pixel counts (Low variant). Other sources raise EDIBBadDIBType.
DibImage Convert8BitRGBTo4BitRGB(const DibImage& source, QuantiseProgress* progress);

// A palette made by a split as the colour table of `image` (colours used = its size).
void SetQuantisedPalette(DibImage& image, const std::vector<platform::RGBQuad>& palette);

} // namespace vtl::document
