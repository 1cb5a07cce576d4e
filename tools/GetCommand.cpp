#include "DownloadDescriptor.h"
#include "GetSession.h"
#include "ToolSupport.h"

#include <descriptor/DescriptorHeader.h>
#include <util/Paths.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTimer>

#include <csignal>
#include <unistd.h>

namespace {

const char *const GetDescription =
    "Downloads the file DESCRIPTOR describes with the downloader's engine: every block is checked\n"
    "against the descriptor, an existing file is checked and repaired, a partial one resumed, and a\n"
    "failed transfer is tried again after 30 seconds. A server that fails for good (not found,\n"
    "refused, the wrong size) hands over to the next one.\n"
    "On a terminal one progress line is redrawn in place; otherwise the activity log's lines are\n"
    "printed. Ctrl-C or SIGTERM pauses: every checked block stays on disk and the same command\n"
    "resumes.\n"
    "\n"
    "Exit status:\n"
    "  0    the file is complete and verified\n"
    "  1    the file could not be completed (every server failed for good, or the retries\n"
    "       --retries allows ran out)\n"
    "  2    bad input: the descriptor is refused, or the destination cannot be written\n"
    "  130  interrupted by SIGINT (Ctrl-C); 143 by SIGTERM";

// `text` as a POSIX shell reads it back.
QString shellQuoted(const QString &text)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_./:=@%+,-]+$"));
    if (plain.match(text).hasMatch())
        return text;
    QString quoted = text;
    return QLatin1Char('\'') + quoted.replace(QLatin1Char('\''), QStringLiteral("'\\''")) + QLatin1Char('\'');
}

std::optional<int> number(const QString &text, int lowest, int highest)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok && value >= lowest && value <= highest ? std::optional<int>(value) : std::nullopt;
}

// Where the file goes, when it can be written there; nullopt after saying
// why. A file longer than the described one is not deleted unasked.
std::optional<QString> usableDestination(const QString &asked, const DownloadDescriptor &descriptor)
{
    const QString path =
        asked.isEmpty() ? QDir::current().filePath(safeFileName(trimSpaces(descriptor.header.fileName))) : asked;
    const QFileInfo info(path);
    const auto refused = [&](const QString &why) {
        refuse(QStringLiteral("cannot download to %1: %2").arg(path, why));
        return std::nullopt;
    };
    if (path.endsWith(QLatin1String(".ddf"), Qt::CaseInsensitive) || (info.exists() && info == QFileInfo(descriptor.path)))
        return refused(QStringLiteral("that is a descriptor's name; choose another --output"));
    if (info.exists() && !info.isFile())
        return refused(QStringLiteral("not a regular file"));
    if (info.exists() && info.size() > descriptor.fileSize)
        return refused(QStringLiteral("it is longer than the described file (%1 of %2 bytes); remove it or choose "
                                      "another --output")
                           .arg(info.size())
                           .arg(descriptor.fileSize));
    const QFileInfo folder(info.absolutePath());
    if (!folder.isDir())
        return refused(QStringLiteral("no such folder"));
    const QString target = info.exists() ? info.absoluteFilePath() : folder.absoluteFilePath();
    if (::access(QFile::encodeName(target).constData(), W_OK) != 0)
        return refused(QString::fromLocal8Bit(std::strerror(errno)));
    return path;
}

} // namespace

int runGet(const QStringList &args)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(GetDescription));
    parser.addPositionalArgument(QStringLiteral("DESCRIPTOR"), QStringLiteral("The descriptor of the file."));
    const QCommandLineOption output({QStringLiteral("o"), QStringLiteral("output")},
                                    QStringLiteral("Where the file goes (default: its name from the descriptor, in the "
                                                   "current folder)."),
                                    QStringLiteral("PATH"));
    const QCommandLineOption server(QStringLiteral("server"),
                                    QStringLiteral("Start from server N of the descriptor (from 1; default 1)."),
                                    QStringLiteral("N"));
    const QCommandLineOption sequential(QStringLiteral("sequential"),
                                        QStringLiteral("Use one server at a time, not every server at once."));
    const QCommandLineOption retries(QStringLiteral("retries"),
                                     QStringLiteral("Give up after N retries of failed transfers (default: retry "
                                                    "for ever, as the window does)."),
                                     QStringLiteral("N"));
    const QCommandLineOption quiet({QStringLiteral("q"), QStringLiteral("quiet")}, QStringLiteral("Print only errors."));
    parser.addOptions({output, server, sequential, retries, quiet});
    if (const std::optional<int> done = parseCommand(parser, QStringLiteral("get"), args))
        return *done;
    if (parser.positionalArguments().size() != 1)
        return refuse(QStringLiteral("usage: orvanta-ddf get DESCRIPTOR [--output PATH]"));
    const QString ddfPath = parser.positionalArguments().first();
    const std::optional<DownloadDescriptor> descriptor = readDownloadDescriptor(ddfPath);
    if (!descriptor)
        return ExitUsage;
    const DescriptorHeader *header = &descriptor->header;
    const QStringList entries = serverEntries(*header);
    const std::optional<int> first = parser.isSet(server) ? number(parser.value(server), 1, int(entries.size())) : 1;
    if (!first)
        return refuse(QStringLiteral("--server takes a number from 1 to %1").arg(entries.size()));
    const std::optional<int> retryLimit = parser.isSet(retries) ? number(parser.value(retries), 0, INT_MAX) : -1;
    if (!retryLimit)
        return refuse(QStringLiteral("--retries takes a number from 0 up"));
    const std::optional<QString> destination = usableDestination(parser.value(output), *descriptor);
    if (!destination)
        return ExitUsage;

    GetOptions options;
    DownloadJob &job = options.job;
    job.mode = DownloadJob::Mode::Descriptor;
    job.descriptorPath = ddfPath;
    job.descriptor = *header;
    job.strongHashes = descriptor->strongHashes;
    job.serverIndex = *first - 1;
    job.sourceUrl = entryUrl(entries, job.serverIndex);
    job.appendStartOffset = header->startParam != 0;
    job.destination = *destination;
    job.useAllServers = !parser.isSet(sequential);
    options.retries = *retryLimit;
    options.quiet = parser.isSet(quiet);
    options.resumeCommand = QStringLiteral("orvanta-ddf get %1 --output %2").arg(shellQuoted(ddfPath), shellQuoted(*destination));

    // A reader that went away must not end the download by SIGPIPE.
    std::signal(SIGPIPE, SIG_IGN);
    GetSession session(options, stdout, stderr);
    QObject::connect(&session, &GetSession::finished, QCoreApplication::instance(),
                     [](int code) { QCoreApplication::exit(code); }, Qt::QueuedConnection);
    QTimer::singleShot(0, &session, &GetSession::start);
    return QCoreApplication::exec();
}
