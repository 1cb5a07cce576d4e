// Placeholder until the engine lands; keeps the tree linking.
#include "DownloadEngine.h"

DownloadEngine::DownloadEngine(MainWindowModel &view, HttpControl &inet, Dialogs &dialogs, ActivityLog &log,
                               ProcessExit &exit, QObject *parent)
    : QObject(parent), d(nullptr), m_view(view), m_inet(inet), m_dialogs(dialogs), m_log(log), m_exit(exit)
{
}

DownloadEngine::~DownloadEngine() = default;
