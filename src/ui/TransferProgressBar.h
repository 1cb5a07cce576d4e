#pragma once

#include <QRect>
#include <QWidget>

// The self-drawn progress bar: a sunken one-pixel frame and a navy fill
// whose width follows the value in proportion to the maximum. Callers set
// the value 0, then the maximum, then the running amounts; the 4-pixel
// margin depends on that order because the pixel width is captured at the
// first value.
class TransferProgressBar : public QWidget {
    Q_OBJECT
public:
    explicit TransferProgressBar(QWidget *parent = nullptr);

    // Cheap (stores and schedules a repaint), since the engine sets it after
    // every block.
    void setValue(qint64 value);
    // Re-scales the horizontal axis; ignored unless above 0.
    void setMax(qint64 max);

    // The fill rectangle in pixels; empty while the fill is hidden.
    QRect fillRect() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void resetFill();

    double scaleWidth() const;  // the width in current horizontal units

    double m_maxUnits = 0;      // 0 while the axis is still in pixels
    float m_pixelWidth = 0;     // 0 until the first value
    double m_fillPixels = 0;
    bool m_fillVisible = false;
};
