#include "ToolSupport.h"

#include "descriptor/DescriptorCheck.h"
#include "descriptor/DescriptorHeader.h"
#include "util/Format.h"
#include "util/Paths.h"

#include <QCommandLineParser>

namespace {

QString row(const char *label, const QString &value)
{
    return QStringLiteral("%1 %2").arg(QString::fromLatin1(label), -17).arg(value);
}

// Descriptor texts are printed escaped: a descriptor must not be able to
// move the cursor, retitle the terminal or hide part of a line.
QString shown(const QString &text)
{
    return escapeControlCharacters(trimSpaces(text));
}

}  // namespace

int runInfo(const QStringList &args)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Shows what a descriptor says and whether the downloader takes it."));
    parser.addPositionalArgument(QStringLiteral("DESCRIPTOR"), QStringLiteral("The descriptor file."));
    if (const std::optional<int> done = parseCommand(parser, QStringLiteral("info"), args))
        return *done;
    if (parser.positionalArguments().size() != 1)
        return refuse(QStringLiteral("usage: orvanta-ddf info DESCRIPTOR"));
    const std::optional<DescriptorArgument> d = readDescriptorArgument(parser.positionalArguments().first());
    if (!d)
        return ExitUsage;
    const DescriptorHeader &h = d->header;

    const std::optional<DescriptorTrailer> &trailer = d->trailer.trailer;
    const qint64 size = d->fileSize();
    const qint64 blocks = blockCount(size);
    const qint64 listBytes = (trailer ? trailer->offset : d->length) - DescriptorHeader::CrcListOffset;
    QString version = versionText(h.version);
    if (!versionPlausible(h.version))
        version += QStringLiteral(" (not a version number: the downloader refuses this descriptor)");
    else if (!versionAccepted(h.version))
        version += QStringLiteral(" (below 1.04: the downloader refuses this descriptor)");
    else if (!versionCoversLastByte(h.version))
        version += QStringLiteral(" (block CRCs leave out each block's last byte)");

    printOut(row("File name:", shown(h.fileName)));
    printOut(row("File size:", size < 1024 ? byteCount(size)
                                           : QStringLiteral("%1 (%2)").arg(byteCount(size), formatByteSize(double(size)))));
    printOut(row("Information:", shown(h.information)));
    printOut(row("Version:", version));
    printOut(row("Start parameter:", h.startParam != 0 ? QStringLiteral("yes (%1)").arg(h.startParam)
                                                         : QStringLiteral("no (0)")));
    const QStringList servers = serverEntries(h);
    printOut(row("Servers:", QString::number(servers.size())));
    for (const QString &server : servers)
        printOut(QStringLiteral("  ") + shown(server));
    printOut(row("Blocks:", QString::number(blocks)));
    if (listBytes == blocks * 4)
        printOut(row("CRC list:", QStringLiteral("%1 entries, matches the file size").arg(blocks)));
    else
        printOut(row("CRC list:", QStringLiteral("%1 entries%2, does not match the file size (%3 expected)")
                                      .arg(listBytes / 4)
                                      .arg(listBytes % 4 ? QStringLiteral(" and %1 stray bytes").arg(listBytes % 4) : QString())
                                      .arg(blocks)));
    if (trailer) {
        printOut(row("Chunk size:", QStringLiteral("%1 bytes (%2 chunks)").arg(trailer->chunkSize).arg(trailer->chunkCount)));
        printOut(row("SHA-256:", digestHex(trailer->fileHash)));
    } else if (!d->trailer.check.usable()) {
        printOut(row("Hashes:", d->trailer.check.reason));
    } else {
        printOut(row("Hashes:", QStringLiteral("none (CRC-32 of each block only)")));
    }
    const DescriptorCheck check = checkDescriptor(h, d->length, d->trailer);
    printOut(row("Downloader:", check.usable() ? QStringLiteral("accepts it") : QStringLiteral("refuses it. ") + check.reason));
    return check.usable() ? ExitOk : ExitFailed;
}
