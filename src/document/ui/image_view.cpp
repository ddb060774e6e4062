#include "document/ui/image_view.h"

#include "platform/qt/dialog_service.h"
#include "render/canvas_drawing.h"
#include "render/qimage_bridge.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QTimer>
#include <algorithm>

namespace vtl::document::ui {

using platform::TBitmap;

namespace {
    // A line is found in bands of about eight times this many pixels, so that its scratch stays
    // small however long the line is.
    constexpr int64_t kBandPixels = int64_t(1) << 20;
    // The side of the tiles a paint renders.
    constexpr int kTile = 256;

    int BandRows(int width) { return int(std::max<int64_t>(1, kBandPixels / std::max(width, 1))); }
}

TBitmap RenderZoomed(const TBitmap& picture, QSize displaySize, QRect region)
{
    region &= QRect(QPoint(0, 0), displaySize);
    TBitmap out = TBitmap::ForWriting(region.width(), region.height(), picture.PixelFormat());
    if (picture.HasPalette())
        out.SetPalette(picture.PaletteEntries());
    // The whole picture stretched onto a rectangle shifted by the region's origin: every column
    // and row samples the source pixel it samples in a stretch of the whole, and only the
    // region's pixels are made.
    if (!region.isEmpty())
        out.Canvas().StretchDraw({ -region.x(), -region.y(), displaySize.width() - region.x(),
                                     displaySize.height() - region.y() },
            picture);
    return out;
}

std::vector<PenRun> PenLineRuns(platform::TPoint from, platform::TPoint to, int width, QSize bounds)
{
    // Found by drawing the line on a scratch bitmap that holds all of it: the painter clips
    // one-pixel lines that cross its edge by a rounded slope, so a line drawn onto a piece of a
    // bitmap could step differently from one drawn on the whole. The scratch's edges are either the
    // bitmap's own or a few pixels beyond the line's ends.
    const int margin = std::max(width, 1) / 2 + 4;
    const QRect box = QRect(QPoint(std::min(from.X, to.X), std::min(from.Y, to.Y)),
                          QPoint(std::max(from.X, to.X), std::max(from.Y, to.Y)))
                          .adjusted(-margin, -margin, margin, margin)
        & QRect(QPoint(0, 0), bounds);
    std::vector<PenRun> runs;
    if (box.isEmpty())
        return runs;
    constexpr platform::TColor kInk = platform::Rgb(255, 255, 255);
    // A line longer than any pointer move (a window far larger than the screen) is drawn in
    // bands, so that the scratch stays small; a one-pixel line may then step differently by a
    // pixel where it crosses a band's edge.
    const int rows = BandRows(box.width()) * 8;
    for (int top = box.top(); top <= box.bottom(); top += rows) {
        const QRect band(box.left(), top, box.width(), std::min(rows, box.bottom() + 1 - top));
        TBitmap scratch
            = TBitmap::ForWriting(band.width(), band.height(), platform::TPixelFormat::pf24bit);
        render::DrawPenLine(scratch, { from.X - band.x(), from.Y - band.y() },
            { to.X - band.x(), to.Y - band.y() }, kInk, width);
        for (int y = 0; y < band.height(); ++y) {
            const uint8_t* row = scratch.ScanLine(y);
            int x = 0;
            while (x < band.width()) {
                while (x < band.width() && row[3 * x] == 0)
                    ++x;
                const int left = x;
                while (x < band.width() && row[3 * x] != 0)
                    ++x;
                if (x > left)
                    runs.push_back({ band.y() + y, band.x() + left, band.x() + x });
            }
        }
    }
    return runs;
}

TImage::TImage(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("Image1"));
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(0, 0);
}

void TImage::SetPicture(const TBitmap* picture, QSize displaySize)
{
    m_picture = picture;
    m_lines.clear();
    m_lines.shrink_to_fit();
    m_keptPixels = {};
    resize(displaySize);
    update();
}

void TImage::AddLine(platform::TPoint from, platform::TPoint to, platform::TColor colour, int width)
{
    std::vector<PenRun> runs = PenLineRuns(from, to, width, size());
    if (runs.empty())
        return;
    QRect bounds;
    for (const PenRun& run : runs)
        bounds |= QRect(run.left, run.y, run.right - run.left, 1);
    m_lines.push_back({ colour, bounds, std::move(runs) });
    update(bounds);
}

void TImage::KeepShownPixel(int32_t x, int32_t y, uint32_t shown)
{
    m_keptPixels.try_emplace(uint64_t(uint32_t(y)) << 32 | uint32_t(x), shown);
}

void TImage::DrawKeptPixels(TBitmap& out, QRect region) const
{
    if (m_keptPixels.empty() || !m_picture || m_picture->Empty())
        return;
    // Display column x shows picture column x * w / W (truncated), so picture column c covers the
    // display columns from ceil(c * W / w) up to ceil((c + 1) * W / w); rows alike.
    const int64_t w = m_picture->Width(), h = m_picture->Height();
    const int64_t dw = width(), dh = height();
    auto first = [](int64_t c, int64_t display, int64_t picture) {
        return (c * display + picture - 1) / picture;
    };
    for (const auto& [key, raw] : m_keptPixels) {
        const int64_t px = int64_t(key & 0xFFFFFFFFu), py = int64_t(key >> 32);
        if (px >= w || py >= h)
            continue;
        const QRect shown
            = QRect(QPoint(int(first(px, dw, w)), int(first(py, dh, h))),
                  QPoint(int(first(px + 1, dw, w)) - 1, int(first(py + 1, dh, h)) - 1))
            & region;
        for (int y = shown.top(); y <= shown.bottom(); ++y)
            for (int x = shown.left(); x <= shown.right(); ++x)
                out.SetRawPixel(x - region.x(), y - region.y(), raw);
    }
}

void TImage::DrawLines(TBitmap& out, QRect region) const
{
    for (const Line& line : m_lines) {
        if (!line.bounds.intersects(region))
            continue;
        // As the pen draws on the display: a pixel already showing the colour keeps its value,
        // every other one takes the colour (the nearest palette entry on a palette display).
        const uint32_t raw = out.RawOfColor(line.colour);
        for (const PenRun& run : line.runs) {
            if (run.y < region.top() || run.y > region.bottom())
                continue;
            const int left = std::max(run.left, region.left());
            const int right = std::min(run.right, region.right() + 1);
            for (int x = left; x < right; ++x) {
                const int32_t ox = x - region.x(), oy = run.y - region.y();
                if (out.ColorOfRaw(out.RawPixel(ox, oy)) != line.colour)
                    out.SetRawPixel(ox, oy, raw);
            }
        }
    }
}

TBitmap TImage::Render(QRect region) const
{
    region &= rect();
    // A document that names no picture (yet) shows the window's colour.
    if (!m_picture || m_picture->Empty())
        return TBitmap();
    TBitmap out = RenderZoomed(*m_picture, size(), region);
    DrawKeptPixels(out, region);
    DrawLines(out, region);
    return out;
}

size_t TImage::HeldBytes() const
{
    size_t bytes = 0;
    for (const Line& line : m_lines)
        bytes += sizeof(Line) + line.runs.capacity() * sizeof(PenRun);
    return bytes + m_keptPixels.size() * (sizeof(uint64_t) + sizeof(uint32_t) + 2 * sizeof(void*));
}

void TImage::paintEvent(QPaintEvent* event)
{
    QPainter p(this);
    try {
        // The display is painted in tiles of a fixed grid, each rendered into the one tile bitmap
        // the control keeps: a paint allocates nothing once that exists.
        const QRect display = rect();
        for (const QRect& area : event->region()) {
            const QRect exposed = area & display;
            if (exposed.isEmpty() || !m_picture || m_picture->Empty()) {
                p.fillRect(area, palette().window());
                continue;
            }
            const int firstColumn = exposed.left() / kTile * kTile;
            const int firstRow = exposed.top() / kTile * kTile;
            for (int y = firstRow; y <= exposed.bottom(); y += kTile)
                for (int x = firstColumn; x <= exposed.right(); x += kTile) {
                    const QRect tile = QRect(x, y, kTile, kTile) & display;
                    RenderTile(tile);
                    const QRect part = tile & exposed;
                    p.drawImage(part.topLeft(), render::DisplayImage(m_tile),
                        part.translated(-tile.topLeft()));
                }
        }
        m_failureReported = false;
    } catch (...) {
        p.fillRect(event->rect(), palette().window());
        PaintFailed(std::current_exception());
    }
}

void TImage::RenderTile(QRect tile) const
{
    const platform::TPixelFormat format = m_picture->PixelFormat();
    if (m_tile.Width() != kTile || m_tile.Height() != kTile || m_tile.PixelFormat() != format)
        m_tile = TBitmap::ForWriting(kTile, kTile, format);
    if (m_picture->HasPalette())
        m_tile.SetPalette(m_picture->PaletteEntries());
    else
        m_tile.ClearPalette();
    // As RenderZoomed does it; the tile's pixels beyond the display are not shown.
    m_tile.Canvas().StretchDraw(
        { -tile.x(), -tile.y(), width() - tile.x(), height() - tile.y() }, *m_picture);
    DrawKeptPixels(m_tile, tile);
    DrawLines(m_tile, tile);
}

void TImage::PaintFailed(std::exception_ptr error)
{
    // Reported once, after the paint: a message box shown from inside a paint would paint the
    // control again, and fail again.
    if (m_failureReported)
        return;
    m_failureReported = true;
    QTimer::singleShot(0, this, [this, error] {
        platform::qt::RunGuarded(this, [error] { std::rethrow_exception(error); });
    });
}

void TImage::mousePressEvent(QMouseEvent* event)
{
    m_pressed = true;
    emit MouseDown(event);
}

void TImage::mouseMoveEvent(QMouseEvent* event) { emit MouseMove(event); }

void TImage::mouseReleaseEvent(QMouseEvent* event)
{
    emit MouseUp(event);
    if (m_pressed && rect().contains(event->position().toPoint()))
        emit Clicked(event);
    m_pressed = false;
}

} // namespace vtl::document::ui
