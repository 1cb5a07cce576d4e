#include "DescriptorCheck.h"

#include "DescriptorTrailer.h"

#include "util/Format.h"
#include "util/Paths.h"

#include <QUrl>

namespace {

// `trailer`: nullptr for a descriptor without one.
DescriptorCheck judge(const DescriptorHeader &header, qint64 descriptorLength, const TrailerRead *trailer)
{
    const auto fault = [](DescriptorFault f, const QString &reason) { return DescriptorCheck{f, reason}; };
    if (descriptorLength <= 0)
        return fault(DescriptorFault::Empty, QStringLiteral("The descriptor file is empty."));
    if (descriptorLength < DescriptorHeader::HeaderSize)
        return fault(DescriptorFault::Truncated,
                     QStringLiteral("The descriptor file is cut short: it holds %1, but its header alone takes %2.")
                         .arg(byteCount(descriptorLength))
                         .arg(DescriptorHeader::HeaderSize));
    if (!versionPlausible(header.version))
        return fault(DescriptorFault::DamagedVersion,
                     QStringLiteral("The descriptor is damaged: its format version field holds no version number."));
    if (!versionAccepted(header.version))
        return fault(DescriptorFault::OldVersion,
                     QStringLiteral("The descriptor is of format version %1, older than 1.04.").arg(versionText(header.version)));
    if (trailer && !trailer->check.usable())
        return trailer->check;
    const qint64 fileSize = trailer && trailer->trailer ? trailer->trailer->fileSize : qint64(header.fileSize);
    if (fileSize < 1)
        return fault(DescriptorFault::SizeBelowOne,
                     QStringLiteral("The descriptor gives a file size of %1; there is nothing to download.")
                         .arg(byteCount(fileSize)));
    const QStringList entries = serverEntries(header);
    if (entries.isEmpty())
        return fault(DescriptorFault::NoServers, QStringLiteral("The descriptor names no server to download from."));
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const QUrl url(entryUrl(entries, i));
        const QString scheme = url.scheme().toLower();
        if (!url.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
            || url.host().isEmpty())
            return fault(DescriptorFault::ServerNotHttp,
                         QStringLiteral("Server %1 of the descriptor, \"%2\", is not an http:// or https:// address.")
                             .arg(i + 1)
                             .arg(escapeControlCharacters(entries[i])));
    }
    const qint64 needed = blockCount(fileSize);
    const qint64 present = (descriptorLength - DescriptorHeader::CrcListOffset) / 4;
    if (present < needed)
        return fault(DescriptorFault::CrcListShort,
                     QStringLiteral("The descriptor's checksum list is cut short: the file's %1 blocks need %1 "
                                    "entries, but the descriptor holds %2.")
                         .arg(needed)
                         .arg(present));
    return {};
}

}  // namespace

DescriptorCheck checkDescriptor(const DescriptorHeader &header, qint64 descriptorLength)
{
    return judge(header, descriptorLength, nullptr);
}

DescriptorCheck checkDescriptor(const DescriptorHeader &header, qint64 descriptorLength, const TrailerRead &trailer)
{
    return judge(header, descriptorLength, &trailer);
}
