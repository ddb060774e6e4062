#pragma once
// Between the display bitmap and Qt's QImage.

#include "platform/bitmap.h"

#include <QImage>

namespace vtl::render {

// A QImage over the bitmap's own pixels where Qt reads that layout (1, 8, 15, 16, 24 and 32
// bits), so that showing a picture copies nothing; the bitmap must outlive the image and not
// change size while it is shown. 4-bit and tag formats are converted into a new image.
QImage DisplayImage(const platform::TBitmap& bitmap);

// A copy of `image` as a 24-bit bitmap (or 8-bit with its colour table when the image is indexed).
platform::TBitmap BitmapFromImage(const QImage& image);

} // namespace vtl::render
