#pragma once

#include <descriptor/BlockScan.h>
#include <descriptor/DescriptorTrailer.h>

#include <QObject>
#include <QString>

#include <atomic>
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

    // Starts a check, cancelling any running one. With `strongHashes` the
    // chunks' SHA-256 are checked too, and a file of the described length
    // is hashed whole.
    void start(const QString &dataPath, const QString &ddfPath, float version,
               const std::optional<DescriptorTrailer> &strongHashes = std::nullopt);
    // Stops the running check; it reports nothing more. Returns once the
    // worker has let go of the files (within one block).
    void cancel();

    // Progress is reported every `ProgressBlocks` good blocks, not per block.
    static constexpr qint64 ProgressBlocks = 256;

signals:
    // p = 4096 times the blocks found good so far.
    void progressed(qint64 p);
    void finished(const BlockScanResult &result);

private:
    void release();

    std::unique_ptr<QThread> m_thread;
    std::shared_ptr<std::atomic<bool>> m_cancel;
    quint64 m_run = 0;  // posts from an older run are dropped
};
