#pragma once

#include <descriptor/DescriptorTrailer.h>
#include <descriptor/Sha256.h>
#include <transfer/CurlHttpClient.h>

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <optional>

// One block the probe fetches and the CRC the descriptor gives it.
struct SampleBlock {
    qint64 block = 0;
    quint32 crc = 0;
};

// What one server of a descriptor answered to `orvanta-ddf check-servers`.
struct ServerReport {
    int number = 0;       // from 1, as the descriptor lists it
    QString name;         // the entry's display name
    QString url;
    QString failure;      // why the probe ended early (no answer, time-out, cut short); empty when it did not
    int status = 0;
    QString reason;       // the status line's phrase
    std::optional<qint64> size;  // the file's size as the answer gives it
    bool sizeRight = false;
    bool rangeHonoured = false;
    int blocksChecked = 0;
    QList<qint64> badBlocks;
    int blocksUnchecked = 0;  // samples the server's answers did not allow to check
    // Every chunk against its SHA-256, when asked and the descriptor has them.
    qint64 chunksChecked = 0;
    qint64 chunksBad = 0;
    QList<qint64> badChunks;  // the first few
    QString etag, lastModified;

    bool answered() const { return status != 0; }
    bool good() const;
    // The problems in a few words each; empty for a good server.
    QStringList problems(qint64 expectedSize) const;
};

// Asks one server for a sample of the described file's blocks, one request
// after another on its own connection, within a time limit: the first block
// tells the answer, the size and whether Range is honoured; the rest are
// checked against their CRCs. finished() is emitted once, from the event
// loop.
class ServerProbe : public QObject {
    Q_OBJECT
public:
    struct Target {
        int number = 0;
        QString name;
        QString url;
        bool appendStartOffset = false;  // "&start=<offset>" as the downloader sends it
        qint64 fileSize = 0;
        float version = 0;               // the descriptor's block-CRC rule
        // Also every chunk against its hash, read from the descriptor at
        // `descriptorPath`; the time limit then bounds each request's
        // silence instead of the whole check.
        std::optional<DescriptorTrailer> chunks;
        QString descriptorPath;
    };
    ServerProbe(const Target &target, QList<SampleBlock> samples, int timeoutSeconds, QObject *parent = nullptr);

    void start();
    const ServerReport &report() const { return m_report; }

signals:
    void finished();

private:
    void requestNext();
    void onResponse(const HttpResponse &head);
    void onData(QByteArrayView data);
    void onFinished(const std::optional<TransferError> &error);
    void judgeBlock();
    void startChunks();
    void requestChunk();
    void onChunkData(QByteArrayView data);
    void judgeChunk();
    void end(const QString &failure = {});
    qint64 blockLength(qint64 block) const;

    Target m_target;
    QList<SampleBlock> m_samples;  // the first one is block 0
    int m_timeoutSeconds;
    CurlHttpClient m_http;
    QTimer m_deadline;
    ServerReport m_report;
    int m_next = 0;          // index into m_samples of the block being fetched
    QByteArray m_block;
    bool m_wholeFile = false;  // the answer is the whole file: only its start is used
    // The chunk phase: the chunk being fetched (-1 before it), its hash so
    // far, and the bytes of it received.
    qint64 m_chunk = -1;
    Sha256 m_hash;
    qint64 m_chunkReceived = 0;
    QFile m_descriptor;
    bool m_done = false;
};
