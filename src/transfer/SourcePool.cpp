#include "SourcePool.h"

namespace {

constexpr int MaxChecksumFailures = 3;
// Rates are looked at again as data comes in; this is for when none does.
constexpr std::chrono::milliseconds ReplanInterval(1000);

} // namespace

SourcePool::SourcePool(BlockMap map, const std::vector<SourceAddress> &servers, const File &file, BlockWriter &writer,
                       const HttpClientFactory &makeClient, QObject *parent)
    : QObject(parent), m_map(std::move(map)), m_writer(writer)
{
    for (const SourceAddress &server : servers) {
        const int id = int(m_sources.size());
        auto source = std::make_unique<MirrorSource>(id, server.name, server.url, makeClient());
        source->setFile(file.checksumsPath, file.version, m_map.fileSize(), file.appendStartOffset);
        connect(source.get(), &MirrorSource::blocksChecked, this, &SourcePool::onBlocks);
        connect(source.get(), &MirrorSource::blockFailedCheck, this, &SourcePool::onBadBlock);
        connect(source.get(), &MirrorSource::failed, this, &SourcePool::onFailed);
        connect(source.get(), &MirrorSource::runDone, this, [this](int id) {
            m_map.release(id);
            dispatch(id);
        });
        connect(source.get(), &MirrorSource::readyAgain, this, [this](int id) {
            settle();
            dispatch(id);
        });
        connect(source.get(), &MirrorSource::answered, this, [this] {
            if (!std::exchange(m_answered, true))
                emit receiving();
        });
        m_sources.push_back(std::move(source));
    }
    m_checksumFailures.assign(m_sources.size(), 0);
    m_replan.setInterval(ReplanInterval);
    connect(&m_replan, &QTimer::timeout, this, &SourcePool::dispatchIdle);
}

SourcePool::~SourcePool() = default;

void SourcePool::setClock(std::function<double()> clock)
{
    for (auto &source : m_sources)
        source->setClock(clock);
}

void SourcePool::start()
{
    m_running = true;
    if (m_map.complete()) {  // an empty file: nothing to ask anyone
        finish({true, false, {}, std::nullopt});
        return;
    }
    settle();
    // In order: the first server starts at the beginning of the file.
    dispatchIdle();
}

void SourcePool::stop()
{
    m_running = false;
    m_replan.stop();
    for (auto &source : m_sources) {
        source->cancel();
        m_map.release(source->id());
    }
}

int SourcePool::inUse() const
{
    int count = 0;
    for (const auto &source : m_sources)
        count += source->phase() != MirrorSource::Phase::Dropped && source->phase() != MirrorSource::Phase::Waiting;
    return count;
}

QStringList SourcePool::dropped() const
{
    QStringList urls;
    for (const auto &source : m_sources)
        if (source->phase() == MirrorSource::Phase::Dropped)
            urls << source->url();
    return urls;
}

std::vector<SourceLoad> SourcePool::loads() const
{
    std::vector<SourceLoad> loads;
    for (const auto &s : m_sources) {
        if (s->phase() == MirrorSource::Phase::Dropped || s->phase() == MirrorSource::Phase::Waiting)
            continue;
        loads.push_back({s->id(), s->working(), s->rate(), s->nextBlock(), s->lastBlock()});
    }
    return loads;
}

QString SourcePool::bytesText(qint64 first, qint64 last) const
{
    return QStringLiteral("bytes %1-%2").arg(first * BlockMap::BlockBytes)
        .arg(last * BlockMap::BlockBytes + m_map.bytesOf(last) - 1);
}

void SourcePool::dispatch(int id)
{
    MirrorSource &self = source(id);
    if (!m_running || self.phase() != MirrorSource::Phase::Idle)
        return;
    const WorkChoice choice = chooseWork(m_map, loads(), id, inUse() > 1, m_settings);
    switch (choice.kind) {
    case WorkChoice::Kind::Nothing:
        // Rates change: whether the end is worth racing is asked again soon.
        if (!m_replan.isActive())
            m_replan.start();
        return;
    case WorkChoice::Kind::Fresh:
        m_map.claim(choice.first, choice.last, id);
        emit logLine(QStringLiteral("%1: asking for %2...").arg(self.name(), bytesText(choice.first, choice.last)));
        self.fetch(choice.first, choice.last);
        return;
    case WorkChoice::Kind::TakeOver: {
        MirrorSource &slow = source(choice.from);
        m_map.handOver(choice.first, choice.last, choice.from, id);
        emit logLine(QStringLiteral("%1 takes over %2 from %3.")
                         .arg(self.name(), bytesText(choice.first, choice.last), slow.name()));
        self.fetch(choice.first, choice.last);
        slow.cutBack(choice.first - 1);
        return;
    }
    }
}

void SourcePool::dispatchIdle()
{
    bool waiting = false;
    for (auto &s : m_sources) {
        if (!m_running)
            return;
        dispatch(s->id());
        waiting = waiting || s->phase() == MirrorSource::Phase::Idle;
    }
    if (!waiting)
        m_replan.stop();
}

// Only blocks the map gives to the source are written: a block is never
// written twice.
void SourcePool::onBlocks(int id, qint64 offset, QByteArrayView data)
{
    qint64 block = offset / BlockMap::BlockBytes;
    qsizetype at = 0;
    while (at < data.size()) {
        qsizetype run = 0;
        while (at + run < data.size() && m_map.carrier(block) == id)
            run += m_map.bytesOf(block), m_map.markGood(block), ++block;
        if (run > 0) {
            if (auto failure = m_writer.write(offset + at, data.sliced(at, run))) {
                finish({false, false, failure->description, failure});
                return;
            }
        }
        at += run;
        if (at < data.size())
            at += m_map.bytesOf(block), ++block;  // not this source's any more
    }
    emit progressed();
    if (m_map.complete()) {
        finish({true, false, {}, std::nullopt});
        return;
    }
    // A source waiting for the end may race it now that rates moved.
    if (m_replan.isActive())
        dispatchIdle();
}

void SourcePool::onBadBlock(int id, qint64 block)
{
    MirrorSource &self = source(id);
    m_map.release(id);
    m_map.markBad(block, id);
    emit logLine(QStringLiteral("%1 sent %2 with a CRC error; it is fetched again from another server.")
                     .arg(self.name(), bytesText(block, block)));
    if (++m_checksumFailures[size_t(id)] >= MaxChecksumFailures) {
        onFailed(id, {true, QStringLiteral("Its blocks failed their checks %1 times.").arg(MaxChecksumFailures)});
        return;
    }
    dispatchIdle();
}

void SourcePool::onFailed(int id, const SourceFailure &failure)
{
    MirrorSource &self = source(id);
    m_map.release(id);
    m_lastReason = failure.reason;
    if (failure.permanent) {
        self.drop();
        emit logLine(QStringLiteral("%1 is dropped for this download. Reason: %2").arg(self.name(), failure.reason));
    } else {
        self.waitToRetry(m_retryDelay);
        emit logLine(QStringLiteral("%1 failed: %2 Trying it again in 30 seconds...").arg(self.name(), failure.reason));
    }
    settle();
    if (m_running)
        dispatchIdle();
}

// Tells how many sources are in use; ends the pool when none is.
void SourcePool::settle()
{
    const int count = inUse();
    if (count != m_inUse) {
        m_inUse = count;
        emit inUseChanged(count);
    }
    if (count > 0 || !m_running)
        return;
    bool waiting = false;
    for (const auto &s : m_sources)
        waiting = waiting || s->phase() == MirrorSource::Phase::Waiting;
    finish({false, waiting, m_lastReason, std::nullopt});
}

void SourcePool::finish(const Outcome &outcome)
{
    stop();
    emit ended(outcome);
}
