#pragma once

#include <QString>

#include <atomic>
#include <functional>
#include <optional>
#include <vector>

// Checks a local file against a descriptor's CRC list, 4096-byte block by
// block, reading both in large pieces. Used by the program's existing-file
// verification and by `orvanta-ddf verify`, so that both judge a file alike.
struct BlockScanResult {
    qint64 fileLength = 0;
    // The offset up to which the file is good: fileLength when every block
    // matched, else the start of the first bad block.
    qint64 goodLength = 0;
    bool mismatch = false;
    // The mismatch is a block the descriptor's CRC list has no entry for.
    bool entryMissing = false;
    // With strong hashes (ChunkScan.h): the mismatch is a chunk whose blocks
    // all passed their CRCs but whose SHA-256 did not match.
    bool chunkMismatch = false;
    // Every chunk found bad, in order (a scan that goes on past the first).
    std::vector<qint64> badChunks;
    // The whole file's SHA-256 against the descriptor's, when it was taken
    // (a file of the described length whose chunks all matched).
    std::optional<bool> wholeFileMatches;
    std::optional<QString> error;  // a file could not be opened or read
    bool cancelled = false;        // stopped on request; goodLength is how far it got
};

class CrcListReader;
class QFile;

// Opens a scan's file (unbuffered) and the descriptor's CRC list, and sets
// `result.fileLength`; false with `result.error` naming the file that could
// not be read.
bool openScanInputs(QFile &data, CrcListReader &crcs, const QString &ddfPath, BlockScanResult &result);

// `onBlockGood(p)` runs after every good block with p = 4096 times the
// number of blocks checked so far (so a short last block reports a whole
// block's end). When `cancel` turns true the scan stops before its next
// block. Safe to run on any thread: it touches nothing but its two files.
BlockScanResult scanBlocks(const QString &dataPath, const QString &ddfPath, float version,
                           const std::function<void(qint64)> &onBlockGood = {},
                           const std::atomic<bool> *cancel = nullptr);
