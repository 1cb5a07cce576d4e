#pragma once

#include <QString>

// The part after the last separator ("/" with useSlash, "\" without) when
// wantFileName, else the part up to and including it; the path unchanged
// when it holds no separator.
QString SplitPathPart(const QString &path, bool wantFileName, bool useSlash);

// The local path with the platform separator ("/") appended unless it
// already ends in one.
QString AddTrailingBackslash(const QString &path);

// Bytes available to the user on the filesystem that holds `path` (a folder
// or a file in it; a missing file is looked up by its folder); 0 when it
// cannot tell.
double GetFreeDiskSpace(const QString &path);

// True when a regular file exists at `path` (folders and other kinds count
// as absent; on this platform no file is hidden or system).
bool regularFileExists(const QString &path);
