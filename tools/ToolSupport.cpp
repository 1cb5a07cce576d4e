#include "ToolSupport.h"

#include "util/Format.h"

#include <cstdio>
#include <unistd.h>

namespace {
constexpr qint64 ProgressThreshold = 64LL * 1024 * 1024;
}

void printOut(const QString &line)
{
    std::fputs((line + QLatin1Char('\n')).toLocal8Bit().constData(), stdout);
}

void printErr(const QString &line)
{
    std::fputs((line + QLatin1Char('\n')).toLocal8Bit().constData(), stderr);
}

int refuse(const QString &message)
{
    printErr(QStringLiteral("orvanta-ddf: ") + message);
    return ExitUsage;
}

ProgressLine::ProgressLine(const QString &label, qint64 total)
    : m_label(label)
    , m_total(total)
    , m_enabled(total >= ProgressThreshold && ::isatty(STDERR_FILENO))
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
    std::fputs(line.toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
}

void ProgressLine::finish()
{
    if (!m_shown)
        return;
    m_shown = false;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
}
