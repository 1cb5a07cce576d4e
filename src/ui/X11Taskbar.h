#pragma once

class QWidget;

// Asks an EWMH window manager to leave `window` off the taskbar
// (_NET_WM_STATE_SKIP_TASKBAR). Call before the window is mapped, e.g. from
// showEvent. libxcb is looked up at run time so the library does not link
// it; on other platforms, or without libxcb, this does nothing.
void setSkipTaskbar(QWidget *window);
