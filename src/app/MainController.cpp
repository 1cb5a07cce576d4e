#include "MainController.h"

#include "ProcessExit.h"
#include "RestartHold.h"
#include "WindowPort.h"

#include <transfer/DownloadEngine.h>
#include <ui/MainWindowModel.h>
#include <app/FileRequest.h>
#include <app/Dialogs.h>
#include <util/Paths.h>

#include <QFile>

MainController::MainController(MainWindowModel &view, DownloadEngine &engine, Dialogs &dialogs, ActivityLog &log,
                               ProcessExit &exit, ClipboardReader clipboard, WindowPort &window, QObject *parent)
    : QObject(parent),
      m_view(view),
      m_engine(engine),
      m_dialogs(dialogs),
      m_exit(exit),
      m_clipboard(std::move(clipboard)),
      m_window(window),
      m_presenter(engine, view, log, dialogs),
      m_servers(dialogs),
      m_loader(engine, view, dialogs, m_servers)
{
    connect(&m_presenter, &DownloadPresenter::exitRequested, this, &MainController::requestExit);
}

QString MainController::versionTitle()
{
    return QStringLiteral("Orvanta Downloader Version %1.%2.%3").arg(VersionMajor).arg(VersionMinor).arg(VersionRevision);
}

QString MainController::fileNameFromUrl(const QString &url)
{
    const QStringList pieces = url.trimmed().split(QLatin1Char('/'));
    QString name = pieces.last().trimmed();
    if (name.isEmpty() && pieces.size() > 1)
        name = pieces.at(pieces.size() - 2).trimmed();
    return name;
}

void MainController::startUp(const QStringList &args)
{
    using Label = MainWindowModel::Label;
    m_view.setWindowTitle(versionTitle());
    m_view.setText(Label::Status, QStringLiteral("Waiting for URL or Downloader Data File (*.ddf)..."));
    for (Label label : {Label::Source, Label::TimeLeft, Label::Rate, Label::Destination})
        m_view.setText(label, QString());
    m_view.setTrayTip(QStringLiteral("Right-Click for Options"));
    m_window.addTrayIcon(m_view.trayTip());
    m_window.showNormal();

    m_loader.startFromCommandLine(args.join(QLatin1Char(' ')).remove(QLatin1Char('"')));
    if (m_exiting)
        return;
    if (!m_engine.isBusy()) {
        proposeClipboardUrl();
        return;
    }
    // A URL proposed beside a running descriptor download could not be
    // started, and its focus would be lost: it waits until the download
    // stops (done, failed, paused or waiting to retry).
    m_clipboardWait = connect(&m_engine, &DownloadEngine::stateChanged, this, [this] {
        if (m_engine.isBusy() || m_engine.state() == DownloadEngine::State::Idle)
            return;
        disconnect(m_clipboardWait);
        proposeClipboardUrl();
    });
}

void MainController::proposeClipboardUrl()
{
    const QString clip = m_clipboard().value_or(QString()).trimmed();
    for (const QLatin1String prefix : {QLatin1String("http://"), QLatin1String("https://"), QLatin1String("www.")}) {
        if (clip.startsWith(prefix, Qt::CaseInsensitive))
            setUrlBox(clip);
    }
    if (m_view.downloadUrlEnabled())
        m_window.focusDownloadButton();
}

void MainController::handOver(const QString &descriptorPath, const QString &url, const QString &refusal)
{
    m_window.showNormal();
    m_window.bringToFront();
    if (!refusal.isEmpty()) {
        m_dialogs.messageBox(refusal, Dialogs::Buttons::Ok);
        return;
    }
    if (!descriptorPath.isEmpty())
        m_loader.startFromCommandLine(descriptorPath);
    if (!url.isEmpty()) {
        setUrlBox(url);
        if (m_view.downloadUrlEnabled())
            m_window.focusDownloadButton();
    }
}

void MainController::setUrlBox(const QString &text)
{
    m_view.setUrlText(text);
    urlEdited(text);
}

void MainController::urlEdited(const QString &text)
{
    m_view.setUrlText(text);
    m_view.setDownloadUrlEnabled(!text.trimmed().isEmpty() && !m_engine.isBusy());
}

void MainController::pasteUrl()
{
    if (const std::optional<QString> clip = m_clipboard())
        setUrlBox(*clip);  // a clipboard that could not be read leaves the box as it is
}

void MainController::downloadUrl()
{
    if (m_engine.isBusy())
        return;
    RestartHold hold(m_engine);
    const std::optional<QString> destination =
        askForFile(m_dialogs, true, QStringLiteral("Save to..."), QStringLiteral("All File Types (*.*)|*.*"),
                   fileNameFromUrl(m_view.urlText()));
    if (!destination)
        return;

    DownloadJob job;
    job.sourceUrl = m_view.urlText().trimmed();
    job.destination = *destination;
    job.appendStartOffset = m_loader.startParamInEffect();
    if (regularFileExists(job.destination)) {
        const FileExistsAnswer choice = m_dialogs.askFileExists();
        if (choice == FileExistsAnswer::Cancel)
            return;
        // A file that cannot be deleted is not silently resumed instead.
        QFile existing(job.destination);
        if (choice == FileExistsAnswer::Overwrite && !existing.remove()) {
            m_dialogs.messageBox(QStringLiteral("Error ") + existing.errorString(), Dialogs::Buttons::Ok);
            return;
        }
    }
    m_view.setDownloadUrlEnabled(false);
    m_view.setLoadDescriptorEnabled(false);
    m_engine.start(job);
}

void MainController::pauseButtonClicked()
{
    using State = DownloadEngine::State;
    switch (m_engine.state()) {
    case State::Completed:
    case State::Verified:
        requestExit();
        return;
    case State::Paused:
        m_engine.resume();
        return;
    default:
        m_engine.pause();
        return;
    }
}

void MainController::trayPause()
{
    if (m_view.pauseButtonEnabled())
        pauseButtonClicked();
}

void MainController::chooseServer()
{
    DownloadJob job = m_engine.job();
    if (m_servers.offer(job))
        m_engine.resume(job);
}

// Minimised to the tray where there is one; else it stays on the taskbar.
void MainController::windowMinimized()
{
    if (m_window.trayAvailable())
        m_window.hideWindow();
}

void MainController::restoreWindow() { m_window.showNormal(); }

void MainController::showLog() { m_window.showLog(); }

void MainController::trayLeftClick() { restoreWindow(); }

void MainController::trayRightClick(const QPoint &at)
{
    m_window.bringToFront();
    m_window.popupTrayMenu(at);
}

void MainController::requestExit()
{
    if (m_exiting)
        return;
    m_exiting = true;
    m_window.removeTrayIcon();
    m_engine.stop();
    m_exit.endProgram(0);
}
