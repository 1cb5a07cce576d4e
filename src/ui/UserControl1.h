#pragma once

#include <QRect>
#include <QWidget>

// The self-drawn progress bar: a sunken one-pixel frame and a navy fill
// whose width follows Value in proportion to Max. Callers assign Value 0,
// then Max, then the running amounts; the 4-pixel margin depends on that
// order because the pixel width is captured at the first Value.
class UserControl1 : public QWidget {
    Q_OBJECT
public:
    explicit UserControl1(QWidget *parent = nullptr);

    // `Value`: cheap (stores and schedules a repaint), since the engine
    // assigns it after every block.
    void setValue(qint64 LngValue);
    // `Max`: re-scales the horizontal axis; ignored unless above 0.
    void setMax(qint64 lngMax);

    // The fill rectangle in pixels; empty while the fill is hidden.
    QRect fillRect() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void ResetBar();

    double scaleWidth() const;  // W in current horizontal units

    double m_maxUnits = 0;      // 0 while the axis is still in pixels
    float m_PixelWidth = 0;     // empty (0) until the first Value
    double m_barPixels = 0;     // fill width in pixels
    bool m_barVisible = false;
};
