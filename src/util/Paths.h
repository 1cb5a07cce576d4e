#pragma once

#include <QString>

#include <optional>

// Bytes available to the user on the filesystem that holds `path` (a folder,
// or a file in it that may not exist yet: it is looked up by its nearest
// existing folder). nullopt when the system cannot tell, which is not the
// same as no space at all.
std::optional<qint64> freeDiskSpace(const QString &path);

// True when a regular file exists at `path` (folders and other kinds count
// as absent).
bool regularFileExists(const QString &path);

// A bare file name to offer for `name`, which comes from an untrusted source:
// only the part after the last "/" or "\", without control characters,
// surrounding spaces or a name made of dots only, cut to the 255 bytes a
// file name may take. `fallback` when nothing usable is left.
QString safeFileName(const QString &name, const QString &fallback = QStringLiteral("download.bin"));

// `text` with every control or invisible format character written as \xHH
// or \uHHHH (and "\" as "\\"), so that it can be printed or shown without
// acting on a terminal.
QString escapeControlCharacters(const QString &text);
