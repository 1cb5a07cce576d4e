#pragma once

#include "BlockMapScan.h"
#include "BlockWriter.h"
#include "ChunkVerifier.h"
#include "DownloadJob.h"
#include "HttpClient.h"
#include "SourcePool.h"
#include "TransferError.h"

#include <descriptor/BlockScan.h>
#include <descriptor/CrcListReader.h>
#include <descriptor/DescriptorHeader.h>

#include <QHash>
#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <functional>
#include <optional>

class ExistingFileCheck;

// Where a transfer stands, for the once-a-second figures.
struct TransferProgress {
    qint64 position = 0;    // bytes of the destination in place
    qint64 total = 0;       // its size when complete (0 while unknown)
    bool sizeKnown = true;  // false while a body of unannounced size streams in
    double rate = 0;        // bytes per second over this attempt
    double timeLeft = 0;    // seconds at that rate
    QString destinationName;
};

// A failure the engine reported; `retrying` says whether the retry delay
// runs (only for failures that waiting may mend).
struct DownloadFailure {
    enum class Kind {
        Answer,       // the server's answer could not be used
        Transfer,     // the connection, the disk or the descriptor failed
        Checksum,     // a received block failed its check
        NothingLeft,  // a URL resume past the end of the file
    };
    Kind kind = Kind::Transfer;
    QString message;  // the log's line
    QString reason;   // why, in the system's, libcurl's or the server's words
    bool retrying = false;
    std::optional<TransferError> error;
};

// A message the user has to acknowledge.
struct EngineNotice {
    QString text;
    QString title;             // empty: the program's title
    bool endsProgram = false;  // the program cannot go on after it
};

// Downloads one job into its destination file, resuming from what is on
// disk, checking every block against the descriptor in descriptor mode and
// repairing bad blocks of an existing file one at a time. Driven entirely by
// the event loop: every call returns at once and the engine answers through
// its signals. It knows no window.
class DownloadEngine : public QObject {
    Q_OBJECT
public:
    enum class State {
        Idle,            // nothing started yet, a start was refused, or stopped
        Checking,        // the existing file is checked against the descriptor
        Connecting,      // a request is out and unanswered
        Receiving,       // the body is written to the destination
        WaitingToRetry,  // after a failure; the job starts again when the delay ends
        Paused,          // stopped by the user
        Resuming,        // resume() asked; the attempt starts after a short delay
        Completed,       // downloaded to the end (and checked, in descriptor mode)
        Verified,        // the existing file turned out complete and intact
        Failed,          // a failure that is not retried
    };
    Q_ENUM(State)

    // The number of repairs after which a bad block is no longer repaired
    // alone but fetched with everything after it.
    static constexpr int RepairLimit = 20;
    static constexpr qint64 BlockSize = ::BlockSize;

    explicit DownloadEngine(HttpClient &http, QObject *parent = nullptr);
    ~DownloadEngine() override;

    // Starts `job` from what is on disk, replacing whatever ran before.
    void start(const DownloadJob &job);
    // Stops the running attempt or check at once (the blocks received are
    // kept) or drops a pending retry. Ignored while idle, resuming or
    // finished.
    void pause();
    // Continues a paused job shortly, the same job or `amended` (e.g.
    // another server of its descriptor).
    void resume();
    void resume(const DownloadJob &amended);
    // Ends all work now; every block received is on disk when it returns.
    void stop();
    // While held, a due retry or resume waits (a start command's dialog is
    // open); released, it goes ahead.
    void setRestartsHeld(bool held);

    State state() const { return m_state; }
    const DownloadJob &job() const { return m_job; }
    // Checking, connecting or receiving.
    bool isBusy() const;
    // Blocks repaired in this program run; never reset.
    int repairCount() const { return m_repairs; }

    // Seams: the clock rates are computed with (seconds, monotonic), the free
    // bytes on a destination's filesystem (nullopt: cannot tell), and the
    // retry delay.
    using FreeSpaceQuery = std::function<std::optional<qint64>(const QString &folder)>;
    void setClock(std::function<double()> clock) { m_clock = std::move(clock); }
    void setFreeSpaceQuery(FreeSpaceQuery query) { m_freeSpace = std::move(query); }
    // How a finished file is flushed to its device before it is called
    // complete or verified (syncToDevice unless replaced).
    using DeviceSync = std::function<std::optional<BlockWriter::Failure>(const QString &path)>;
    void setDeviceSync(DeviceSync sync) { m_sync = std::move(sync); }
    void setRetryDelay(std::chrono::milliseconds delay) { m_retryTimer.setInterval(delay); }
    void setResumeDelay(std::chrono::milliseconds delay) { m_resumeTimer.setInterval(delay); }
    // Where the connections for downloads from several servers at once come
    // from; without it every download uses the one client it was built with.
    void setClientFactory(HttpClientFactory factory) { m_makeClient = std::move(factory); }

signals:
    void stateChanged(DownloadEngine::State state);
    void statusChanged(const QString &text);
    // A headline for the window's title (the progress figures aside).
    void captionChanged(const QString &text);
    void logLine(const QString &text);
    void noticeRequested(const EngineNotice &notice);
    // A new attempt begins: what the last one showed is stale.
    void attemptStarted();
    // The existing-file check reached `value` of `max`.
    void checkProgressed(qint64 value, qint64 max);
    // The answer is in: the body goes to `destination` from `address`.
    void receivingFrom(const QString &destination, const QString &address);
    void receivingStarted(qint64 total, bool sizeKnown);
    void progressed(const TransferProgress &progress);
    // The body stopped (ended, paused or failed): the figures as they stand.
    void receivingEnded(const TransferProgress &progress);
    void failed(const DownloadFailure &failure);
    // The number of servers fetching at once changed (0 when none is).
    void serversInUseChanged(int count);

private:
    void setState(State state);
    void log(const QString &text);
    void beginAttempt();
    bool enoughSpaceFor(qint64 total);
    void beginCycle();
    void planResume();
    void checkExistingFile(std::function<void(qint64)> then);
    bool announceCheck();
    void onCheckFinished(const BlockScanResult &result);
    bool fileKnownGood() const;
    void afterFirstCheck(qint64 verifiedLength);
    void settleResumeOffset(qint64 verifiedLength);
    void sendRequest();
    void onResponse(const HttpResponse &head);
    void judge(const std::optional<HttpResponse> &head, const std::optional<TransferError> &error = {});
    void acceptBody(const HttpResponse &head);
    bool sizeAccepted(const HttpResponse &head);
    bool openDestination(const HttpResponse &head);
    void onData(QByteArrayView data);
    bool takeRun(QByteArrayView run);
    void onFinished(const std::optional<TransferError> &error);
    bool closeBody();
    void endRepairCycle();
    void finishReceiving();
    void conclude();
    void completeVerified();
    bool madeDurable();
    // Strong hashes (DownloadEngineHashes.cpp).
    bool beginChunkCheck();
    bool chunkWritten(qint64 offset, QByteArrayView data);
    bool awaitWholeFileHash(std::function<void()> then);
    void onWholeFileHashed(bool matches, const std::optional<QString> &error);
    bool resumeCutShortHash();
    void logUrlCheck();
    void announceVerifying();
    qint64 resumeGranule() const;
    void report(DownloadFailure failure);
    void reportTransferError(const TransferError &error, const QString &reason = {});
    void reportDiskError(const BlockWriter::Failure &failure);
    void restart();
    void closeFiles();
    void closeFilesLogged();
    void notify(const EngineNotice &notice);
    void keepValidator(const QString &validator);
    TransferProgress progress() const;
    qint64 fileLength() const;

    // Several servers at once (DownloadEngineSources.cpp).
    bool usesAllServers() const;
    qint64 bytesInPlace() const;
    std::vector<SourceAddress> poolServers() const;
    void beginPoolCycle();
    void onMapped(const BlockMapScanResult &result);
    void startPool(BlockMap map);
    void onPoolReceiving();
    void onPoolEnded(const SourcePool::Outcome &outcome);
    void dropPool();
    void keepMap(const BlockMap &map);
    bool keepRecord(const BlockMap &map);
    std::optional<BlockMap> keptMap() const;
    void showServersInUse(int count);

    HttpClient &m_http;
    ExistingFileCheck *m_check;
    std::function<void()> m_afterFileHash;
    ChunkVerifier m_chunkCheck;
    std::function<void(qint64)> m_afterCheck;
    BlockWriter m_writer;
    CrcListReader m_checksums;
    QTimer m_retryTimer;
    QTimer m_resumeTimer;
    std::function<double()> m_clock;
    FreeSpaceQuery m_freeSpace;
    DeviceSync m_sync = syncToDevice;

    DownloadJob m_job;
    State m_state = State::Idle;
    bool m_restartsHeld = false;
    bool m_restartDue = false;
    bool m_loggedBefore = false;

    // Kept across the attempts of one job.
    // The file is known good from its start up to here (-1: nothing known):
    // a check's result, advanced as checked blocks are written after it.
    qint64 m_verifiedEnd = -1;
    bool m_repairMode = false;    // the next block written repairs a bad block
    int m_repairs = 0;            // across the whole run
    bool m_checkInterrupted = false;  // the last pause stopped a check
    bool m_fileHashConfirmed = false; // the file on disk has the whole-file SHA-256 wanted
    QHash<QString, int> m_forgedChunks;  // chunks refused by their SHA-256, per server host
    bool m_spaceNoticeShown = false;  // the free-space box came up for this job

    // The current attempt.
    bool m_resuming = false;
    bool m_answered = false;      // the response head arrived
    bool m_truncateFirst = false; // a restart from zero over a URL download's partial file
    bool m_blockOnly = false;     // the request asked for one block (a repair)
    bool m_unannounced = false;   // the server never said how long the body is
    qint64 m_position = 0;
    qint64 m_startPosition = 0;
    qint64 m_total = 0;
    bool m_sizeKnown = true;
    double m_startTime = 0;
    QString m_destinationName;
    QString m_requestUrl;
    std::optional<Sha256Digest> m_publishedDigest;  // URL mode: the server's SHA-256 of the file

    // Several servers at once.
    HttpClientFactory m_makeClient;
    std::unique_ptr<SourcePool> m_pool;
    QStringList m_droppedServers;  // for this job
    int m_serversInUse = 0;
    static constexpr double RecordInterval = 1.0;  // seconds between records of the good blocks
    double m_recordTime = 0;
    // The blocks known good when the last pool ended, valid while the file
    // keeps the length and time it had then.
    struct KeptMap {
        BlockMap map;
        qint64 length = 0;
        qint64 modified = 0;
    };
    std::optional<KeptMap> m_keptMap;
};
