#pragma once

#include <transfer/DownloadEngine.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <functional>

// Runs the event loop until `done` holds, at most `timeoutMs`.
inline bool runUntil(const std::function<bool()> &done, int timeoutMs = 10000)
{
    for (QDeadlineTimer deadline(timeoutMs); !done() && !deadline.hasExpired(); QThread::usleep(200))
        QCoreApplication::processEvents();
    return done();
}

// Runs the event loop until the engine and the scripted client (or the
// servers) rest: nothing is checked, requested or received any more (a
// retry or resume may be armed).
template <class Client>
bool settle(const DownloadEngine &engine, const Client &client, int timeoutMs = 10000)
{
    int quietRounds = 0;
    return runUntil([&] { return (quietRounds = !engine.isBusy() && !client.active() ? quietRounds + 1 : 0) >= 3; }, timeoutMs);
}
