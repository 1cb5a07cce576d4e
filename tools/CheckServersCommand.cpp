#include "DownloadDescriptor.h"
#include "ServerProbe.h"
#include "ToolSupport.h"

#include <descriptor/CrcListReader.h>
#include <descriptor/DescriptorHeader.h>
#include <util/Paths.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include <memory>
#include <vector>

namespace {

const char *const CheckDescription =
    "Asks every server of DESCRIPTOR, all at once and within a time limit, for a sample of the\n"
    "file's blocks (the first, the last and three spread between): which status and reason it\n"
    "answers, whether the size is right, whether it honours Range, whether the blocks match the\n"
    "descriptor's CRCs, and what it sends as ETag and Last-Modified. Prints one row per server and\n"
    "a summary.\n"
    "\n"
    "Exit status: 0 when every server is good, 1 when one is not, 2 on bad input.";

constexpr int BlocksBetween = 3;

// The blocks every server is asked for: the first, the last and a few spread
// between, in order and each once.
QList<qint64> sampleBlockNumbers(qint64 fileSize)
{
    const qint64 blocks = blockCount(fileSize);
    QList<qint64> numbers{0};
    for (int k = 1; k <= BlocksBetween; ++k)
        numbers << blocks * k / (BlocksBetween + 1);
    numbers << blocks - 1;
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    return numbers;
}

// The sampled blocks with their CRCs; nullopt after saying why.
std::optional<QList<SampleBlock>> readSamples(const QString &ddfPath, qint64 fileSize)
{
    CrcListReader reader;
    if (const std::optional<QString> failure = reader.open(ddfPath)) {
        refuse(QStringLiteral("cannot read %1: %2").arg(ddfPath, *failure));
        return std::nullopt;
    }
    QList<SampleBlock> samples;
    for (const qint64 block : sampleBlockNumbers(fileSize)) {
        reader.seekBlock(block);
        const std::optional<quint32> crc = reader.next();
        if (!crc) {
            refuse(QStringLiteral("cannot read the CRC of block %1 from %2").arg(block).arg(ddfPath));
            return std::nullopt;
        }
        samples << SampleBlock{block, *crc};
    }
    return samples;
}

QString shown(const QString &text)
{
    return text.isEmpty() ? QStringLiteral("-") : escapeControlCharacters(text);
}

QStringList rowOf(const ServerReport &r, qint64 fileSize, bool everyChunk)
{
    const QString answer = !r.answered() ? QStringLiteral("no answer")
                                         : QStringLiteral("%1 %2").arg(r.status).arg(r.reason).trimmed();
    const bool served = r.status == 200 || r.status == 206;
    const QString size = !served ? QStringLiteral("-")
                         : !r.size ? QStringLiteral("unknown")
                         : r.sizeRight ? QStringLiteral("ok")
                                       : QString::number(*r.size);
    const QString range = !served ? QStringLiteral("-") : r.rangeHonoured ? QStringLiteral("yes") : QStringLiteral("no");
    QString blocks = r.blocksChecked == 0 ? QStringLiteral("-")
                                          : QStringLiteral("%1/%2 ok").arg(r.blocksChecked - r.badBlocks.size()).arg(r.blocksChecked);
    if (r.blocksChecked > 0 && r.blocksUnchecked > 0)
        blocks += QStringLiteral(", %1 unchecked").arg(r.blocksUnchecked);
    const QStringList problems = r.problems(fileSize);
    QStringList row{QString::number(r.number), shown(r.name), shown(answer), size, range, blocks, shown(r.etag),
                    shown(r.lastModified), problems.isEmpty() ? QStringLiteral("good") : shown(problems.join(QStringLiteral("; ")))};
    if (everyChunk)
        row.insert(6, r.chunksChecked == 0 ? QStringLiteral("-")
                                           : QStringLiteral("%1/%2 ok").arg(r.chunksChecked - r.chunksBad).arg(r.chunksChecked));
    return row;
}

void printTable(const std::vector<ServerReport> &reports, qint64 fileSize, bool everyChunk)
{
    QStringList titles{QStringLiteral("#"), QStringLiteral("SERVER"), QStringLiteral("ANSWER"), QStringLiteral("SIZE"),
                       QStringLiteral("RANGE"), QStringLiteral("BLOCKS"), QStringLiteral("ETAG"),
                       QStringLiteral("LAST-MODIFIED"), QStringLiteral("VERDICT")};
    if (everyChunk)
        titles.insert(6, QStringLiteral("CHUNKS"));
    QList<QStringList> rows{titles};
    for (const ServerReport &r : reports)
        rows << rowOf(r, fileSize, everyChunk);
    QList<qsizetype> widths(rows.first().size(), 0);
    for (const QStringList &row : rows)
        for (qsizetype i = 0; i < row.size(); ++i)
            widths[i] = std::max(widths[i], row[i].size());
    for (const QStringList &row : rows) {
        QString line;
        for (qsizetype i = 0; i + 1 < row.size(); ++i)
            line += row[i].leftJustified(widths[i] + 2);
        printOut(line + row.last());
    }
    const auto good = std::count_if(reports.begin(), reports.end(), [](const ServerReport &r) { return r.good(); });
    printOut(QStringLiteral("%1 of %2 servers good%3").arg(good).arg(reports.size())
                 .arg(qsizetype(good) == qsizetype(reports.size())
                          ? QStringLiteral(".")
                          : QStringLiteral("; %1 with problems.").arg(qsizetype(reports.size()) - good)));
}

QJsonObject jsonOf(const ServerReport &r, qint64 fileSize)
{
    QJsonArray bad;
    for (const qint64 block : r.badBlocks)
        bad << block;
    QJsonObject o{{"number", r.number}, {"name", r.name}, {"url", r.url}, {"answered", r.answered()},
                  {"status", r.status}, {"reason", r.reason}, {"sizeRight", r.sizeRight},
                  {"rangeHonoured", r.rangeHonoured}, {"blocksChecked", r.blocksChecked}, {"badBlocks", bad},
                  {"blocksUnchecked", r.blocksUnchecked}, {"chunksChecked", double(r.chunksChecked)},
                  {"chunksBad", double(r.chunksBad)}, {"etag", r.etag}, {"lastModified", r.lastModified},
                  {"good", r.good()}, {"problems", QJsonArray::fromStringList(r.problems(fileSize))}};
    o.insert("size", r.size ? QJsonValue(double(*r.size)) : QJsonValue());
    o.insert("failure", r.failure.isEmpty() ? QJsonValue() : QJsonValue(r.failure));
    return o;
}

void printJson(const QString &ddfPath, const std::vector<ServerReport> &reports, qint64 fileSize,
               const QList<SampleBlock> &samples)
{
    QJsonArray servers, blocks;
    for (const ServerReport &r : reports)
        servers << jsonOf(r, fileSize);
    for (const SampleBlock &s : samples)
        blocks << double(s.block);
    const auto good = std::count_if(reports.begin(), reports.end(), [](const ServerReport &r) { return r.good(); });
    const QJsonObject all{{"descriptor", ddfPath}, {"fileSize", double(fileSize)}, {"sampledBlocks", blocks},
                          {"servers", servers}, {"good", int(good)}, {"allGood", qsizetype(good) == qsizetype(reports.size())}};
    printOut(QString::fromUtf8(QJsonDocument(all).toJson(QJsonDocument::Indented)).trimmed());
}

} // namespace

int runCheckServers(const QStringList &args)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(CheckDescription));
    parser.addPositionalArgument(QStringLiteral("DESCRIPTOR"), QStringLiteral("The descriptor whose servers to check."));
    const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("Print the same as JSON."));
    const QCommandLineOption full(QStringLiteral("full"),
                                  QStringLiteral("Also fetch every chunk and check its SHA-256, where the "
                                                 "descriptor has a trailer of hashes (the time limit then "
                                                 "bounds each request's silence)."));
    const QCommandLineOption timeout(QStringLiteral("timeout"),
                                     QStringLiteral("Seconds each server is given (default 30)."), QStringLiteral("S"),
                                     QStringLiteral("30"));
    parser.addOptions({json, full, timeout});
    if (const std::optional<int> done = parseCommand(parser, QStringLiteral("check-servers"), args))
        return *done;
    if (parser.positionalArguments().size() != 1)
        return refuse(QStringLiteral("usage: orvanta-ddf check-servers DESCRIPTOR"));
    bool ok = false;
    const int seconds = parser.value(timeout).toInt(&ok);
    if (!ok || seconds < 1 || seconds > 3600)
        return refuse(QStringLiteral("--timeout takes seconds from 1 to 3600"));
    const QString ddfPath = parser.positionalArguments().first();
    const std::optional<DownloadDescriptor> descriptor = readDownloadDescriptor(ddfPath);
    if (!descriptor)
        return ExitUsage;
    const DescriptorHeader &header = descriptor->header;
    const qint64 fileSize = descriptor->fileSize;
    const std::optional<QList<SampleBlock>> samples = readSamples(ddfPath, fileSize);
    if (!samples)
        return ExitUsage;
    const bool everyChunk = parser.isSet(full) && descriptor->strongHashes;
    if (parser.isSet(full) && !everyChunk)
        printErr(QStringLiteral("orvanta-ddf: %1 carries no chunk hashes; only the sampled blocks are checked").arg(ddfPath));

    const QStringList entries = serverEntries(header);
    std::vector<std::unique_ptr<ServerProbe>> probes;
    int running = int(entries.size());
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const ServerProbe::Target target{int(i) + 1, serverDisplayName(entries[i]), entryUrl(entries, i),
                                         header.startParam != 0, fileSize, header.version,
                                         everyChunk ? descriptor->strongHashes : std::nullopt, ddfPath};
        probes.push_back(std::make_unique<ServerProbe>(target, *samples, seconds));
        QObject::connect(probes.back().get(), &ServerProbe::finished, QCoreApplication::instance(), [&running] {
            if (--running == 0)
                QCoreApplication::exit(0);
        });
    }
    for (const auto &probe : probes)
        QTimer::singleShot(0, probe.get(), &ServerProbe::start);
    QCoreApplication::exec();

    std::vector<ServerReport> reports;
    for (const auto &probe : probes)
        reports.push_back(probe->report());
    if (parser.isSet(json))
        printJson(ddfPath, reports, fileSize, *samples);
    else
        printTable(reports, fileSize, everyChunk);
    const bool allGood = std::all_of(reports.begin(), reports.end(), [](const ServerReport &r) { return r.good(); });
    return allGood ? ExitOk : ExitFailed;
}
