#include "app/ui/image_lists.h"

#include "document/line_colours.h"

#include <QPainter>
#include <QPainterPath>

namespace vtl::app::ui {

namespace {
    const QColor kInk(40, 40, 48);
    const QColor kPaper(250, 250, 245);
    const QColor kBlue(40, 90, 200);
    const QColor kRed(200, 40, 40);
    const QColor kGreen(40, 150, 60);
    const QColor kYellow(240, 200, 60);

    void Page(QPainter& p, QRectF r)
    {
        p.setPen(QPen(kInk, 1));
        p.setBrush(kPaper);
        p.drawRect(r);
    }

    void Arrow(QPainter& p, QPointF from, QPointF to, QColor colour)
    {
        p.setPen(QPen(colour, 2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(from, to);
        QLineF line(to, from);
        QLineF a = line;
        a.setAngle(line.angle() + 35);
        a.setLength(4.5);
        QLineF b = line;
        b.setAngle(line.angle() - 35);
        b.setLength(4.5);
        p.drawLine(a);
        p.drawLine(b);
    }

    void Triangle(QPainter& p, QPointF a, QPointF b, QPointF c, QColor colour)
    {
        p.setPen(Qt::NoPen);
        p.setBrush(colour);
        p.drawPolygon(QPolygonF({ a, b, c }));
    }

    // Draws image `index` in a 16 x 16 box.
    void Draw(QPainter& p, int index)
    {
        switch (index) {
        case 0: // save: a disk
            p.setPen(QPen(kInk, 1));
            p.setBrush(kBlue);
            p.drawRect(QRectF(2.5, 2.5, 11, 11));
            p.setBrush(kPaper);
            p.drawRect(QRectF(4.5, 2.5, 7, 5));
            p.setBrush(QColor(200, 200, 200));
            p.drawRect(QRectF(5.5, 10.5, 5, 3));
            break;
        case 1: // print
            Page(p, QRectF(4.5, 1.5, 7, 5));
            p.setBrush(QColor(180, 180, 190));
            p.drawRect(QRectF(1.5, 6.5, 13, 6));
            Page(p, QRectF(4.5, 10.5, 7, 4));
            break;
        case 2: // delete: a cross
            p.setPen(QPen(kRed, 2.5, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(4, 4), QPointF(12, 12));
            p.drawLine(QPointF(12, 4), QPointF(4, 12));
            break;
        case 3: // copy: two pages
            Page(p, QRectF(2.5, 2.5, 7, 9));
            Page(p, QRectF(6.5, 5.5, 7, 9));
            break;
        case 4: // range copy: a dashed frame over a page
            Page(p, QRectF(2.5, 2.5, 11, 11));
            p.setPen(QPen(kBlue, 1, Qt::DashLine));
            p.setBrush(Qt::NoBrush);
            p.drawRect(QRectF(4.5, 4.5, 7, 7));
            break;
        case 5: // paste: a clipboard
            p.setPen(QPen(kInk, 1));
            p.setBrush(QColor(190, 140, 80));
            p.drawRect(QRectF(2.5, 2.5, 10, 12));
            Page(p, QRectF(6.5, 6.5, 7, 8));
            break;
        case 6: // next window: stacked windows
            Page(p, QRectF(1.5, 1.5, 9, 7));
            Page(p, QRectF(5.5, 6.5, 9, 7));
            p.fillRect(QRectF(6, 7, 8.5, 2), kBlue);
            break;
        case 7: { // undo: a curved arrow
            QPainterPath path(QPointF(12, 12));
            path.cubicTo(QPointF(14, 4), QPointF(6, 2), QPointF(4, 7));
            p.setPen(QPen(kBlue, 2));
            p.setBrush(Qt::NoBrush);
            p.drawPath(path);
            Triangle(p, QPointF(1, 5), QPointF(7, 6), QPointF(3, 10), kBlue);
            break;
        }
        case 8: // close: a window with a cross
            Page(p, QRectF(1.5, 2.5, 13, 11));
            p.fillRect(QRectF(2, 3, 12.5, 2), kBlue);
            p.setPen(QPen(kRed, 1.5));
            p.drawLine(QPointF(5, 7), QPointF(11, 12));
            p.drawLine(QPointF(11, 7), QPointF(5, 12));
            break;
        case 9: // previous
            Triangle(p, QPointF(3, 8), QPointF(12, 2), QPointF(12, 14), kGreen);
            break;
        case 10: // next
            Triangle(p, QPointF(13, 8), QPointF(4, 2), QPointF(4, 14), kGreen);
            break;
        case 11: // slide show: play with frames
            p.setPen(QPen(kInk, 1));
            p.setBrush(Qt::NoBrush);
            p.drawRect(QRectF(1.5, 2.5, 13, 11));
            Triangle(p, QPointF(11, 8), QPointF(6, 4.5), QPointF(6, 11.5), kGreen);
            break;
        case 12: { // text input: a letter A
            QFont f = p.font();
            f.setPixelSize(14);
            f.setBold(true);
            p.setFont(f);
            p.setPen(kInk);
            p.drawText(QRectF(0, 0, 16, 16), Qt::AlignCenter, QStringLiteral("A"));
            break;
        }
        case 13: { // free line: a squiggle
            QPainterPath path(QPointF(2, 12));
            path.cubicTo(QPointF(5, 2), QPointF(9, 16), QPointF(14, 4));
            p.setPen(QPen(kInk, 2, Qt::SolidLine, Qt::RoundCap));
            p.setBrush(Qt::NoBrush);
            p.drawPath(path);
            break;
        }
        case 14: // exit: a door with an arrow
            p.setPen(QPen(kInk, 1));
            p.setBrush(QColor(170, 120, 70));
            p.drawRect(QRectF(2.5, 1.5, 7, 13));
            Arrow(p, QPointF(7, 8), QPointF(15, 8), kRed);
            break;
        case 15: // open: a folder
            p.setPen(QPen(kInk, 1));
            p.setBrush(kYellow);
            p.drawRect(QRectF(1.5, 4.5, 12, 9));
            p.drawRect(QRectF(1.5, 3.5, 5, 2));
            p.setBrush(QColor(255, 225, 120));
            p.drawPolygon(QPolygonF({ QPointF(3.5, 7.5), QPointF(15.5, 7.5), QPointF(13.5, 13.5),
                QPointF(1.5, 13.5) }));
            break;
        case 16: // new: a page with a folded corner
            p.setPen(QPen(kInk, 1));
            p.setBrush(kPaper);
            p.drawPolygon(QPolygonF({ QPointF(3.5, 1.5), QPointF(9.5, 1.5), QPointF(12.5, 4.5),
                QPointF(12.5, 14.5), QPointF(3.5, 14.5) }));
            p.drawLine(QPointF(9.5, 1.5), QPointF(9.5, 4.5));
            p.drawLine(QPointF(9.5, 4.5), QPointF(12.5, 4.5));
            break;
        case 17: // thumbnails: a grid of small pictures
            for (int y = 0; y < 2; ++y)
                for (int x = 0; x < 2; ++x) {
                    QRectF cell(1.5 + x * 7, 1.5 + y * 7, 6, 6);
                    p.setPen(QPen(kInk, 1));
                    p.setBrush(x == y ? QColor(120, 180, 240) : QColor(140, 200, 120));
                    p.drawRect(cell);
                }
            break;
        case 18: // options: a gear-like wheel
            p.setPen(QPen(kInk, 1));
            p.setBrush(QColor(160, 160, 170));
            for (int i = 0; i < 8; ++i) {
                p.save();
                p.translate(8, 8);
                p.rotate(i * 45);
                p.drawRect(QRectF(-1.5, -7.5, 3, 3));
                p.restore();
            }
            p.drawEllipse(QPointF(8, 8), 5, 5);
            p.setBrush(kPaper);
            p.drawEllipse(QPointF(8, 8), 2, 2);
            break;
        case 19: { // font: letters F and a
            QFont f = p.font();
            f.setPixelSize(13);
            f.setItalic(true);
            p.setFont(f);
            p.setPen(kBlue);
            p.drawText(QRectF(0, 0, 16, 16), Qt::AlignCenter, QStringLiteral("Fa"));
            break;
        }
        case 20: // help: a question mark in a circle
            p.setPen(QPen(kBlue, 1));
            p.setBrush(QColor(220, 232, 255));
            p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
            p.setPen(kBlue);
            {
                QFont f = p.font();
                f.setPixelSize(11);
                f.setBold(true);
                p.setFont(f);
            }
            p.drawText(QRectF(0, 0, 16, 16), Qt::AlignCenter, QStringLiteral("?"));
            break;
        case 21: // line colour: a pen over a colour bar
            p.fillRect(QRectF(1, 12, 14, 3), kRed);
            p.setPen(QPen(kInk, 2, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(4, 10), QPointF(12, 2));
            break;
        case 38: // scanner: a flat bed with a light bar
            p.setPen(QPen(kInk, 1));
            p.setBrush(QColor(200, 200, 205));
            p.drawRect(QRectF(1.5, 6.5, 13, 6));
            p.fillRect(QRectF(3, 8, 10, 1.5), QColor(120, 230, 120));
            p.setBrush(QColor(150, 150, 160));
            p.drawRect(QRectF(1.5, 4.5, 13, 2));
            break;
        case 40: // move down (options dialog)
            Arrow(p, QPointF(8, 2), QPointF(8, 14), kBlue);
            break;
        default:
            Page(p, QRectF(2.5, 2.5, 11, 11));
            break;
        }
    }
}

QPixmap ToolPixmap(int index, int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 16.0, size / 16.0);
    Draw(p, index);
    return pixmap;
}

QIcon ToolImage(int index)
{
    QIcon icon;
    for (int size : { 16, 32 })
        icon.addPixmap(ToolPixmap(index, size));
    return icon;
}

QIcon ColourSample(int index)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    auto c = document::kLineColours.at(static_cast<size_t>(index));
    p.setPen(QColor(64, 64, 64));
    p.setBrush(QColor(platform::GetRValue(c), platform::GetGValue(c), platform::GetBValue(c)));
    p.drawRect(2, 2, 11, 11);
    return QIcon(pixmap);
}

QIcon ApplicationIcon()
{
    QIcon icon;
    for (int size : { 16, 32, 48, 64 }) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(size / 16.0, size / 16.0);
        p.setPen(QPen(kInk, 0.8));
        p.setBrush(QColor(120, 180, 240));
        p.drawRoundedRect(QRectF(1, 2, 14, 12), 2, 2);
        Triangle(p, QPointF(2, 13), QPointF(7, 6), QPointF(11, 13), kGreen);
        p.setBrush(kYellow);
        p.setPen(Qt::NoPen);
        p.drawEllipse(QPointF(11.5, 5.5), 2, 2);
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace vtl::app::ui
