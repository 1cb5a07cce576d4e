#pragma once

#include "BlockMap.h"

#include <QString>

#include <optional>

// The good runs of a partial file, kept with the file itself as the
// extended attribute user.orvanta.blocks (as the resume validator is), so
// that a resume after a pause, a kill or a crash need not read the whole
// file again. The record only ever claims blocks that had reached the
// system before it was written; a resume still checks the first block of
// every run it names, and everything it does not name.

// Keeps the good runs of `map` with the file at `path` (as many as the
// attribute holds, from the start). Returns 0 or the errno of a refusal;
// a filesystem without user attributes is no refusal.
int storeBlockRecord(const QString &path, const BlockMap &map);
// The record kept with the file, for a file of `fileSize` bytes; nullopt
// when there is none or it is for another size or unreadable.
std::optional<BlockMap> loadBlockRecord(const QString &path, qint64 fileSize);
void removeBlockRecord(const QString &path);
