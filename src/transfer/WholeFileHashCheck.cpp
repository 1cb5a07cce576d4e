#include "WholeFileHashCheck.h"

#include <util/ReadFully.h>

#include <QFile>
#include <QThread>

std::optional<Sha256Digest> hashFile(const QString &path, QString *error, const std::atomic<bool> *cancel)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        *error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    Sha256 hash;
    QByteArray piece(1024 * 1024, Qt::Uninitialized);
    for (;;) {
        if (cancel && cancel->load(std::memory_order_relaxed)) {
            *error = QStringLiteral("cancelled");
            return std::nullopt;
        }
        const qint64 got = readFully(file, piece.data(), piece.size());
        if (got < 0) {
            *error = QStringLiteral("%1: %2").arg(path, file.errorString());
            return std::nullopt;
        }
        hash.add(QByteArrayView(piece.constData(), got));
        if (got < piece.size())
            return hash.finish();
    }
}

WholeFileHashCheck::WholeFileHashCheck(QObject *parent) : QObject(parent) {}

WholeFileHashCheck::~WholeFileHashCheck() { cancel(); }

void WholeFileHashCheck::start(const QString &path, const Sha256Digest &expected)
{
    cancel();
    const quint64 run = ++m_run;
    m_cancel = std::make_shared<std::atomic<bool>>(false);
    auto cancelFlag = m_cancel;
    m_thread.reset(QThread::create([this, run, cancelFlag, path, expected] {
        QString error;
        const std::optional<Sha256Digest> digest = hashFile(path, &error, cancelFlag.get());
        const std::optional<QString> failure = digest ? std::nullopt : std::optional<QString>(error);
        const bool matches = digest && *digest == expected;
        QMetaObject::invokeMethod(this, [this, run, matches, failure] {
            if (run != m_run)
                return;
            release();
            emit finished(matches, failure);
        }, Qt::QueuedConnection);
    }));
    m_thread->start();
}

void WholeFileHashCheck::cancel()
{
    ++m_run;
    if (m_cancel)
        m_cancel->store(true);
    release();
}

void WholeFileHashCheck::release()
{
    if (m_thread) {
        m_thread->wait();
        m_thread.reset();
    }
    m_cancel.reset();
}
