#pragma once

#include <QStringList>

class Dialogs;
struct DownloadJob;

// The choice among a descriptor's servers: offered when it names two or
// more; the choice sets the job's server and URL (kept as the preselection
// for the next descriptor) and whether every server is used at once.
class ServerSelection {
public:
    explicit ServerSelection(Dialogs &dialogs);

    // Amends `job` by the user's choice (or, with fewer than two servers, to
    // the first entry). True when a server was chosen with OK.
    bool offer(DownloadJob &job);
    // The server the next descriptor starts from.
    int lastIndex() const { return m_lastIndex; }

private:
    Dialogs &m_dialogs;
    QStringList m_names;
    int m_lastIndex = 0;
};
