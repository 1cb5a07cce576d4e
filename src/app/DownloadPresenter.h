#pragma once

#include <transfer/DownloadEngine.h>

#include <QObject>
#include <QTimer>

class ActivityLog;
class Dialogs;
class MainWindowModel;

// Shows the engine's download in the main window's model: the status and
// caption texts, the log, the buttons that follow the engine's state, the
// figures (redrawn once a second, after the next data), and the engine's
// messages through the dialogs seam.
class DownloadPresenter : public QObject {
    Q_OBJECT
public:
    DownloadPresenter(DownloadEngine &engine, MainWindowModel &model, ActivityLog &log, Dialogs &dialogs,
                      QObject *parent = nullptr);

    // The once-a-second tick: the figures are redrawn with the next data.
    void requestFiguresRefresh() { m_refreshDue = true; }
    // Tests drive the tick themselves.
    void setAutomaticRefresh(bool on) { on ? m_refreshTimer.start() : m_refreshTimer.stop(); }

    // The descriptor job being shown offers a choice of servers.
    bool offersServerChoice() const;

signals:
    // The engine's message said the program cannot go on.
    void exitRequested();

private:
    void showState(DownloadEngine::State state);
    void showButtons(DownloadEngine::State state);
    void showCheckProgress(qint64 value, qint64 max);
    void showSource(const QString &destination, const QString &address);
    void showReceivingStarted(qint64 total, bool sizeKnown);
    void showProgress(const TransferProgress &progress);
    void showFigures(const TransferProgress &progress, bool final);
    void showFailure(const DownloadFailure &failure);
    void showNotice(const EngineNotice &notice);
    void clearFigures();

    DownloadEngine &m_engine;
    MainWindowModel &m_model;
    ActivityLog &m_log;
    Dialogs &m_dialogs;
    QTimer m_refreshTimer;
    bool m_refreshDue = false;
    bool m_wasBusy = false;
};
