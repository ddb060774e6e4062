#include "processing/colour_reduction.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace vtl::processing {

namespace {
    constexpr uint32_t kUnbuilt = std::numeric_limits<uint32_t>::max();
    constexpr int kCellBits = 3; // cells of 8 values a channel
    constexpr int kCellsPerChannel = 256 >> kCellBits;

    // Smallest and largest squared distance from an entry's channel value to a cell's range.
    void ChannelRange(int value, int low, int high, int& nearest, int& farthest)
    {
        const int d = value < low ? low - value : value > high ? value - high : 0;
        const int f = std::max(std::abs(value - low), std::abs(value - high));
        nearest = d * d;
        farthest = f * f;
    }
}

const std::array<PaletteEntry, 16>& SystemColours()
{
    static const std::array<PaletteEntry, 16> kColours { { { 0, 0, 0, 0 }, { 0, 0, 128, 0 },
        { 0, 128, 0, 0 }, { 0, 128, 128, 0 }, { 128, 0, 0, 0 }, { 128, 0, 128, 0 },
        { 128, 128, 0, 0 }, { 128, 128, 128, 0 }, { 192, 192, 192, 0 }, { 0, 0, 255, 0 },
        { 0, 255, 0, 0 }, { 0, 255, 255, 0 }, { 255, 0, 0, 0 }, { 255, 0, 255, 0 },
        { 255, 255, 0, 0 }, { 255, 255, 255, 0 } } };
    return kColours;
}

TNearestIndex::TNearestIndex(std::span<const PaletteEntry> palette)
    : m_palette(
        palette.begin(), palette.begin() + std::min<ptrdiff_t>(ptrdiff_t(palette.size()), 256))
    , m_cellStart(size_t(kCellsPerChannel) * kCellsPerChannel * kCellsPerChannel, kUnbuilt)
    , m_cellCount(m_cellStart.size(), 0)
{
}

void TNearestIndex::BuildCell(uint32_t cell)
{
    const int r0 = int(cell >> (2 * (8 - kCellBits))) << kCellBits;
    const int g0 = int((cell >> (8 - kCellBits)) & (kCellsPerChannel - 1)) << kCellBits;
    const int b0 = int(cell & (kCellsPerChannel - 1)) << kCellBits;
    const int span = (1 << kCellBits) - 1;
    // An entry can be nearest somewhere in the cell only when its nearest point of the cell is no
    // farther than the best of all entries' farthest points.
    int bound = std::numeric_limits<int>::max();
    std::vector<int> nearest(m_palette.size());
    for (size_t i = 0; i < m_palette.size(); ++i) {
        int nr, fr, ng, fg, nb, fb;
        ChannelRange(m_palette[i].peRed, r0, r0 + span, nr, fr);
        ChannelRange(m_palette[i].peGreen, g0, g0 + span, ng, fg);
        ChannelRange(m_palette[i].peBlue, b0, b0 + span, nb, fb);
        nearest[i] = nr + ng + nb;
        bound = std::min(bound, fr + fg + fb);
    }
    m_cellStart[cell] = uint32_t(m_candidates.size());
    for (size_t i = 0; i < m_palette.size(); ++i)
        if (nearest[i] <= bound)
            m_candidates.push_back(uint8_t(i));
    m_cellCount[cell] = uint16_t(m_candidates.size() - m_cellStart[cell]);
}

uint8_t TNearestIndex::Find(int red, int green, int blue)
{
    if (m_palette.empty())
        return 0;
    const uint32_t cell = (uint32_t(red >> kCellBits) << (2 * (8 - kCellBits)))
        | (uint32_t(green >> kCellBits) << (8 - kCellBits)) | uint32_t(blue >> kCellBits);
    if (m_cellStart[cell] == kUnbuilt)
        BuildCell(cell);
    const uint8_t* candidate = m_candidates.data() + m_cellStart[cell];
    const uint8_t* end = candidate + m_cellCount[cell];
    uint8_t best = *candidate;
    int bestDistance = std::numeric_limits<int>::max();
    for (; candidate != end; ++candidate) {
        const PaletteEntry& e = m_palette[*candidate];
        const int dr = e.peRed - red, dg = e.peGreen - green, db = e.peBlue - blue;
        const int distance = dr * dr + dg * dg + db * db;
        if (distance < bestDistance) {
            bestDistance = distance;
            best = *candidate;
        }
    }
    return best;
}

std::vector<size_t> GreedySelection(std::span<const CountedColour> colours, size_t wanted)
{
    std::vector<size_t> picks;
    const size_t n = colours.size();
    if (n == 0 || wanted == 0)
        return picks;
    std::vector<bool> picked(n, false);
    std::vector<double> spread(n, 0.0);
    size_t pick = 0;
    for (size_t i = 1; i < n; ++i)
        if (colours[i].count > colours[pick].count)
            pick = i;
    while (true) {
        picks.push_back(pick);
        picked[pick] = true;
        if (picks.size() == wanted || picks.size() == n)
            break;
        const PaletteEntry& p = colours[pick].colour;
        double total = 0, largest = 0;
        size_t live = 0;
        for (size_t i = 0; i < n; ++i) {
            if (picked[i] || colours[i].count == 0)
                continue;
            const int dr = colours[i].colour.peRed - p.peRed;
            const int dg = colours[i].colour.peGreen - p.peGreen;
            const int db = colours[i].colour.peBlue - p.peBlue;
            spread[i] += std::pow(double(dr * dr + dg * dg + db * db), 0.1);
            total += spread[i];
            largest = live == 0 ? spread[i] : std::max(largest, spread[i]);
            ++live;
        }
        bool found = false;
        if (live > 0) {
            const double threshold = (total / double(live) + largest) / 2;
            for (size_t i = 0; i < n; ++i) {
                if (picked[i] || colours[i].count == 0 || !(spread[i] > threshold))
                    continue;
                if (!found || colours[i].count > colours[pick].count) {
                    pick = i;
                    found = true;
                }
            }
        }
        if (!found)
            pick = size_t(std::find(picked.begin(), picked.end(), false) - picked.begin());
    }
    return picks;
}

} // namespace vtl::processing
