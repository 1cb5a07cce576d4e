#include "BlockMap.h"

BlockMap::BlockMap(qint64 fileSize)
    : m_fileSize(std::max<qint64>(0, fileSize)), m_blocks(size_t((m_fileSize + BlockBytes - 1) / BlockBytes), Missing)
{
}

qint64 BlockMap::bytesOf(qint64 block) const
{
    return std::min(BlockBytes, m_fileSize - block * BlockBytes);
}

int BlockMap::carrier(qint64 block) const
{
    const quint8 b = m_blocks[size_t(block)];
    return b >= FirstCarrier ? int(b) - FirstCarrier : -1;
}

bool BlockMap::avoids(qint64 block, int source) const
{
    const auto it = m_avoid.find(block);
    return it != m_avoid.end() && it->second == source;
}

void BlockMap::claim(qint64 first, qint64 last, int source)
{
    for (qint64 k = std::max<qint64>(0, first); k <= last && k < blockCount(); ++k) {
        if (m_blocks[size_t(k)] == Missing) {
            m_blocks[size_t(k)] = quint8(FirstCarrier + source);
            ++m_inFlight;
        }
    }
}

void BlockMap::handOver(qint64 first, qint64 last, int from, int to)
{
    for (qint64 k = std::max<qint64>(0, first); k <= last && k < blockCount(); ++k)
        if (carrier(k) == from)
            m_blocks[size_t(k)] = quint8(FirstCarrier + to);
}

void BlockMap::release(int source)
{
    release(0, blockCount() - 1, source);
}

void BlockMap::release(qint64 first, qint64 last, int source)
{
    for (qint64 k = std::max<qint64>(0, first); k <= last && k < blockCount(); ++k) {
        if (carrier(k) == source) {
            m_blocks[size_t(k)] = Missing;
            --m_inFlight;
            m_noMissingBefore = std::min(m_noMissingBefore, k);
        }
    }
}

void BlockMap::markGood(qint64 block)
{
    quint8 &b = m_blocks[size_t(block)];
    if (b == Good)
        return;
    if (b >= FirstCarrier)
        --m_inFlight;
    b = Good;
    ++m_good;
    m_avoid.erase(block);
}

void BlockMap::markBad(qint64 block, int source)
{
    quint8 &b = m_blocks[size_t(block)];
    if (b == Good)
        --m_good;
    else if (b >= FirstCarrier)
        --m_inFlight;
    b = Missing;
    m_avoid[block] = source;
    m_noMissingBefore = std::min(m_noMissingBefore, block);
}

qint64 BlockMap::goodBytes() const
{
    if (m_blocks.empty())
        return 0;
    // Every good block is whole but possibly the last.
    const qint64 last = blockCount() - 1;
    return m_good * BlockBytes - (isGood(last) ? BlockBytes - bytesOf(last) : 0);
}

bool BlockMap::open(qint64 block, int source, bool strict) const
{
    return m_blocks[size_t(block)] == Missing && !(strict && avoids(block, source));
}

qint64 BlockMap::firstOpen(qint64 from, int source, bool strict) const
{
    // Asked often near the end of a large file: the scan starts where the
    // first missing block can be.
    const bool fromStart = from <= m_noMissingBefore;
    bool missingSeen = false;
    for (qint64 k = std::max({qint64(0), from, m_noMissingBefore}); k < blockCount(); ++k) {
        if (m_blocks[size_t(k)] != Missing)
            continue;
        if (fromStart && !std::exchange(missingSeen, true))
            m_noMissingBefore = k;
        if (open(k, source, strict))
            return k;
    }
    if (fromStart && !missingSeen)
        m_noMissingBefore = blockCount();
    return -1;
}

qint64 BlockMap::openRunEnd(qint64 first, qint64 maxBlocks, int source, bool strict) const
{
    qint64 last = first;
    while (last + 1 < blockCount() && last + 1 - first < maxBlocks && open(last + 1, source, strict))
        ++last;
    return last;
}

std::vector<std::pair<qint64, qint64>> BlockMap::goodRuns() const
{
    std::vector<std::pair<qint64, qint64>> runs;
    for (qint64 k = 0; k < blockCount(); ++k) {
        if (!isGood(k))
            continue;
        if (!runs.empty() && runs.back().second == k - 1)
            runs.back().second = k;
        else
            runs.emplace_back(k, k);
    }
    return runs;
}
