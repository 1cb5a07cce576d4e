#include "ExistingFileCheck.h"

#include <QThread>

ExistingFileCheck::ExistingFileCheck(QObject *parent) : QObject(parent) {}

ExistingFileCheck::~ExistingFileCheck() { cancel(); }

void ExistingFileCheck::start(const QString &dataPath, const QString &ddfPath, float version)
{
    run([this, dataPath, ddfPath, version](const auto &progress, const std::atomic<bool> *cancel, const auto &report) {
        qint64 blocks = 0;
        const auto onGood = [&](qint64 p) {
            if (++blocks % ProgressBlocks == 0)
                progress(p);
        };
        const BlockScanResult result = scanBlocks(dataPath, ddfPath, version, onGood, cancel);
        report([this, result] { emit finished(result); });
    });
}

void ExistingFileCheck::startMapping(BlockMap known, const QString &dataPath, const QString &ddfPath, float version)
{
    auto shared = std::make_shared<BlockMap>(std::move(known));
    run([this, shared, dataPath, ddfPath, version](const auto &progress, const std::atomic<bool> *cancel, const auto &report) {
        auto result = std::make_shared<BlockMapScanResult>(scanIntoMap(std::move(*shared), dataPath, ddfPath, version, progress, cancel));
        report([this, result] { emit mapped(*result); });
    });
}

// Runs `work` on a worker thread; what it reports reaches this object's
// thread unless a newer run or a cancel came first.
void ExistingFileCheck::run(Work work)
{
    cancel();
    const quint64 run = ++m_run;
    m_cancel = std::make_shared<std::atomic<bool>>(false);
    auto cancelFlag = m_cancel;
    m_thread.reset(QThread::create([this, run, cancelFlag, work = std::move(work)] {
        const auto progress = [this, run](qint64 p) {
            QMetaObject::invokeMethod(this, [this, run, p] {
                if (run == m_run)
                    emit progressed(p);
            }, Qt::QueuedConnection);
        };
        const auto report = [this, run](std::function<void()> emitResult) {
            QMetaObject::invokeMethod(this, [this, run, emitResult = std::move(emitResult)] {
                if (run != m_run)
                    return;
                release();
                emitResult();
            }, Qt::QueuedConnection);
        };
        work(progress, cancelFlag.get(), report);
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
