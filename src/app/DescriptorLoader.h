#pragma once

#include <QString>

class DownloadEngine;
class Dialogs;
class MainWindowModel;
class ServerSelection;
class WindowPort;

// Loading a descriptor and starting its verified download: the "Load DDF
// Data File" command and the descriptor named on the command line.
class DescriptorLoader {
public:
    DescriptorLoader(DownloadEngine &engine, MainWindowModel &view, Dialogs &dialogs, ServerSelection &servers,
                     WindowPort &window);

    // Reads the descriptor at `path`, shows its summary and asks for the
    // output file. True when it was accepted and an output file chosen
    // (DestinationPath is then not empty); every refusal has shown its own
    // message, if any.
    bool LoadDDF(const QString &path);

    // "Load DDF Data File": open dialog, load, server choice, DownloadFile.
    void Command1_Click();

    // The descriptor start of program start, for DescriptorPath as taken
    // from the command line; URLMode is left as it is.
    void startFromCommandLine();

    static QString summaryText(const QString &fileName, qint32 fileSize, const QString &information);
    static const QString &earlierVersionMessage();

private:
    bool fail(const QString &description);

    DownloadEngine &m_engine;
    MainWindowModel &m_view;
    Dialogs &m_dialogs;
    ServerSelection &m_servers;
    WindowPort &m_window;
};
