#pragma once
// Glue between the display bitmap and the painter: conversions to and from QImage, and the
// metafile player that the help-graphic reader hands its metafile pictures to.

#include "input/help_graphic.h"
#include "platform/bitmap.h"

#include <QImage>

namespace vtl::render {

// The display bitmap as a QImage of Format_RGB32, and back into a 24-bit bitmap of the image's
// size.
QImage BitmapToImage(const platform::TBitmap& bitmap);
void ImageToBitmap(const QImage& image, platform::TBitmap& bitmap);

// Draws the metafile over the whole bitmap, which becomes (or stays) 24 bits per pixel.
class TMetafilePlayer : public input::IMetafilePlayer {
public:
    void Play(const input::WmfPicture& picture, platform::TBitmap& bitmap) override;
};

} // namespace vtl::render
