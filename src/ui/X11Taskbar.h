#pragma once

class QWidget;

// Asks an EWMH window manager to leave `window` off the taskbar
// (_NET_WM_STATE_SKIP_TASKBAR), which Qt's window flags cannot express.
// Call before the window is mapped, e.g. from showEvent. Does nothing on
// other platforms or when built without xcb.
void setSkipTaskbar(QWidget *window);
