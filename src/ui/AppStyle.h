#pragma once

class QApplication;
class QFont;

// The window geometry was laid out for a small 8-point dialog font; this
// picks a compact sans-serif face at 11 pixels so that every design-time
// caption fits its control in full.
QFont dialogFont();
void applyApplicationFont(QApplication &app);
