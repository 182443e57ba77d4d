#include "toolbaricons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

const QColor kInk(0x33, 0x4a, 0x6e);
const QColor kPaper(0xfd, 0xfd, 0xf8);
const QColor kAccent(0x2f, 0x7d, 0xd1);
const QColor kFolder(0xe8, 0xb0, 0x4a);

void page(QPainter &p, const QRectF &r)
{
    p.setBrush(kPaper);
    p.drawRect(r);
    for (qreal y = r.top() + 6; y < r.bottom() - 3; y += 4)
        p.drawLine(QPointF(r.left() + 4, y), QPointF(r.right() - 4, y));
}

void draw(QPainter &p, const QString &image)
{
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(kInk, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    if (image == QLatin1String("Send")) {
        QPainterPath plane;
        plane.moveTo(3, 15);
        plane.lineTo(29, 4);
        plane.lineTo(21, 28);
        plane.lineTo(15, 19);
        plane.closeSubpath();
        p.setBrush(kAccent);
        p.drawPath(plane);
        p.drawLine(QPointF(15, 19), QPointF(29, 4));
    } else if (image == QLatin1String("Open")) {
        p.setBrush(kFolder.darker(115));
        p.drawRect(QRectF(3, 7, 12, 5));
        p.setBrush(kFolder);
        p.drawRect(QRectF(3, 10, 26, 17));
    } else if (image == QLatin1String("Temp")) {
        QPainterPath clip;
        clip.moveTo(20, 9);
        clip.lineTo(20, 24);
        clip.arcTo(QRectF(11, 19, 9, 10), 0, -180);
        clip.lineTo(11, 7);
        clip.arcTo(QRectF(11, 2, 12, 10), 180, -180);
        clip.lineTo(23, 22);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(kInk, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPath(clip);
    } else if (image == QLatin1String("Cut")) {
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(kInk, 2.0, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(9, 3), QPointF(21, 20));
        p.drawLine(QPointF(23, 3), QPointF(11, 20));
        p.setPen(QPen(kAccent, 2.4));
        p.drawEllipse(QRectF(4, 20, 8, 8));
        p.drawEllipse(QRectF(20, 20, 8, 8));
    } else if (image == QLatin1String("Copy")) {
        page(p, QRectF(4, 3, 16, 20));
        page(p, QRectF(12, 9, 16, 20));
    } else if (image == QLatin1String("Paste")) {
        p.setBrush(kFolder);
        p.drawRoundedRect(QRectF(5, 5, 22, 25), 2, 2);
        p.setBrush(kInk);
        p.drawRoundedRect(QRectF(11, 2, 10, 6), 2, 2);
        page(p, QRectF(9, 11, 14, 16));
    } else if (image == QLatin1String("Undo")) {
        QPainterPath arrow;
        arrow.moveTo(9, 12);
        arrow.cubicTo(16, 5, 29, 9, 27, 20);
        arrow.cubicTo(26, 25, 21, 28, 15, 28);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(kAccent, 2.6, Qt::SolidLine, Qt::RoundCap));
        p.drawPath(arrow);
        QPolygonF head;
        head << QPointF(3, 13) << QPointF(13, 5) << QPointF(13, 17);
        p.setPen(Qt::NoPen);
        p.setBrush(kAccent);
        p.drawPolygon(head);
    } else if (image == QLatin1String("Preview")) {
        page(p, QRectF(4, 3, 17, 23));
        p.setBrush(QColor(0xe6, 0xf0, 0xfb));
        p.setPen(QPen(kAccent, 2.4));
        p.drawEllipse(QRectF(13, 13, 11, 11));
        p.setPen(QPen(kInk, 3.0, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(23, 23), QPointF(29, 29));
    } else if (image == QLatin1String("New")) {
        page(p, QRectF(4, 3, 18, 24));
        p.setPen(QPen(kAccent, 3.2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(23, 16), QPointF(23, 29));
        p.drawLine(QPointF(16.5, 22.5), QPointF(29.5, 22.5));
    } else if (image == QLatin1String("Delete")) {
        p.setBrush(QColor(0xd8, 0xdc, 0xe2));
        p.drawRect(QRectF(8, 9, 16, 20));
        p.drawLine(QPointF(5, 8), QPointF(27, 8));
        p.drawRect(QRectF(13, 4, 6, 4));
        for (qreal x = 12; x <= 20; x += 4)
            p.drawLine(QPointF(x, 13), QPointF(x, 25));
    }
}

} // namespace

QIcon toolbarIcon(const QString &image)
{
    static const struct {
        const char *image;
        const char *theme;
    } themes[] = {
        {"Send", "mail-send"},  {"Open", "document-open"}, {"Temp", "mail-attachment"},
        {"Cut", "edit-cut"},    {"Copy", "edit-copy"},     {"Paste", "edit-paste"},
        {"Undo", "edit-undo"},  {"Delete", "edit-delete"}, {"Preview", "document-print-preview"},
        {"New", "contact-new"},
    };
    for (const auto &t : themes) {
        if (image != QLatin1String(t.image))
            continue;
        const QIcon themed = QIcon::fromTheme(QLatin1String(t.theme));
        if (!themed.isNull())
            return themed;
        QIcon icon;
        for (int size : {16, 32, 64}) {
            QPixmap pm(size, size);
            pm.fill(Qt::transparent);
            QPainter p(&pm);
            p.scale(size / 32.0, size / 32.0);
            draw(p, image);
            p.end();
            icon.addPixmap(pm);
        }
        return icon;
    }
    return {};
}
