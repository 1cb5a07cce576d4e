#pragma once

#include <transfer/DownloadJob.h>

#include <QString>

#include <optional>

class Dialogs;
class DownloadEngine;
class MainWindowModel;
class ServerSelection;

// Reading a descriptor and starting its checked download: the "Load DDF Data
// File" command and the descriptor named on the command line.
class DescriptorLoader {
public:
    DescriptorLoader(DownloadEngine &engine, MainWindowModel &view, Dialogs &dialogs, ServerSelection &servers);

    // Reads the descriptor at `path`, shows its summary and asks for the
    // output file. The job to start, or nullopt when it was refused or
    // cancelled (every refusal has shown its own message, if any).
    std::optional<DownloadJob> prepare(const QString &path);

    // The command: open dialog, prepare, server choice, start.
    void chooseAndStart();
    // The start-up path for a descriptor named on the command line.
    void startFromCommandLine(const QString &path);

    // The start parameter of the last descriptor read; URL downloads
    // follow it too.
    bool startParamInEffect() const { return m_startParam; }

    static QString summaryText(const QString &fileName, qint64 fileSize, const QString &information);
    static const QString &earlierVersionMessage();

private:
    struct Checked {
        DescriptorHeader header;
        std::optional<DescriptorTrailer> trailer;
        qint64 fileSize() const { return trailer ? trailer->fileSize : qint64(header.fileSize); }
    };
    std::optional<Checked> readAndCheck(const QString &path);
    void refuse(const QString &text);
    void offerServersAndStart(DownloadJob job);
    std::optional<QString> askDestination(const QString &fileName, qint64 fileSize);

    DownloadEngine &m_engine;
    MainWindowModel &m_view;
    Dialogs &m_dialogs;
    ServerSelection &m_servers;
    bool m_startParam = false;
};
