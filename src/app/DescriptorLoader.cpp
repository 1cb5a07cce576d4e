#include "DescriptorLoader.h"

#include "ServerSelection.h"
#include "StartDialog.h"
#include "WindowPort.h"

#include <descriptor/DescriptorHeader.h>
#include <transfer/DownloadEngine.h>
#include <ui/cFileDialog.h>
#include <util/Dialogs.h>
#include <util/Format.h>
#include <util/Paths.h>

#include <QFile>
#include <QFileInfo>

namespace {
const QString crlf = QStringLiteral("\r\n");
const QString allFiles = QStringLiteral("All File Types (*.*)|*.*");
} // namespace

DescriptorLoader::DescriptorLoader(DownloadEngine &engine, MainWindowModel &view, Dialogs &dialogs,
                                   ServerSelection &servers, WindowPort &window)
    : m_engine(engine), m_view(view), m_dialogs(dialogs), m_servers(servers), m_window(window)
{
}

const QString &DescriptorLoader::earlierVersionMessage()
{
    static const QString text = QStringLiteral(
        "The DDF file you are selecting is for an earlier version of the Downloader tool. Please check with "
        "the Orvanta web site"
        " for the correct Downloader tool (you will need version 1.03 or earlier).");
    return text;
}

QString DescriptorLoader::summaryText(const QString &fileName, qint32 fileSize, const QString &information)
{
    return QStringLiteral("We have collected the following information:") + crlf + crlf +
           QStringLiteral("File Name: ") + fileName + crlf + QStringLiteral("File Size: ") +
           formatByteSize(fileSize) + crlf + QStringLiteral("Information: ") + information + crlf + crlf +
           QStringLiteral("Please select an output file in the next screen. You can select a file that is "
                          "partially downloaded if you need to resume the download, or a fully downloaded file "
                          "that you would like to validate or repair.");
}

bool DescriptorLoader::fail(const QString &description)
{
    m_dialogs.messageBox(QStringLiteral("Error ") + description, Dialogs::Buttons::Ok);
    return false;
}

bool DescriptorLoader::LoadDDF(const QString &path)
{
    m_engine.flushPendingWrites();
    m_engine.DestinationPath.clear();
    m_window.processEvents();

    if (!regularFileExists(path))
        return false;

    QString error;
    std::optional<DescriptorHeader> record = readDescriptorHeader(path, &error);
    if (!record)
        return fail(error);
    m_engine.DDF = *record;
    const DescriptorHeader &ddf = m_engine.DDF;

    if (!versionAccepted(ddf.version)) {
        m_dialogs.messageBox(earlierVersionMessage(), Dialogs::Buttons::Ok);
        return false;
    }

    const QString fileName = trimSpaces(ddf.fileName);
    const QString information = trimSpaces(ddf.information);
    m_dialogs.messageBox(summaryText(fileName, ddf.fileSize, information), Dialogs::Buttons::Ok);

    m_engine.DestinationPath = fileName;
    m_engine.ExpectedSize = ddf.fileSize;
    if (m_engine.ServerIndex < 0 || m_engine.ServerIndex >= DescriptorHeader::ServerSlots)
        return fail(QStringLiteral("Server number %1 is outside 0 to 9.").arg(m_engine.ServerIndex));
    m_engine.SourceURL = trimSpaces(ddf.servers[m_engine.ServerIndex]);
    m_engine.UseStartParam = ddf.startParam != 0;

    cFileDialog dialog(m_dialogs);
    dialog.DialogTitle = QStringLiteral("Select a Save Location...");
    dialog.setFileName(fileName);
    dialog.Filter = allFiles;
    dialog.ShowSave();
    if (dialog.Cancel())
        return false;

    const QString chosen = dialog.FileName();
    if (chosen.right(3).toLower() == QLatin1String("ddf")) {
        m_dialogs.messageBox(QStringLiteral("Please do not save to a *.ddf file. Please save to the default name "
                                            "presented if possible."),
                             Dialogs::Buttons::Ok);
        return false;
    }

    m_engine.DestinationPath = chosen;
    m_view.setText(MainWindowModel::Label::Info, QStringLiteral("File Name: ") + fileName + crlf +
                                                     QStringLiteral("File Size: ") + formatByteSize(ddf.fileSize) +
                                                     crlf + QStringLiteral("Information: ") + information);

    if (regularFileExists(chosen) && QFileInfo(chosen).size() > qint64(ddf.fileSize)) {
        const Dialogs::Answer keep = m_dialogs.messageBox(
            QStringLiteral("You are trying to write to a file that already exists and is larger than the file you "
                           "are downloading. We will have to delete the selected file and start over again. "
                           "Select OK to continue, or Cancel to cancel this action."),
            Dialogs::Buttons::OkCancel);
        if (keep == Dialogs::Answer::Cancel)
            return false;
        QFile existing(chosen);
        if (!existing.remove())
            return fail(existing.errorString());
    }
    return !m_engine.DestinationPath.isEmpty();
}

void DescriptorLoader::Command1_Click()
{
    if (m_engine.transferActive())
        return;
    cFileDialog dialog(m_dialogs);
    dialog.DialogTitle = QStringLiteral("Select a Downloader Data File...");
    dialog.Filter = QStringLiteral("Downloader Data File (*.ddf)|*.ddf");
    showStartDialog(m_engine, dialog, false);
    // Taken before the cancel test: a cancelled dialog leaves its empty preset.
    m_engine.DescriptorPath = dialog.FileName();
    if (dialog.Cancel())
        return;
    if (!LoadDDF(m_engine.DescriptorPath))
        return;
    m_servers.show();
    m_engine.URLMode = false;
    m_engine.DownloadFile(m_engine.SourceURL, m_engine.DestinationPath, QString(), QString());
}

void DescriptorLoader::startFromCommandLine()
{
    const QString path = m_engine.DescriptorPath;
    if (path.isEmpty() || !regularFileExists(path))
        return;
    if (!LoadDDF(path))
        return;
    m_servers.show();
    m_engine.DownloadFile(m_engine.SourceURL, m_engine.DestinationPath, QString(), QString());
}
