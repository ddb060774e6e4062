#pragma once
// The thumbnail sizes: the setting Sum/Size (0 to 4) picks one. All have the 4:3 shape and widths
// that are multiples of 16, so a row of 8-bit pixels needs no padding.

#include <array>
#include <cstddef>
#include <cstdint>

namespace vtl::browse {

struct ThumbSize {
    int32_t width = 64;
    int32_t height = 48;
    friend bool operator==(const ThumbSize&, const ThumbSize&) = default;
};

inline constexpr std::array<ThumbSize, 5> kThumbSizes { {
    { 64, 48 },
    { 80, 60 },
    { 96, 72 },
    { 112, 84 },
    { 128, 96 },
} };

// The size of an index; an index outside 0 to 4 is taken as 0.
inline ThumbSize ThumbSizeOfIndex(int index)
{
    return index >= 0 && index < int(kThumbSizes.size()) ? kThumbSizes[std::size_t(index)]
                                                         : kThumbSizes[0];
}

// A grid cell holds a thumbnail with a 2-pixel margin; the grid lines add one more.
inline ThumbSize GridCell(ThumbSize size) { return { size.width + 4, size.height + 4 }; }
inline ThumbSize CellPitch(ThumbSize size) { return { size.width + 5, size.height + 5 }; }

} // namespace vtl::browse
