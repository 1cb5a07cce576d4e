#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// Every modal interaction of the program passes through this seam: the real
// implementation shows windows, tests script the answers and record the
// questions.
class Dialogs {
public:
    enum class Buttons { Ok, OkCancel };
    enum class Answer { Ok, Cancel };

    struct FileRequest {
        bool save = false;       // save dialog when true, open dialog otherwise
        QString title;           // DialogTitle
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
    virtual std::optional<FileAnswer> fileDialog(const FileRequest &request) = 0;
    // The file-exists prompt (frmMessageBox): 0 Cancel or closed, 1 Overwrite, 2 Resume.
    virtual int fileExistsPrompt() = 0;
    // The server window (frmServers), shown modally: the names listed, the
    // row preselected. Returns the row chosen with OK, nullopt when closed
    // with the close box.
    virtual std::optional<int> chooseServer(const QStringList &names, int selected) = 0;

    static QString programTitle() { return QStringLiteral("Orvanta Downloader"); }
};
