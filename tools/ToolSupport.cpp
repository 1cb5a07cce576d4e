#include "ToolSupport.h"

#include "descriptor/DescriptorCheck.h"
#include "util/Format.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <unistd.h>

namespace {

constexpr qint64 ProgressThreshold = 64LL * 1024 * 1024;

std::FILE *outStream = nullptr;  // nullptr: stdout / stderr
std::FILE *errStream = nullptr;

std::FILE *out() { return outStream ? outStream : stdout; }
std::FILE *err() { return errStream ? errStream : stderr; }

}  // namespace

void setToolStreams(std::FILE *outTo, std::FILE *errTo)
{
    outStream = outTo;
    errStream = errTo;
}

void printOut(const QString &line)
{
    std::fputs((line + QLatin1Char('\n')).toLocal8Bit().constData(), out());
}

void printErr(const QString &line)
{
    std::fputs((line + QLatin1Char('\n')).toLocal8Bit().constData(), err());
}

int refuse(const QString &message)
{
    printErr(QStringLiteral("orvanta-ddf: ") + message);
    return ExitUsage;
}

std::optional<int> parseCommand(QCommandLineParser &parser, const QString &command, const QStringList &args)
{
    const QCommandLineOption help = parser.addHelpOption();
    // The first entry stands for the program; the parser skips it.
    if (!parser.parse(QStringList{QStringLiteral("orvanta-ddf")} + args))
        return refuse(QStringLiteral("%1: %2").arg(command, parser.errorText()));
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
        // Qt names the executable by its path; the usage line should read
        // as the command is typed.
        QString text = parser.helpText();
        const QString executable = QCoreApplication::instance() ? QCoreApplication::arguments().constFirst()
                                                                : QStringLiteral("<executable_name>");
        text.replace(text.indexOf(executable), executable.size(), QStringLiteral("orvanta-ddf ") + command);
        std::fputs(text.toLocal8Bit().constData(), out());
        return ExitOk;
    }
    return std::nullopt;
}

ProgressLine::ProgressLine(const QString &label, qint64 total)
    : m_label(label)
    , m_total(total)
    , m_enabled(total >= ProgressThreshold && ::isatty(::fileno(err())))
{
}

ProgressLine::~ProgressLine()
{
    finish();
}

void ProgressLine::update(qint64 done)
{
    if (!m_enabled)
        return;
    const auto now = std::chrono::steady_clock::now();
    if (m_shown && now - m_last < std::chrono::milliseconds(200) && done < m_total)
        return;
    m_last = now;
    m_shown = true;
    const QString line = QStringLiteral("\r%1: %2 of %3 (%4)")
                             .arg(m_label, formatByteSize(double(done)), formatByteSize(double(m_total)),
                                  formatWithPattern(double(done) / double(m_total), QStringLiteral("##0%")));
    std::fputs(line.toLocal8Bit().constData(), err());
    std::fflush(err());
}

void ProgressLine::finish()
{
    if (!m_shown)
        return;
    m_shown = false;
    std::fputs("\r\033[K", err());
    std::fflush(err());
}

std::optional<DescriptorArgument> readDescriptorArgument(const QString &path)
{
    DescriptorArgument d;
    QString error;
    const std::optional<DescriptorHeader> header = readDescriptorHeader(path, &error, &d.length);
    if (!header) {
        refuse(QStringLiteral("cannot read %1: %2").arg(path, error));
        return std::nullopt;
    }
    d.header = *header;
    d.trailer = readTrailer(path, d.header, d.length);
    const DescriptorCheck check = checkDescriptor(d.header, d.length);
    if (check.fault == DescriptorFault::Empty || check.fault == DescriptorFault::Truncated) {
        refuse(QStringLiteral("%1 is not a descriptor: %2").arg(path, check.reason));
        return std::nullopt;
    }
    return d;
}
