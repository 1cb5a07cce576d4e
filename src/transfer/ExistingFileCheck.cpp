#include "ExistingFileCheck.h"

#include <descriptor/ChunkScan.h>

#include <QThread>

ExistingFileCheck::ExistingFileCheck(QObject *parent) : QObject(parent) {}

ExistingFileCheck::~ExistingFileCheck() { cancel(); }

void ExistingFileCheck::start(const QString &dataPath, const QString &ddfPath, float version,
                              const std::optional<DescriptorTrailer> &strongHashes)
{
    cancel();
    const quint64 run = ++m_run;
    m_cancel = std::make_shared<std::atomic<bool>>(false);
    auto cancelFlag = m_cancel;
    m_thread.reset(QThread::create([this, run, cancelFlag, dataPath, ddfPath, version, strongHashes] {
        qint64 blocks = 0;
        const auto onGood = [&](qint64 p) {
            if (++blocks % ProgressBlocks == 0)
                QMetaObject::invokeMethod(this, [this, run, p] {
                    if (run == m_run)
                        emit progressed(p);
                }, Qt::QueuedConnection);
        };
        const BlockScanResult result =
            strongHashes ? scanChunks(dataPath, ddfPath, version, *strongHashes, {.wholeFile = true}, onGood, cancelFlag.get())
                         : scanBlocks(dataPath, ddfPath, version, onGood, cancelFlag.get());
        QMetaObject::invokeMethod(this, [this, run, result] {
            if (run != m_run)
                return;
            release();
            emit finished(result);
        }, Qt::QueuedConnection);
    }));
    m_thread->start();
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
