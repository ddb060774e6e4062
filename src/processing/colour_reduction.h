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
// found among the few entries that can be nearest anywhere in the colour's cell. Cells are
// 8 x 8 x 8 colours; where more than one entry can win in such a cell, it is cut into eight cells
// of 4 x 4 x 4, each with its own candidates. An entry that another one beats at every point of a
// cell is dropped from it, so that nearly every cell of a photo's colours keeps one candidate and
// answers at once, from a table small enough to stay in the processor's cache. Cells are worked
// out the first time a colour falls into them. One instance is not to be shared between threads.
class TNearestIndex {
public:
    explicit TNearestIndex(std::span<const PaletteEntry> palette);
    uint8_t Find(int red, int green, int blue)
    {
        const uint16_t v = m_top.data()[TopCell(red, green, blue)];
        if (v & kDirect)
            return uint8_t(v);
        if (v <= kLastNumber) { // refined, so the 4-wide cell may answer at once
            const uint32_t c = m_children.data()[size_t(v) * 8 + ChildCell(red, green, blue)];
            if (c & kChildDirect)
                return uint8_t(c);
        }
        return FindAmong(red, green, blue);
    }

private:
    static constexpr uint16_t kDirect = 0x8000; // low byte: the one candidate
    static constexpr uint16_t kUnbuilt = 0x7FFF;
    static constexpr uint16_t kEveryEntry = 0x7FFE; // too many candidates to list
    static constexpr uint16_t kLastNumber = 0x7FFD; // refinements are numbered up to this
    static constexpr uint32_t kChildDirect = 0x80000000u; // low byte: the one candidate
    static constexpr uint32_t kChildUnbuilt = 0x7FFFFFFFu;
    static constexpr uint32_t kChildEveryEntry = 0x7FFFFFFEu;

    static uint32_t TopCell(int red, int green, int blue)
    {
        return (uint32_t(red >> 3) << 10) | (uint32_t(green >> 3) << 5) | uint32_t(blue >> 3);
    }
    static size_t ChildCell(int red, int green, int blue)
    {
        return size_t(((red >> 2) & 1) << 2 | ((green >> 2) & 1) << 1 | ((blue >> 2) & 1));
    }
    uint8_t FindAmong(int red, int green, int blue);
    uint16_t BuildTop(uint32_t top);
    uint32_t BuildChild(uint32_t top, int child);
    uint8_t Nearest(const uint8_t* candidate, const uint8_t* end, int red, int green, int blue);
    // The entries that pass the reach test on the box, in index order, into m_scratch.
    void Reachable(const uint8_t* from, size_t count, int red, int green, int blue, int span);
    // Drops from m_scratch the entries that another one of it beats everywhere in the box.
    void Prune(int red, int green, int blue, int span);
    uint32_t NewList();

    std::vector<PaletteEntry> m_palette;
    // The entries that can win at all: a repeated colour never beats its first appearance.
    std::vector<uint8_t> m_distinct;
    // Per 8-wide cell: kDirect | index, kUnbuilt, kEveryEntry, or the number of its refinement.
    std::vector<uint16_t> m_top;
    // Eight per refinement, one per 4-wide cell: kChildDirect | index, kChildUnbuilt,
    // kChildEveryEntry, or where its list starts in m_lists.
    std::vector<uint32_t> m_children;
    std::vector<uint32_t> m_topLists; // per refinement: where the 8-wide cell's list starts
    std::vector<uint8_t> m_lists; // each list: its length (1..255), then candidates in index order
    std::vector<uint8_t> m_scratch;
    std::vector<uint8_t> m_kept;
    std::vector<int> m_nearest;
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
//
// The shares are added up as whole numbers, so the order in which they meet does not matter: the
// share for the pixel ahead is carried in hand, and each pixel of the row below is written once,
// when the last of its three shares is known. No sum comes near the limits of 16 bits (each cell
// gathers at most sixteen sixteenths of one error, and an error is at most 255 either way).
template <typename SourceRow, typename Choose, typename Emit>
void DiffuseErrors(
    int32_t width, int32_t height, SourceRow&& sourceRow, Choose&& choose, Emit&& emit)
{
    if (width <= 0)
        return;
    const size_t stride = size_t(width) * 3;
    std::vector<int16_t> errors(stride * 2, 0);
    int16_t* current = errors.data();
    int16_t* next = errors.data() + stride;
    std::vector<uint8_t> indices(static_cast<size_t>(width));
    for (int32_t y = 0; y < height; ++y) {
        std::swap(current, next);
        const uint8_t* src = sourceRow(y);
        const bool forward = (y & 1) == 0;
        const ptrdiff_t step = forward ? 1 : -1;
        ptrdiff_t x = forward ? 0 : width - 1;
        int ahead[3] = { 0, 0, 0 }; // 7/16 of the last error, for this pixel
        int behind[3] = { 0, 0, 0 }; // the pixel below the last one: all but its 3/16 share
        int below[3] = { 0, 0, 0 }; // the pixel below this one: its 1/16 share so far
        for (int32_t n = 0; n < width; ++n, x += step) {
            const uint8_t* s = src + 3 * x;
            const int16_t* here = current + 3 * x;
            int wanted[3];
            for (int c = 0; c < 3; ++c) {
                const int v = s[c] + here[c] + ahead[c];
                wanted[c] = v < 0 ? 0 : v > 255 ? 255 : v;
            }
            int error[3];
            indices[size_t(x)] = choose(wanted, error);
            int16_t* last = n > 0 ? next + 3 * (x - step) : nullptr;
            for (int c = 0; c < 3; ++c) {
                const int e = error[c];
                if (last)
                    last[c] = int16_t(behind[c] + e * 3 / 16);
                ahead[c] = e * 7 / 16;
                behind[c] = below[c] + e * 5 / 16;
                below[c] = e * 1 / 16;
            }
        }
        int16_t* end = next + 3 * (x - step);
        for (int c = 0; c < 3; ++c)
            end[c] = int16_t(behind[c]);
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
    inline uint8_t operator()(const int wanted[3], int error[3])
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
