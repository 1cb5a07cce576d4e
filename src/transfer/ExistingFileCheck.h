#pragma once

#include "BlockMapScan.h"

#include <descriptor/BlockScan.h>

#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>

class QThread;

// Checks an existing file against a descriptor's checksum list on a worker
// thread, so that the window stays alive while a large file is read. The
// signals arrive on the thread that owns this object.
class ExistingFileCheck : public QObject {
    Q_OBJECT
public:
    explicit ExistingFileCheck(QObject *parent = nullptr);
    ~ExistingFileCheck() override;  // cancels a running check and waits for it

    // Starts a check, cancelling any running one.
    void start(const QString &dataPath, const QString &ddfPath, float version);
    // Starts a check of every block `known` does not hold as good (for a
    // download from several servers); ends with `mapped`.
    void startMapping(BlockMap known, const QString &dataPath, const QString &ddfPath, float version);
    // Stops the running check; it reports nothing more. Returns once the
    // worker has let go of the files (within one block).
    void cancel();

    // Progress is reported every `ProgressBlocks` good blocks, not per block.
    static constexpr qint64 ProgressBlocks = 256;

signals:
    // p = 4096 times the blocks found good so far.
    void progressed(qint64 p);
    void finished(const BlockScanResult &result);
    void mapped(const BlockMapScanResult &result);

private:
    using Work = std::function<void(const std::function<void(qint64)> &progress, const std::atomic<bool> *cancel,
                                    const std::function<void(std::function<void()>)> &report)>;
    void run(Work work);
    void release();

    std::unique_ptr<QThread> m_thread;
    std::shared_ptr<std::atomic<bool>> m_cancel;
    quint64 m_run = 0;  // posts from an older run are dropped
};
