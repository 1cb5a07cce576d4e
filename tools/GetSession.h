#pragma once

#include "DownloadProgressLine.h"
#include "SignalRelay.h"

#include <transfer/CurlHttpClient.h>
#include <transfer/DownloadEngine.h>

#include <QObject>
#include <QSet>

#include <cstdio>
#include <optional>

// What `orvanta-ddf get` was asked to do, checked and ready.
struct GetOptions {
    DownloadJob job;          // the first server's job
    int retries = -1;         // failures that may be retried; -1: no limit
    bool quiet = false;       // only errors are printed
    QString resumeCommand;    // the command that continues after an interruption
};

// One `orvanta-ddf get` run: the window's engine and HTTP client, their
// signals turned into the activity log's lines, a progress line, and an exit
// code. A server that fails for good hands over to the next one not yet
// tried; SIGINT and SIGTERM pause the engine (every checked block is then on
// disk) and end the run.
class GetSession : public QObject {
    Q_OBJECT
public:
    GetSession(const GetOptions &options, std::FILE *out, std::FILE *err, QObject *parent = nullptr);

    void start();
    // Exit codes beyond the tool's common ones.
    static constexpr int ExitInterrupted = 128;  // plus the signal's number

signals:
    // The run is over; `exitCode` is what the process should end with.
    void finished(int exitCode);

private:
    void onState(DownloadEngine::State state);
    void onFailure(const DownloadFailure &failure);
    void onNotice(const EngineNotice &notice);
    void onSignal(int signal);
    void afterFinalFailure();
    bool startNextServer();
    void print(const QString &text);
    void printError(const QString &text);
    void finish(int exitCode);

    GetOptions m_options;
    std::FILE *m_err;
    CurlHttpClient m_http;
    DownloadEngine m_engine;
    SignalRelay m_signals;
    DownloadProgressLine m_line;
    DownloadJob m_job;
    QSet<int> m_failedServers;
    std::optional<DownloadFailure> m_lastFailure;
    int m_retriesUsed = 0;
    int m_mostServersInUse = 0;  // sources the engine used at once in this run
    bool m_finished = false;
};
