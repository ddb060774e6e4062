#pragma once
// Where printing and the wallpaper put a picture.

#include "document/dib.h"
#include "platform/bitmap.h"

namespace vtl::document {

// Device dots per picture pixel on paper: about a hundredth of an inch per pixel, but no wider
// than the page less 100 dots, and at least 1.
int PrintScale(int pageWidth, int pictureWidth, int dotsPerInch);

// The wallpaper picture: with `adjust` off the picture itself; with it on, the picture centred on
// a 24-bit ground of `background` that has the screen's proportions. 8- and 4-bit pictures are
// RLE compressed (a picture that compression would enlarge raises EDIBCompressionFailed).
TDIB MakeWallpaper(const platform::TBitmap& picture, bool adjust, int screenWidth, int screenHeight,
    platform::TColor background);

} // namespace vtl::document
