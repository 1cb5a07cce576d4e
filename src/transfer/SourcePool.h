#pragma once

#include "BlockMap.h"
#include "BlockWriter.h"
#include "HttpClient.h"
#include "MirrorSource.h"
#include "WorkPlanner.h"

#include <QObject>
#include <QStringList>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

// Makes one client per source: each source needs a connection of its own.
using HttpClientFactory = std::function<std::unique_ptr<HttpClient>()>;

// A server the pool fetches from.
struct SourceAddress {
    QString name;  // for the log
    QString url;
};

// One attempt of a descriptor download over several servers at once: a
// source per server, each fed runs of blocks by the planner from the one
// block map, every good block written at its offset through the one
// writer. The pool ends when the map is complete, or when no source is
// left working (every one dropped or waiting out its retry delay).
class SourcePool : public QObject {
    Q_OBJECT
public:
    struct File {
        QString checksumsPath;
        float version = 1.2f;
        bool appendStartOffset = false;
    };
    // What ended the pool: nothing (complete), or the last failure when no
    // source is left; `retrying` when some source may come back.
    struct Outcome {
        bool complete = false;
        bool retrying = false;
        QString reason;
        std::optional<BlockWriter::Failure> diskFailure;
    };

    // `map` holds what is already good; `servers[0]` starts at the beginning.
    SourcePool(BlockMap map, const std::vector<SourceAddress> &servers, const File &file, BlockWriter &writer,
               const HttpClientFactory &makeClient, QObject *parent = nullptr);
    ~SourcePool() override;

    void setClock(std::function<double()> clock);
    void setRetryDelay(std::chrono::milliseconds delay) { m_retryDelay = delay; }
    void setSettings(const PlannerSettings &settings) { m_settings = settings; }

    void start();
    // Cancels every source; blocks in flight are missing again.
    void stop();

    const BlockMap &map() const { return m_map; }
    // Sources neither dropped nor waiting.
    int inUse() const;
    // Servers dropped in this attempt (their URLs).
    QStringList dropped() const;

signals:
    void logLine(const QString &text);
    void inUseChanged(int count);
    // The first answer arrived: the body is coming.
    void receiving();
    void progressed();
    void ended(const SourcePool::Outcome &outcome);

private:
    void dispatch(int id);
    void dispatchIdle();
    void onBlocks(int id, qint64 offset, QByteArrayView data);
    void onBadBlock(int id, qint64 block);
    void onFailed(int id, const SourceFailure &failure);
    void settle();
    void finish(const Outcome &outcome);
    std::vector<SourceLoad> loads() const;
    MirrorSource &source(int id) { return *m_sources[size_t(id)]; }
    QString bytesText(qint64 first, qint64 last) const;

    BlockMap m_map;
    BlockWriter &m_writer;
    std::vector<std::unique_ptr<MirrorSource>> m_sources;
    std::vector<int> m_checksumFailures;
    PlannerSettings m_settings;
    std::chrono::milliseconds m_retryDelay{30000};
    QTimer m_replan;  // while a source waits for the end to be raced
    QString m_lastReason;
    int m_inUse = -1;
    bool m_running = false;
    bool m_answered = false;
};
