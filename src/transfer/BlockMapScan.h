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
};

// Checks every block of the file at `dataPath` that `known` does not hold
// as good against the descriptor's checksums and marks the matching ones
// good; unlike the existing-file check it does not stop at a bad block.
// `onProgress(p)` hears the offset reached now and then. Safe on any thread.
BlockMapScanResult scanIntoMap(BlockMap known, const QString &dataPath, const QString &ddfPath, float version,
                               const std::function<void(qint64)> &onProgress = {},
                               const std::atomic<bool> *cancel = nullptr);
