#include "render/metafile_player.h"

#include "render/help_graphic_render.h"

#include <QFontMetricsF>
#include <QPainterPath>
#include <QPolygonF>
#include <QRegion>
#include <QStringDecoder>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <optional>
#include <variant>

namespace vtl::render {

using input::WmfOp;
using input::WmfPicture;
using input::WmfRecord;
using platform::TBitmap;

namespace {

    enum MapMode {
        kMmText = 1,
        kMmLoMetric,
        kMmHiMetric,
        kMmLoEnglish,
        kMmHiEnglish,
        kMmTwips,
        kMmIsotropic,
        kMmAnisotropic,
    };
    constexpr int kTransparent = 1;
    constexpr int kAlternate = 1;
    constexpr int kTaUpdateCp = 1;
    constexpr int kTaRight = 2;
    constexpr int kTaCenter = 6;
    constexpr int kTaBottom = 8;
    constexpr int kTaBaseline = 24;
    constexpr int kEtoOpaque = 2;
    constexpr int kEtoClipped = 4;
    // Deeper SaveDC nesting than this is ignored; no picture needs it and the file must not decide
    // how much we keep.
    constexpr size_t kMaxSavedStates = 256;
    // Mapped coordinates are held to this range so that the rasteriser never sees numbers that
    // no picture could mean.
    constexpr double kCoordLimit = 1 << 20;

    struct PenDef {
        int style = 0;
        int width = 0;
        QColor color = Qt::black;
    };
    struct BrushDef {
        int style = 0;
        QColor color = Qt::white;
        int hatch = 0;
        QImage pattern;
    };
    struct FontDef {
        int height = 0;
        int escapement = 0;
        int weight = 400;
        bool italic = false, underline = false, strikeOut = false;
        int charset = 1;
        QString face;
    };
    struct OtherObject { };
    using GdiObject = std::variant<PenDef, BrushDef, FontDef, OtherObject>;

    struct DcState {
        int mapMode = kMmAnisotropic;
        QPointF windowOrg, windowExt { 1, 1 }, viewportOrg, viewportExt { 1, 1 };
        PenDef pen;
        BrushDef brush;
        FontDef font;
        QColor textColor = Qt::black;
        QColor bkColor = Qt::white;
        int bkMode = 2; // opaque
        int polyFillMode = kAlternate;
        int textAlign = 0;
        int rop2 = 13; // copy pen
        QPointF position;
        std::optional<QRegion> clip;
    };

    QColor ColorOf(int32_t colorRef)
    {
        return QColor(colorRef & 0xFF, (colorRef >> 8) & 0xFF, (colorRef >> 16) & 0xFF);
    }

    // The name of the code page GDI uses for a font charset; DEFAULT_CHARSET is the system's,
    // which for this program's users is Shift JIS.
    const char* CodecOf(int charset)
    {
        switch (charset) {
        case 0:
            return "windows-1252";
        case 1:
        case 128:
            return "Shift_JIS";
        case 129:
            return "windows-949";
        case 134:
            return "GBK";
        case 136:
            return "Big5";
        case 161:
            return "windows-1253";
        case 162:
            return "windows-1254";
        case 177:
            return "windows-1255";
        case 178:
            return "windows-1256";
        case 186:
            return "windows-1257";
        case 204:
            return "windows-1251";
        case 238:
            return "windows-1250";
        default:
            return nullptr;
        }
    }

    QString Decode(const std::string& bytes, int charset)
    {
        if (const char* name = CodecOf(charset)) {
            QStringDecoder decoder(name);
            if (decoder.isValid()) {
                QString text = decoder(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
                if (!decoder.hasError())
                    return text;
            }
        }
        return QString::fromLatin1(bytes.data(), qsizetype(bytes.size()));
    }

    QPainter::CompositionMode ModeOfRop3(uint32_t rop)
    {
        switch (rop) {
        case 0x008800C6: // SRCAND
            return QPainter::RasterOp_SourceAndDestination;
        case 0x00EE0086: // SRCPAINT
            return QPainter::RasterOp_SourceOrDestination;
        case 0x00660046: // SRCINVERT
            return QPainter::RasterOp_SourceXorDestination;
        case 0x00330008: // NOTSRCCOPY
            return QPainter::RasterOp_NotSource;
        case 0x00440328: // SRCERASE
            return QPainter::RasterOp_SourceAndNotDestination;
        case 0x001100A6: // NOTSRCERASE
            return QPainter::RasterOp_NotSourceAndNotDestination;
        case 0x00BB0226: // MERGEPAINT
            return QPainter::RasterOp_NotSourceOrDestination;
        default:
            return QPainter::CompositionMode_SourceOver;
        }
    }

    QPainter::CompositionMode ModeOfRop2(int rop2)
    {
        switch (rop2) {
        case 4: // R2_NOTCOPYPEN
            return QPainter::RasterOp_NotSource;
        case 6: // R2_NOT
            return QPainter::RasterOp_NotDestination;
        case 7: // R2_XORPEN
            return QPainter::RasterOp_SourceXorDestination;
        case 9: // R2_MASKPEN
            return QPainter::RasterOp_SourceAndDestination;
        case 10: // R2_NOTXORPEN
            return QPainter::RasterOp_NotSourceXorDestination;
        case 15: // R2_MERGEPEN
            return QPainter::RasterOp_SourceOrDestination;
        default:
            return QPainter::CompositionMode_SourceOver;
        }
    }

    class Player {
    public:
        Player(const WmfPicture& picture, QPainter& painter, const QRectF& target)
            : m_painter(painter)
            , m_target(target)
            , m_objects(picture.numberOfObjects)
        {
            // The metafile's device space is that of its bounds; the frame maps the bounds onto
            // the target. A metafile without bounds is drawn one unit to a pixel.
            platform::TRect b = picture.bounds;
            if (b.Width() == 0 || b.Height() == 0)
                b = platform::Rect(0, 0, static_cast<int32_t>(target.width()),
                    static_cast<int32_t>(target.height()));
            m_bounds = QRectF(
                b.Left, b.Top, b.Width() != 0 ? b.Width() : 1, b.Height() != 0 ? b.Height() : 1);
            m_frameScale
                = QPointF(target.width() / m_bounds.width(), target.height() / m_bounds.height());
            m_unitsPerInch = picture.unitsPerInch != 0 ? picture.unitsPerInch : 96;
            m_dc.windowOrg = m_dc.viewportOrg = m_bounds.topLeft();
            m_dc.windowExt = m_dc.viewportExt = QPointF(m_bounds.width(), m_bounds.height());
            m_maxPen = 4 * std::max({ target.width(), target.height(), 1.0 });
        }

        void Run(const std::vector<WmfRecord>& records)
        {
            m_painter.save();
            m_painter.setRenderHint(QPainter::Antialiasing, false);
            m_painter.setClipRect(m_target);
            for (const WmfRecord& rec : records)
                Execute(rec);
            m_painter.restore();
        }

    private:
        // ---- mapping ----

        // Logical to device units of the metafile, as GDI's mapping mode computes it.
        QPointF DeviceScale() const
        {
            const DcState& dc = m_dc;
            // Fixed modes: units per inch of the mode, against the device's units per inch.
            auto fixed = [&](double perInch) {
                return QPointF(m_unitsPerInch / perInch, -m_unitsPerInch / perInch);
            };
            switch (dc.mapMode) {
            case kMmIsotropic:
            case kMmAnisotropic: {
                double sx = dc.viewportExt.x() / (dc.windowExt.x() != 0 ? dc.windowExt.x() : 1);
                double sy = dc.viewportExt.y() / (dc.windowExt.y() != 0 ? dc.windowExt.y() : 1);
                if (dc.mapMode == kMmIsotropic) {
                    // Isotropic: one unit is as wide as it is high; GDI shrinks the larger scale.
                    double s = std::min(std::abs(sx), std::abs(sy));
                    sx = std::copysign(s, sx);
                    sy = std::copysign(s, sy);
                }
                return { sx, sy };
            }
            case kMmLoMetric:
                return fixed(254);
            case kMmHiMetric:
                return fixed(2540);
            case kMmLoEnglish:
                return fixed(100);
            case kMmHiEnglish:
                return fixed(1000);
            case kMmTwips:
                return fixed(1440);
            default:
                return { 1, 1 };
            }
        }

        // Logical units to target pixels.
        QPointF Scale() const
        {
            const QPointF s = DeviceScale();
            return { s.x() * m_frameScale.x(), s.y() * m_frameScale.y() };
        }

        QPointF Map(double x, double y) const
        {
            const QPointF s = DeviceScale();
            const double deviceX = (x - m_dc.windowOrg.x()) * s.x() + m_dc.viewportOrg.x();
            const double deviceY = (y - m_dc.windowOrg.y()) * s.y() + m_dc.viewportOrg.y();
            const double dx = (deviceX - m_bounds.left()) * m_frameScale.x() + m_target.left();
            const double dy = (deviceY - m_bounds.top()) * m_frameScale.y() + m_target.top();
            return { std::clamp(dx, -kCoordLimit, kCoordLimit),
                std::clamp(dy, -kCoordLimit, kCoordLimit) };
        }
        QPointF Map(const platform::TPoint& p) const { return Map(p.X, p.Y); }

        QRectF MapRect(int32_t l, int32_t t, int32_t r, int32_t b) const
        {
            return QRectF(Map(l, t), Map(r, b)).normalized();
        }

        double MapWidth(double w) const { return std::abs(w * Scale().x()); }
        double MapHeight(double h) const { return std::abs(h * Scale().y()); }

        // ---- drawing tools ----

        QPen Pen() const
        {
            const PenDef& p = m_dc.pen;
            const int style = p.style & 0x0F;
            if (style == 5) // PS_NULL
                return Qt::NoPen;
            double width = std::min(std::max(1.0, MapWidth(p.width)), m_maxPen);
            QPen pen(p.color, width);
            switch (style) {
            case 1:
                pen.setStyle(Qt::DashLine);
                break;
            case 2:
                pen.setStyle(Qt::DotLine);
                break;
            case 3:
                pen.setStyle(Qt::DashDotLine);
                break;
            case 4:
                pen.setStyle(Qt::DashDotDotLine);
                break;
            default:
                break;
            }
            const int cap = p.style & 0x0F00;
            pen.setCapStyle(cap == 0x0100 ? Qt::SquareCap
                    : cap == 0x0200       ? Qt::FlatCap
                                          : Qt::RoundCap);
            const int join = p.style & 0xF000;
            pen.setJoinStyle(join == 0x1000 ? Qt::BevelJoin
                    : join == 0x2000        ? Qt::MiterJoin
                                            : Qt::RoundJoin);
            if (m_dc.rop2 == 1)
                pen.setColor(Qt::black);
            else if (m_dc.rop2 == 16)
                pen.setColor(Qt::white);
            return pen;
        }

        QBrush Brush() const
        {
            const BrushDef& b = m_dc.brush;
            switch (b.style) {
            case 1: // BS_NULL
                return Qt::NoBrush;
            case 2: { // BS_HATCHED
                static const Qt::BrushStyle kHatches[] = { Qt::HorPattern, Qt::VerPattern,
                    Qt::BDiagPattern, Qt::FDiagPattern, Qt::CrossPattern, Qt::DiagCrossPattern };
                return QBrush(
                    b.color, b.hatch >= 0 && b.hatch < 6 ? kHatches[b.hatch] : Qt::SolidPattern);
            }
            case 3:
            case 5:
            case 6:
                if (!b.pattern.isNull())
                    return QBrush(b.pattern);
                return QBrush(b.color);
            default:
                return QBrush(b.color);
            }
        }

        void Prepare(bool fill)
        {
            m_painter.setPen(Pen());
            m_painter.setBrush(fill ? Brush() : QBrush(Qt::NoBrush));
            m_painter.setCompositionMode(ModeOfRop2(m_dc.rop2));
            m_painter.setBackgroundMode(
                m_dc.bkMode == kTransparent ? Qt::TransparentMode : Qt::OpaqueMode);
            m_painter.setBackground(m_dc.bkColor);
        }

        QFont Font() const
        {
            const FontDef& f = m_dc.font;
            QFont font(f.face.isEmpty() ? QStringLiteral("Sans Serif") : f.face);
            // A negative height is the character height, a positive one the cell height, of
            // which the character is usually about 85 %.
            double px = f.height < 0 ? MapHeight(-f.height) : MapHeight(f.height) * 0.85;
            if (f.height == 0)
                px = 16;
            font.setPixelSize(std::clamp(static_cast<int>(std::lround(px)), 1, 4096));
            font.setWeight(
                static_cast<QFont::Weight>(std::clamp(f.weight == 0 ? 400 : f.weight, 100, 900)));
            font.setItalic(f.italic);
            font.setUnderline(f.underline);
            font.setStrikeOut(f.strikeOut);
            font.setStyleStrategy(QFont::NoAntialias);
            return font;
        }

        // ---- objects ----

        void AddObject(GdiObject object)
        {
            for (auto& slot : m_objects)
                if (!slot) {
                    slot = std::move(object);
                    return;
                }
            // Some writers count their objects wrongly; GDI's table would still take them.
            if (m_objects.size() < 65535)
                m_objects.emplace_back(std::move(object));
        }

        void Select(int32_t index)
        {
            if (index < 0 || size_t(index) >= m_objects.size() || !m_objects[size_t(index)])
                return;
            const GdiObject& object = *m_objects[size_t(index)];
            if (auto* pen = std::get_if<PenDef>(&object))
                m_dc.pen = *pen;
            else if (auto* brush = std::get_if<BrushDef>(&object))
                m_dc.brush = *brush;
            else if (auto* font = std::get_if<FontDef>(&object))
                m_dc.font = *font;
        }

        // ---- records ----

        void Execute(const WmfRecord& rec);
        void Text(int32_t x, int32_t y, const std::string& bytes, const std::vector<int16_t>& dx,
            int options, const QRectF& rect);
        void ArcLike(const WmfRecord& rec);
        void DrawImage(const WmfRecord& rec);
        void Clip(const QRectF& rect, bool intersect);
        void ApplyClip();

        QPainter& m_painter;
        QRectF m_target;
        QRectF m_bounds;
        QPointF m_frameScale { 1, 1 };
        double m_unitsPerInch = 96;
        double m_maxPen = 1;
        DcState m_dc;
        std::vector<DcState> m_saved;
        std::vector<std::optional<GdiObject>> m_objects;
    };

    void Player::Execute(const WmfRecord& rec)
    {
        const auto& a = rec.args;
        DcState& dc = m_dc;
        switch (rec.op) {
        case WmfOp::SetWindowOrg:
            dc.windowOrg = QPointF(a[0], a[1]);
            break;
        case WmfOp::SetWindowExt:
            if (a[0] != 0 && a[1] != 0)
                dc.windowExt = QPointF(a[0], a[1]);
            break;
        case WmfOp::SetViewportOrg:
            dc.viewportOrg = QPointF(a[0], a[1]);
            break;
        case WmfOp::SetViewportExt:
            if (a[0] != 0 && a[1] != 0)
                dc.viewportExt = QPointF(a[0], a[1]);
            break;
        case WmfOp::OffsetWindowOrg:
            dc.windowOrg += QPointF(a[0], a[1]);
            break;
        case WmfOp::OffsetViewportOrg:
            dc.viewportOrg += QPointF(a[0], a[1]);
            break;
        case WmfOp::ScaleWindowExt:
        case WmfOp::ScaleViewportExt: {
            if (a[1] == 0 || a[3] == 0 || a[0] == 0 || a[2] == 0)
                break;
            QPointF& ext = rec.op == WmfOp::ScaleWindowExt ? dc.windowExt : dc.viewportExt;
            ext = QPointF(ext.x() * a[0] / a[1], ext.y() * a[2] / a[3]);
            break;
        }
        case WmfOp::SetMapMode:
            if (a[0] >= kMmText && a[0] <= kMmAnisotropic)
                dc.mapMode = a[0];
            break;
        case WmfOp::SetBkMode:
            dc.bkMode = a[0];
            break;
        case WmfOp::SetPolyFillMode:
            dc.polyFillMode = a[0];
            break;
        case WmfOp::SetTextAlign:
            dc.textAlign = a[0];
            break;
        case WmfOp::SetRop2:
            dc.rop2 = a[0];
            break;
        case WmfOp::SetBkColor:
            dc.bkColor = ColorOf(a[0]);
            break;
        case WmfOp::SetTextColor:
            dc.textColor = ColorOf(a[0]);
            break;
        case WmfOp::CreatePen:
            AddObject(PenDef { a[0], a[1], ColorOf(a[2]) });
            break;
        case WmfOp::CreateBrush:
            AddObject(BrushDef { a[0], ColorOf(a[1]), a[2], {} });
            break;
        case WmfOp::CreatePatternBrush:
            AddObject(
                BrushDef { 3, Qt::black, 0, rec.image ? BitmapToImage(*rec.image) : QImage() });
            break;
        case WmfOp::CreateFont: {
            FontDef f;
            f.height = a[0];
            f.escapement = a[2];
            f.weight = a[4];
            f.italic = a[5] != 0;
            f.underline = a[6] != 0;
            f.strikeOut = a[7] != 0;
            f.charset = a[8];
            f.face = Decode(rec.text, f.charset);
            AddObject(std::move(f));
            break;
        }
        case WmfOp::CreateOtherObject:
            AddObject(OtherObject {});
            break;
        case WmfOp::SelectObject:
            Select(a[0]);
            break;
        case WmfOp::DeleteObject:
            if (a[0] >= 0 && size_t(a[0]) < m_objects.size())
                m_objects[size_t(a[0])].reset();
            break;
        case WmfOp::MoveTo:
            dc.position = QPointF(a[0], a[1]);
            break;
        case WmfOp::LineTo: {
            Prepare(false);
            const QPointF to(a[0], a[1]);
            m_painter.drawLine(Map(dc.position.x(), dc.position.y()), Map(to.x(), to.y()));
            dc.position = to;
            break;
        }
        case WmfOp::Polyline:
        case WmfOp::Polygon: {
            QPolygonF polygon;
            polygon.reserve(qsizetype(rec.points.size()));
            for (const auto& p : rec.points)
                polygon << Map(p);
            Prepare(rec.op == WmfOp::Polygon);
            if (rec.op == WmfOp::Polyline)
                m_painter.drawPolyline(polygon);
            else
                m_painter.drawPolygon(
                    polygon, dc.polyFillMode == kAlternate ? Qt::OddEvenFill : Qt::WindingFill);
            break;
        }
        case WmfOp::PolyPolygon: {
            QPainterPath path;
            path.setFillRule(dc.polyFillMode == kAlternate ? Qt::OddEvenFill : Qt::WindingFill);
            size_t at = 0;
            for (uint16_t count : rec.counts) {
                QPolygonF polygon;
                for (size_t i = 0; i < count && at < rec.points.size(); ++i, ++at)
                    polygon << Map(rec.points[at]);
                if (!polygon.isEmpty()) {
                    polygon << polygon.front();
                    path.addPolygon(polygon);
                }
            }
            Prepare(true);
            m_painter.drawPath(path);
            break;
        }
        case WmfOp::Rectangle:
            Prepare(true);
            m_painter.drawRect(MapRect(a[0], a[1], a[2], a[3]));
            break;
        case WmfOp::Ellipse:
            Prepare(true);
            m_painter.drawEllipse(MapRect(a[0], a[1], a[2], a[3]));
            break;
        case WmfOp::RoundRect:
            Prepare(true);
            m_painter.drawRoundedRect(
                MapRect(a[0], a[1], a[2], a[3]), MapWidth(a[4]) / 2, MapHeight(a[5]) / 2);
            break;
        case WmfOp::Arc:
        case WmfOp::Pie:
        case WmfOp::Chord:
            ArcLike(rec);
            break;
        case WmfOp::IntersectClipRect:
        case WmfOp::ExcludeClipRect:
            Clip(MapRect(a[0], a[1], a[2], a[3]), rec.op == WmfOp::IntersectClipRect);
            break;
        case WmfOp::TextOut:
            Text(a[0], a[1], rec.text, {}, 0, {});
            break;
        case WmfOp::ExtTextOut:
            Text(a[0], a[1], rec.text, rec.dx, a[2], MapRect(a[3], a[4], a[5], a[6]));
            break;
        case WmfOp::SetPixel: {
            const QPointF p = Map(a[0], a[1]);
            m_painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
            m_painter.fillRect(QRectF(std::floor(p.x()), std::floor(p.y()), 1, 1), ColorOf(a[2]));
            break;
        }
        case WmfOp::PatBlt: {
            const QRectF r = QRectF(Map(a[0], a[1]), Map(a[0] + a[2], a[1] + a[3])).normalized();
            const auto rop = static_cast<uint32_t>(a[4]);
            if (rop == 0x00000042 || rop == 0x00FF0062) { // BLACKNESS, WHITENESS
                m_painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
                m_painter.fillRect(r, rop == 0x42 ? Qt::black : Qt::white);
            } else if (rop == 0x00550009) { // DSTINVERT
                m_painter.setCompositionMode(QPainter::RasterOp_NotDestination);
                m_painter.fillRect(r, Qt::black);
            } else {
                m_painter.setCompositionMode(rop == 0x005A0049
                        ? QPainter::RasterOp_SourceXorDestination
                        : QPainter::CompositionMode_SourceOver);
                m_painter.fillRect(r, Brush());
            }
            break;
        }
        case WmfOp::DrawImage:
            DrawImage(rec);
            break;
        case WmfOp::SaveDC:
            if (m_saved.size() < kMaxSavedStates)
                m_saved.push_back(dc);
            break;
        case WmfOp::RestoreDC: {
            // Negative: so many levels back; positive: the state of that SaveDC, counted from 1.
            const int64_t level = a[0] < 0 ? int64_t(m_saved.size()) + a[0] : int64_t(a[0]) - 1;
            if (level < 0 || level >= int64_t(m_saved.size()))
                break;
            dc = m_saved[size_t(level)];
            m_saved.resize(size_t(level));
            ApplyClip();
            break;
        }
        }
    }

    void Player::ArcLike(const WmfRecord& rec)
    {
        const auto& a = rec.args;
        const QRectF box = MapRect(a[0], a[1], a[2], a[3]);
        if (box.width() <= 0 || box.height() <= 0)
            return;
        const QPointF c = box.center();
        const QPointF start = Map(a[4], a[5]);
        const QPointF end = Map(a[6], a[7]);
        // GDI aims rays from the centre through the two points; Qt wants the ellipse's own
        // angle, so the ray is stretched by the ellipse's proportions.
        auto angle = [&](QPointF p) {
            double t = std::atan2(-(p.y() - c.y()) * box.width(), (p.x() - c.x()) * box.height());
            return t * 180 / std::numbers::pi;
        };
        const double a1 = angle(start);
        double sweep = angle(end) - a1;
        while (sweep <= 0)
            sweep += 360;
        // Arcs go counter-clockwise in logical space; a mapping that flips one axis turns them.
        const QPointF s = Scale();
        if ((s.x() < 0) != (s.y() < 0))
            sweep -= 360;
        QPainterPath path;
        if (rec.op == WmfOp::Pie) {
            path.moveTo(c);
            path.arcTo(box, a1, sweep);
            path.closeSubpath();
        } else {
            path.arcMoveTo(box, a1);
            path.arcTo(box, a1, sweep);
            if (rec.op == WmfOp::Chord)
                path.closeSubpath();
        }
        Prepare(rec.op != WmfOp::Arc);
        m_painter.drawPath(path);
    }

    void Player::Text(int32_t x, int32_t y, const std::string& bytes,
        const std::vector<int16_t>& dx, int options, const QRectF& rect)
    {
        DcState& dc = m_dc;
        const QString text = Decode(bytes, dc.font.charset);
        const QFont font = Font();
        const QFontMetricsF metrics(font);
        m_painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        m_painter.save();
        if (options & kEtoOpaque)
            m_painter.fillRect(rect, dc.bkColor);
        if (options & kEtoClipped)
            m_painter.setClipRect(rect, Qt::IntersectClip);

        // Advances: the record's spacing when it has one per character, else the font's.
        std::vector<double> advances;
        const bool ownSpacing = dx.size() == size_t(text.size());
        for (qsizetype i = 0; i < text.size(); ++i)
            advances.push_back(
                ownSpacing ? MapWidth(dx[size_t(i)]) : metrics.horizontalAdvance(text[i]));
        double width = 0;
        for (double adv : advances)
            width += adv;
        if (!ownSpacing)
            width = metrics.horizontalAdvance(text);

        const bool updateCp = (dc.textAlign & kTaUpdateCp) != 0;
        const QPointF origin = updateCp ? Map(dc.position.x(), dc.position.y()) : Map(x, y);
        double left = 0;
        const int horizontal = dc.textAlign & kTaCenter;
        if (horizontal == kTaRight)
            left = -width;
        else if (horizontal == kTaCenter)
            left = -width / 2;
        double baseline = metrics.ascent();
        const int vertical = dc.textAlign & kTaBaseline;
        if (vertical == kTaBaseline)
            baseline = 0;
        else if (vertical == kTaBottom)
            baseline = -metrics.descent();

        m_painter.translate(origin);
        if (dc.font.escapement != 0)
            m_painter.rotate(-dc.font.escapement / 10.0);
        if (dc.bkMode != kTransparent && !(options & kEtoOpaque))
            m_painter.fillRect(
                QRectF(left, baseline - metrics.ascent(), width, metrics.height()), dc.bkColor);
        m_painter.setFont(font);
        m_painter.setPen(dc.textColor);
        if (ownSpacing) {
            double at = left;
            for (qsizetype i = 0; i < text.size(); ++i) {
                m_painter.drawText(QPointF(at, baseline), QString(text[i]));
                at += advances[size_t(i)];
            }
        } else {
            m_painter.drawText(QPointF(left, baseline), text);
        }
        m_painter.restore();
        if (updateCp) {
            // The current position moves by the text's width, in logical units.
            const double sx = Scale().x();
            if (horizontal == 0 && sx != 0)
                dc.position.rx() += width / sx;
        }
    }

    void Player::DrawImage(const WmfRecord& rec)
    {
        const auto& a = rec.args;
        const auto rop = static_cast<uint32_t>(a[8]);
        const QPointF p1 = Map(a[0], a[1]);
        const QPointF p2 = Map(a[0] + a[2], a[1] + a[3]);
        if (!rec.image) {
            // A bit-block transfer without a picture paints with the brush, as PatBlt does.
            WmfRecord pat;
            pat.op = WmfOp::PatBlt;
            pat.args = { a[0], a[1], a[2], a[3], a[8] };
            Execute(pat);
            return;
        }
        QImage image = BitmapToImage(*rec.image);
        QRectF source(a[4], a[5], a[6], a[7]);
        bool flipX = (p2.x() < p1.x()) != (source.width() < 0);
        bool flipY = (p2.y() < p1.y()) != (source.height() < 0);
        source = source.normalized();
        const QRectF dest = QRectF(p1, p2).normalized();
        if (dest.isEmpty() || source.isEmpty())
            return;
        m_painter.save();
        m_painter.setCompositionMode(ModeOfRop3(rop));
        m_painter.translate(dest.center());
        m_painter.scale(flipX ? -1 : 1, flipY ? -1 : 1);
        m_painter.drawImage(
            QRectF(-dest.width() / 2, -dest.height() / 2, dest.width(), dest.height()), image,
            source);
        m_painter.restore();
    }

    void Player::Clip(const QRectF& rect, bool intersect)
    {
        const QRegion area = QRegion(rect.toAlignedRect());
        const QRegion current = m_dc.clip.value_or(QRegion(m_target.toAlignedRect()));
        m_dc.clip = intersect ? current.intersected(area) : current.subtracted(area);
        ApplyClip();
    }

    void Player::ApplyClip()
    {
        m_painter.setClipRect(m_target);
        if (m_dc.clip)
            m_painter.setClipRegion(*m_dc.clip, Qt::IntersectClip);
    }

} // namespace

void PlayMetafile(const WmfPicture& picture, QPainter& painter, const QRectF& target)
{
    Player player(picture, painter, target);
    player.Run(picture.records);
}

} // namespace vtl::render
