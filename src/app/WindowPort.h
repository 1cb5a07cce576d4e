#pragma once

#include <QPoint>
#include <QString>

// What the main window's commands do to the windows and the tray icon,
// kept behind one interface so that the commands run without widgets.
class WindowPort {
public:
    virtual ~WindowPort() = default;

    // The tray icon: put up with a tip, taken down. Failures are not reported.
    virtual void addTrayIcon(const QString &tip) = 0;
    virtual void removeTrayIcon() = 0;
    // False where the desktop shows no tray: a hidden window could not be
    // brought back from it.
    virtual bool trayAvailable() const = 0;

    // The main window: normal state and shown (not modal); hidden; made the
    // foreground window; the tray menu popped up at a screen position.
    virtual void showNormal() = 0;
    virtual void hideWindow() = 0;
    virtual void bringToFront() = 0;
    virtual void popupTrayMenu(const QPoint &at) = 0;
    // Keyboard focus to "Download from URL".
    virtual void focusDownloadButton() = 0;
    // The log window, shown not modal (created on first use).
    virtual void showLog() = 0;
};
