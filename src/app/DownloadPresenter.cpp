#include "DownloadPresenter.h"

#include <descriptor/DescriptorHeader.h>
#include <ui/MainWindowModel.h>
#include <util/ActivityLog.h>
#include <app/Dialogs.h>
#include <util/Format.h>

using Label = MainWindowModel::Label;
using State = DownloadEngine::State;

DownloadPresenter::DownloadPresenter(DownloadEngine &engine, MainWindowModel &model, ActivityLog &log,
                                     Dialogs &dialogs, QObject *parent)
    : QObject(parent), m_engine(engine), m_model(model), m_log(log), m_dialogs(dialogs)
{
    m_refreshTimer.setInterval(1000);
    connect(&m_refreshTimer, &QTimer::timeout, this, &DownloadPresenter::requestFiguresRefresh);
    m_refreshTimer.start();

    connect(&engine, &DownloadEngine::stateChanged, this, &DownloadPresenter::showState);
    connect(&engine, &DownloadEngine::statusChanged, this, [this](const QString &text) { m_model.setText(Label::Status, text); });
    connect(&engine, &DownloadEngine::captionChanged, &model, &MainWindowModel::setWindowTitle);
    connect(&engine, &DownloadEngine::logLine, &log, &ActivityLog::add);
    connect(&engine, &DownloadEngine::attemptStarted, this, [this] {
        m_model.setText(Label::Source, QString());
        m_model.setText(Label::Reason, QString());
        clearFigures();
    });
    connect(&engine, &DownloadEngine::checkProgressed, this, &DownloadPresenter::showCheckProgress);
    connect(&engine, &DownloadEngine::receivingFrom, this, &DownloadPresenter::showSource);
    connect(&engine, &DownloadEngine::receivingStarted, this, &DownloadPresenter::showReceivingStarted);
    connect(&engine, &DownloadEngine::progressed, this, &DownloadPresenter::showProgress);
    connect(&engine, &DownloadEngine::receivingEnded, this, [this](const TransferProgress &p) { showFigures(p, true); });
    connect(&engine, &DownloadEngine::failed, this, &DownloadPresenter::showFailure);
    connect(&engine, &DownloadEngine::noticeRequested, this, &DownloadPresenter::showNotice);
}

bool DownloadPresenter::offersServerChoice() const
{
    return m_engine.job().checked() && serverEntries(m_engine.job().descriptor).size() > 1;
}

void DownloadPresenter::clearFigures()
{
    for (Label label : {Label::TimeLeft, Label::Destination, Label::Rate})
        m_model.setText(label, QString());
}

void DownloadPresenter::showState(State state)
{
    showButtons(state);
    const bool busy = m_engine.isBusy();
    if (busy) {
        // No second transfer may start beside a running one.
        m_model.setDownloadUrlEnabled(false);
        m_model.setLoadDescriptorEnabled(false);
    } else if (m_wasBusy && m_engine.job().checked()) {
        // A descriptor download never owned "Download from URL": give it back
        // to the URL box. After a URL download the failure decides.
        m_model.setDownloadUrlEnabled(!m_model.urlText().trimmed().isEmpty());
    }
    m_wasBusy = busy;
}

namespace {

// How the pause button, the server button and the tray's check mark look in
// one state; nullopt leaves a thing as it was.
struct ButtonLook {
    const char *caption = nullptr;
    std::optional<bool> pauseEnabled = {};
    std::optional<bool> loadEnabled = {};
    std::optional<bool> serversShown = {};
    std::optional<bool> pauseChecked = {};
};

ButtonLook lookOf(State state, bool serverChoice)
{
    const char *pause = "Pause Download...";
    switch (state) {
    // A new start may come from a paused download: what belonged to that
    // pause goes.
    case State::Checking:
        // A long check can be paused.
        return {.caption = pause, .pauseEnabled = true, .serversShown = false, .pauseChecked = false};
    case State::Connecting:
        return {.caption = pause, .pauseEnabled = true, .loadEnabled = false, .serversShown = false, .pauseChecked = false};
    case State::Paused:
        return {.caption = "Resume Download...", .pauseEnabled = true, .serversShown = serverChoice, .pauseChecked = true};
    case State::Resuming:
        return {.caption = pause, .pauseEnabled = false, .serversShown = false, .pauseChecked = false};
    case State::Completed:
        return {.caption = "Exit", .loadEnabled = false};
    case State::Verified:
        return {.caption = "Exit", .pauseEnabled = true, .loadEnabled = false};
    case State::Failed:
        // Nothing runs any more: the start commands are the user's again,
        // and there is nothing to pause.
        return {.caption = pause, .pauseEnabled = false, .loadEnabled = true, .serversShown = false};
    case State::Idle:
    case State::Receiving:
    case State::WaitingToRetry:
        break;
    }
    return {};
}

} // namespace

void DownloadPresenter::showButtons(State state)
{
    if (state == State::Checking)
        clearFigures();
    if (state == State::Completed)
        m_model.setProgressValue(0);
    if (state == State::Failed)
        m_model.setDownloadUrlEnabled(!m_model.urlText().trimmed().isEmpty());
    const ButtonLook look = lookOf(state, offersServerChoice());
    if (look.pauseChecked)
        m_model.setPauseChecked(*look.pauseChecked);
    if (look.caption)
        m_model.setPauseButtonCaption(QString::fromLatin1(look.caption));
    if (look.pauseEnabled)
        m_model.setPauseButtonEnabled(*look.pauseEnabled);
    if (look.loadEnabled)
        m_model.setLoadDescriptorEnabled(*look.loadEnabled);
    if (look.serversShown)
        m_model.setServerButtonVisible(*look.serversShown);
}

void DownloadPresenter::showCheckProgress(qint64 value, qint64 max)
{
    m_model.setProgressValue(value);
    if (m_model.progressMax() != max)
        m_model.setProgressMax(max);
}

void DownloadPresenter::showSource(const QString &destination, const QString &address)
{
    m_model.setText(Label::Source, m_model.fitText(Label::Source, destination + QStringLiteral(" from ") + address));
    m_model.setText(Label::Destination, m_model.fitText(Label::Destination, destination));
}

void DownloadPresenter::showReceivingStarted(qint64 total, bool sizeKnown)
{
    m_model.setProgressValue(0);
    if (sizeKnown)
        m_model.setProgressMax(total);
}

void DownloadPresenter::showProgress(const TransferProgress &progress)
{
    if (m_refreshDue) {
        m_refreshDue = false;
        showFigures(progress, false);
    } else if (progress.sizeKnown) {
        m_model.setProgressValue(progress.position);
    }
}

// The figures: time left and bytes copied, the tray tip (not after the
// body), the rate (finer above 1 MB/s while running), the bar and the
// window's caption.
void DownloadPresenter::showFigures(const TransferProgress &p, bool final)
{
    const QString copied = p.sizeKnown ? formatByteSize(double(p.position)) + QStringLiteral(" of ") +
                                             formatByteSize(double(p.total))
                                       : formatByteSize(double(p.position));
    if (!p.sizeKnown) {
        m_model.setText(Label::TimeLeft, QStringLiteral("Size unknown (") + copied + QStringLiteral(" copied)"));
    } else if (const auto duration = formatDuration(float(p.timeLeft))) {
        m_model.setText(Label::TimeLeft, *duration + QStringLiteral(" (") + copied + QStringLiteral(" copied)"));
    }
    if (!final)
        m_model.setTrayTip(copied + QStringLiteral(" copied..."));
    const bool fast = !final && p.rate >= 1048575.0;
    m_model.setText(Label::Rate, formatByteSize(p.rate, fast ? QStringLiteral("###.00") : QStringLiteral("###")) +
                                     QStringLiteral("/Sec"));
    if (p.sizeKnown)
        m_model.setProgressValue(p.position);
    const double fraction = p.total != 0 ? double(p.position) / double(p.total) : 0.0;
    const QString done = p.sizeKnown ? formatWithPattern(fraction, QStringLiteral("##0%")) : formatByteSize(double(p.position));
    m_model.setWindowTitle(done + QStringLiteral(" of ") + p.destinationName + QStringLiteral(" Completed"));
}

void DownloadPresenter::showFailure(const DownloadFailure &failure)
{
    using Kind = DownloadFailure::Kind;
    m_model.setText(Label::Reason, failure.reason);
    // A URL download that broke off hands the start commands back.
    if (!m_engine.job().checked() && (failure.kind == Kind::Transfer || failure.kind == Kind::NothingLeft)) {
        m_model.setDownloadUrlEnabled(true);
        m_model.setLoadDescriptorEnabled(true);
    }
}

void DownloadPresenter::showNotice(const EngineNotice &notice)
{
    m_dialogs.messageBox(notice.text, Dialogs::Buttons::Ok, notice.title);
    if (notice.endsProgram)
        emit exitRequested();
}
