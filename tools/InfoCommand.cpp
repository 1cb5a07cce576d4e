#include "ToolSupport.h"

#include "descriptor/DescriptorHeader.h"
#include "util/Format.h"

#include <QFileInfo>

#include <charconv>

namespace {

// The shortest text that reads back as the same 32-bit float.
QString floatText(float value)
{
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, value);
    return QString::fromLatin1(buf, res.ptr - buf);
}

QString row(const char *label, const QString &value)
{
    return QStringLiteral("%1 %2").arg(QString::fromLatin1(label), -17).arg(value);
}

}  // namespace

std::optional<DescriptorHeader> loadDescriptor(const QString &path, qint64 *descriptorSize)
{
    const QFileInfo info(path);
    if (!info.isFile()) {
        refuse(QStringLiteral("cannot read %1: no such file").arg(path));
        return std::nullopt;
    }
    QString error;
    std::optional<DescriptorHeader> record = readDescriptorHeader(path, &error);
    if (!record) {
        refuse(QStringLiteral("cannot read %1: %2").arg(path, error));
        return std::nullopt;
    }
    if (info.size() < DescriptorHeader::HeaderSize) {
        refuse(QStringLiteral("%1 is not a descriptor: %2 bytes, a header needs %3")
                   .arg(path).arg(info.size()).arg(DescriptorHeader::HeaderSize));
        return std::nullopt;
    }
    *descriptorSize = info.size();
    return record;
}

int runInfo(const QStringList &args)
{
    if (args.size() != 1)
        return refuse(QStringLiteral("usage: orvanta-ddf info DESCRIPTOR"));
    qint64 descriptorSize = 0;
    const std::optional<DescriptorHeader> d = loadDescriptor(args.first(), &descriptorSize);
    if (!d)
        return ExitUsage;

    const qint64 size = d->fileSize;
    const qint64 blocks = size > 0 ? (size + 4095) / 4096 : 0;
    const qint64 listBytes = descriptorSize - DescriptorHeader::HeaderSize;
    QString version = floatText(d->version);
    if (!versionAccepted(d->version))
        version += QStringLiteral(" (below 1.04: the downloader refuses this descriptor)");
    else if (!versionCoversLastByte(d->version))
        version += QStringLiteral(" (block CRCs leave out each block's last byte)");

    printOut(row("File name:", trimSpaces(d->fileName)));
    printOut(row("File size:", QStringLiteral("%1 bytes (%2)").arg(size).arg(formatByteSize(double(size)))));
    printOut(row("Information:", trimSpaces(d->information)));
    printOut(row("Version:", version));
    printOut(row("Start parameter:", d->startParam != 0 ? QStringLiteral("yes (%1)").arg(d->startParam)
                                                          : QStringLiteral("no (0)")));
    const QStringList servers = serverEntries(*d);
    printOut(row("Servers:", QString::number(servers.size())));
    for (const QString &server : servers)
        printOut(QStringLiteral("  ") + server);
    printOut(row("Blocks:", QString::number(blocks)));
    if (listBytes == blocks * 4)
        printOut(row("CRC list:", QStringLiteral("%1 entries, matches the file size").arg(blocks)));
    else
        printOut(row("CRC list:", QStringLiteral("%1 entries%2, does not match the file size (%3 expected)")
                                      .arg(listBytes / 4)
                                      .arg(listBytes % 4 ? QStringLiteral(" and %1 stray bytes").arg(listBytes % 4) : QString())
                                      .arg(blocks)));
    return ExitOk;
}
