#pragma once

#include <QRect>
#include <QSize>

// The windows were laid out in twips at 96 dots per inch: 15 twips a pixel.
constexpr int twipsToPixels(int twips) { return twips / 15; }

inline QRect twipsRect(int left, int top, int width, int height)
{
    return QRect(twipsToPixels(left), twipsToPixels(top), twipsToPixels(width), twipsToPixels(height));
}

inline QSize twipsSize(int width, int height)
{
    return QSize(twipsToPixels(width), twipsToPixels(height));
}
