#pragma once
// What the reductions to 256 and to 16 colours share: exact nearest-entry look-ups that do not scan
// the palette for every pixel, the Floyd-Steinberg error diffusion, the greedy palette selection
// and the 16 system colours.

#include "platform/color.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace vtl::processing {

using platform::PaletteEntry;

// The 16 system colours in their order, black first and white last.
const std::array<PaletteEntry, 16>& SystemColours();

// The index GetNearestPaletteIndex gives (smallest squared distance, the first entry on ties),
// found among the few entries that can be nearest anywhere in the colour's cell of 8 x 8 x 8
// colours. Each cell's candidates are worked out the first time a colour falls into it.
class TNearestIndex {
public:
    explicit TNearestIndex(std::span<const PaletteEntry> palette);
    uint8_t Find(int red, int green, int blue);

private:
    void BuildCell(uint32_t cell);

    std::vector<PaletteEntry> m_palette;
    std::vector<uint32_t> m_cellStart; // into m_candidates; kUnbuilt until first used
    std::vector<uint16_t> m_cellCount;
    std::vector<uint8_t> m_candidates; // in index order, so that the first of equals wins
};

// A source colour for the greedy selection: the colour and the number of pixels that have it.
struct CountedColour {
    PaletteEntry colour;
    uint32_t count = 0;
};

// Indices into `colours` of `wanted` picks: first the most frequent colour; after each pick the
// colours not yet picked that have pixels grow their spread by (squared distance to the pick)^0.1,
// and the next pick is the most frequent of those whose spread exceeds (mean + largest) / 2; when
// none does, the first colour not yet picked. Fewer picks only when the colours run out.
std::vector<size_t> GreedySelection(std::span<const CountedColour> colours, size_t wanted);

// Floyd-Steinberg error diffusion over serpentine rows: even rows left to right, odd rows right to
// left; 7/16 ahead, 3/16 below behind, 5/16 below, 1/16 below ahead, each share cut towards zero;
// shares that would fall outside the row are dropped.
//
// `sourceRow(y)` gives row y as blue, green, red bytes. `choose(wanted, error)` gets the wanted
// blue, green, red (source plus carried error, clamped to 0..255), returns the index to write and
// sets the error to spread for each channel. `emit(y, indices)` receives each finished row.
template <typename SourceRow, typename Choose, typename Emit>
void DiffuseErrors(
    int32_t width, int32_t height, SourceRow&& sourceRow, Choose&& choose, Emit&& emit)
{
    // One spare pixel at each end takes the shares that fall outside and is never read.
    const size_t stride = (size_t(width) + 2) * 3;
    std::vector<int16_t> errors(stride * 2, 0);
    int16_t* current = errors.data();
    int16_t* next = errors.data() + stride;
    std::vector<uint8_t> indices(static_cast<size_t>(width));
    for (int32_t y = 0; y < height; ++y) {
        std::swap(current, next);
        std::fill_n(next, stride, int16_t(0));
        const uint8_t* src = sourceRow(y);
        const bool forward = (y & 1) == 0;
        const int step = forward ? 1 : -1;
        int32_t x = forward ? 0 : width - 1;
        for (int32_t n = 0; n < width; ++n, x += step) {
            int16_t* here = current + size_t(x + 1) * 3;
            int16_t* below = next + size_t(x + 1) * 3;
            int wanted[3];
            for (int c = 0; c < 3; ++c) {
                const int v = src[3 * x + c] + here[c];
                wanted[c] = v < 0 ? 0 : v > 255 ? 255 : v;
            }
            int error[3];
            indices[size_t(x)] = choose(wanted, error);
            const int ahead = 3 * step;
            for (int c = 0; c < 3; ++c) {
                const int e = error[c];
                here[ahead + c] = int16_t(here[ahead + c] + e * 7 / 16);
                below[-ahead + c] = int16_t(below[-ahead + c] + e * 3 / 16);
                below[c] = int16_t(below[c] + e * 5 / 16);
                below[ahead + c] = int16_t(below[ahead + c] + e * 1 / 16);
            }
        }
        emit(y, indices.data());
    }
}

// The usual choice: the nearest entry of the palette, the error being wanted minus that entry.
class NearestChoice {
public:
    explicit NearestChoice(std::span<const PaletteEntry> palette)
        : m_palette(palette.begin(), palette.end())
        , m_nearest(palette)
    {
    }
    uint8_t operator()(const int wanted[3], int error[3])
    {
        const uint8_t index = m_nearest.Find(wanted[2], wanted[1], wanted[0]);
        const PaletteEntry& e = m_palette[index];
        error[0] = wanted[0] - e.peBlue;
        error[1] = wanted[1] - e.peGreen;
        error[2] = wanted[2] - e.peRed;
        return index;
    }

private:
    std::vector<PaletteEntry> m_palette;
    TNearestIndex m_nearest;
};

// Rounds sum / count to the nearest integer, halves to the even neighbour (count above 0).
inline uint8_t RoundedMean(uint64_t sum, uint64_t count)
{
    uint64_t q = sum / count;
    const uint64_t twice = 2 * (sum % count);
    if (twice > count || (twice == count && (q & 1)))
        ++q;
    return uint8_t(q > 255 ? 255 : q);
}

} // namespace vtl::processing
