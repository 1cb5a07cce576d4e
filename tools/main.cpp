// orvanta-ddf: creates, shows and checks download descriptors.

#include "ToolSupport.h"

#include <QCoreApplication>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("orvanta-ddf"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ORVANTA_VERSION));
    return runTool(QCoreApplication::arguments());
}
