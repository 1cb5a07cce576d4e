#pragma once

#include <app/Dialogs.h>
#include <app/ProcessExit.h>

#include <QString>
#include <QStringList>

#include <deque>
#include <optional>
#include <vector>

// Answers every modal question from a script and records what was asked.
// A question with no scripted answer fails the test loudly rather than
// blocking or guessing.
class ScriptedDialogs : public Dialogs {
public:
    struct Asked {
        enum class Kind { Message, File, FileExists, Servers } kind;
        QString text;       // message text, or file dialog title
        QString title;      // message box title (program title when none given)
        Buttons buttons = Buttons::Ok;
        FileQuestion file;  // for file dialogs
        QStringList names;  // for the server window
        int selected = 0;
    };

    std::deque<Answer> messageAnswers;                 // default Ok when empty
    std::deque<std::optional<FileAnswer>> fileAnswers; // nullopt = cancel
    std::deque<FileExistsAnswer> fileExistsAnswers;
    std::deque<std::optional<int>> serverAnswers;
    std::vector<Asked> asked;

    Answer messageBox(const QString &text, Buttons buttons, const QString &title = {}) override;
    std::optional<FileAnswer> fileDialog(const FileQuestion &question) override;
    FileExistsAnswer askFileExists() override;
    std::optional<int> chooseServer(const QStringList &names, int selected) override;

    void chooseFile(const QString &path) { fileAnswers.push_back(FileAnswer{path, 1}); }
    void cancelFile() { fileAnswers.push_back(std::nullopt); }

    QStringList messages() const;
};

// Records the request to end the program instead of ending it; the
// flushes still run, as they would before a real exit.
class RecordingProcessExit : public ProcessExit {
public:
    int exitCount = 0;
    int lastCode = -1;
    void endProgram(int code = 0) override
    {
        runFlushes();
        ++exitCount;
        lastCode = code;
    }
};
