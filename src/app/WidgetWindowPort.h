#pragma once

#include "WindowPort.h"

class MainWindow;
class LogWindowHost;
class TrayIcon;

// The window port over the real widgets.
class WidgetWindowPort : public WindowPort {
public:
    WidgetWindowPort(MainWindow &window, TrayIcon &tray, LogWindowHost &log);

    void addTrayIcon(const QString &tip) override;
    void removeTrayIcon() override;
    bool trayAvailable() const override;
    void showNormal() override;
    void hideWindow() override;
    void bringToFront() override;
    void popupTrayMenu(const QPoint &at) override;
    void focusDownloadButton() override;
    void showLog() override;

private:
    MainWindow &m_window;
    TrayIcon &m_tray;
    LogWindowHost &m_log;
};
