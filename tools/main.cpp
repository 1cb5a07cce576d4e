// orvanta-ddf: creates, shows and checks download descriptors.

#include "ToolSupport.h"

#include <QString>
#include <QStringList>

#include <cstdio>

namespace {

const char *const Usage =
    "usage:\n"
    "  orvanta-ddf create FILE -o OUT.ddf --server URL [--server \"Name|URL\" ...]\n"
    "                     [--name NAME] [--info TEXT] [--start-param]\n"
    "                     [--format-version V] [--force]\n"
    "  orvanta-ddf info DESCRIPTOR\n"
    "  orvanta-ddf verify DESCRIPTOR FILE\n"
    "\n"
    "With one server give its bare URL; with two to ten, every server as \"Name|URL\".\n"
    "verify exits 0 when FILE is complete and intact, 1 when it is not, 2 on bad input.\n";

}  // namespace

int main(int argc, char **argv)
{
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args.append(QString::fromLocal8Bit(argv[i]));
    if (args.isEmpty()) {
        std::fputs(Usage, stderr);
        return ExitUsage;
    }
    const QString command = args.takeFirst();
    if (command == QLatin1String("create"))
        return runCreate(args);
    if (command == QLatin1String("info"))
        return runInfo(args);
    if (command == QLatin1String("verify"))
        return runVerify(args);
    if (command == QLatin1String("--help") || command == QLatin1String("-h") || command == QLatin1String("help")) {
        std::fputs(Usage, stdout);
        return ExitOk;
    }
    std::fputs(Usage, stderr);
    return refuse(QStringLiteral("unknown command \"%1\"").arg(command));
}
