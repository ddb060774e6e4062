#pragma once
// The image control of a document window: shows the picture at the zoomed size at the top left and
// reports the mouse in its own (display) coordinates. The zoomed picture is never held whole: each
// paint renders only the exposed part from the picture itself, tile by tile, so that a large
// picture at 800 % costs no more than at 100 %.

#include "platform/bitmap.h"

#include <QRect>
#include <QWidget>
#include <cstdint>
#include <exception>
#include <unordered_map>
#include <vector>

namespace vtl::document::ui {

// The pixels of `region` of `picture` stretched to `displaySize`, exactly as they stand in a copy
// of the whole picture stretched to that size (nearest-neighbour, the picture's own pixel format
// and palette). `region` is clipped to the display; an empty one gives an empty bitmap.
platform::TBitmap RenderZoomed(const platform::TBitmap& picture, QSize displaySize, QRect region);

// A row of pixels a pen line covers: x in [left, right).
struct PenRun {
    int32_t y, left, right;
};
// The pixels that a pen line (as the render layer draws it: a width of 0 or 1 draws one-pixel
// lines, a zero-length line is a dot) covers on a bitmap of `bounds`, row by row, top down.
std::vector<PenRun> PenLineRuns(
    platform::TPoint from, platform::TPoint to, int width, QSize bounds);

class TImage : public QWidget {
    Q_OBJECT
public:
    explicit TImage(QWidget* parent = nullptr);
    // Shows `picture` (which must outlive the control or be replaced first) stretched to
    // `displaySize`, which becomes the control's size. The lines drawn so far are dropped.
    void SetPicture(const platform::TBitmap* picture, QSize displaySize);
    // A pen line over the display, in display coordinates (a width of 0 or 1 draws one-pixel
    // lines; a zero-length line is a dot). It stays on the screen until the next SetPicture,
    // drawn as it would be on a stretched copy of the picture.
    void AddLine(platform::TPoint from, platform::TPoint to, platform::TColor colour, int width);
    // The picture's pixel (x, y) is about to change without a redraw (a free line): the display
    // goes on showing the value it has now, `shown`, until the next SetPicture. The first value
    // given for a pixel holds.
    void KeepShownPixel(int32_t x, int32_t y, uint32_t shown);
    // What the display shows in `region` (clipped to the control), lines included; the whole
    // display without an argument.
    platform::TBitmap Render(QRect region) const;
    platform::TBitmap Render() const { return Render(rect()); }
    // Bytes the lines drawn over the display cost (their pixel runs and the picture's pixels kept
    // as shown). Beside them the control keeps only one 256 x 256 tile for painting.
    size_t HeldBytes() const;

signals:
    void MouseDown(QMouseEvent* event);
    void MouseMove(QMouseEvent* event);
    void MouseUp(QMouseEvent* event);
    void Clicked(QMouseEvent* event);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    struct Line {
        platform::TColor colour;
        QRect bounds;
        std::vector<PenRun> runs; // display coordinates
    };
    // Puts back, in `out` (whose top left is the region's), the pixels that changed in the picture
    // since the last redraw, then draws the lines that touch the region.
    void DrawKeptPixels(platform::TBitmap& out, QRect region) const;
    void DrawLines(platform::TBitmap& out, QRect region) const;
    // Renders `tile` (a cell of the paint grid, clipped to the display) into m_tile.
    void RenderTile(QRect tile) const;
    void PaintFailed(std::exception_ptr error);

    const platform::TBitmap* m_picture = nullptr;
    std::vector<Line> m_lines;
    mutable platform::TBitmap m_tile; // kept between paints
    std::unordered_map<uint64_t, uint32_t> m_keptPixels; // y << 32 | x: the raw value shown
    bool m_pressed = false;
    bool m_failureReported = false;
};

} // namespace vtl::document::ui
