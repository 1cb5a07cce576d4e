#include "ServerProbe.h"

#include <descriptor/DescriptorHeader.h>

bool ServerReport::good() const
{
    return failure.isEmpty() && (status == 200 || status == 206) && sizeRight && rangeHonoured && badBlocks.isEmpty() &&
           blocksUnchecked == 0 && chunksBad == 0;
}

QStringList ServerReport::problems(qint64 expectedSize) const
{
    QStringList found;
    if (!answered())
        return {failure};
    if (status != 200 && status != 206)
        return {QStringLiteral("answers %1%2").arg(status).arg(reason.isEmpty() ? QString() : QLatin1Char(' ') + reason)};
    if (!size)
        found << QStringLiteral("does not say the size");
    else if (!sizeRight)
        found << QStringLiteral("size %1, not %2").arg(*size).arg(expectedSize);
    if (!rangeHonoured)
        found << QStringLiteral("ignores Range");
    if (!badBlocks.isEmpty()) {
        QStringList numbers;
        for (const qint64 block : badBlocks)
            numbers << QString::number(block);
        found << QStringLiteral("%1 %2 %3").arg(badBlocks.size() == 1 ? QStringLiteral("block") : QStringLiteral("blocks"),
                                                numbers.join(QStringLiteral(", ")),
                                                badBlocks.size() == 1 ? QStringLiteral("differs") : QStringLiteral("differ"));
    }
    if (chunksBad > 0) {
        QStringList numbers;
        for (const qint64 chunk : badChunks)
            numbers << QString::number(chunk);
        found << QStringLiteral("%1 of %2 chunks differ (%3%4)")
                     .arg(chunksBad)
                     .arg(chunksChecked)
                     .arg(numbers.join(QStringLiteral(", ")), chunksBad > badChunks.size() ? QStringLiteral(", ...") : QString());
    }
    if (!failure.isEmpty())
        found << failure;
    else if (blocksUnchecked > 0 && rangeHonoured)
        found << QStringLiteral("%1 blocks not checked").arg(blocksUnchecked);
    return found;
}

ServerProbe::ServerProbe(const Target &target, QList<SampleBlock> samples, int timeoutSeconds, QObject *parent)
    : QObject(parent), m_target(target), m_samples(std::move(samples)), m_timeoutSeconds(timeoutSeconds)
{
    m_report.number = target.number;
    m_report.name = target.name;
    m_report.url = target.url;
    m_http.setStallSeconds(timeoutSeconds);
    m_deadline.setSingleShot(true);
    m_deadline.setInterval(std::chrono::seconds(timeoutSeconds));
    connect(&m_deadline, &QTimer::timeout, this, [this] {
        end(QStringLiteral("timed out after %1 s").arg(m_timeoutSeconds));
    });
    connect(&m_http, &HttpClient::responseReceived, this, &ServerProbe::onResponse);
    connect(&m_http, &HttpClient::dataReceived, this, &ServerProbe::onData);
    connect(&m_http, &HttpClient::finished, this, &ServerProbe::onFinished);
}

void ServerProbe::start()
{
    m_deadline.start();
    requestNext();
}

qint64 ServerProbe::blockLength(qint64 block) const
{
    return std::min(BlockSize, m_target.fileSize - block * BlockSize);
}

void ServerProbe::requestNext()
{
    const qint64 offset = m_samples[m_next].block * BlockSize;
    HttpRequest request;
    request.url = m_target.url;
    if (m_target.appendStartOffset)
        request.url += QStringLiteral("&start=") + QString::number(offset);
    request.rangeStart = offset;
    request.rangeEnd = offset + blockLength(m_samples[m_next].block) - 1;
    m_block.clear();
    m_http.start(request);
}

void ServerProbe::onResponse(const HttpResponse &head)
{
    const qint64 offset = m_chunk >= 0 ? m_target.chunks->chunkStart(m_chunk) : m_samples[m_next].block * BlockSize;
    const bool ranged = head.status == 206 && head.rangeStart == offset;
    if (m_next == 0) {
        // The first answer speaks for the server.
        m_report.status = head.status;
        m_report.reason = head.reasonPhrase.trimmed();
        m_report.etag = head.etag;
        m_report.lastModified = head.lastModified;
        m_report.size = head.status == 206 ? head.rangeTotal
                                           : (head.status == 200 ? head.contentLength : std::nullopt);
        m_report.sizeRight = m_report.size == m_target.fileSize;
        m_report.rangeHonoured = ranged;
        m_wholeFile = head.status == 200;
    }
    if (ranged || (m_next == 0 && m_wholeFile))
        return;
    // Any other answer to a later block: it cannot be checked.
    m_report.rangeHonoured = m_report.rangeHonoured && head.status == 206;
    end(m_chunk >= 0 ? QStringLiteral("chunk %1 was answered %2").arg(m_chunk).arg(head.status) : QString());
}

void ServerProbe::onData(QByteArrayView data)
{
    if (m_chunk >= 0) {
        onChunkData(data);
        return;
    }
    const qint64 wanted = blockLength(m_samples[m_next].block);
    m_block.append(data.first(std::min<qint64>(data.size(), wanted - m_block.size())));
    if (m_block.size() < wanted)
        return;
    m_http.cancel();  // the rest of a whole-file answer is not needed
    judgeBlock();
}

void ServerProbe::onFinished(const std::optional<TransferError> &error)
{
    if (m_report.status == 0) {
        end(QStringLiteral("no answer: %1").arg(error ? error->text : QStringLiteral("the server sent nothing")));
        return;
    }
    if (m_report.status != 200 && m_report.status != 206) {
        end();
        return;
    }
    // The body ended before the block or chunk was whole.
    end(QStringLiteral("the answer broke off: %1").arg(error ? error->text : QStringLiteral("it ended early")));
}

void ServerProbe::judgeBlock()
{
    const SampleBlock &sample = m_samples[m_next];
    ++m_report.blocksChecked;
    if (blockCrc32(m_block, m_target.version) != sample.crc)
        m_report.badBlocks << sample.block;
    ++m_next;
    if (m_wholeFile || m_next == m_samples.size()) {
        if (m_wholeFile || !m_target.chunks)
            end();
        else
            startChunks();
        return;
    }
    // Not from inside the client's signal: start() drops the request being
    // delivered, which the client allows, but the next one is clearer after.
    QTimer::singleShot(0, this, &ServerProbe::requestNext);
}

void ServerProbe::startChunks()
{
    m_descriptor.setFileName(m_target.descriptorPath);
    if (!m_descriptor.open(QIODevice::ReadOnly)) {
        end(QStringLiteral("cannot read the chunk hashes: %1").arg(m_descriptor.errorString()));
        return;
    }
    m_chunk = 0;
    m_deadline.stop();  // each request is bounded by its silence now
    QTimer::singleShot(0, this, &ServerProbe::requestChunk);
}

void ServerProbe::requestChunk()
{
    const DescriptorTrailer &chunks = *m_target.chunks;
    HttpRequest request;
    request.url = m_target.url;
    if (m_target.appendStartOffset)
        request.url += QStringLiteral("&start=") + QString::number(chunks.chunkStart(m_chunk));
    request.rangeStart = chunks.chunkStart(m_chunk);
    request.rangeEnd = chunks.chunkEnd(m_chunk) - 1;
    m_chunkReceived = 0;
    m_hash = Sha256();
    m_http.start(request);
}

void ServerProbe::onChunkData(QByteArrayView data)
{
    const DescriptorTrailer &chunks = *m_target.chunks;
    const qint64 length = chunks.chunkEnd(m_chunk) - chunks.chunkStart(m_chunk);
    data = data.first(std::min<qint64>(data.size(), length - m_chunkReceived));
    m_hash.add(data);
    m_chunkReceived += data.size();
    if (m_chunkReceived == length) {
        m_http.cancel();
        judgeChunk();
    }
}

void ServerProbe::judgeChunk()
{
    constexpr int BadChunksListed = 10;
    ++m_report.chunksChecked;
    const std::optional<Sha256Digest> expected = readChunkHash(m_descriptor, *m_target.chunks, m_chunk);
    if (!expected || m_hash.finish() != *expected) {
        if (++m_report.chunksBad <= BadChunksListed)
            m_report.badChunks << m_chunk;
    }
    if (++m_chunk == m_target.chunks->chunkCount) {
        end();
        return;
    }
    QTimer::singleShot(0, this, &ServerProbe::requestChunk);
}

void ServerProbe::end(const QString &failure)
{
    if (m_done)
        return;
    m_done = true;
    m_deadline.stop();
    m_http.cancel();
    m_report.blocksUnchecked = int(m_samples.size()) - m_report.blocksChecked;
    m_report.failure = failure;
    QTimer::singleShot(0, this, &ServerProbe::finished);
}
