#pragma once
// The rules behind the resize, clip and join dialogs' fields, free of any window: how a typed
// value is read when its edit loses the focus, and how the linked width, height and ratio of the
// resize dialog follow each other.

#include "processing/geometry.h"

#include <cstdint>
#include <string_view>

namespace vtl::processing {

// The resize dialog `TGScaleDlg`: sizes in pixels, the ratio in percent.
inline constexpr int kScaleSizeMin = 8, kScaleSizeMax = 4098;
inline constexpr int kRatioMin = 10, kRatioMax = 400, kRatioInitial = 100;

// `EdX` or `EdY` on exit: the integer, at most 7 becoming 8 and above 4098 becoming 4098; text
// that is no integer gives the up-down's current position.
int ScaleSizeFromText(std::string_view text, int position);
// `EdR` on exit: the integer clamped to 10..400; text that is no integer gives the position.
int RatioFromText(std::string_view text, int position);

struct ScaleSize {
    int width = 0;
    int height = 0;
};
// Both sizes from a ratio: p·W0 div 100 and p·H0 div 100 (the up-downs clamp them afterwards).
ScaleSize SizeFromRatio(int ratio, int32_t width0, int32_t height0);

// One size changed with proportions kept: the ratio (value·100 div own0) and the other size
// (value·other0 / own0, rounded half up). Called with (x, W0, H0) for the width and (y, H0, W0) for
// the height. An empty original size leaves both at 0.
struct LinkedSize {
    int ratio = 0;
    int other = 0;
};
LinkedSize FollowSize(int value, int32_t own0, int32_t other0);

// The clip dialog `TClpDlg`, along one axis: `offset` is left (or top), `extent` the width (or
// height), `limit` the picture's width (or height).
//
// `edLeft`/`edTop` on exit: the integer, at or beyond the limit becoming limit − 1, text that is no
// integer becoming 0; then an extent reaching past the limit is cut to limit − offset.
void ClipOffsetExit(std::string_view text, int32_t& offset, int32_t& extent, int32_t limit);
// `edWidth`/`edHeight` on exit: the integer, cut to limit − offset when it reaches past the limit;
// text that is no integer keeps the previous extent.
void ClipExtentExit(std::string_view text, int32_t offset, int32_t& extent, int32_t limit);
// OK closes as Cancel when the area is the whole picture: there is nothing to cut.
bool ClipChangesPicture(const ClipArea& area, int32_t width, int32_t height);

// The join dialog's margin field `Edit1` on exit: 512 or more becomes 511; text that is no integer
// (an emptied field) becomes 0.
inline constexpr int kMarginMax = 512;
int MarginFromText(std::string_view text);

} // namespace vtl::processing
