#pragma once

#include "BlockMapScan.h"

#include <descriptor/BlockScan.h>
#include <descriptor/DescriptorTrailer.h>

#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>

class QThread;

// Checks an existing file against a descriptor's checksum list, or hashes a
// whole file, on a worker thread, so that the window stays alive while a
// large file is read. One job at a time; the signals arrive on the thread
// that owns this object.
class ExistingFileCheck : public QObject {
    Q_OBJECT
public:
    explicit ExistingFileCheck(QObject *parent = nullptr);
    ~ExistingFileCheck() override;  // cancels a running job and waits for it

    // Starts a check, cancelling any running job. With `strongHashes` the
    // chunks' SHA-256 are checked too, and a file of the described length
    // is hashed whole.
    void start(const QString &dataPath, const QString &ddfPath, float version,
               const std::optional<DescriptorTrailer> &strongHashes = std::nullopt);
    // Hashes the file at `path` and compares it with `expected`, cancelling
    // any running job; the answer is wholeFileHashed.
    void startWholeFileHash(const QString &path, const Sha256Digest &expected);
    // Starts a check of every block `known` does not hold as good (for a
    // download from several servers); the answer is mapped.
    void startMapping(BlockMap known, const QString &dataPath, const QString &ddfPath, float version);
    // Stops the running job; it reports nothing more. Returns once the
    // worker has let go of the files (within one block).
    void cancel();

    // Progress is reported every `ProgressBlocks` good blocks, not per block.
    static constexpr qint64 ProgressBlocks = 256;

signals:
    // p = 4096 times the blocks found good so far.
    void progressed(qint64 p);
    void finished(const BlockScanResult &result);
    // `error`: the file could not be read (then `matches` is false).
    void wholeFileHashed(bool matches, const std::optional<QString> &error);
    void mapped(const BlockMapScanResult &result);

private:
    // Runs `work` on a new worker; `post(report)` hands `report` to this
    // object's thread, where it runs unless a later job or cancel came first.
    using Post = std::function<void(std::function<void()>)>;
    void run(std::function<void(const std::atomic<bool> &cancel, const Post &post)> work);
    void release();

    std::unique_ptr<QThread> m_thread;
    std::shared_ptr<std::atomic<bool>> m_cancel;
    quint64 m_run = 0;  // posts from an older run are dropped
};
