#pragma once

#include <QStringList>

class DownloadEngine;
class Dialogs;
class MainWindowModel;

// The logic of the server window (ServerChoiceDialog): fills the list from the
// loaded descriptor, closes by itself when fewer than two servers are
// offered, and on OK sets ServerIndex and SourceURL, resuming a paused
// download. The window itself is Dialogs::chooseServer.
class ServerSelection {
public:
    ServerSelection(DownloadEngine &engine, MainWindowModel &view, Dialogs &dialogs);

    // Shows the window modally and returns when it has closed.
    void show();

    // The list as last filled (the names of cmbServers).
    const QStringList &listed() const { return m_names; }
    bool created() const { return m_created; }

private:
    void Form_Initialize();
    // False when the window closes by itself without being shown.
    bool Form_Activate();
    void Command1_Click(int row);
    void fillList();

    DownloadEngine &m_engine;
    MainWindowModel &m_view;
    Dialogs &m_dialogs;
    QStringList m_names;
    int m_selected = 0;
    bool m_created = false;
};
