#include "ServerSelection.h"

#include <descriptor/DescriptorHeader.h>
#include <transfer/DownloadJob.h>
#include <app/Dialogs.h>

ServerSelection::ServerSelection(Dialogs &dialogs) : m_dialogs(dialogs) {}

bool ServerSelection::offer(DownloadJob &job)
{
    const QStringList entries = serverEntries(job.descriptor);
    m_names.clear();
    for (const QString &entry : entries)
        m_names << serverDisplayName(entry);
    if (m_names.size() < 2 || job.serverIndex < 0 || job.serverIndex >= m_names.size()) {
        // One server, or a choice kept from a descriptor with more: the
        // loader took that slot as the URL, so start from the first entry.
        job.serverIndex = 0;
        job.sourceUrl = entries.isEmpty() ? QString() : entryUrl(entries, 0);
        if (m_names.size() < 2)
            return false;
    }
    const std::optional<Dialogs::ServerAnswer> answer = m_dialogs.chooseServer(m_names, job.serverIndex, job.useAllServers);
    if (answer && answer->row >= 0 && answer->row < m_names.size()) {
        job.serverIndex = m_lastIndex = answer->row;
        job.sourceUrl = serverUrl(entries[answer->row]);
        job.useAllServers = answer->useAllServers;
        return true;
    }
    // Closed with the close box: the whole entry ("name|URL") is no URL to
    // fetch, so keep the URL part of it.
    job.sourceUrl = serverUrl(job.sourceUrl);
    return false;
}
