#include "TrayIcon.h"

#include <QCursor>
#include <QSystemTrayIcon>

TrayIcon::TrayIcon(const QIcon &icon, QObject *parent) : QObject(parent), m_icon(icon) {}

TrayIcon::~TrayIcon() = default;

bool TrayIcon::available() const { return QSystemTrayIcon::isSystemTrayAvailable(); }

void TrayIcon::add(const QString &tip)
{
    if (!available())
        return;
    if (!m_tray) {
        // No context menu on the icon itself: the logic raises the window
        // first and then pops the tray menu at the pointer.
        m_tray = new QSystemTrayIcon(m_icon, this);
        connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
            if (reason == QSystemTrayIcon::Trigger)
                emit leftClicked();
            else if (reason == QSystemTrayIcon::Context)
                emit rightClicked(QCursor::pos());
        });
    }
    m_tray->setToolTip(tip);
    m_tray->show();
}

void TrayIcon::setTip(const QString &tip)
{
    if (!m_tray)
        return;
    m_tray->setToolTip(tip);
}

void TrayIcon::remove()
{
    if (m_tray)
        m_tray->hide();
}
