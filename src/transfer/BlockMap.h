#pragma once

#include <QtGlobal>

#include <algorithm>
#include <map>
#include <vector>

// The one record of which blocks of a download's file are good, missing or
// in flight, and which source carries a block in flight. Sources ask for
// work and report back through it; a block is written only while the map
// gives it to the source that delivered it, so nothing is written twice.
// One byte per 4096-byte block.
class BlockMap {
public:
    static constexpr qint64 BlockBytes = 4096;
    static constexpr int MaxSources = 250;

    explicit BlockMap(qint64 fileSize = 0);

    qint64 fileSize() const { return m_fileSize; }
    qint64 blockCount() const { return qint64(m_blocks.size()); }
    // Bytes of block `block` (the last one may be short).
    qint64 bytesOf(qint64 block) const;

    bool isGood(qint64 block) const { return m_blocks[size_t(block)] == Good; }
    bool isMissing(qint64 block) const { return m_blocks[size_t(block)] == Missing; }
    // The source carrying `block`, -1 when it is not in flight.
    int carrier(qint64 block) const;
    // `block` failed its check when `source` sent it: that source is asked
    // for it again only when no other can be.
    bool avoids(qint64 block, int source) const;

    // Missing blocks in [first, last] go in flight with `source`.
    void claim(qint64 first, qint64 last, int source);
    // Blocks in [first, last] carried by `from` move to `to`.
    void handOver(qint64 first, qint64 last, int from, int to);
    // Blocks in flight with `source` (all of them, or those in [first, last])
    // are missing again.
    void release(int source);
    void release(qint64 first, qint64 last, int source);
    void markGood(qint64 block);
    // A block that failed its check: missing again, and not asked of `source` again.
    void markBad(qint64 block, int source);

    qint64 goodBlocks() const { return m_good; }
    qint64 goodBytes() const;
    bool complete() const { return m_good == blockCount(); }

    // The first missing block at or after `from` that `source` may fetch
    // (-1 when none); `strict` honours the blocks it must avoid.
    qint64 firstOpen(qint64 from, int source, bool strict) const;
    // The last block of the open run that starts at `first`, at most
    // `maxBlocks` long.
    qint64 openRunEnd(qint64 first, qint64 maxBlocks, int source, bool strict) const;
    // Missing blocks not in flight.
    qint64 openBlocks() const { return blockCount() - m_good - m_inFlight; }

    // Good runs as [first, last] block pairs, for the record kept with the file.
    std::vector<std::pair<qint64, qint64>> goodRuns() const;

private:
    enum : quint8 { Missing = 0, Good = 1, FirstCarrier = 2 };
    bool open(qint64 block, int source, bool strict) const;

    qint64 m_fileSize = 0;
    std::vector<quint8> m_blocks;
    std::map<qint64, int> m_avoid;  // bad block -> the source that sent it
    qint64 m_good = 0;
    qint64 m_inFlight = 0;
    mutable qint64 m_noMissingBefore = 0;  // no block before it is missing
};
