#pragma once

class QApplication;
class QFont;
class QWidget;

// The window geometry was laid out for a small 8-point dialog font; this
// picks a compact sans-serif face at 11 pixels so that every caption fits
// its control in full. Each window also sets it on itself, so the layout
// holds whatever the application font is.
QFont dialogFont();
void applyApplicationFont(QApplication &app);

// Moves `window` to the middle of the primary screen's free area; no-op
// without a screen.
void centreOnPrimaryScreen(QWidget *window);
