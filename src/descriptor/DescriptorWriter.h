#pragma once

#include "DescriptorHeader.h"

#include <QString>

#include <functional>
#include <optional>

// Creates descriptors: the header followed by one CRC-32 per 4096-byte
// block, each four little-endian bytes, under the header version's
// last-byte rule.

enum class DescriptorFormat {
    CrcOnly,     // header and CRC list alone: files up to 2 GiB - 1 byte
    WithHashes,  // followed by the trailer of SHA-256 hashes (DescriptorTrailer.h)
};

// Writes the descriptor of the file at `dataPath` to `outPath`, with
// FileSize taken from the file (LargeFileMarker past the header field's
// range, which only WithHashes can describe). The file is read in 1 MiB pieces; the
// descriptor goes to a temporary file in the target's folder and is renamed
// into place only when complete, so a failure never leaves a partial
// descriptor (an existing `outPath` is replaced). `progress(done, total)`
// runs after every piece. nullopt on success, else why it failed.
std::optional<QString> writeDescriptorFile(const QString &dataPath, const QString &outPath, DescriptorHeader header,
                                           const std::function<void(qint64, qint64)> &progress = {},
                                           DescriptorFormat format = DescriptorFormat::CrcOnly);
