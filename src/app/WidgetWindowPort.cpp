#include "WidgetWindowPort.h"

#include <ui/LogWindow.h>
#include <ui/TrayIcon.h>
#include <ui/MainWindow.h>

#include <QMenu>

WidgetWindowPort::WidgetWindowPort(MainWindow &window, TrayIcon &tray, LogWindowHost &log)
    : m_window(window), m_tray(tray), m_log(log)
{
}

void WidgetWindowPort::addTrayIcon(const QString &tip) { m_tray.add(tip); }

void WidgetWindowPort::removeTrayIcon() { m_tray.remove(); }

bool WidgetWindowPort::trayAvailable() const { return m_tray.available(); }

void WidgetWindowPort::showNormal()
{
    m_window.setWindowState(m_window.windowState() & ~Qt::WindowMinimized);
    m_window.show();
}

void WidgetWindowPort::hideWindow() { m_window.hide(); }

void WidgetWindowPort::bringToFront()
{
    m_window.raise();
    m_window.activateWindow();
}

void WidgetWindowPort::popupTrayMenu(const QPoint &at) { m_window.trayMenu()->popup(at); }

void WidgetWindowPort::focusDownloadButton() { m_window.focusDownloadButton(); }

void WidgetWindowPort::showLog() { m_log.showLog(); }

