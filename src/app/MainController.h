#pragma once

#include "DescriptorLoader.h"
#include "DownloadPresenter.h"
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

// What the main window's commands do: start-up, the URL box and its
// buttons, the pause button, the descriptor commands and the server choice,
// the tray icon and its menu, and the one way out of the program. The
// widgets only forward to these.
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
    static QString fileNameFromUrl(const QString &url);

    // `args` are the program's arguments without its name; together they
    // are one descriptor path.
    void startUp(const QStringList &args);
    // A start handed over by a later launch of the program: the window comes
    // up, and either the refusal is shown or the descriptor is opened or the
    // URL put in the box, as if this run had been started with it.
    void handOver(const QString &descriptorPath, const QString &url, const QString &refusal = QString());

    void urlEdited(const QString &text);
    void pasteUrl();
    void downloadUrl();
    void loadDescriptor() { m_loader.chooseAndStart(); }
    // The pause button: pauses, resumes, or (after the end) leaves.
    void pauseButtonClicked();
    // The server button shown while a descriptor download is paused.
    void chooseServer();

    void windowMinimized();
    void restoreWindow();
    void showLog();
    void trayLeftClick();
    void trayRightClick(const QPoint &at);
    void trayPause();

    // Ends the program: the tray icon goes, the download stops with its
    // blocks on disk, the event loop returns. Once only.
    void requestExit();

    DescriptorLoader &loader() { return m_loader; }
    DownloadPresenter &presenter() { return m_presenter; }

private:
    void setUrlBox(const QString &text);
    // A URL on the clipboard goes into the box, with the focus on its button.
    void proposeClipboardUrl();

    MainWindowModel &m_view;
    DownloadEngine &m_engine;
    Dialogs &m_dialogs;
    ProcessExit &m_exit;
    ClipboardReader m_clipboard;
    WindowPort &m_window;
    DownloadPresenter m_presenter;
    ServerSelection m_servers;
    DescriptorLoader m_loader;
    QMetaObject::Connection m_clipboardWait;  // the proposal waits for a descriptor download
    bool m_exiting = false;
};
