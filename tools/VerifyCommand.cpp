#include "ToolSupport.h"

#include "descriptor/BlockScan.h"
#include "descriptor/ChunkScan.h"
#include "descriptor/DescriptorHeader.h"

#include <QCommandLineParser>
#include <QFileInfo>

namespace {

// Names the chunks found bad; at most the first 20 are listed one a line.
void printBadChunks(const QString &dataPath, const DescriptorTrailer &trailer, const BlockScanResult &r)
{
    printOut(QStringLiteral("%1: %2 bad chunk%3 of %4 bytes each")
                 .arg(dataPath)
                 .arg(r.badChunks.size())
                 .arg(r.badChunks.size() == 1 ? QString() : QStringLiteral("s"))
                 .arg(trailer.chunkSize));
    const std::size_t shown = std::min<std::size_t>(r.badChunks.size(), 20);
    for (std::size_t i = 0; i < shown; ++i) {
        const qint64 c = r.badChunks[i];
        printOut(QStringLiteral("  chunk %1: bytes %2 to %3").arg(c).arg(trailer.chunkStart(c)).arg(trailer.chunkEnd(c) - 1));
    }
    if (shown < r.badChunks.size())
        printOut(QStringLiteral("  and %1 more").arg(r.badChunks.size() - shown));
}

}  // namespace

int runVerify(const QStringList &args)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Checks FILE block by block against a descriptor's CRC list, as the downloader does, and\n"
        "chunk by chunk against its SHA-256 hashes when it has them.\n"
        "Exits 0 when FILE is complete and intact, 1 when it is not."));
    parser.addPositionalArgument(QStringLiteral("DESCRIPTOR"), QStringLiteral("The descriptor file."));
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("The file to check."));
    if (const std::optional<int> done = parseCommand(parser, QStringLiteral("verify"), args))
        return *done;
    if (parser.positionalArguments().size() != 2)
        return refuse(QStringLiteral("usage: orvanta-ddf verify DESCRIPTOR FILE"));
    const QString ddfPath = parser.positionalArguments()[0];
    const QString dataPath = parser.positionalArguments()[1];
    const std::optional<DescriptorArgument> descriptor = readDescriptorArgument(ddfPath);
    if (!descriptor)
        return ExitUsage;
    const DescriptorHeader *d = &descriptor->header;
    if (!versionPlausible(d->version))
        return refuse(QStringLiteral("%1 is damaged: its version field holds no version number").arg(ddfPath));
    if (!versionAccepted(d->version))
        return refuse(QStringLiteral("%1 has format version below 1.04; the downloader refuses it").arg(ddfPath));
    if (!descriptor->trailer.check.usable())
        return refuse(QStringLiteral("%1: %2").arg(ddfPath, descriptor->trailer.check.reason));
    const QFileInfo data(dataPath);
    if (!data.isFile())
        return refuse(QStringLiteral("cannot read %1: %2")
                          .arg(dataPath, data.exists() ? QStringLiteral("not a regular file") : QStringLiteral("no such file")));

    const std::optional<DescriptorTrailer> &trailer = descriptor->trailer.trailer;
    ProgressLine progress(QStringLiteral("verify"), data.size());
    const auto onGood = [&](qint64 p) {
        if (p % (1024 * 1024) == 0)
            progress.update(p);
    };
    const BlockScanResult r = trailer ? scanChunks(dataPath, ddfPath, d->version, *trailer, {.stopAtFirstBad = false}, onGood)
                                      : scanBlocks(dataPath, ddfPath, d->version, onGood);
    progress.finish();
    if (r.error)
        return refuse(QStringLiteral("cannot read ") + *r.error);

    const qint64 expected = descriptor->fileSize();
    if (r.fileLength == expected && !r.mismatch) {
        printOut(QStringLiteral("%1: complete and intact (%2 bytes%3)")
                     .arg(dataPath)
                     .arg(r.fileLength)
                     .arg(trailer ? QStringLiteral(", every chunk's SHA-256 matches") : QString()));
        return ExitOk;
    }
    if (r.fileLength != expected) {
        printOut(QStringLiteral("%1: %2 than described (%3 of %4 bytes); intact up to offset %5")
                     .arg(dataPath, r.fileLength < expected ? QStringLiteral("shorter") : QStringLiteral("longer"))
                     .arg(r.fileLength)
                     .arg(expected)
                     .arg(r.goodLength));
        return ExitFailed;
    }
    if (trailer) {
        printBadChunks(dataPath, *trailer, r);
        return ExitFailed;
    }
    const qint64 block = r.goodLength / BlockSize;
    if (r.entryMissing)
        printOut(QStringLiteral("%1: block %2 at offset %3 has no CRC entry in the descriptor")
                     .arg(dataPath).arg(block).arg(r.goodLength));
    else
        printOut(QStringLiteral("%1: first bad block %2 at offset %3").arg(dataPath).arg(block).arg(r.goodLength));
    return ExitFailed;
}
