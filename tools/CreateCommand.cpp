#include "ToolSupport.h"

#include "descriptor/DescriptorCheck.h"
#include "descriptor/DescriptorHeader.h"
#include "descriptor/DescriptorTrailer.h"
#include "descriptor/DescriptorWriter.h"
#include "util/Paths.h"
#include "util/Windows1252.h"

#include <QCommandLineParser>
#include <QFileInfo>

#include <cmath>
#include <limits>

namespace {

struct CreateOptions {
    QString file;
    QString out;
    QStringList servers;
    std::optional<QString> name;
    QString info;
    bool startParam = false;
    QString version = QStringLiteral("1.2");
    bool force = false;
    bool crcOnly = false;
};

// The options of create; nullopt with the exit code when the command ends
// here (help shown or the arguments refused).
std::optional<CreateOptions> parse(const QStringList &args, int *exitCode)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Writes the descriptor of FILE. With one server give its bare URL; with two to ten, every\n"
        "server as \"Name|URL\"."));
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("The file to describe."));
    const QCommandLineOption out({QStringLiteral("o"), QStringLiteral("output")},
                                 QStringLiteral("Where to write the descriptor."), QStringLiteral("OUT.ddf"));
    const QCommandLineOption server(QStringLiteral("server"), QStringLiteral("A server, in the order to offer (1 to 10)."),
                                    QStringLiteral("URL"));
    const QCommandLineOption name(QStringLiteral("name"),
                                  QStringLiteral("The file name to suggest (default: FILE's name)."), QStringLiteral("NAME"));
    const QCommandLineOption info(QStringLiteral("info"), QStringLiteral("A text for the user."), QStringLiteral("TEXT"));
    const QCommandLineOption startParam(QStringLiteral("start-param"),
                                        QStringLiteral("The servers take the resume offset as \"&start=\" in the URL."));
    const QCommandLineOption version(QStringLiteral("format-version"),
                                     QStringLiteral("The format version to write (default 1.2)."), QStringLiteral("V"));
    const QCommandLineOption force(QStringLiteral("force"), QStringLiteral("Replace OUT.ddf when it exists."));
    const QCommandLineOption crcOnly(QStringLiteral("crc-only"),
                                     QStringLiteral("Write the first format alone: no SHA-256 trailer, files up to 2 GiB."));
    parser.addOptions({out, server, name, info, startParam, version, force, crcOnly});
    if (const std::optional<int> done = parseCommand(parser, QStringLiteral("create"), args)) {
        *exitCode = *done;
        return std::nullopt;
    }
    const auto refused = [exitCode](const QString &why) {
        *exitCode = refuse(why);
        return std::nullopt;
    };
    if (parser.positionalArguments().size() != 1)
        return refused(QStringLiteral("create takes exactly one FILE"));
    if (!parser.isSet(out))
        return refused(QStringLiteral("create needs -o OUT.ddf"));
    CreateOptions o;
    o.file = parser.positionalArguments().first();
    o.out = parser.values(out).last();
    o.servers = parser.values(server);
    if (parser.isSet(name))
        o.name = parser.values(name).last();
    if (parser.isSet(info))
        o.info = parser.values(info).last();
    o.startParam = parser.isSet(startParam);
    if (parser.isSet(version))
        o.version = parser.values(version).last();
    o.force = parser.isSet(force);
    o.crcOnly = parser.isSet(crcOnly);
    return o;
}

// nullopt when `text` fits a 256-byte Windows-1252 field, else why not.
std::optional<QString> fieldProblem(const QString &what, const QString &text)
{
    const std::optional<QByteArray> bytes = encodeWindows1252(text);
    if (!bytes)
        return QStringLiteral("%1 \"%2\" has characters that Windows-1252 cannot encode").arg(what, text);
    if (bytes->size() > DescriptorHeader::TextSize)
        return QStringLiteral("%1 is %2 bytes long; at most %3 fit").arg(what).arg(bytes->size()).arg(DescriptorHeader::TextSize);
    return std::nullopt;
}

// nullopt when the server list is one the downloader reads back as given.
std::optional<QString> serverProblem(const QStringList &servers)
{
    if (servers.isEmpty())
        return QStringLiteral("give at least one --server");
    if (servers.size() > DescriptorHeader::ServerSlots)
        return QStringLiteral("%1 servers given; a descriptor holds at most %2").arg(servers.size()).arg(DescriptorHeader::ServerSlots);
    for (const QString &server : servers) {
        if (isEmptyServerEntry(server))
            return QStringLiteral("a server entry is empty");
        if (auto problem = fieldProblem(QStringLiteral("server"), server))
            return problem;
    }
    if (servers.size() == 1) {
        // A lone entry is taken whole as the URL, so a name would become part of it.
        if (servers.first().contains(QLatin1Char('|')))
            return QStringLiteral("with a single server give its bare URL, without \"Name|\"");
        return std::nullopt;
    }
    for (const QString &server : servers) {
        if (!server.contains(QLatin1Char('|')))
            return QStringLiteral("with two or more servers every entry must be \"Name|URL\"; \"%1\" has no \"|\"").arg(server);
        if (serverUrl(server).isEmpty())
            return QStringLiteral("server \"%1\" has no URL after \"|\"").arg(server);
    }
    return std::nullopt;
}

}  // namespace

int runCreate(const QStringList &args)
{
    int exitCode = ExitUsage;
    const std::optional<CreateOptions> o = parse(args, &exitCode);
    if (!o)
        return exitCode;

    bool ok = false;
    const float version = o->version.toFloat(&ok);
    if (!ok || !std::isfinite(version))
        return refuse(QStringLiteral("\"%1\" is not a format version").arg(o->version));
    if (!versionAccepted(version))
        return refuse(QStringLiteral("format version %1 is below 1.04; the downloader would refuse it").arg(o->version));

    if (auto p = serverProblem(o->servers))
        return refuse(*p);
    const QString name = o->name.value_or(QFileInfo(o->file).fileName());
    if (trimSpaces(name).isEmpty())
        return refuse(QStringLiteral("the file name is empty"));
    if (auto p = fieldProblem(QStringLiteral("the name"), name))
        return refuse(*p);
    // The downloader offers only a bare name; anything else would reach
    // the user changed, or not at all.
    if (const QString bare = safeFileName(trimSpaces(name)); bare != trimSpaces(name))
        return refuse(QStringLiteral("the name \"%1\" is not a bare file name (no folders, no control characters); "
                                     "the downloader would offer \"%2\"")
                          .arg(escapeControlCharacters(name), escapeControlCharacters(bare)));
    if (auto p = fieldProblem(QStringLiteral("the information text"), o->info))
        return refuse(*p);

    const QFileInfo file(o->file);
    if (!regularFileExists(o->file) || !file.isReadable())
        return refuse(QStringLiteral("cannot read %1").arg(o->file));
    if (o->crcOnly && file.size() > std::numeric_limits<qint32>::max())
        return refuse(QStringLiteral("%1 is %2 bytes; a descriptor without hashes describes at most 2147483647 bytes")
                          .arg(o->file).arg(file.size()));
    const QFileInfo out(o->out);
    if (out.exists() && !o->force)
        return refuse(QStringLiteral("%1 exists; add --force to replace it").arg(o->out));
    if (out.exists() && out.canonicalFilePath() == file.canonicalFilePath())
        return refuse(QStringLiteral("the descriptor would replace the file it describes"));

    DescriptorHeader record;
    record.startParam = o->startParam ? -1 : 0;
    record.information = o->info;
    record.fileName = name;
    for (qsizetype i = 0; i < o->servers.size(); ++i)
        record.servers[std::size_t(i)] = o->servers[i];
    record.version = version;
    // What the downloader would refuse is of no use: the same check it makes
    // on loading, on the descriptor as it will be written.
    record.fileSize = headerSizeField(file.size());
    TrailerRead trailer;
    if (!o->crcOnly)
        trailer.trailer = DescriptorTrailer{trailerOffset(file.size()), file.size()};
    const DescriptorCheck check = checkDescriptor(record, trailerOffset(file.size()), trailer);
    if (!check.usable())
        return refuse(QStringLiteral("the downloader would refuse this descriptor: ") + check.reason);

    ProgressLine progress(QStringLiteral("create"), file.size());
    const std::optional<QString> error =
        writeDescriptorFile(o->file, o->out, record, [&](qint64 done, qint64) { progress.update(done); },
                            o->crcOnly ? DescriptorFormat::CrcOnly : DescriptorFormat::WithHashes);
    progress.finish();
    return error ? refuse(*error) : ExitOk;
}
