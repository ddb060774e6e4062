#include "render/canvas_drawing.h"

#include "render/qimage_bridge.h"

#include <QPainter>
#include <cstring>

namespace vtl::render {

namespace {
    QColor ToQColor(platform::TColor c)
    {
        return QColor(platform::GetRValue(c), platform::GetGValue(c), platform::GetBValue(c));
    }

    // Runs `paint` on the bitmap's pixels: in place where the painter can draw on the layout
    // (24 and 32 bits), else on a 32-bit copy whose changed pixels are written back, palette
    // bitmaps taking the nearest entry.
    template <typename Paint>
    void PaintOn(platform::TBitmap& bitmap, Paint paint)
    {
        if (bitmap.Empty())
            return;
        const auto format = bitmap.PixelFormat();
        if (format == platform::TPixelFormat::pf24bit || format == platform::TPixelFormat::pf32bit) {
            QImage view(bitmap.Bits().data(), bitmap.Width(), bitmap.Height(), qsizetype(bitmap.RowBytes()),
                format == platform::TPixelFormat::pf24bit ? QImage::Format_BGR888 : QImage::Format_RGB32);
            QPainter p(&view);
            paint(p);
            bitmap.Modified = true;
            return;
        }
        QImage before = DisplayImage(bitmap).convertToFormat(QImage::Format_RGB32);
        QImage after = before.copy();
        {
            QPainter p(&after);
            paint(p);
        }
        for (int y = 0; y < after.height(); ++y) {
            const auto* a = reinterpret_cast<const QRgb*>(after.constScanLine(y));
            const auto* b = reinterpret_cast<const QRgb*>(before.constScanLine(y));
            for (int x = 0; x < after.width(); ++x)
                if (a[x] != b[x])
                    bitmap.SetPixel(x, y, platform::Rgb(uint8_t(qRed(a[x])), uint8_t(qGreen(a[x])), uint8_t(qBlue(a[x]))));
        }
        bitmap.Modified = true;
    }
}

void DrawPenLine(platform::TBitmap& bitmap, platform::TPoint from, platform::TPoint to, platform::TColor colour, int width)
{
    PaintOn(bitmap, [&](QPainter& p) {
        // Square ends, no smoothing: the strokes of a paint program, pixel for pixel.
        QPen pen(ToQColor(colour), width <= 1 ? 0 : width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
        p.setPen(pen);
        if (from == to)
            p.drawPoint(from.X, from.Y);
        else
            p.drawLine(from.X, from.Y, to.X, to.Y);
    });
}

void DrawTextAt(platform::TBitmap& bitmap, platform::TPoint at, const QString& text, const QFont& font, platform::TColor colour)
{
    // A palette picture can't hold the blend of a smoothed edge: each blended pixel would take the
    // nearest palette colour, often the background's, and thin strokes would vanish. Text is drawn
    // there with whole pixels only, as on a 256-colour screen.
    QFont drawn = font;
    if (bitmap.BitsPerPixel() <= 8)
        drawn.setStyleStrategy(QFont::StyleStrategy(drawn.styleStrategy() | QFont::NoAntialias));
    PaintOn(bitmap, [&](QPainter& p) {
        p.setFont(drawn);
        p.setPen(ToQColor(colour));
        const QFontMetrics metrics(drawn);
        p.drawText(at.X, at.Y + metrics.ascent(), text);
    });
}

} // namespace vtl::render
