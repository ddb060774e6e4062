#include "render/qimage_bridge.h"

#include <QPainter>
#include <cstring>

namespace vtl::render {

using platform::TBitmap;
using platform::TPixelFormat;

namespace {
    QList<QRgb> ColourTable(const TBitmap& bitmap)
    {
        QList<QRgb> table;
        for (const auto& e : bitmap.EffectivePalette())
            table << qRgb(e.peRed, e.peGreen, e.peBlue);
        return table;
    }

    QImage Wrap(const TBitmap& bitmap, QImage::Format format)
    {
        if (bitmap.Empty())
            return {};
        return QImage(bitmap.Bits().data(), bitmap.Width(), bitmap.Height(),
            static_cast<qsizetype>(bitmap.RowBytes()), format);
    }
}

QImage DisplayImage(const TBitmap& bitmap)
{
    switch (bitmap.PixelFormat()) {
    case TPixelFormat::pf1bit: {
        QImage image = Wrap(bitmap, QImage::Format_Mono);
        image.setColorTable(ColourTable(bitmap));
        return image;
    }
    case TPixelFormat::pf8bit: {
        QImage image = Wrap(bitmap, QImage::Format_Indexed8);
        image.setColorTable(ColourTable(bitmap));
        return image;
    }
    case TPixelFormat::pf15bit:
        return Wrap(bitmap, QImage::Format_RGB555);
    case TPixelFormat::pf16bit:
        return Wrap(bitmap, QImage::Format_RGB16);
    case TPixelFormat::pf24bit:
        return Wrap(bitmap, QImage::Format_BGR888);
    case TPixelFormat::pf32bit:
        return Wrap(bitmap, QImage::Format_RGB32);
    default:
        break;
    }
    // 4 bits (and the tag formats) have no Qt layout: expand to 32 bits.
    QImage image(bitmap.Width(), bitmap.Height(), QImage::Format_RGB32);
    for (int32_t y = 0; y < bitmap.Height(); ++y) {
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int32_t x = 0; x < bitmap.Width(); ++x) {
            platform::TColor c = bitmap.Pixel(x, y);
            out[x] = qRgb(platform::GetRValue(c), platform::GetGValue(c), platform::GetBValue(c));
        }
    }
    return image;
}

TBitmap BitmapFromImage(const QImage& source)
{
    if (source.isNull())
        return TBitmap();
    if (source.format() == QImage::Format_Indexed8) {
        TBitmap bitmap(source.width(), source.height(), TPixelFormat::pf8bit);
        std::vector<platform::PaletteEntry> palette;
        for (QRgb c : source.colorTable())
            palette.push_back({ static_cast<uint8_t>(qRed(c)), static_cast<uint8_t>(qGreen(c)),
                static_cast<uint8_t>(qBlue(c)), 0 });
        if (!palette.empty())
            bitmap.SetPalette(palette);
        for (int y = 0; y < source.height(); ++y)
            std::memcpy(
                bitmap.ScanLine(y), source.constScanLine(y), static_cast<size_t>(source.width()));
        return bitmap;
    }
    // Transparent pixels are shown over white, as on a page.
    QImage rgb(source.size(), QImage::Format_BGR888);
    rgb.fill(Qt::white);
    {
        QPainter painter(&rgb);
        painter.drawImage(0, 0, source);
    }
    TBitmap bitmap(source.width(), source.height(), TPixelFormat::pf24bit);
    const size_t bytes = static_cast<size_t>(source.width()) * 3;
    for (int y = 0; y < source.height(); ++y)
        std::memcpy(bitmap.ScanLine(y), rgb.constScanLine(y), bytes);
    return bitmap;
}

} // namespace vtl::render
