#pragma once

#include <QIcon>
#include <QObject>
#include <QPoint>

class QSystemTrayIcon;

// The notification-area icon. Where the desktop offers no tray, add,
// setTip and remove do nothing and the program runs without an icon.
class TrayIcon : public QObject {
    Q_OBJECT
public:
    explicit TrayIcon(const QIcon &icon, QObject *parent = nullptr);
    ~TrayIcon() override;

    bool available() const;
    // Shows the icon with its tooltip.
    void add(const QString &tip);
    void setTip(const QString &tip);
    void remove();

signals:
    void leftClicked();
    void rightClicked(const QPoint &globalPos);

private:
    QIcon m_icon;
    QSystemTrayIcon *m_tray = nullptr;
};
