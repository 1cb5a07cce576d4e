#include "DownloadProgressLine.h"

#include <util/Format.h>

#include <sys/ioctl.h>
#include <unistd.h>

#include <cmath>

namespace {

QString fitted(const QString &text, int width)
{
    return width > 0 && text.size() > width ? text.left(width) : text;
}

// Whole bytes: the size formatter has no text for fractions between units.
QString bytes(double value)
{
    return formatByteSize(std::floor(std::max(0.0, value)));
}

QString percent(qint64 part, qint64 whole)
{
    const double fraction = whole > 0 ? std::clamp(double(part) / double(whole), 0.0, 1.0) : 0.0;
    return formatWithPattern(fraction, QStringLiteral("##0%")).rightJustified(4);
}

} // namespace

DownloadProgressLine::DownloadProgressLine(std::FILE *stream, bool terminal, std::chrono::milliseconds interval)
    : m_stream(stream), m_terminal(terminal), m_interval(interval)
{
}

DownloadProgressLine::~DownloadProgressLine()
{
    clear();
}

QString DownloadProgressLine::transferText(const ProgressFigures &f, int width)
{
    const QString servers = f.serversInUse == 1 ? QStringLiteral("1 server")
                                                : QStringLiteral("%1 servers").arg(f.serversInUse);
    const QString rate = bytes(f.rate) + QStringLiteral("/s");
    if (!f.sizeKnown)
        return fitted(QStringLiteral("%1  %2  %3").arg(bytes(double(f.position)), rate, servers), width);
    const std::optional<QString> left = f.rate > 0 ? formatDuration(float(f.timeLeft)) : std::nullopt;
    return fitted(QStringLiteral("%1  %2 of %3  %4  %5  %6")
                      .arg(percent(f.position, f.total), bytes(double(f.position)), bytes(double(f.total)), rate,
                           left ? *left + QStringLiteral(" left") : QStringLiteral("time left unknown"), servers),
                  width);
}

QString DownloadProgressLine::checkText(qint64 value, qint64 max, int width)
{
    return fitted(QStringLiteral("%1  checking the file: %2 of %3")
                      .arg(percent(value, max), bytes(double(value)), bytes(double(max))),
                  width);
}

void DownloadProgressLine::setServersInUse(int count)
{
    if (m_figures.serversInUse == count)
        return;
    m_figures.serversInUse = count;
    if (m_hasFigures && !m_checking)
        draw(true);
}

void DownloadProgressLine::showTransfer(qint64 position, qint64 total, bool sizeKnown, double rate, double timeLeft)
{
    m_figures.position = position;
    m_figures.total = total;
    m_figures.sizeKnown = sizeKnown;
    m_figures.rate = rate;
    m_figures.timeLeft = timeLeft;
    m_checking = false;
    m_hasFigures = true;
    draw(sizeKnown && position >= total);
}

void DownloadProgressLine::showCheck(qint64 value, qint64 max)
{
    m_checking = true;
    m_checkValue = value;
    m_checkMax = max;
    m_hasFigures = true;
    draw(value >= max);
}

void DownloadProgressLine::printLine(const QString &line)
{
    if (m_shown)
        std::fputs("\r\033[K", m_stream);
    std::fputs((line + QLatin1Char('\n')).toLocal8Bit().constData(), m_stream);
    m_shown = false;
    if (m_hasFigures)
        draw(true);
    std::fflush(m_stream);
}

void DownloadProgressLine::clear()
{
    leave("\r\033[K");
}

void DownloadProgressLine::finish()
{
    leave("\n");
}

// No figures are drawn again until new ones come.
void DownloadProgressLine::leave(const char *ending)
{
    m_hasFigures = false;
    if (!m_shown)
        return;
    std::fputs(ending, m_stream);
    std::fflush(m_stream);
    m_shown = false;
}

void DownloadProgressLine::draw(bool force)
{
    if (!m_terminal)
        return;
    const auto now = std::chrono::steady_clock::now();
    if (m_shown && !force && now - m_lastDraw < m_interval)
        return;
    m_lastDraw = now;
    // One column is left free: a line that fills the last column wraps on
    // some terminals, and "\r" would then redraw the wrong line.
    const int columns = width() - 1;
    const QString text = m_checking ? checkText(m_checkValue, m_checkMax, columns) : transferText(m_figures, columns);
    std::fputs(("\r" + text + "\033[K").toLocal8Bit().constData(), m_stream);
    std::fflush(m_stream);
    m_shown = true;
}

int DownloadProgressLine::width() const
{
    struct winsize size = {};
    if (::ioctl(::fileno(m_stream), TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 80;
}
