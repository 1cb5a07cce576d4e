#include "DescriptorHeader.h"

#include "Crc32.h"

#include "util/ReadFully.h"
#include "util/Windows1252.h"

#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <bit>
#include <charconv>
#include <cstring>

namespace {

constexpr int StartParamOffset = 0;
constexpr int FileSizeOffset = 2;
constexpr int InformationOffset = 6;
constexpr int FileNameOffset = 262;
constexpr int ServersOffset = 518;
constexpr int VersionOffset = 3078;

// Pads with spaces to the field size; nullopt when the text does not fit
// or has no Windows-1252 form.
std::optional<QByteArray> encodeField(const QString &text)
{
    std::optional<QByteArray> bytes = encodeWindows1252(text);
    if (!bytes || bytes->size() > DescriptorHeader::TextSize)
        return std::nullopt;
    bytes->append(DescriptorHeader::TextSize - bytes->size(), ' ');
    return bytes;
}

// Zero characters cannot be part of a name or URL; a slot filled up with
// zero bytes after its text must not carry them into a request.
QString cleanPart(const QString &part)
{
    QString cleaned = part;
    cleaned.remove(QChar(0));
    return trimSpaces(cleaned);
}

}  // namespace

DescriptorHeader DescriptorHeader::fromBytes(QByteArrayView bytes)
{
    QByteArray header(HeaderSize, '\0');
    std::memcpy(header.data(), bytes.data(), std::min<qsizetype>(bytes.size(), HeaderSize));
    const auto *p = reinterpret_cast<const uchar *>(header.constData());
    const auto text = [&](int offset) { return decodeWindows1252(QByteArrayView(header).sliced(offset, TextSize)); };

    DescriptorHeader r;
    r.startParam = qFromLittleEndian<qint16>(p + StartParamOffset);
    r.fileSize = qFromLittleEndian<qint32>(p + FileSizeOffset);
    r.information = text(InformationOffset);
    r.fileName = text(FileNameOffset);
    for (int i = 0; i < ServerSlots; ++i)
        r.servers[i] = text(ServersOffset + i * TextSize);
    r.version = std::bit_cast<float>(qFromLittleEndian<quint32>(p + VersionOffset));
    return r;
}

std::optional<QByteArray> DescriptorHeader::toBytes() const
{
    QByteArray header(HeaderSize, '\0');
    auto *p = reinterpret_cast<uchar *>(header.data());
    qToLittleEndian<qint16>(startParam, p + StartParamOffset);
    qToLittleEndian<qint32>(fileSize, p + FileSizeOffset);
    const auto put = [&](int offset, const QString &text) {
        const std::optional<QByteArray> field = encodeField(text);
        if (field)
            header.replace(offset, TextSize, *field);
        return field.has_value();
    };
    if (!put(InformationOffset, information) || !put(FileNameOffset, fileName))
        return std::nullopt;
    for (int i = 0; i < ServerSlots; ++i) {
        if (!servers[i].isEmpty() && !put(ServersOffset + i * TextSize, servers[i]))
            return std::nullopt;  // an empty slot stays 256 zero bytes
    }
    qToLittleEndian<quint32>(std::bit_cast<quint32>(version), header.data() + VersionOffset);
    return header;
}

std::optional<DescriptorHeader> readDescriptorHeader(const QString &path, QString *error, qint64 *fileLength)
{
    const auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return std::nullopt;
    };
    const QFileInfo info(path);
    if (info.isDir())
        return fail(QStringLiteral("%1 is a folder, not a descriptor file").arg(path));
    // A pipe or device would block or never end.
    if (info.exists() && !info.isFile())
        return fail(QStringLiteral("%1 is not a regular file").arg(path));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(file.errorString());
    QByteArray header(DescriptorHeader::HeaderSize, '\0');
    if (readFully(file, header.data(), header.size()) < 0)
        return fail(file.errorString());
    if (fileLength)
        *fileLength = file.size();
    return DescriptorHeader::fromBytes(header);
}

qint64 blockCount(qint64 fileSize)
{
    return fileSize > 0 ? (fileSize + BlockSize - 1) / BlockSize : 0;
}

quint32 blockCrc32(QByteArrayView block, float version)
{
    qsizetype covered = block.size();
    if (!versionCoversLastByte(version) && covered > 0)
        --covered;
    return crc32(block.data(), std::size_t(covered));
}

QString trimSpaces(const QString &text)
{
    qsizetype begin = 0, end = text.size();
    while (begin < end && text[begin] == QLatin1Char(' '))
        ++begin;
    while (end > begin && text[end - 1] == QLatin1Char(' '))
        --end;
    return text.sliced(begin, end - begin);
}

bool versionAccepted(float version)
{
    return version >= 1.04f;
}

bool versionPlausible(float version)
{
    return version >= MinPlausibleVersion && version <= MaxPlausibleVersion;  // false for NaN
}

QString versionText(float version)
{
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, version).ptr;
    return QString::fromLatin1(text, end - text);
}

bool versionCoversLastByte(float version)
{
    return version >= 1.2f;
}

bool isEmptyServerEntry(const QString &entry)
{
    QString rest = trimSpaces(entry);
    rest.remove(QChar(0));
    return rest.isEmpty();
}

QStringList serverEntries(const DescriptorHeader &record)
{
    QStringList entries;
    for (const QString &slot : record.servers) {
        if (isEmptyServerEntry(slot))
            break;
        entries.append(trimSpaces(slot));
    }
    return entries;
}


QString serverDisplayName(const QString &entry)
{
    const qsizetype bar = entry.indexOf(QLatin1Char('|'));
    return cleanPart(bar < 0 ? entry : entry.left(bar));
}

QString serverUrl(const QString &entry)
{
    const qsizetype first = entry.indexOf(QLatin1Char('|'));
    if (first < 0)
        return cleanPart(entry);
    const qsizetype second = entry.indexOf(QLatin1Char('|'), first + 1);
    return cleanPart(second < 0 ? entry.mid(first + 1) : entry.mid(first + 1, second - first - 1));
}

QString entryUrl(const QStringList &entries, qsizetype index)
{
    // A lone entry written as "Name|URL", as in a list, means its URL; one
    // that starts as an address is taken whole, "|" and all.
    const QString name = serverDisplayName(entries[index]);
    const bool address = name.startsWith(QLatin1String("http://"), Qt::CaseInsensitive)
                         || name.startsWith(QLatin1String("https://"), Qt::CaseInsensitive);
    return entries.size() == 1 && address ? cleanPart(entries[index]) : serverUrl(entries[index]);
}
