#pragma once

#include "HttpClient.h"

#include <descriptor/CrcListReader.h>

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

// Why a source stopped: for good (it is dropped for this download) or for
// now (it waits out the retry delay).
struct SourceFailure {
    bool permanent = false;
    QString reason;  // in the server's, libcurl's or our words
};

// One server of a descriptor download, with a connection of its own and at
// most one run of blocks under way. It checks every block it receives
// against the descriptor before handing it on, and measures its own rate.
// The source does not decide what to fetch: it is told.
class MirrorSource : public QObject {
    Q_OBJECT
public:
    enum class Phase { Idle, Asking, Receiving, Waiting, Dropped };

    // `checksumsPath`: the descriptor; `version` its version (for the block
    // checksum); `fileSize` the described size.
    MirrorSource(int id, QString name, QString url, std::unique_ptr<HttpClient> client, QObject *parent = nullptr);
    ~MirrorSource() override;

    void setFile(const QString &checksumsPath, float version, qint64 fileSize, bool appendStartOffset);
    void setClock(std::function<double()> clock) { m_clock = std::move(clock); }

    int id() const { return m_id; }
    const QString &name() const { return m_name; }
    const QString &url() const { return m_url; }
    Phase phase() const { return m_phase; }
    bool working() const { return m_phase == Phase::Asking || m_phase == Phase::Receiving; }
    qint64 nextBlock() const { return m_next; }
    qint64 lastBlock() const { return m_last; }
    // Bytes per second, smoothed; 0 until measured. A source that has gone
    // quiet, or has not answered for a second, loses its rate while the
    // silence lasts.
    double rate() const;
    // Body bytes received so far, every request together.
    qint64 received() const { return m_received; }

    // Asks for blocks [first, last]. Failures come back through `failed`.
    void fetch(qint64 first, qint64 last);
    // The run now ends at `last` (a faster source took the rest); a run
    // with nothing left is ended at once.
    void cutBack(qint64 last);
    // Drops the request; the source is idle.
    void cancel();
    // Waits `delay`, then says `readyAgain`.
    void waitToRetry(std::chrono::milliseconds delay);
    void drop();

signals:
    // Blocks that passed their check, from `offset`; `data` is valid only
    // during the emission.
    void blocksChecked(int id, qint64 offset, QByteArrayView data);
    void blockFailedCheck(int id, qint64 block);
    // The run ended with all its blocks delivered; the source is idle.
    void runDone(int id);
    void failed(int id, const SourceFailure &failure);
    void readyAgain(int id);
    void answered(int id);

private:
    void onResponse(const HttpResponse &head);
    std::optional<QString> unfit(const HttpResponse &head) const;
    void onData(QByteArrayView data);
    void onFinished(const std::optional<TransferError> &error);
    void fail(bool permanent, const QString &reason);
    void finishRun();
    void measure(qint64 bytes);

    int m_id;
    QString m_name;
    QString m_url;
    std::unique_ptr<HttpClient> m_client;
    CrcListReader m_checksums;
    QString m_checksumsPath;
    float m_version = 1.2f;
    qint64 m_fileSize = 0;
    bool m_appendStartOffset = false;
    std::function<double()> m_clock;
    QTimer m_retryTimer;

    Phase m_phase = Phase::Idle;
    quint64 m_generation = 0;  // a cancel or a new run ignores the old one's signals
    qint64 m_next = 0;
    qint64 m_last = -1;
    qint64 m_askedLast = -1;  // the run's end when it was asked for (a takeover may cut it back since)
    qint64 m_answerEnd = -1;  // the last block the answer brings before it ends by itself
    qint64 m_received = 0;
    // Rate: bytes since the sample began; the one before (bytes, seconds).
    double m_rate = 0;
    std::pair<qint64, double> m_lastSample{0, 0.0};
    double m_sampleStart = 0;
    qint64 m_sampleBytes = 0;
};
