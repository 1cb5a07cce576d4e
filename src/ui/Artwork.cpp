#include "Artwork.h"

#include <QPainter>
#include <QPainterPath>

namespace {

QPixmap drawIcon()
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor red(200, 0, 0);
    p.setPen(Qt::NoPen);
    p.setBrush(red);

    // Arrow: shaft and head pointing down into the tray.
    QPainterPath arrow;
    arrow.moveTo(12, 2);
    arrow.lineTo(20, 2);
    arrow.lineTo(20, 12);
    arrow.lineTo(27, 12);
    arrow.lineTo(16, 23);
    arrow.lineTo(5, 12);
    arrow.lineTo(12, 12);
    arrow.closeSubpath();
    p.drawPath(arrow);

    // Tray: a flat U under the arrow head.
    QPainterPath tray;
    tray.moveTo(2, 20);
    tray.lineTo(6, 20);
    tray.lineTo(6, 26);
    tray.lineTo(26, 26);
    tray.lineTo(26, 20);
    tray.lineTo(30, 20);
    tray.lineTo(30, 30);
    tray.lineTo(2, 30);
    tray.closeSubpath();
    p.drawPath(tray);
    return pixmap;
}

} // namespace

QIcon windowIcon()
{
    static const QIcon icon(drawIcon());
    return icon;
}

QPixmap serverButtonPicture()
{
    QPixmap pixmap(20, 22);
    pixmap.fill(QColor(192, 192, 192));
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);

    // Monitor on the right: dark casing, blue screen, foot.
    p.setPen(QColor(64, 64, 64));
    p.setBrush(QColor(224, 224, 224));
    p.drawRect(QRectF(8.5, 6.5, 10, 9));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 160));
    p.drawRect(QRectF(10, 8, 7, 6));
    p.setBrush(QColor(64, 64, 64));
    p.drawRect(QRectF(12, 16, 3, 2));
    p.drawRect(QRectF(10, 18, 7, 1.5));

    // Globe on the left, in front of the monitor.
    const QRectF globe(1.5, 2.5, 10, 10);
    p.setPen(QPen(QColor(0, 64, 128), 1));
    p.setBrush(QColor(64, 160, 224));
    p.drawEllipse(globe);
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRectF(4.5, 2.5, 4, 10));
    p.drawLine(QPointF(1.5, 7.5), QPointF(11.5, 7.5));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(32, 144, 48));
    p.drawEllipse(QRectF(3, 4, 3, 3));
    p.drawEllipse(QRectF(7, 8.5, 3, 2.5));
    return pixmap;
}
