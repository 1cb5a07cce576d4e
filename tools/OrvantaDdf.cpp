#include "ToolSupport.h"

#include <QCommandLineParser>
#include <QCoreApplication>

namespace {

const char *const Commands =
    "Commands:\n"
    "  create FILE -o OUT.ddf --server URL ...   write the descriptor of FILE\n"
    "  info DESCRIPTOR                           show what a descriptor says\n"
    "  verify DESCRIPTOR FILE                    check FILE against a descriptor\n"
    "  get DESCRIPTOR [--output PATH]            download the described file\n"
    "  check-servers DESCRIPTOR                  check every server of a descriptor\n"
    "\n"
    "\"orvanta-ddf COMMAND --help\" shows the options of a command.\n"
    "info exits 1 when the downloader refuses the descriptor; verify exits 0 when\n"
    "FILE is complete and intact, 1 when it is not; get exits 0 when the file is\n"
    "complete and verified, 1 when it could not be completed, 130 or 143 when\n"
    "interrupted by SIGINT or SIGTERM; check-servers exits 0 when every server is\n"
    "good, 1 when one is not; every command exits 2 on bad input or when a file\n"
    "cannot be read or written.";

}  // namespace

int runTool(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Creates, shows and checks download descriptors."));
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("create, info, verify, get or check-servers"),
                                 QStringLiteral("COMMAND [ARGUMENTS...]"));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    // Everything from the command on belongs to the command.
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    if (!parser.parse(arguments))
        return refuse(parser.errorText());
    if (parser.isSet(version)) {
        printOut(QStringLiteral("orvanta-ddf ") + QStringLiteral(ORVANTA_VERSION));
        return ExitOk;
    }
    QStringList rest = parser.positionalArguments();
    const bool helpAsked = parser.isSet(help) || parser.isSet(QStringLiteral("help-all"));
    if (helpAsked || rest.isEmpty()) {
        const QString usage = QStringLiteral("Usage: orvanta-ddf COMMAND [ARGUMENTS...]\n")
            + parser.applicationDescription() + QStringLiteral("\n\n") + QString::fromLatin1(Commands);
        if (helpAsked) {
            printOut(usage);
            return ExitOk;
        }
        printErr(usage);
        return refuse(QStringLiteral("no command given"));
    }
    const QString command = rest.takeFirst();
    if (command == QLatin1String("create"))
        return runCreate(rest);
    if (command == QLatin1String("info"))
        return runInfo(rest);
    if (command == QLatin1String("verify"))
        return runVerify(rest);
    if (command == QLatin1String("get"))
        return runGet(rest);
    if (command == QLatin1String("check-servers"))
        return runCheckServers(rest);
    return refuse(QStringLiteral("unknown command \"%1\"; try orvanta-ddf --help").arg(command));
}
