#include "processing/colour_reduction.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace vtl::processing {

namespace {
    // A refinement whose 8-wide cell had more candidates than a list holds: its parts start from
    // every entry.
    constexpr uint32_t kEveryEntryList = 0xFFFFFFFFu;
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
    , m_top(size_t(1) << 15, kUnbuilt)
{
    for (size_t i = 0; i < m_palette.size(); ++i) {
        const PaletteEntry& e = m_palette[i];
        bool repeated = false;
        for (uint8_t j : m_distinct) {
            const PaletteEntry& f = m_palette[j];
            if (f.peRed == e.peRed && f.peGreen == e.peGreen && f.peBlue == e.peBlue) {
                repeated = true;
                break;
            }
        }
        if (!repeated)
            m_distinct.push_back(uint8_t(i));
    }
    if (m_palette.empty())
        std::fill(m_top.begin(), m_top.end(), kDirect); // index 0, as an empty palette gives
}

namespace {
    // A box of colours, each channel from low to low + span.
    struct Box {
        int low[3]; // red, green, blue
        int span;
    };

    // The squared distances from an entry to the nearest and to the farthest point of the box.
    void Reach(const PaletteEntry& e, const Box& box, int& nearest, int& farthest)
    {
        const int v[3] = { e.peRed, e.peGreen, e.peBlue };
        nearest = farthest = 0;
        for (int c = 0; c < 3; ++c) {
            const int lo = box.low[c], hi = lo + box.span;
            const int d = v[c] < lo ? lo - v[c] : v[c] > hi ? v[c] - hi : 0;
            const int f = std::max(std::abs(v[c] - lo), std::abs(v[c] - hi));
            nearest += d * d;
            farthest += f * f;
        }
    }

    // True when entry j (index jIndex) wins over entry i (index iIndex) at every point of the box:
    // nearer everywhere, or nowhere farther and first in the palette. The difference of the two
    // squared distances is linear in the point, so its least value lies at a corner.
    bool BeatsEverywhere(
        const PaletteEntry& j, size_t jIndex, const PaletteEntry& i, size_t iIndex, const Box& box)
    {
        const int vi[3] = { i.peRed, i.peGreen, i.peBlue };
        const int vj[3] = { j.peRed, j.peGreen, j.peBlue };
        // |x - i|² - |x - j|² = |i|² - |j|² - 2 x.(i - j)
        int least = 0;
        for (int c = 0; c < 3; ++c) {
            const int d = vi[c] - vj[c];
            const int x = d > 0 ? box.low[c] + box.span : box.low[c];
            least += vi[c] * vi[c] - vj[c] * vj[c] - 2 * x * d;
        }
        return least > 0 || (least == 0 && jIndex < iIndex);
    }
}

void TNearestIndex::Reachable(
    const uint8_t* from, size_t count, int red, int green, int blue, int span)
{
    // An entry can be nearest somewhere in the box only when its nearest point of the box is no
    // farther than the best of all entries' farthest points.
    const Box box { { red, green, blue }, span };
    m_nearest.resize(count);
    int bound = std::numeric_limits<int>::max();
    for (size_t k = 0; k < count; ++k) {
        int farthest;
        Reach(m_palette[from[k]], box, m_nearest[k], farthest);
        bound = std::min(bound, farthest);
    }
    m_scratch.clear();
    for (size_t k = 0; k < count; ++k)
        if (m_nearest[k] <= bound)
            m_scratch.push_back(from[k]);
}

void TNearestIndex::Prune(int red, int green, int blue, int span)
{
    // Whoever is nearest at a point is beaten by nobody there, so it stays.
    const Box box { { red, green, blue }, span };
    m_kept.clear();
    for (size_t a = 0; a < m_scratch.size(); ++a) {
        bool beaten = false;
        for (size_t b = 0; b < m_scratch.size() && !beaten; ++b)
            beaten = b != a
                && BeatsEverywhere(m_palette[m_scratch[b]], m_scratch[b], m_palette[m_scratch[a]],
                    m_scratch[a], box);
        if (!beaten)
            m_kept.push_back(m_scratch[a]);
    }
    m_scratch.swap(m_kept);
}

// A pruning costs the square of the candidates; a cell with more of them is cut into eight
// instead, whose own tests leave few.
constexpr size_t kMaxPruned = 16;

uint32_t TNearestIndex::NewList()
{
    if (m_scratch.size() > 255 || m_lists.size() >= kChildEveryEntry - 256)
        return kChildEveryEntry;
    const uint32_t start = uint32_t(m_lists.size());
    m_lists.push_back(uint8_t(m_scratch.size()));
    m_lists.insert(m_lists.end(), m_scratch.begin(), m_scratch.end());
    return start;
}

uint16_t TNearestIndex::BuildTop(uint32_t top)
{
    const int r = int(top >> 10) << 3, g = int((top >> 5) & 31) << 3, b = int(top & 31) << 3;
    Reachable(m_distinct.data(), m_distinct.size(), r, g, b, 7);
    if (m_scratch.size() <= kMaxPruned)
        Prune(r, g, b, 7);
    if (m_scratch.size() == 1)
        return m_top[top] = uint16_t(kDirect | m_scratch[0]);
    if (m_topLists.size() > kLastNumber)
        return m_top[top] = kEveryEntry;
    // The 4-wide cells start from this cell's candidates (unpruned: they pass on to each part
    // what can win there).
    m_topLists.push_back(uint32_t(m_lists.size()));
    m_lists.push_back(uint8_t(std::min<size_t>(m_scratch.size(), 255)));
    if (m_scratch.size() > 255) {
        m_topLists.back() = kEveryEntryList;
        m_lists.pop_back();
    } else {
        m_lists.insert(m_lists.end(), m_scratch.begin(), m_scratch.end());
    }
    m_children.insert(m_children.end(), 8, kChildUnbuilt);
    return m_top[top] = uint16_t(m_topLists.size() - 1);
}

uint32_t TNearestIndex::BuildChild(uint32_t top, int child)
{
    const uint16_t refinement = m_top[top];
    const int r = (int(top >> 10) << 3) | ((child >> 2) & 1) << 2;
    const int g = (int((top >> 5) & 31) << 3) | ((child >> 1) & 1) << 2;
    const int b = (int(top & 31) << 3) | (child & 1) << 2;
    const uint32_t start = m_topLists[refinement];
    if (start == kEveryEntryList)
        Reachable(m_distinct.data(), m_distinct.size(), r, g, b, 3);
    else
        Reachable(m_lists.data() + start + 1, m_lists[start], r, g, b, 3);
    if (m_scratch.size() <= 4 * kMaxPruned)
        Prune(r, g, b, 3);
    const uint32_t value = m_scratch.size() == 1 ? kChildDirect | m_scratch[0] : NewList();
    m_children[size_t(refinement) * 8 + size_t(child)] = value;
    return value;
}

uint8_t TNearestIndex::Nearest(
    const uint8_t* candidate, const uint8_t* end, int red, int green, int blue)
{
    // Candidates come in index order, so the strict comparison keeps the first of equals.
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

uint8_t TNearestIndex::FindAmong(int red, int green, int blue)
{
    const uint32_t top = TopCell(red, green, blue);
    uint16_t v = m_top[top];
    if (v == kUnbuilt)
        v = BuildTop(top);
    if (v & kDirect)
        return uint8_t(v);
    if (v != kEveryEntry) {
        const int child = int(ChildCell(red, green, blue));
        uint32_t c = m_children[size_t(v) * 8 + size_t(child)];
        if (c == kChildUnbuilt)
            c = BuildChild(top, child);
        if (c & kChildDirect)
            return uint8_t(c);
        if (c != kChildEveryEntry) {
            const uint8_t* list = m_lists.data() + c;
            return Nearest(list + 1, list + 1 + list[0], red, green, blue);
        }
    }
    return Nearest(m_distinct.data(), m_distinct.data() + m_distinct.size(), red, green, blue);
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
