#pragma once

#include <transfer/DownloadEngine.h>

// Holds the engine's due retry or resume for the span of a start command:
// it must not start the old job inside the command's dialogs. A command
// that starts a new job replaces it; one that is cancelled lets it go ahead.
class RestartHold {
public:
    explicit RestartHold(DownloadEngine &engine) : m_engine(engine) { m_engine.setRestartsHeld(true); }
    ~RestartHold() { m_engine.setRestartsHeld(false); }
    RestartHold(const RestartHold &) = delete;
    RestartHold &operator=(const RestartHold &) = delete;

private:
    DownloadEngine &m_engine;
};
