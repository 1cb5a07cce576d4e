#include "TransferProgressBar.h"

#include <QPainter>
#include <QResizeEvent>

#include <algorithm>
#include <cmath>

TransferProgressBar::TransferProgressBar(QWidget *parent) : QWidget(parent)
{
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TransferProgressBar::setValue(qint64 value)
{
    const double units = scaleWidth();
    if (m_pixelWidth == 0)
        m_pixelWidth = float(units);
    // Width less 4 pixels, in current units.
    const double limit = m_pixelWidth > 0 ? units - units * 4 / m_pixelWidth : 0;
    const float fill = float(std::clamp<double>(double(value), 0.0, std::max(limit, 0.0)));
    m_fillPixels = units > 0 ? double(fill) * width() / units : 0;
    m_fillVisible = value >= 1;
    update();
}

void TransferProgressBar::setMax(qint64 max)
{
    // An axis without width would make every later value meaningless.
    if (max <= 0)
        return;
    // The fill keeps its pixel width until the next value.
    m_maxUnits = double(max);
}

double TransferProgressBar::scaleWidth() const
{
    return m_maxUnits > 0 ? m_maxUnits : double(width());
}

QRect TransferProgressBar::fillRect() const
{
    const int w = int(std::lround(m_fillPixels));
    if (!m_fillVisible || w <= 0 || height() <= 4)
        return {};
    return QRect(2, 2, w, height() - 4);
}

void TransferProgressBar::resetFill()
{
    m_fillPixels = 0;
    update();
}

void TransferProgressBar::resizeEvent(QResizeEvent *event)
{
    // A hidden widget gets its size as one pending event at show time, with
    // no old size; that is the bar's creation, not a size change.
    if (event->oldSize().isValid())
        resetFill();
}

void TransferProgressBar::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    const int w = width();
    const int h = height();
    p.fillRect(rect(), palette().color(QPalette::Button));
    const QColor grey(128, 128, 128);
    const QColor white(255, 255, 255);
    // Grey left and top edges, white right and bottom ones: a sunken frame.
    // The bottom edge runs the full width so that it owns the corner pixel.
    p.fillRect(QRect(0, 0, 1, h - 1), grey);
    p.fillRect(QRect(0, 0, w - 1, 1), grey);
    p.fillRect(QRect(w - 1, 0, 1, h - 1), white);
    p.fillRect(QRect(0, h - 1, w, 1), white);
    const QRect fill = fillRect();
    if (!fill.isEmpty())
        p.fillRect(fill, QColor(0, 0, 128));
}
