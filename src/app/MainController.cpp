#include "MainController.h"

#include "StartDialog.h"
#include "WindowPort.h"

#include <transfer/DownloadEngine.h>
#include <app/FileRequest.h>
#include <app/Dialogs.h>
#include <util/Paths.h>
#include <util/ProcessExit.h>

#include <QFile>

MainController::MainController(MainWindowModel &view, DownloadEngine &engine, Dialogs &dialogs, ActivityLog &log,
                               ProcessExit &exit, ClipboardReader clipboard, WindowPort &window, QObject *parent)
    : QObject(parent),
      m_view(view),
      m_engine(engine),
      m_dialogs(dialogs),
      m_log(log),
      m_exit(exit),
      m_clipboard(std::move(clipboard)),
      m_window(window),
      m_servers(engine, view, dialogs),
      m_loader(engine, view, dialogs, m_servers, window)
{
    connect(&m_engine, &DownloadEngine::activeChanged, this, &MainController::onTransferActive);
    connect(&m_engine, &DownloadEngine::exitRequested, this, &MainController::Form_Unload);
}

QString MainController::versionTitle()
{
    return QStringLiteral("Orvanta Downloader Version %1.%2.%3").arg(VersionMajor).arg(VersionMinor).arg(VersionRevision);
}

void MainController::Form_Load(const QStringList &args)
{
    using Label = MainWindowModel::Label;
    m_view.setWindowTitle(versionTitle());
    m_view.setText(Label::Status, QStringLiteral("Waiting for URL or Downloader Data File (*.ddf)..."));
    for (Label label : {Label::Source, Label::TimeLeft, Label::Rate, Label::Destination})
        m_view.setText(label, QString());

    m_view.setTrayTip(QStringLiteral("Right-Click for Options"));
    m_window.addTrayIcon(m_view.trayTip());

    m_window.showNormal();
    m_window.processEvents();

    m_engine.DescriptorPath = args.join(QLatin1Char(' ')).remove(QLatin1Char('"'));
    m_loader.startFromCommandLine();
    if (m_exiting)
        return;

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
    if (!descriptorPath.isEmpty()) {
        // A URL download may have run before: restarts must take this one's road.
        m_engine.URLMode = false;
        m_engine.DescriptorPath = descriptorPath;
        m_loader.startFromCommandLine();
    }
    if (!url.isEmpty()) {
        setUrlBox(url);
        if (m_view.downloadUrlEnabled())
            m_window.focusDownloadButton();
    }
}

void MainController::setUrlBox(const QString &text)
{
    m_view.setUrlText(text);
    txtURL_Change(text);
}

void MainController::txtURL_Change(const QString &text)
{
    m_view.setUrlText(text);
    // No second transfer may start inside or beside a running one.
    m_view.setDownloadUrlEnabled(!text.trimmed().isEmpty() && !m_engine.transferActive());
}

void MainController::onTransferActive(bool active)
{
    if (active) {
        m_view.setDownloadUrlEnabled(false);
        m_view.setLoadDescriptorEnabled(false);
    } else if (!m_engine.URLMode) {
        // A descriptor download never owned "Download from URL"; give it
        // back to the URL box. After a URL download the engine decides.
        m_view.setDownloadUrlEnabled(!m_view.urlText().trimmed().isEmpty());
    }
}

void MainController::cmdPaste_Click()
{
    const std::optional<QString> clip = m_clipboard();
    if (!clip)
        return;  // a clipboard that could not be read leaves the box as it is
    setUrlBox(*clip);
}

QString MainController::FileNameFromURL(const QString &url)
{
    const QStringList pieces = url.trimmed().split(QLatin1Char('/'));
    QString name = pieces.last().trimmed();
    if (name.isEmpty() && pieces.size() > 1)
        name = pieces.at(pieces.size() - 2).trimmed();
    return name;
}

void MainController::cmdURL_Click()
{
    if (m_engine.transferActive())
        return;
    FileRequest dialog(m_dialogs);
    dialog.setTitle(QStringLiteral("Save to..."));
    dialog.setFilter(QStringLiteral("All File Types (*.*)|*.*"));
    dialog.setFileName(FileNameFromURL(m_view.urlText()));
    showStartDialog(m_engine, dialog, true);
    if (dialog.cancelled())
        return;

    m_engine.DestinationPath = dialog.fileName();
    m_engine.SourceURL = m_view.urlText().trimmed();
    m_engine.URLMode = true;

    if (regularFileExists(m_engine.DestinationPath)) {
        const FileExistsAnswer choice = m_dialogs.askFileExists();
        if (choice == FileExistsAnswer::Cancel)
            return;
        if (choice == FileExistsAnswer::Overwrite) {
            m_engine.flushPendingWrites();
            if (!QFile::remove(m_engine.DestinationPath))
                return;  // the command ends silently
        }
    }

    m_view.setDownloadUrlEnabled(false);
    m_view.setLoadDescriptorEnabled(false);
    m_engine.DownloadFileFromURL(m_engine.SourceURL, m_engine.DestinationPath, QString(), QString());
}

void MainController::Form_Resize() { m_window.hideWindow(); }

void MainController::exitSequence()
{
    if (m_exiting)
        return;
    m_exiting = true;
    m_window.removeTrayIcon();
    m_engine.StopTransfer = true;
    m_exit.endProgram(0);
}

void MainController::Form_QueryUnload() { exitSequence(); }

void MainController::Form_Unload() { exitSequence(); }

void MainController::End_Click()
{
    m_window.removeTrayIcon();
    exitSequence();
}

void MainController::trayLeftClick() { Restore_Click(); }

void MainController::trayRightClick(const QPoint &at)
{
    m_window.bringToFront();
    m_window.popupTrayMenu(at);
}

void MainController::Restore_Click() { m_window.showNormal(); }

void MainController::ViewLog_Click() { m_window.showLog(); }

void MainController::Pause_Click() { m_engine.Pause_Click(); }
