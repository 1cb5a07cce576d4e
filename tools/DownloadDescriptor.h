#pragma once

#include <descriptor/DescriptorHeader.h>
#include <descriptor/DescriptorTrailer.h>

#include <QString>

#include <optional>

// A descriptor that get and check-servers can work from: read, and found
// usable by the same rules as the window's loader.
struct DownloadDescriptor {
    QString path;
    DescriptorHeader header;
    qint64 fileSize = 0;  // the described file's size in bytes
    std::optional<DescriptorTrailer> strongHashes;  // its SHA-256 hashes, when it carries them
};

// Reads and judges the descriptor at `path`; nullopt after saying why on the
// error stream.
std::optional<DownloadDescriptor> readDownloadDescriptor(const QString &path);
