// Feeds arbitrary bytes to everything that reads a descriptor: the header
// reader, the trailer of hashes, the load check, the safe file name, the
// chunk scan, and orvanta-ddf info and verify. Besides the sanitizers' findings it aborts when a promise of
// those functions does not hold.

#include "ToolSupport.h"

#include "descriptor/ChunkScan.h"
#include "descriptor/DescriptorCheck.h"
#include "descriptor/DescriptorHeader.h"
#include "descriptor/DescriptorTrailer.h"
#include "util/Paths.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

struct Workspace {
    QTemporaryDir dir{QDir(QFileInfo::exists(QStringLiteral("/dev/shm")) ? QStringLiteral("/dev/shm") : QDir::tempPath())
                          .filePath(QStringLiteral("orvanta-fuzz-XXXXXX"))};
    QString descriptor = dir.filePath(QStringLiteral("input.ddf"));
    QString data = dir.filePath(QStringLiteral("data.bin"));
};

Workspace *workspace = nullptr;

void require(bool promise, const char *what)
{
    if (!promise) {
        std::fprintf(stderr, "broken promise: %s\n", what);
        std::abort();
    }
}

void checkSafeFileName(const QString &name)
{
    const QString safe = safeFileName(name);
    require(!safe.isEmpty(), "safeFileName is never empty");
    require(!safe.contains(QLatin1Char('/')) && !safe.contains(QLatin1Char('\\')), "safeFileName has no separator");
    require(safe != QLatin1String(".") && safe != QLatin1String(".."), "safeFileName names no folder");
    require(safe.toUtf8().size() <= 255, "safeFileName fits a file name");
    require(safe.isValidUtf16(), "safeFileName keeps whole characters");
    for (const QChar c : safe)
        require(c.category() != QChar::Other_Control, "safeFileName has no control character");
}

void checkEscaped(const QString &text)
{
    for (const QChar c : escapeControlCharacters(text))
        require(c.category() != QChar::Other_Control && c.category() != QChar::Other_Format,
                "escaped text holds no control or format character");
}

// A trailer that is read describes the descriptor it came from exactly; one
// that is refused says why, and the load check refuses with it.
void checkTrailer(const DescriptorHeader &header, qint64 length, qsizetype inputSize)
{
    const TrailerRead read = readTrailer(workspace->descriptor, header, length);
    const DescriptorCheck check = checkDescriptor(header, length, read);
    require(check.usable() == check.reason.isEmpty(), "a refusal with a trailer always says why");
    checkEscaped(read.check.reason);
    if (!read.trailer) {
        // The version is judged first: a damaged or old one is the reason given.
        require(read.check.usable() || check.fault == read.check.fault || check.fault == DescriptorFault::OldVersion ||
                    check.fault == DescriptorFault::DamagedVersion,
                "a faulty trailer refuses the descriptor");
        return;
    }
    const DescriptorTrailer &t = *read.trailer;
    require(read.check.usable(), "a trailer read is a good one");
    require(t.fileSize >= 1 && t.chunkSize >= BlockSize && t.chunkSize % BlockSize == 0, "a trailer's fields are sane");
    require(t.offset == trailerOffset(t.fileSize), "the trailer follows the whole CRC list");
    require(t.offset + trailerLength(t.chunkCount) == inputSize, "the trailer ends the descriptor");
    require(headerSizeField(t.fileSize) == header.fileSize, "the header's size agrees with the trailer's");
    const BlockScanResult scan = scanChunks(workspace->data, workspace->descriptor, header.version, t,
                                            {.stopAtFirstBad = false, .wholeFile = true, .workers = 1});
    require(scan.goodLength >= 0 && scan.goodLength <= scan.fileLength, "the good part lies inside the file");
    require(!scan.wholeFileMatches || !scan.mismatch, "a whole-file hash is taken only of matching chunks");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    static Workspace w;
    workspace = &w;
    if (!w.dir.isValid())
        std::abort();
    // A data file of a few blocks for verify, the last one partial.
    QFile data(w.data);
    if (!data.open(QIODevice::WriteOnly) || data.write(QByteArray(3 * 4096 + 100, 'd')) < 0)
        std::abort();
    static std::FILE *devNull = std::fopen("/dev/null", "w");
    setToolStreams(devNull, devNull);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(bytes), qsizetype(size));
    {
        QFile file(workspace->descriptor);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(input) != input.size())
            std::abort();
    }

    QString error;
    qint64 length = -1;
    const std::optional<DescriptorHeader> header = readDescriptorHeader(workspace->descriptor, &error, &length);
    require(header.has_value(), "a readable file always gives a header");
    require(length == input.size(), "the reported length is the file's");

    const DescriptorCheck check = checkDescriptor(*header, length);
    require(check.usable() == check.reason.isEmpty(), "a refusal always says why");
    checkEscaped(check.reason);
    if (input.size() >= DescriptorHeader::HeaderSize) {
        // Every 3082-byte header survives a round trip byte for byte.
        const std::optional<QByteArray> again = header->toBytes();
        require(again && *again == input.left(DescriptorHeader::HeaderSize), "the header round-trips");
    }
    checkTrailer(*header, length, input.size());
    checkSafeFileName(header->fileName);
    checkSafeFileName(trimSpaces(header->fileName));
    checkEscaped(header->information);
    const QStringList entries = serverEntries(*header);
    for (qsizetype i = 0; i < entries.size(); ++i) {
        checkEscaped(entryUrl(entries, i));
        checkEscaped(serverDisplayName(entries[i]));
    }

    runInfo({workspace->descriptor});
    runVerify({workspace->descriptor, workspace->data});
    runVerify({workspace->descriptor, workspace->descriptor});
    return 0;
}
