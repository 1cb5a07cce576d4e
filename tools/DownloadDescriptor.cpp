#include "DownloadDescriptor.h"

#include "ToolSupport.h"

#include <descriptor/DescriptorCheck.h>

std::optional<DownloadDescriptor> readDownloadDescriptor(const QString &path)
{
    const std::optional<DescriptorArgument> d = readDescriptorArgument(path);
    if (!d)
        return std::nullopt;
    const TrailerRead trailer = readTrailer(path, d->header, d->length);
    const DescriptorCheck check = checkDescriptor(d->header, d->length, trailer);
    if (!check.usable()) {
        refuse(QStringLiteral("%1 is refused: %2").arg(path, check.reason));
        return std::nullopt;
    }
    const qint64 fileSize = trailer.trailer ? trailer.trailer->fileSize : qint64(d->header.fileSize);
    return DownloadDescriptor{path, d->header, fileSize, trailer.trailer};
}
