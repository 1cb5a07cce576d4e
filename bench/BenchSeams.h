#pragma once

// The dialogs and exit seams for headless benchmark runs: messages go to
// stderr, every question is answered "no", and ending the program only
// flushes.
#include <app/Dialogs.h>
#include <app/ProcessExit.h>

#include <cstdio>

class SilentDialogs : public Dialogs {
public:
    Answer messageBox(const QString &text, Buttons, const QString &) override
    {
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
        return Answer::Ok;
    }
    std::optional<FileAnswer> fileDialog(const FileQuestion &) override { return std::nullopt; }
    FileExistsAnswer askFileExists() override { return FileExistsAnswer::Cancel; }
    std::optional<ServerAnswer> chooseServer(const QStringList &, int, bool) override { return std::nullopt; }
};

class NoExit : public ProcessExit {
public:
    void endProgram(int) override {}
};
