#pragma once
// Pen lines and text on a display bitmap, drawn with Qt's painter straight into its pixels.

#include "platform/bitmap.h"

#include <QFont>
#include <QString>

namespace vtl::render {

// A line from `from` to `to` (both ends drawn; a zero-length line is a dot) in `colour` and pen
// `width` (0 draws one-pixel lines). Palette bitmaps get the nearest palette entry.
void DrawPenLine(platform::TBitmap& bitmap, platform::TPoint from, platform::TPoint to, platform::TColor colour,
    int width);

// Text with its top-left corner at `at`, without a background. On palette bitmaps the text isn't
// smoothed, so that every stroke keeps the text's own colour.
void DrawTextAt(platform::TBitmap& bitmap, platform::TPoint at, const QString& text, const QFont& font,
    platform::TColor colour);

} // namespace vtl::render
