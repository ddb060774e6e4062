#pragma once
// Resize, clip and join of the edit menu.
//
// Resize and clip take the picture, the undo picture (or none) and their parameters, and return
// true when they replaced the picture. Join makes the picture of a new document.

#include "platform/geometry.h"
#include "processing/processing_frame.h"

#include <string>
#include <string_view>

namespace vtl::processing {

using platform::TRect;

// The new size (width, height) from the resize dialog. Both smaller than the picture: area
// averaging; otherwise bilinear sampling with black beyond the edges. The result is 24-bit (reduced
// on palette displays). The same size, or a width or height below 1, returns false.
bool Resize(
    TBitmap& picture, TBitmap* undo, int32_t width, int32_t height, const ProcessContext& context);

// The clip dialog's rectangle in picture pixels.
struct ClipArea {
    int32_t left = 0;
    int32_t top = 0;
    int32_t width = 0;
    int32_t height = 0;
    friend bool operator==(const ClipArea&, const ClipArea&) = default;
};

// The rectangle the clip dialog starts with: a visible selection (display pixels at the zoom
// index) turned into picture pixels, left, top, width and height each by MulDiv with the zoom's
// factor; without a selection the whole picture.
ClipArea ClipAreaFromSelection(
    const TRect* selection, int zoomIndex, int32_t width, int32_t height);

// The picture becomes the area's pixels, in its own pixel format with its palette. The area is
// first cut back to the picture; nothing left, or the whole picture, returns false.
bool Clip(TBitmap& picture, TBitmap* undo, const ClipArea& area, const ProcessContext& context);

// The join dialog's radio items and margin, remembered by the main window while it runs.
enum class JoinDirection { Side = 0, Below = 1 }; // "横", "縦"
enum class MarginColour { White = 0, Black = 1 }; // "白", "黒"
struct JoinSettings {
    JoinDirection direction = JoinDirection::Side;
    MarginColour colour = MarginColour::White;
    int32_t margin = 0; // pixels, 0..512
};

// A 24-bit picture of A with B beside it (or below it), `margin` pixels apart. With a white margin
// colour the strip between them and the part that neither picture covers are white; otherwise
// black. A and B may be the same bitmap. Reduced on palette displays.
TBitmap JoinPictures(const TBitmap& a, const TBitmap& b, const JoinSettings& settings,
    const ProcessContext& context);

// The new document's caption: both captions without their extensions, a blank between.
std::string JoinCaption(std::string_view captionA, std::string_view captionB);

} // namespace vtl::processing
