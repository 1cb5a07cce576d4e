#pragma once

#include <descriptor/DescriptorHeader.h>
#include <descriptor/DescriptorTrailer.h>

#include <QString>

// One download as a start command describes it: the engine keeps it for the
// retries and resumes of that download; choosing another server amends it.
struct DownloadJob {
    enum class Mode {
        Url,         // any URL, no checksums
        Descriptor,  // the file a descriptor describes, every block checked
    };
    Mode mode = Mode::Url;
    QString sourceUrl;
    QString destination;
    // Descriptor mode: where the checksum list is read from, the header
    // read from it, and which of its servers `sourceUrl` names.
    QString descriptorPath;
    DescriptorHeader descriptor;
    int serverIndex = 0;
    // The server wants the offset in the URL too ("&start=<offset>").
    bool appendStartOffset = false;
    // When the descriptor has two or more usable servers, every one of them
    // is used at once, `serverIndex` the first source (the server window's
    // "Use all servers at once" sets it).
    bool useAllServers = false;
    // The descriptor's SHA-256 hashes and true size, when it has them.
    std::optional<DescriptorTrailer> strongHashes;

    bool checked() const { return mode == Mode::Descriptor; }
    qint64 expectedSize() const
    {
        if (!checked())
            return 0;
        return strongHashes ? strongHashes->fileSize : qint64(descriptor.fileSize);
    }
};
