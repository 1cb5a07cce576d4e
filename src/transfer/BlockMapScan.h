#pragma once

#include "BlockMap.h"

#include <QString>

#include <atomic>
#include <functional>
#include <optional>

struct BlockMapScanResult {
    BlockMap map;
    std::optional<QString> error;  // a file could not be opened or read: what was found so far stands
    bool cancelled = false;
    bool knownRejected = false;  // a run given as good began with a bad block: all was checked
};

// Checks every block of the file at `dataPath` that `known` does not hold
// as good against the descriptor's checksums and marks the matching ones
// good; unlike the existing-file check it does not stop at a bad block.
// The first block of every run `known` holds is checked too: when one is
// bad, `known` is not for this file and every block is checked.
// `onProgress(p)` hears the offset reached now and then. Safe on any thread.
BlockMapScanResult scanIntoMap(BlockMap known, const QString &dataPath, const QString &ddfPath, float version,
                               const std::function<void(qint64)> &onProgress = {},
                               const std::atomic<bool> *cancel = nullptr);
