#include "Artwork.h"

#include <QPainter>
#include <QPolygonF>

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
    p.drawPolygon(QPolygonF({{12, 2}, {20, 2}, {20, 12}, {27, 12}, {16, 23}, {5, 12}, {12, 12}}));
    // Tray: a flat U under the arrow head.
    p.drawPolygon(QPolygonF({{2, 20}, {6, 20}, {6, 26}, {26, 26}, {26, 20}, {30, 20}, {30, 30}, {2, 30}}));
    return pixmap;
}

} // namespace

QIcon programIcon()
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
