#pragma once
// Windows metafiles read into a plain list of drawing records. Every record's length is checked
// against the file and against what its function needs before anything is taken from it, so the
// player (in the render layer) works on numbers that are known to be there. Records the player
// has no use for are dropped here; so are records too short for their function.

#include "platform/bitmap.h"
#include "platform/color.h"
#include "platform/geometry.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace vtl::input {

enum class WmfOp : uint8_t {
    // args: x, y
    SetWindowOrg,
    SetWindowExt,
    SetViewportOrg,
    SetViewportExt,
    OffsetWindowOrg,
    OffsetViewportOrg,
    // args: xNum, xDenom, yNum, yDenom
    ScaleWindowExt,
    ScaleViewportExt,
    // args: the mode or flags
    SetMapMode,
    SetBkMode,
    SetPolyFillMode,
    SetTextAlign,
    SetRop2,
    // args: COLORREF (0x00BBGGRR)
    SetBkColor,
    SetTextColor,
    // args: style, width, COLORREF
    CreatePen,
    // args: style, COLORREF, hatch
    CreateBrush,
    // image: the pattern
    CreatePatternBrush,
    // args: height, width, escapement, orientation, weight, italic, underline, strikeOut,
    // charset; text: the face name
    CreateFont,
    // a palette, region or other object: it only takes a place in the object table
    CreateOtherObject,
    // args: object index
    SelectObject,
    DeleteObject,
    // args: x, y
    MoveTo,
    LineTo,
    // points
    Polyline,
    Polygon,
    // points, counts (points of each polygon, in order)
    PolyPolygon,
    // args: left, top, right, bottom
    Rectangle,
    Ellipse,
    IntersectClipRect,
    ExcludeClipRect,
    // args: left, top, right, bottom, corner width, corner height
    RoundRect,
    // args: left, top, right, bottom, xStart, yStart, xEnd, yEnd
    Arc,
    Pie,
    Chord,
    // args: x, y; text
    TextOut,
    // args: x, y, options, left, top, right, bottom (0 without a rectangle); text; dx
    ExtTextOut,
    // args: x, y, COLORREF
    SetPixel,
    // args: x, y, width, height, raster op
    PatBlt,
    // args: xDest, yDest, destWidth, destHeight, xSrc, ySrc, srcWidth, srcHeight, raster op;
    // image (null: the record paints with the brush as PatBlt does)
    DrawImage,
    // no args
    SaveDC,
    // args: which (negative: relative to the current level)
    RestoreDC,
};

struct WmfRecord {
    WmfOp op {};
    std::vector<int32_t> args;
    std::vector<platform::TPoint> points;
    std::vector<uint16_t> counts;
    std::string text; // bytes as stored, in the code page of the selected font's charset
    std::vector<int16_t> dx;
    std::shared_ptr<const platform::TBitmap> image;
};

struct WmfPicture {
    // From the placeable header when there is one; otherwise derived from the first window
    // origin and extent records (or 0, 0, 0, 0 when there are none).
    bool placeable = false;
    platform::TRect bounds;
    uint16_t unitsPerInch = 96;
    uint16_t numberOfObjects = 0;
    std::vector<WmfRecord> records;
};

// The placeable header's key.
inline constexpr uint32_t kPlaceableKey = 0x9AC6CDD7;

// Reads a metafile with or without its 22-byte placeable header. Throws
// document::EInvalidGraphic("Metafile is not valid") when the metafile header is missing or
// wrong. Records stop at the end record, at a record whose length is impossible, or at the end
// of the data.
WmfPicture ParseMetafile(std::span<const uint8_t> data);

// A picture in a DIB (info header, colour table, pixels, as a metafile or clipboard carries it)
// loaded into a bitmap; null when it can't be read.
std::shared_ptr<const platform::TBitmap> LoadPackedDib(std::span<const uint8_t> dib);

} // namespace vtl::input
