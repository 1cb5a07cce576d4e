#include "CommandLine.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSysInfo>
#include <QUrl>

#include <cstdio>

#ifndef ORVANTA_VERSION
#error "ORVANTA_VERSION must be defined by the build"
#endif

namespace {

const QString programName = QStringLiteral("orvanta-downloader");

bool isLocalHost(const QString &host)
{
    return host.isEmpty() || host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0 ||
           host.compare(QSysInfo::machineHostName(), Qt::CaseInsensitive) == 0;
}

}  // namespace

QString CommandLine::helpText()
{
    return QStringLiteral(
               "Usage: %1 [DESCRIPTOR.ddf | file:///PATH/TO/DESCRIPTOR.ddf | URL]\n"
               "       %1 --help | --version\n"
               "\n"
               "Downloads one large file over HTTP or HTTPS and verifies it block by block.\n"
               "\n"
               "  DESCRIPTOR.ddf  open a download descriptor and start its verified download\n"
               "  file:///...     the same, given as the URI of a local file\n"
               "  URL             an http:// or https:// address: put into the URL box,\n"
               "                  ready for \"Download from URL\"\n"
               "  -h, --help      print this help and exit\n"
               "  -v, --version   print the version and exit\n"
               "\n"
               "All arguments together are one text; double quotes in it are removed.\n"
               "If the program already runs for this user, a start hands what it was given\n"
               "to the running window and ends.\n")
        .arg(programName);
}

QString CommandLine::versionText()
{
    return QStringLiteral("Orvanta Downloader %1\n").arg(QStringLiteral(ORVANTA_VERSION));
}

CommandLine CommandLine::refuse(const QString &why)
{
    CommandLine line;
    line.m_action = Action::Refuse;
    line.m_text = why;
    return line;
}

CommandLine CommandLine::parse(const QStringList &arguments)
{
    QCommandLineParser parser;
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")});
    parser.addOption(help);
    parser.addOption(version);
    if (!parser.parse(QStringList(programName) + arguments))
        return refuse(parser.errorText());

    CommandLine line;
    if (parser.isSet(help)) {
        line.m_action = Action::PrintHelp;
        line.m_text = helpText();
    } else if (parser.isSet(version)) {
        line.m_action = Action::PrintVersion;
        line.m_text = versionText();
    } else {
        line = fromText(parser.positionalArguments().join(QLatin1Char(' ')).remove(QLatin1Char('"')));
    }
    return line;
}

CommandLine CommandLine::fromText(const QString &text)
{
    CommandLine line;
    static const QRegularExpression schemeForm(QStringLiteral("^([A-Za-z][A-Za-z0-9+.-]*)://"));
    const QString address = text.trimmed();
    const QRegularExpressionMatch scheme = schemeForm.match(address);
    // An existing file stays a path whatever its name looks like.
    if (!scheme.hasMatch() || QFileInfo(text).isFile()) {
        line.m_request.descriptorPath = text;
        return line;
    }

    const QString name = scheme.captured(1).toLower();
    if (name == QLatin1String("file")) {
        // Tolerant: a URI typed by hand may hold a bare space or percent sign.
        const QUrl url(address, QUrl::TolerantMode);
        if (!url.isValid() || url.path().isEmpty())
            return refuse(QStringLiteral("\"%1\" is not a valid file:// URI.").arg(address));
        if (!isLocalHost(url.host()))
            return refuse(QStringLiteral("\"%1\" names a file on another computer (%2); only a descriptor on this "
                                         "computer can be opened.")
                              .arg(address, url.host()));
        line.m_request.descriptorPath = url.path(QUrl::FullyDecoded);
        return line;
    }
    if (name == QLatin1String("http") || name == QLatin1String("https")) {
        // Strict: a bare space means two texts, not one address.
        const QUrl url(address, QUrl::StrictMode);
        if (!url.isValid() || url.host().isEmpty())
            return refuse(QStringLiteral("\"%1\" is not a complete web address.").arg(address));
        line.m_request.url = address;
        return line;
    }
    return refuse(QStringLiteral("\"%1\": %2:// addresses are not understood; give a descriptor file, a file:// URI of "
                                 "one, or an http:// or https:// URL.")
                      .arg(address, name));
}

int CommandLine::finishWithoutWindow() const
{
    switch (m_action) {
    case Action::Start:
        return -1;
    case Action::PrintHelp:
    case Action::PrintVersion:
        std::fputs(m_text.toLocal8Bit().constData(), stdout);
        return 0;
    case Action::Refuse:
        std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", qPrintable(programName),
                     m_text.toLocal8Bit().constData(), qPrintable(programName));
        return 2;
    }
    return -1;
}
