#include "DescriptorLoader.h"

#include "RestartHold.h"
#include "ServerSelection.h"

#include <descriptor/DescriptorCheck.h>
#include <descriptor/DescriptorHeader.h>
#include <transfer/DownloadEngine.h>
#include <ui/MainWindowModel.h>
#include <app/FileRequest.h>
#include <app/Dialogs.h>
#include <util/Format.h>
#include <util/Paths.h>

#include <QFile>
#include <QFileInfo>

namespace {
const QString crlf = QStringLiteral("\r\n");
const QString allFiles = QStringLiteral("All File Types (*.*)|*.*");
} // namespace

DescriptorLoader::DescriptorLoader(DownloadEngine &engine, MainWindowModel &view, Dialogs &dialogs,
                                   ServerSelection &servers)
    : m_engine(engine), m_view(view), m_dialogs(dialogs), m_servers(servers)
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

QString DescriptorLoader::summaryText(const QString &fileName, qint64 fileSize, const QString &information)
{
    return QStringLiteral("We have collected the following information:") + crlf + crlf +
           QStringLiteral("File Name: ") + fileName + crlf + QStringLiteral("File Size: ") +
           formatByteSize(double(fileSize)) + crlf + QStringLiteral("Information: ") + information + crlf + crlf +
           QStringLiteral("Please select an output file in the next screen. You can select a file that is "
                          "partially downloaded if you need to resume the download, or a fully downloaded file "
                          "that you would like to validate or repair.");
}

std::optional<DownloadJob> DescriptorLoader::prepare(const QString &path)
{
    const std::optional<Checked> checked = readAndCheck(path);
    if (!checked)
        return std::nullopt;
    const DescriptorHeader *record = &checked->header;
    const qint64 fileSize = checked->fileSize();
    // The descriptor is anybody's file: its texts are shown with control
    // characters written out, and its name offered only as a bare name.
    const QString fileName = escapeControlCharacters(trimSpaces(record->fileName));
    const QString information = escapeControlCharacters(trimSpaces(record->information));
    m_dialogs.messageBox(summaryText(fileName, fileSize, information), Dialogs::Buttons::Ok);

    DownloadJob job;
    job.mode = DownloadJob::Mode::Descriptor;
    job.descriptorPath = path;
    job.descriptor = *record;
    job.strongHashes = checked->trailer;
    job.serverIndex = m_servers.lastIndex();
    job.sourceUrl = trimSpaces(record->servers[size_t(job.serverIndex)]);
    job.appendStartOffset = record->startParam != 0;
    job.useAllServers = true;  // offered ticked; it takes effect with two servers or more
    m_startParam = job.appendStartOffset;

    const std::optional<QString> destination = askDestination(safeFileName(trimSpaces(record->fileName)), fileSize);
    if (!destination)
        return std::nullopt;
    m_view.setText(MainWindowModel::Label::Info, QStringLiteral("File Name: ") + fileName + crlf +
                                                     QStringLiteral("File Size: ") + formatByteSize(double(fileSize)) +
                                                     crlf + QStringLiteral("Information: ") + information);
    job.destination = *destination;
    return job;
}

// The header of the descriptor at `path` when a download can start from
// it; otherwise nullopt after a message that says what is wrong.
std::optional<DescriptorLoader::Checked> DescriptorLoader::readAndCheck(const QString &path)
{
    if (!QFileInfo::exists(path)) {
        refuse(QStringLiteral("The descriptor file %1 does not exist.").arg(path));
        return std::nullopt;
    }
    QString error;
    qint64 length = 0;
    const std::optional<DescriptorHeader> record = readDescriptorHeader(path, &error, &length);
    if (!record) {
        refuse(QStringLiteral("Error ") + error);
        return std::nullopt;
    }
    const TrailerRead trailer = readTrailer(path, *record, length);
    const DescriptorCheck check = checkDescriptor(*record, length, trailer);
    if (check.fault == DescriptorFault::OldVersion) {
        m_dialogs.messageBox(earlierVersionMessage(), Dialogs::Buttons::Ok);
        return std::nullopt;
    }
    if (!check.usable()) {
        refuse(QStringLiteral("This descriptor cannot be used. ") + check.reason);
        return std::nullopt;
    }
    return Checked{*record, trailer.trailer};
}

// A message box, and the same words beside the status.
void DescriptorLoader::refuse(const QString &text)
{
    m_dialogs.messageBox(text, Dialogs::Buttons::Ok);
    m_view.setText(MainWindowModel::Label::Reason, text);
}

// The save dialog, and what to do with an existing file that is longer
// than the described one.
std::optional<QString> DescriptorLoader::askDestination(const QString &fileName, qint64 fileSize)
{
    const std::optional<QString> chosen =
        askForFile(m_dialogs, true, QStringLiteral("Select a Save Location..."), allFiles, fileName);
    if (!chosen)
        return std::nullopt;
    if (chosen->right(3).toLower() == QLatin1String("ddf")) {
        m_dialogs.messageBox(QStringLiteral("Please do not save to a *.ddf file. Please save to the default name "
                                            "presented if possible."),
                             Dialogs::Buttons::Ok);
        return std::nullopt;
    }
    if (regularFileExists(*chosen) && QFileInfo(*chosen).size() > fileSize) {
        const Dialogs::Answer keep = m_dialogs.messageBox(
            QStringLiteral("You are trying to write to a file that already exists and is larger than the file you "
                           "are downloading. We will have to delete the selected file and start over again. "
                           "Select OK to continue, or Cancel to cancel this action."),
            Dialogs::Buttons::OkCancel);
        if (keep == Dialogs::Answer::Cancel)
            return std::nullopt;
        QFile existing(*chosen);
        if (!existing.remove()) {
            refuse(QStringLiteral("Error ") + existing.errorString());
            return std::nullopt;
        }
    }
    return chosen;
}

void DescriptorLoader::chooseAndStart()
{
    if (m_engine.isBusy())
        return;
    RestartHold hold(m_engine);
    const std::optional<QString> path = askForFile(m_dialogs, false, QStringLiteral("Select a Downloader Data File..."),
                                                   QStringLiteral("Downloader Data File (*.ddf)|*.ddf"));
    if (!path)
        return;
    if (std::optional<DownloadJob> job = prepare(*path))
        offerServersAndStart(*job);
}

void DescriptorLoader::startFromCommandLine(const QString &path)
{
    if (path.isEmpty())
        return;
    RestartHold hold(m_engine);
    if (std::optional<DownloadJob> job = prepare(path))
        offerServersAndStart(*job);
}

void DescriptorLoader::offerServersAndStart(DownloadJob job)
{
    m_servers.offer(job);
    m_engine.start(job);
}
