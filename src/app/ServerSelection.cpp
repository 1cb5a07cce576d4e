#include "ServerSelection.h"

#include <descriptor/DescriptorHeader.h>
#include <transfer/DownloadEngine.h>
#include <util/Dialogs.h>

namespace {

// Without the window the whole entry is the URL ("|" may be part of it);
// slots may be padded with zero bytes, which are not.
QString wholeEntryURL(const QString &entry) { return trimSpaces(entry).remove(QChar(u'\0')).trimmed(); }

} // namespace

ServerSelection::ServerSelection(DownloadEngine &engine, MainWindowModel &view, Dialogs &dialogs)
    : m_engine(engine), m_view(view), m_dialogs(dialogs)
{
}

void ServerSelection::fillList()
{
    m_names.clear();
    m_selected = 0;
    m_engine.ServerCount = 0;
    for (const QString &entry : serverEntries(m_engine.DDF)) {
        m_names << serverDisplayName(entry);
        ++m_engine.ServerCount;
    }
}

void ServerSelection::Form_Initialize()
{
    fillList();
    m_created = true;
}

bool ServerSelection::Form_Activate()
{
    // The decision uses the list of the descriptor loaded now. A count left
    // over from an earlier descriptor would hide the choice from a
    // multi-server descriptor (leaving "name|URL" as the URL) or show an
    // empty list.
    fillList();
    if (m_engine.ServerCount < 2) {
        m_engine.ServerIndex = 0;
        m_engine.SourceURL = wholeEntryURL(m_engine.DDF.servers[0]);
        return false;
    }
    if (m_engine.ServerIndex < 0 || m_engine.ServerIndex >= m_names.size()) {
        // A choice kept from a descriptor with more servers: the loader took
        // an empty slot as the URL, so start again from the first entry.
        m_engine.ServerIndex = 0;
        m_engine.SourceURL = wholeEntryURL(m_engine.DDF.servers[0]);
    }
    m_selected = m_engine.ServerIndex;
    return true;
}

void ServerSelection::Command1_Click(int row)
{
    m_engine.ServerIndex = qint16(row);
    if (m_engine.ServerCount == 0)
        m_engine.SourceURL = trimSpaces(m_engine.DDF.servers[0]);
    else
        m_engine.SourceURL = serverUrl(m_engine.DDF.servers[m_engine.ServerIndex]);
    if (m_view.cancelCaption() == QLatin1String("Resume Download..."))
        m_engine.CancelButton_Click();
}

void ServerSelection::show()
{
    if (!m_created)
        Form_Initialize();
    if (!Form_Activate())
        return;
    const std::optional<int> row = m_dialogs.chooseServer(m_names, m_selected);
    if (row && *row >= 0 && *row < m_names.size()) {
        Command1_Click(*row);
        return;
    }
    // Closed with the close box: the loader's whole entry ("name|URL") is
    // no URL to fetch, so keep the URL part of what is set.
    m_engine.SourceURL = serverUrl(m_engine.SourceURL);
}
