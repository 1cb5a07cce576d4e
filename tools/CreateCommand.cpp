#include "ToolSupport.h"

#include "descriptor/DescriptorHeader.h"
#include "descriptor/DescriptorWriter.h"
#include "util/Paths.h"
#include "util/Windows1252.h"

#include <QFileInfo>

#include <cmath>
#include <functional>
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
};

// Splits "--opt=value" and takes "--opt value"; nullopt with a message on
// stderr when the value is missing.
std::optional<CreateOptions> parse(const QStringList &args, QString *problem)
{
    CreateOptions o;
    QStringList positional;
    for (qsizetype i = 0; i < args.size(); ++i) {
        QString arg = args[i];
        std::optional<QString> inlineValue;
        if (arg.startsWith(QLatin1String("--")) && arg.contains(QLatin1Char('='))) {
            inlineValue = arg.mid(arg.indexOf(QLatin1Char('=')) + 1);
            arg = arg.left(arg.indexOf(QLatin1Char('=')));
        }
        const auto value = [&]() -> std::optional<QString> {
            if (inlineValue)
                return inlineValue;
            if (i + 1 < args.size())
                return args[++i];
            *problem = QStringLiteral("%1 needs a value").arg(arg);
            return std::nullopt;
        };
        // Options that take a value, and where the value goes.
        const std::function<void(const QString &)> store =
            arg == QLatin1String("-o") || arg == QLatin1String("--output") ? [&](const QString &v) { o.out = v; }
            : arg == QLatin1String("--server")         ? [&](const QString &v) { o.servers.append(v); }
            : arg == QLatin1String("--name")           ? [&](const QString &v) { o.name = v; }
            : arg == QLatin1String("--info")           ? [&](const QString &v) { o.info = v; }
            : arg == QLatin1String("--format-version") ? [&](const QString &v) { o.version = v; }
                                                       : std::function<void(const QString &)>();
        if (store) {
            const auto v = value();
            if (!v)
                return std::nullopt;
            store(*v);
        } else if (arg == QLatin1String("--start-param") && !inlineValue) {
            o.startParam = true;
        } else if (arg == QLatin1String("--force") && !inlineValue) {
            o.force = true;
        } else if (arg.startsWith(QLatin1Char('-')) && arg.size() > 1) {
            *problem = QStringLiteral("unknown option \"%1\"").arg(args[i]);
            return std::nullopt;
        } else {
            positional.append(arg);
        }
    }
    if (positional.size() != 1) {
        *problem = QStringLiteral("create takes exactly one FILE");
        return std::nullopt;
    }
    o.file = positional.first();
    if (o.out.isEmpty()) {
        *problem = QStringLiteral("create needs -o OUT.ddf");
        return std::nullopt;
    }
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
    QString problem;
    const std::optional<CreateOptions> o = parse(args, &problem);
    if (!o)
        return refuse(problem);

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
    if (auto p = fieldProblem(QStringLiteral("the information text"), o->info))
        return refuse(*p);

    const QFileInfo file(o->file);
    if (!regularFileExists(o->file) || !file.isReadable())
        return refuse(QStringLiteral("cannot read %1").arg(o->file));
    if (file.size() > std::numeric_limits<qint32>::max())
        return refuse(QStringLiteral("%1 is %2 bytes; a descriptor describes at most 2147483647 bytes")
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

    ProgressLine progress(QStringLiteral("create"), file.size());
    const std::optional<QString> error =
        writeDescriptorFile(o->file, o->out, record, [&](qint64 done, qint64) { progress.update(done); });
    progress.finish();
    if (error) {
        printErr(QStringLiteral("orvanta-ddf: ") + *error);
        return ExitFailed;
    }
    return ExitOk;
}
