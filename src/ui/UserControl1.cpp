#include "UserControl1.h"

#include <QPainter>
#include <QResizeEvent>

#include <algorithm>
#include <cmath>

UserControl1::UserControl1(QWidget *parent) : QWidget(parent)
{
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void UserControl1::setValue(qint64 LngValue)
{
    const double W = scaleWidth();
    if (m_PixelWidth == 0)
        m_PixelWidth = float(W);
    // Width less 4 pixels, in current units.
    const double limit = m_PixelWidth > 0 ? W - W * 4 / m_PixelWidth : 0;
    const float units = float(std::clamp<double>(double(LngValue), 0.0, std::max(limit, 0.0)));
    m_barPixels = W > 0 ? double(units) * width() / W : 0;
    m_barVisible = LngValue >= 1;
    update();
}

void UserControl1::setMax(qint64 lngMax)
{
    // An axis without width would make every later Value meaningless.
    if (lngMax <= 0)
        return;
    // The fill keeps its pixel width until the next Value.
    m_maxUnits = double(lngMax);
}

double UserControl1::scaleWidth() const
{
    return m_maxUnits > 0 ? m_maxUnits : double(width());
}

QRect UserControl1::fillRect() const
{
    const int w = int(std::lround(m_barPixels));
    if (!m_barVisible || w <= 0 || height() <= 4)
        return {};
    return QRect(2, 2, w, height() - 4);
}

void UserControl1::ResetBar()
{
    m_barPixels = 0;
    update();
}

void UserControl1::resizeEvent(QResizeEvent *event)
{
    // A hidden widget gets its size as one pending event at show time, with
    // no old size; that is the control's creation, not a size change.
    if (event->oldSize().isValid())
        ResetBar();
}

void UserControl1::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    const int W = width();
    const int H = height();
    p.fillRect(rect(), palette().color(QPalette::Button));
    const QColor grey(128, 128, 128);
    const QColor white(255, 255, 255);
    // Each line includes its start point and stops before its end point;
    // the bottom line runs to W so that it also covers the corner pixel.
    p.fillRect(QRect(0, 0, 1, H - 1), grey);      // L
    p.fillRect(QRect(0, 0, W - 1, 1), grey);      // T
    p.fillRect(QRect(W - 1, 0, 1, H - 1), white); // R
    p.fillRect(QRect(0, H - 1, W, 1), white);     // B
    const QRect fill = fillRect();
    if (!fill.isEmpty())
        p.fillRect(fill, QColor(0, 0, 128));
}
