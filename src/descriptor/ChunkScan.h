#pragma once

#include "BlockScan.h"
#include "DescriptorTrailer.h"

// Checks a local file against an extended descriptor: every block against
// its CRC and every chunk against its SHA-256, reading the file once, chunk
// by chunk, while the chunks are hashed on worker threads. A chunk that is
// only partly in the file (it ends past the file's end, and the file is not
// complete) cannot be judged: the good part ends at its start.
struct ChunkScanOptions {
    bool stopAtFirstBad = true;  // else go on and list every bad chunk
    bool wholeFile = false;      // also hash the whole file when its length is the described size
    int workers = 0;             // hashing threads; 0: one per core
};

// `onBlockGood` and `cancel` as for scanBlocks; may be called on any thread.
BlockScanResult scanChunks(const QString &dataPath, const QString &ddfPath, float version,
                           const DescriptorTrailer &trailer, const ChunkScanOptions &options = {},
                           const std::function<void(qint64)> &onBlockGood = {},
                           const std::atomic<bool> *cancel = nullptr);
