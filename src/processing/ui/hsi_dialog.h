#pragma once
// The RGB / HSI adjustment dialog: three channels of offset, gain and gamma track bars, the three
// tone curves in a 101 x 101 graph, and a preview of the adjustment on a small copy of the picture.

#include "platform/bitmap.h"
#include "processing/colour_adjustment.h"

#include <QDialog>
#include <QImage>

#include <array>

class QGroupBox;
class QLabel;
class QSlider;

namespace vtl::processing::ui {

enum class HsiMode { Rgb = 0, Hsi = 1 };

class THsiDialog : public QDialog {
    Q_OBJECT
public:
    // `paletteDisplay`: the preview is reduced as the picture itself would be.
    explicit THsiDialog(HsiMode mode, bool paletteDisplay = false, QWidget* parent = nullptr);

    HsiMode Mode() const { return m_mode; }
    // Makes the thumbnail (at most 100 pixels on its longer side) and shows it.
    void SetPicture(const platform::TBitmap& picture);

    TrackBarPositions Positions() const;
    AdjustParams Params() const { return ParamsFromTrackBars(Positions()); }
    QSlider* TrackBar(const char* kind, int channel) const; // kind "of", "ga" or "gm"; channel 1..3

    const platform::TBitmap& Thumbnail() const { return m_thumbnail; }
    const platform::TBitmap& Preview() const { return m_preview; }
    // What `IImg` and `Image1` show.
    const QImage& Graph() const { return m_graph; }
    QImage Shown() const;

    void Button1Click();
    void OKBtnClick();

private:
    void TrackBarChange(QSlider* bar);
    void DrawCurves();
    void RunPreview();

    HsiMode m_mode;
    bool m_paletteDisplay;
    // Set while a preview runs and while the reset works: no further previews, no curve drawing.
    bool m_previewing = false;
    platform::TBitmap m_thumbnail;
    platform::TBitmap m_preview;
    QImage m_graph;
    QLabel* m_iimg;
    QLabel* m_image1;
    std::array<QSlider*, 3> m_of {}, m_ga {}, m_gm {};
    std::array<QLabel*, 3> m_ofl {}, m_gal {}, m_gml {};
};

} // namespace vtl::processing::ui
