#include "render/help_graphic_render.h"

#include "render/metafile_player.h"

#include <QPainter>

namespace vtl::render {

using platform::TBitmap;

QImage BitmapToImage(const TBitmap& bitmap)
{
    QImage image(bitmap.Width(), bitmap.Height(), QImage::Format_RGB32);
    for (int32_t y = 0; y < bitmap.Height(); ++y) {
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
        if (bitmap.PixelFormat() == platform::TPixelFormat::pf24bit) {
            const uint8_t* in = bitmap.ScanLine(y);
            for (int32_t x = 0; x < bitmap.Width(); ++x, in += 3)
                out[x] = qRgb(in[2], in[1], in[0]);
        } else {
            for (int32_t x = 0; x < bitmap.Width(); ++x) {
                const platform::TColor c = bitmap.ColorOfRaw(bitmap.RawPixel(x, y));
                out[x]
                    = qRgb(platform::GetRValue(c), platform::GetGValue(c), platform::GetBValue(c));
            }
        }
    }
    return image;
}

void ImageToBitmap(const QImage& image, TBitmap& bitmap)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    TBitmap result(rgb.width(), rgb.height(), platform::TPixelFormat::pf24bit);
    for (int y = 0; y < rgb.height(); ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        uint8_t* out = result.ScanLine(y);
        for (int x = 0; x < rgb.width(); ++x, out += 3) {
            out[0] = static_cast<uint8_t>(qBlue(in[x]));
            out[1] = static_cast<uint8_t>(qGreen(in[x]));
            out[2] = static_cast<uint8_t>(qRed(in[x]));
        }
    }
    bitmap = std::move(result);
}

void TMetafilePlayer::Play(const input::WmfPicture& picture, TBitmap& bitmap)
{
    QImage image = BitmapToImage(bitmap);
    {
        QPainter painter(&image);
        PlayMetafile(picture, painter, QRectF(0, 0, image.width(), image.height()));
    }
    ImageToBitmap(image, bitmap);
}

} // namespace vtl::render
