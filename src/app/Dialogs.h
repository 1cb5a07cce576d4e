#pragma once

#include <ui/FileExistsAnswer.h>

#include <QString>
#include <QStringList>

#include <optional>

// Every modal question the program asks passes through this seam: the real
// implementation shows windows, tests script the answers and record the
// questions.
class Dialogs {
public:
    enum class Buttons { Ok, OkCancel };
    enum class Answer { Ok, Cancel };

    struct FileQuestion {
        bool save = false;       // save dialog when true, open dialog otherwise
        QString title;
        QString filter;          // "desc|pattern|desc|pattern"
        QString fileName;        // preset name
        int filterIndex = 1;     // 1-based
    };
    struct FileAnswer {
        QString fileName;        // the chosen path
        int filterIndex = 1;     // the filter the user ended with
    };

    virtual ~Dialogs() = default;

    // A message box. An empty title means the program's title,
    // "Orvanta Downloader".
    virtual Answer messageBox(const QString &text, Buttons buttons, const QString &title = {}) = 0;
    // The standard open or save dialog; nullopt when the user cancelled.
    virtual std::optional<FileAnswer> fileDialog(const FileQuestion &question) = 0;
    // What to do with a destination that already exists.
    virtual FileExistsAnswer askFileExists() = 0;
    struct ServerAnswer {
        int row = 0;
        bool useAllServers = false;  // the box "Use all servers at once"
    };
    // The server choice, shown modally: the names listed, the row
    // preselected, the box as offered. Returns the row chosen with OK and
    // the box as left, nullopt when closed with the close box.
    virtual std::optional<ServerAnswer> chooseServer(const QStringList &names, int selected, bool useAllServers) = 0;

    static QString programTitle() { return QStringLiteral("Orvanta Downloader"); }
};
