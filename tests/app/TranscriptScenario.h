#pragma once

#include "ServedFiles.h"

#include <ui/FileExistsAnswer.h>

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <deque>
#include <ostream>
#include <optional>
#include <vector>

// One thing the user does, or lets happen, in a scripted scenario.
enum class UserAction {
    TypeUrl,          // text: what goes into the URL box
    ClickDownload,    // "Download from URL"
    ClickLoad,        // "Load DDF Data File"
    ClickPauseButton, // the pause / resume / exit button
    TrayPause,        // the tray menu's "Pause"
    ClickServers,     // the server button shown while paused
    CloseWindow,      // the close box
    WaitForTimers,    // the pending retry or resume fires
};

// Something that happens while a body arrives: once request `request` has
// delivered `at` bytes of its body (and they were handled).
struct BodyEvent {
    enum class What { Tick, ClickPauseButton, TrayPause, CloseWindow };
    int request;
    qint64 at;
    What what;
};

struct Scenario {
    struct Step {
        UserAction action;
        QString text = {};
    };
    struct Descriptor {
        QString name;             // file name in the scenario's folder
        QString contentUrl;       // the served file it describes
        QStringList servers;      // slot texts ("name|URL" or a bare URL)
    };

    QString name;
    QString about;                // one line: what the scenario shows
    ServedFiles server;
    QString watched = QStringLiteral("out.bin");  // the local file shown after every step
    QString reference;            // URL of the served file it should become
    std::vector<std::pair<QString, QByteArray>> localFiles;
    std::vector<Descriptor> descriptors;
    std::deque<QString> fileAnswers;                // names in the folder; empty = cancelled
    std::deque<FileExistsAnswer> fileExistsAnswers;
    std::deque<std::optional<int>> serverAnswers;   // nullopt = close box
    std::vector<Step> steps;
    std::vector<BodyEvent> bodyEvents;
};

inline void PrintTo(const Scenario &scenario, std::ostream *os) { *os << scenario.name.toStdString(); }

// The scenarios every engine must play alike (or differently only where a
// recorded fault was mended).
std::vector<Scenario> transcriptScenarios();

// Deterministic pseudo-random bytes.
QByteArray scenarioBytes(qsizetype size, quint32 seed);
QString actionName(UserAction action);
QString bodyEventName(BodyEvent::What what);
