#include "MirrorSource.h"

#include "BlockMap.h"

#include <descriptor/Crc32.h>

namespace {

constexpr double SampleSeconds = 0.5;
constexpr qint64 Block = BlockMap::BlockBytes;

} // namespace

MirrorSource::MirrorSource(int id, QString name, QString url, std::unique_ptr<HttpClient> client, QObject *parent)
    : QObject(parent), m_id(id), m_name(std::move(name)), m_url(std::move(url)), m_client(std::move(client))
{
    m_clock = [] {
        using namespace std::chrono;
        return duration<double>(steady_clock::now().time_since_epoch()).count();
    };
    m_retryTimer.setSingleShot(true);
    connect(&m_retryTimer, &QTimer::timeout, this, [this] {
        m_phase = Phase::Idle;
        emit readyAgain(m_id);
    });
    connect(m_client.get(), &HttpClient::responseReceived, this, &MirrorSource::onResponse);
    connect(m_client.get(), &HttpClient::dataReceived, this, &MirrorSource::onData);
    connect(m_client.get(), &HttpClient::finished, this, &MirrorSource::onFinished);
}

MirrorSource::~MirrorSource()
{
    m_client->cancel();
}

void MirrorSource::setFile(const QString &checksumsPath, float version, qint64 fileSize, bool appendStartOffset)
{
    m_checksumsPath = checksumsPath;
    m_version = version;
    m_fileSize = fileSize;
    m_appendStartOffset = appendStartOffset;
}

double MirrorSource::rate() const
{
    if (!working())
        return m_rate;
    // Silence counts: a source that stalls, or does not answer, is soon the
    // slowest.
    const double elapsed = m_clock() - m_sampleStart;
    if (elapsed > 2 * SampleSeconds)  // never 0, which would say "not measured yet"
        return std::max(1.0, m_rate > 0 ? std::min(m_rate, double(m_sampleBytes) / elapsed) : double(m_sampleBytes) / elapsed);
    return m_rate;
}

void MirrorSource::fetch(qint64 first, qint64 last)
{
    ++m_generation;
    m_next = first;
    m_last = m_askedLast = last;
    if (auto failure = m_checksums.open(m_checksumsPath)) {
        // Without its checksums no block can be taken from anyone.
        QTimer::singleShot(0, this, [this, reason = *failure, generation = m_generation] {
            if (generation == m_generation)
                fail(true, reason);
        });
        m_phase = Phase::Asking;
        return;
    }
    m_checksums.seekBlock(first);
    m_sampleStart = m_clock();
    m_sampleBytes = 0;
    HttpRequest request;
    request.url = m_url;
    if (m_appendStartOffset)
        request.url += QStringLiteral("&start=") + QString::number(first * Block);
    request.rangeStart = first * Block;
    request.rangeEnd = std::min((last + 1) * Block, m_fileSize) - 1;
    m_answerEnd = -1;
    m_phase = Phase::Asking;
    m_client->start(request);
}

void MirrorSource::cutBack(qint64 last)
{
    m_last = std::min(m_last, last);
    if (working() && m_next > m_last && m_last != m_answerEnd)
        finishRun();
}

void MirrorSource::cancel()
{
    ++m_generation;
    m_client->cancel();
    m_checksums.close();
    m_retryTimer.stop();
    if (m_phase != Phase::Dropped)
        m_phase = Phase::Idle;
    m_last = m_next - 1;
}

void MirrorSource::waitToRetry(std::chrono::milliseconds delay)
{
    cancel();
    m_phase = Phase::Waiting;
    m_retryTimer.start(delay);
}

void MirrorSource::drop()
{
    cancel();
    m_phase = Phase::Dropped;
}

void MirrorSource::onResponse(const HttpResponse &head)
{
    if (m_phase != Phase::Asking)
        return;
    if (const std::optional<QString> why = unfit(head)) {
        // Server errors and overload may pass; any other answer will not.
        const bool passing = head.status >= 500 || head.status == 408 || head.status == 429;
        fail(!passing, *why);
        return;
    }
    // What the answer brings before it ends by itself: the run as asked
    // (a takeover may have cut the run since), or the whole blocks of a
    // shorter answer; the rest of the run goes back to the map.
    m_answerEnd = -1;
    if (head.status == 206) {
        m_answerEnd = m_askedLast;
        if (head.contentLength) {
            const qint64 end = m_next * Block + *head.contentLength;  // one past the last byte sent
            const qint64 whole = end == m_fileSize ? end : end / Block * Block;
            m_answerEnd = std::min(m_answerEnd, (whole + Block - 1) / Block - 1);
        }
        if (m_answerEnd < m_next) {
            fail(false, QStringLiteral("The server sent less than a block."));
            return;
        }
        m_last = std::min(m_last, m_answerEnd);
    }
    m_phase = Phase::Receiving;
    emit answered(m_id);
}

// Why an answer cannot be used for the run asked for; nullopt when it can.
std::optional<QString> MirrorSource::unfit(const HttpResponse &head) const
{
    const QString status = QStringLiteral("%1 %2").arg(head.status).arg(head.reasonPhrase).trimmed();
    if (head.status == 200) {
        // The whole file: usable only for a run from the start.
        if (m_next != 0)
            return QStringLiteral("The server does not send parts of the file (%1 to a range request).").arg(status);
        if (head.contentLength && *head.contentLength != m_fileSize)
            return QStringLiteral("The server's file has %1 bytes; the descriptor gives %2.").arg(*head.contentLength).arg(m_fileSize);
        return std::nullopt;
    }
    if (head.status != 206)
        return QStringLiteral("The server answered %1.").arg(status);
    if (!head.rangeStart || *head.rangeStart != m_next * Block || (head.rangeTotal && *head.rangeTotal != m_fileSize))
        return QStringLiteral("The server's Content-Range (from %1 of %2) does not fit the descriptor (from %3 of %4).")
            .arg(head.rangeStart ? QString::number(*head.rangeStart) : QStringLiteral("?"),
                 head.rangeTotal ? QString::number(*head.rangeTotal) : QStringLiteral("?"))
            .arg(m_next * Block)
            .arg(m_fileSize);
    const qint64 asked = std::min((m_askedLast + 1) * Block, m_fileSize) - m_next * Block;
    if (head.contentLength && *head.contentLength > asked)
        return QStringLiteral("The server announces %1 bytes for a range of %2; that does not fit the descriptor.")
            .arg(*head.contentLength)
            .arg(asked);
    return std::nullopt;
}

void MirrorSource::onData(QByteArrayView data)
{
    if (m_phase != Phase::Receiving)
        return;
    const quint64 generation = m_generation;
    measure(data.size());
    qsizetype at = 0;
    while (at < data.size() && m_next <= m_last) {
        // The good blocks in a row, handed on in one piece.
        qsizetype good = 0;
        bool bad = false;
        while (at + good < data.size() && m_next + good / Block <= m_last) {
            const QByteArrayView block = data.sliced(at + good, std::min(Block, data.size() - at - good));
            const std::optional<quint32> expected = m_checksums.next();
            if (!expected || *expected != quint32(blockCrc32(block, m_version))) {
                bad = true;
                break;
            }
            good += block.size();
        }
        const qint64 offset = m_next * Block;
        m_next += (good + Block - 1) / Block;
        if (good > 0)
            emit blocksChecked(m_id, offset, data.sliced(at, good));
        if (generation != m_generation)
            return;
        at += good;
        if (bad) {
            const qint64 block = m_next;
            cancel();
            emit blockFailedCheck(m_id, block);
            return;
        }
    }
    // An answer that ends with the run keeps its connection for the next one.
    if (m_next > m_last && m_last != m_answerEnd)
        finishRun();
}

void MirrorSource::onFinished(const std::optional<TransferError> &error)
{
    if (!working())
        return;
    if (error) {
        fail(!error->transient(), QStringLiteral("Error %1: %2.").arg(error->code).arg(error->text));
    } else if (m_next <= m_last) {
        fail(false, QStringLiteral("The server closed the connection before the run arrived."));
    } else {
        finishRun();
    }
}

void MirrorSource::fail(bool permanent, const QString &reason)
{
    cancel();
    emit failed(m_id, {permanent, reason});
}

// The rest of a longer answer is not wanted.
void MirrorSource::finishRun()
{
    // A short run on a fast link ends before a whole sample: it still
    // tells the source's rate.
    const double elapsed = m_clock() - m_sampleStart;
    if (m_rate <= 0 && m_sampleBytes > 0 && elapsed > 0)
        m_rate = double(m_sampleBytes) / elapsed, m_lastSample = {m_sampleBytes, elapsed};
    cancel();
    emit runDone(m_id);
}

void MirrorSource::measure(qint64 bytes)
{
    m_received += bytes;
    m_sampleBytes += bytes;
    const double now = m_clock(), elapsed = now - m_sampleStart;
    if (elapsed < SampleSeconds)
        return;
    // Over the last two samples (about a second): a server's burst at the
    // start of an answer soon stops counting.
    m_rate = double(m_lastSample.first + m_sampleBytes) / (m_lastSample.second + elapsed);
    m_lastSample = {m_sampleBytes, elapsed};
    m_sampleStart = now;
    m_sampleBytes = 0;
}
