#include "DownloadDescriptor.h"

#include "ToolSupport.h"

#include <descriptor/DescriptorCheck.h>

std::optional<DownloadDescriptor> readDownloadDescriptor(const QString &path)
{
    const std::optional<DescriptorArgument> d = readDescriptorArgument(path);
    if (!d)
        return std::nullopt;
    const DescriptorCheck check = checkDescriptor(d->header, d->length);
    if (!check.usable()) {
        refuse(QStringLiteral("%1 is refused: %2").arg(path, check.reason));
        return std::nullopt;
    }
    return DownloadDescriptor{path, d->header, qint64(d->header.fileSize)};
}
