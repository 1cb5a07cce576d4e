#pragma once

#include "DescriptorLoader.h"
#include "ServerSelection.h"

#include <QObject>
#include <QPoint>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class ActivityLog;
class Dialogs;
class DownloadEngine;
class MainWindowModel;
class ProcessExit;
class WindowPort;

// The commands of the main window MainWindow that are not the transfer
// itself: start-up, the URL box and its buttons, closing, the tray icon and
// its menu, the descriptor commands and the server window. Handlers carry
// the names of the window's events; the widgets only forward to them.
class MainController : public QObject {
    Q_OBJECT
public:
    static constexpr int VersionMajor = 1;
    static constexpr int VersionMinor = 2;
    static constexpr int VersionRevision = 2;

    // The clipboard as text; nullopt when it could not be read.
    using ClipboardReader = std::function<std::optional<QString>()>;

    MainController(MainWindowModel &view, DownloadEngine &engine, Dialogs &dialogs, ActivityLog &log,
                   ProcessExit &exit, ClipboardReader clipboard, WindowPort &window, QObject *parent = nullptr);

    static QString versionTitle();

    // Start-up. `args` are the program's arguments without the program name;
    // together they are one descriptor path.
    void Form_Load(const QStringList &args);
    // A start handed over by a later start of the program, or the URL of
    // this one. Raises the window; with no `refusal` opens the descriptor as
    // start-up does, or puts the URL into the box with the focus on "Download
    // from URL"; else shows the refusal.
    void handOver(const QString &descriptorPath, const QString &url, const QString &refusal = QString());

    void txtURL_Change(const QString &text);
    void cmdPaste_Click();
    void cmdURL_Click();
    static QString FileNameFromURL(const QString &url);

    void Form_Resize();  // the window was minimized
    void Form_QueryUnload();
    void Form_Unload();
    void End_Click();

    void trayLeftClick();
    void trayRightClick(const QPoint &at);
    void Restore_Click();
    void ViewLog_Click();
    void Pause_Click();

    void Command1_Click() { m_loader.Command1_Click(); }
    void cmdServers_Click() { m_servers.show(); }
    bool LoadDDF(const QString &path) { return m_loader.LoadDDF(path); }

    ServerSelection &servers() { return m_servers; }

private:
    void exitSequence();
    void setUrlBox(const QString &text);
    void onTransferActive(bool active);

    MainWindowModel &m_view;
    DownloadEngine &m_engine;
    Dialogs &m_dialogs;
    ActivityLog &m_log;
    ProcessExit &m_exit;
    ClipboardReader m_clipboard;
    WindowPort &m_window;
    ServerSelection m_servers;
    DescriptorLoader m_loader;
    bool m_exiting = false;
};
