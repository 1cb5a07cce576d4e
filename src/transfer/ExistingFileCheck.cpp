#include "ExistingFileCheck.h"

#include <descriptor/ChunkScan.h>

#include <QThread>

ExistingFileCheck::ExistingFileCheck(QObject *parent) : QObject(parent) {}

ExistingFileCheck::~ExistingFileCheck() { cancel(); }

void ExistingFileCheck::run(std::function<void(const std::atomic<bool> &, const Post &)> work)
{
    cancel();
    const quint64 run = ++m_run;
    m_cancel = std::make_shared<std::atomic<bool>>(false);
    auto cancelFlag = m_cancel;
    m_thread.reset(QThread::create([this, run, cancelFlag, work = std::move(work)] {
        const Post post = [this, run](std::function<void()> report) {
            QMetaObject::invokeMethod(this, [this, run, report = std::move(report)] {
                if (run == m_run)
                    report();
            }, Qt::QueuedConnection);
        };
        work(*cancelFlag, post);
    }));
    m_thread->start();
}

void ExistingFileCheck::start(const QString &dataPath, const QString &ddfPath, float version,
                              const std::optional<DescriptorTrailer> &strongHashes)
{
    run([this, dataPath, ddfPath, version, strongHashes](const std::atomic<bool> &cancel, const Post &post) {
        qint64 blocks = 0;
        const auto onGood = [&](qint64 p) {
            if (++blocks % ProgressBlocks == 0)
                post([this, p] { emit progressed(p); });
        };
        const BlockScanResult result =
            strongHashes ? scanChunks(dataPath, ddfPath, version, *strongHashes, {.wholeFile = true}, onGood, &cancel)
                         : scanBlocks(dataPath, ddfPath, version, onGood, &cancel);
        post([this, result] {
            release();
            emit finished(result);
        });
    });
}

void ExistingFileCheck::startWholeFileHash(const QString &path, const Sha256Digest &expected)
{
    run([this, path, expected](const std::atomic<bool> &cancel, const Post &post) {
        QString error;
        const std::optional<Sha256Digest> digest = sha256OfFile(path, &error, &cancel);
        const bool matches = digest && *digest == expected;
        const std::optional<QString> failure = digest ? std::nullopt : std::optional<QString>(error);
        post([this, matches, failure] {
            release();
            emit wholeFileHashed(matches, failure);
        });
    });
}

void ExistingFileCheck::startMapping(BlockMap known, const QString &dataPath, const QString &ddfPath, float version)
{
    auto shared = std::make_shared<BlockMap>(std::move(known));
    run([this, shared, dataPath, ddfPath, version](const std::atomic<bool> &cancel, const Post &post) {
        const auto progress = [&](qint64 p) { post([this, p] { emit progressed(p); }); };
        auto result = std::make_shared<BlockMapScanResult>(
            scanIntoMap(std::move(*shared), dataPath, ddfPath, version, progress, &cancel));
        post([this, result] {
            release();
            emit mapped(*result);
        });
    });
}

void ExistingFileCheck::cancel()
{
    ++m_run;
    if (m_cancel)
        m_cancel->store(true);
    release();
}

void ExistingFileCheck::release()
{
    if (m_thread) {
        m_thread->wait();
        m_thread.reset();
    }
    m_cancel.reset();
}
