#pragma once

#include <descriptor/Sha256.h>

#include <QObject>
#include <QString>

#include <atomic>
#include <memory>
#include <optional>

class QThread;

// Hashes a whole file with SHA-256 on a worker thread and compares it with
// the descriptor's hash, so that "verified" is said only of the file as
// described. The result arrives on the thread that owns this object.
class WholeFileHashCheck : public QObject {
    Q_OBJECT
public:
    explicit WholeFileHashCheck(QObject *parent = nullptr);
    ~WholeFileHashCheck() override;  // cancels a running check and waits for it

    void start(const QString &path, const Sha256Digest &expected);
    // Stops a running check; it reports nothing.
    void cancel();
    bool running() const { return bool(m_thread); }

signals:
    // `error`: the file could not be read (then `matches` is false).
    void finished(bool matches, const std::optional<QString> &error);

private:
    void release();

    std::unique_ptr<QThread> m_thread;
    std::shared_ptr<std::atomic<bool>> m_cancel;
    quint64 m_run = 0;
};

// The SHA-256 of the file at `path`, read in 1 MiB pieces; nullopt with
// `error` set when it cannot be read or `cancel` turned true.
std::optional<Sha256Digest> hashFile(const QString &path, QString *error, const std::atomic<bool> *cancel = nullptr);
