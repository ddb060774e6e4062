#include "processing/ui/hsi_dialog.h"

#include "platform/qt/dialog_buttons.h"
#include "render/qimage_bridge.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

namespace vtl::processing::ui {

namespace {
    QString U(const char* s) { return QString::fromUtf8(s); }

    struct ModeTexts {
        const char* caption;
        const char* groups[3];
    };
    const ModeTexts kRgbTexts { "ＲＧＢ調整", { "赤(Ｒ)", "緑(Ｇ)", "青(Ｂ)" } };
    const ModeTexts kHsiTexts { "明度/彩度/色相調整", { "明度", "彩度", "色相" } };

    constexpr int kGraphSize = 101;
    constexpr int kPreviewSize = 100;
}

THsiDialog::THsiDialog(HsiMode mode, bool paletteDisplay, QWidget* parent)
    : QDialog(parent)
    , m_mode(mode)
    , m_paletteDisplay(paletteDisplay)
    , m_graph(kGraphSize, kGraphSize, QImage::Format_RGB32)
{
    setObjectName(QStringLiteral("HsiDialog"));
    const ModeTexts& texts = mode == HsiMode::Rgb ? kRgbTexts : kHsiTexts;
    setWindowTitle(U(texts.caption));

    m_iimg = new QLabel(this);
    m_iimg->setObjectName(QStringLiteral("IImg"));
    m_iimg->setFixedSize(kGraphSize, kGraphSize);
    m_image1 = new QLabel(this);
    m_image1->setObjectName(QStringLiteral("Image1"));
    m_image1->setFixedSize(kPreviewSize, kPreviewSize);
    m_image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    auto* pictures = new QVBoxLayout;
    pictures->addWidget(m_iimg);
    pictures->addWidget(m_image1);
    pictures->addStretch();

    auto* groups = new QVBoxLayout;
    for (int k = 0; k < 3; ++k) {
        auto* box = new QGroupBox(U(texts.groups[k]), this);
        box->setObjectName(QStringLiteral("Gp%1").arg(k + 1));
        auto* grid = new QGridLayout(box);
        auto bar = [&](const char* kind, const char* caption, int row, int low, int high, int page,
                       int position, const QString& initial) {
            grid->addWidget(new QLabel(U(caption), box), row, 0);
            auto* slider = new QSlider(Qt::Horizontal, box);
            slider->setObjectName(QStringLiteral("%1%2").arg(kind).arg(k + 1));
            slider->setRange(low, high);
            slider->setPageStep(page);
            slider->setValue(position);
            slider->setMinimumWidth(200);
            grid->addWidget(slider, row, 1);
            auto* value = new QLabel(initial, box);
            value->setObjectName(QStringLiteral("%1l%2").arg(kind).arg(k + 1));
            value->setMinimumWidth(40);
            grid->addWidget(value, row, 2);
            connect(
                slider, &QSlider::valueChanged, this, [this, slider] { TrackBarChange(slider); });
            return std::pair { slider, value };
        };
        std::tie(m_of[size_t(k)], m_ofl[size_t(k)]) = bar(
            "of", "オフセット", 0, kOffsetMin, kOffsetMax, kOffsetPage, 0, QStringLiteral("0"));
        std::tie(m_ga[size_t(k)], m_gal[size_t(k)])
            = bar("ga", "ゲイン", 1, kGainMin, kGainMax, kGainPage, 100, QStringLiteral(" 1.00"));
        std::tie(m_gm[size_t(k)], m_gml[size_t(k)]) = bar(
            "gm", "ガンマ", 2, kGammaMin, kGammaMax, kGammaPage, 100, QStringLiteral(" 1.00"));
        groups->addWidget(box);
    }

    auto* reset = new QPushButton(U("初期化"), this);
    reset->setObjectName(QStringLiteral("Button1"));
    connect(reset, &QPushButton::clicked, this, &THsiDialog::Button1Click);
    QBoxLayout* buttons = platform::qt::OkCancelButtons(*this, [this] { OKBtnClick(); });
    buttons->insertStretch(0);
    buttons->insertWidget(0, reset);

    auto* top = new QHBoxLayout;
    top->addLayout(pictures);
    top->addLayout(groups);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(buttons);
    DrawCurves();
}

QSlider* THsiDialog::TrackBar(const char* kind, int channel) const
{
    const size_t k = size_t(channel - 1);
    const QString which = QString::fromLatin1(kind);
    return which == QLatin1String("of") ? m_of.at(k)
        : which == QLatin1String("ga")  ? m_ga.at(k)
                                        : m_gm.at(k);
}

TrackBarPositions THsiDialog::Positions() const
{
    TrackBarPositions p;
    for (size_t k = 0; k < 3; ++k) {
        p.offset[k] = m_of[k]->value();
        p.gain[k] = m_ga[k]->value();
        p.gamma[k] = m_gm[k]->value();
    }
    return p;
}

void THsiDialog::SetPicture(const platform::TBitmap& picture)
{
    const auto [width, height] = ThumbnailSize(picture.Width(), picture.Height());
    platform::TBitmap thumbnail(width, height, platform::TPixelFormat::pf24bit);
    if (width > 0 && height > 0)
        thumbnail.Canvas().StretchDraw({ 0, 0, width, height }, picture);
    m_thumbnail = std::move(thumbnail);
    m_preview = m_thumbnail;
    m_image1->setPixmap(QPixmap::fromImage(render::DisplayImage(m_thumbnail)));
}

QImage THsiDialog::Shown() const { return m_image1->pixmap().toImage(); }

void THsiDialog::TrackBarChange(QSlider* bar)
{
    for (size_t k = 0; k < 3; ++k) {
        if (bar == m_of[k])
            m_ofl[k]->setText(QString::fromStdString(OffsetLabel(bar->value())));
        else if (bar == m_ga[k])
            m_gal[k]->setText(QString::fromStdString(RatioLabel(bar->value())));
        else if (bar == m_gm[k])
            m_gml[k]->setText(QString::fromStdString(RatioLabel(bar->value())));
    }
    if (m_previewing)
        return;
    DrawCurves();
    RunPreview();
}

void THsiDialog::DrawCurves()
{
    const AdjustParams params = Params();
    m_graph.fill(Qt::white);
    QPainter painter(&m_graph);
    const QColor pens[3] = { QColor(255, 0, 0), QColor(0, 128, 0), QColor(0, 0, 255) };
    for (size_t k = 0; k < 3; ++k) {
        painter.setPen(QPen(pens[k], 1));
        const auto points = CurvePoints(params.offset[k], params.gain[k], params.exponent[k]);
        QPolygon line;
        for (const auto& p : points)
            line << QPoint(p.X, p.Y);
        painter.drawPolyline(line);
    }
    painter.end();
    m_iimg->setPixmap(QPixmap::fromImage(m_graph));
}

void THsiDialog::RunPreview()
{
    if (m_previewing || m_thumbnail.Empty())
        return;
    m_preview = m_thumbnail;
    const AdjustParams params = Params();
    m_previewing = true;
    struct Clear {
        bool& flag;
        ~Clear() { flag = false; }
    } clear { m_previewing };
    // No status sink: the preview follows the track bar without touching the status bar.
    const ProcessContext context { nullptr, m_paletteDisplay };
    const bool done = m_mode == HsiMode::Rgb ? AdjustRgb(m_preview, nullptr, params, context)
                                             : AdjustHsi(m_preview, nullptr, params, context);
    if (done)
        m_image1->setPixmap(QPixmap::fromImage(render::DisplayImage(m_preview)));
}

void THsiDialog::Button1Click()
{
    m_previewing = true;
    for (size_t k = 0; k < 3; ++k) {
        m_of[k]->setValue(0);
        m_ga[k]->setValue(100);
        m_gm[k]->setValue(100);
    }
    m_previewing = false;
    DrawCurves();
    RunPreview();
}

void THsiDialog::OKBtnClick()
{
    if (IsNeutral(Params()))
        reject();
    else
        accept();
}

} // namespace vtl::processing::ui
