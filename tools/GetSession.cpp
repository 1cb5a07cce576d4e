#include "GetSession.h"

#include "ToolSupport.h"

#include <descriptor/DescriptorHeader.h>
#include <util/ActivityLog.h>
#include <util/Paths.h>

#include <QTime>
#include <QTimer>

#include <algorithm>

#include <csignal>
#include <cstring>
#include <unistd.h>

namespace {

bool isTerminal(std::FILE *stream)
{
    const char *term = std::getenv("TERM");
    return ::isatty(::fileno(stream)) && !(term && qstrcmp(term, "dumb") == 0);
}

} // namespace

GetSession::GetSession(const GetOptions &options, std::FILE *out, std::FILE *err, QObject *parent)
    : QObject(parent),
      m_options(options),
      m_err(err),
      m_engine(m_http),
      m_signals({SIGINT, SIGTERM}),
      m_line(out, !options.quiet && isTerminal(out)),
      m_job(options.job)
{
    using Engine = DownloadEngine;
    // Every server at once needs a connection of its own per server.
    m_engine.setClientFactory([] { return std::make_unique<CurlHttpClient>(); });
    connect(&m_signals, &SignalRelay::received, this, &GetSession::onSignal);
    connect(&m_engine, &Engine::stateChanged, this, &GetSession::onState);
    connect(&m_engine, &Engine::failed, this, &GetSession::onFailure);
    connect(&m_engine, &Engine::noticeRequested, this, &GetSession::onNotice);
    connect(&m_engine, &Engine::logLine, this, &GetSession::print);
    connect(&m_engine, &Engine::checkProgressed, this, [this](qint64 value, qint64 max) { m_line.showCheck(value, max); });
    const auto showFigures = [this](const TransferProgress &p) {
        m_line.showTransfer(p.position, p.total, p.sizeKnown, p.rate, p.timeLeft);
    };
    connect(&m_engine, &Engine::progressed, this, showFigures);
    connect(&m_engine, &Engine::receivingEnded, this, showFigures);
    connect(&m_engine, &Engine::serversInUseChanged, this, [this](int count) {
        m_line.setServersInUse(count);
        m_mostServersInUse = std::max(m_mostServersInUse, count);
    });
}

void GetSession::start()
{
    if (!m_signals.isWatching())
        printError(QStringLiteral("cannot watch for Ctrl-C; an interruption will not pause cleanly"));
    m_engine.start(m_job);
}

// Lines in the activity log's form; a descriptor's or a server's words are
// printed with their control characters written out.
void GetSession::print(const QString &text)
{
    if (m_options.quiet)
        return;
    m_line.printLine(ActivityLog::timeText(QTime::currentTime()) + QLatin1Char(' ') + escapeControlCharacters(text));
}

void GetSession::printError(const QString &text)
{
    m_line.clear();
    std::fputs(("orvanta-ddf: " + escapeControlCharacters(text) + "\n").toLocal8Bit().constData(), m_err);
    std::fflush(m_err);
}

void GetSession::onFailure(const DownloadFailure &failure)
{
    m_lastFailure = failure;
    m_line.clear();
    if (m_options.quiet)
        printError(failure.reason.isEmpty() || failure.message.contains(failure.reason)
                       ? failure.message
                       : failure.message + QLatin1Char(' ') + failure.reason);
}

void GetSession::onNotice(const EngineNotice &notice)
{
    printError(notice.text);
    if (notice.endsProgram)
        finish(ExitUsage);
}

void GetSession::onState(DownloadEngine::State state)
{
    using State = DownloadEngine::State;
    switch (state) {
    case State::Completed:
    case State::Verified:
        m_line.finish();
        finish(ExitOk);
        return;
    case State::WaitingToRetry:
        m_line.clear();
        if (m_options.retries >= 0 && m_retriesUsed >= m_options.retries) {
            m_engine.stop();
            printError(QStringLiteral("giving up after %1 %2; the last failure: %3")
                           .arg(m_retriesUsed)
                           .arg(m_retriesUsed == 1 ? QStringLiteral("retry") : QStringLiteral("retries"),
                                m_lastFailure ? m_lastFailure->message : QString()));
            finish(ExitFailed);
            return;
        }
        ++m_retriesUsed;
        return;
    case State::Failed:
        m_line.clear();
        afterFinalFailure();
        return;
    default:
        return;
    }
}

// A server that answered for good (not found, refused, the wrong size) is
// left for the next; the destination's own faults end the run.
void GetSession::afterFinalFailure()
{
    const DownloadFailure failure = m_lastFailure.value_or(DownloadFailure{});
    const bool destinationFault =
        failure.error && failure.error->origin == TransferError::Origin::Disk && !failure.error->transient();
    if (destinationFault) {
        printError(QStringLiteral("cannot write %1: %2").arg(m_job.destination, failure.error->text));
        finish(ExitUsage);
        return;
    }
    m_failedServers.insert(m_job.serverIndex);
    // With every server at once the engine gives up only when all of them
    // have: there is no next one to hand over to.
    if (failure.kind == DownloadFailure::Kind::Answer && m_mostServersInUse < 2 && startNextServer())
        return;
    printError(QStringLiteral("the file could not be completed: %1%2")
                   .arg(failure.message, failure.reason.isEmpty() || failure.message.contains(failure.reason)
                                             ? QString()
                                             : QLatin1Char(' ') + failure.reason));
    finish(ExitFailed);
}

bool GetSession::startNextServer()
{
    const QStringList entries = serverEntries(m_job.descriptor);
    for (int step = 1; step < entries.size(); ++step) {
        const int index = int((m_job.serverIndex + step) % entries.size());
        if (m_failedServers.contains(index))
            continue;
        print(QStringLiteral("Server %1 failed for good; trying server %2 (%3).")
                  .arg(m_job.serverIndex + 1)
                  .arg(index + 1)
                  .arg(serverDisplayName(entries[index])));
        m_job.serverIndex = index;
        m_job.sourceUrl = entryUrl(entries, index);
        // Not from inside the engine's report: its client is still
        // delivering the answer that failed.
        QTimer::singleShot(0, this, [this] { m_engine.start(m_job); });
        return true;
    }
    return false;
}

// Paused like the window's button: the engine cancels the request and
// writes every checked block before pause() returns.
void GetSession::onSignal(int signal)
{
    if (m_finished)
        return;
    m_engine.pause();
    m_line.clear();
    printError(QStringLiteral("interrupted (%1); every checked block is on disk. To resume, run:")
                   .arg(QString::fromLocal8Bit(::strsignal(signal))));
    std::fputs(("  " + escapeControlCharacters(m_options.resumeCommand) + "\n").toLocal8Bit().constData(), m_err);
    std::fflush(m_err);
    finish(ExitInterrupted + signal);
}

void GetSession::finish(int exitCode)
{
    if (m_finished)
        return;
    m_finished = true;
    emit finished(exitCode);
}
