#pragma once

#include <app/Dialogs.h>
#include <app/ProcessExit.h>

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

// Answers every modal question from a script and records what was asked;
// `narrate`, when set, hears each question and its answer as one line. A
// question with no scripted answer fails the test loudly rather than
// blocking or guessing.
class ScriptedDialogs : public Dialogs {
public:
    std::deque<Answer> messageAnswers;                 // Ok when empty
    std::deque<std::optional<FileAnswer>> fileAnswers; // nullopt = cancel
    std::deque<FileExistsAnswer> fileExistsAnswers;
    std::deque<std::optional<int>> serverAnswers;      // the row, nullopt = close box
    std::deque<bool> allServersAnswers;                // the box as left with OK; off when none is scripted
    QStringList messages;                              // texts of the message boxes shown
    std::vector<FileQuestion> fileQuestions;
    std::vector<std::pair<QStringList, int>> serverQuestions;  // names listed, row preselected
    std::function<void(const QString &)> narrate = [](const QString &) {};

    Answer messageBox(const QString &text, Buttons buttons, const QString &title = {}) override
    {
        messages << text;
        narrate(QStringLiteral("message box \"%1\" (%2): %3")
                    .arg(title.isEmpty() ? programTitle() : title, buttons == Buttons::Ok ? "OK" : "OK, Cancel", text));
        return messageAnswers.empty() ? Answer::Ok : next(messageAnswers, "message box", Answer::Ok);
    }
    std::optional<FileAnswer> fileDialog(const FileQuestion &question) override
    {
        fileQuestions.push_back(question);
        const auto answer = next(fileAnswers, "file dialog", std::optional<FileAnswer>());
        narrate(QStringLiteral("%1 dialog \"%2\" preset \"%3\" -> %4")
                    .arg(question.save ? "save" : "open", question.title, question.fileName,
                         answer ? answer->fileName : "cancelled"));
        return answer;
    }
    FileExistsAnswer askFileExists() override
    {
        const FileExistsAnswer answer = next(fileExistsAnswers, "file-exists question", FileExistsAnswer::Cancel);
        narrate(QStringLiteral("file-exists prompt -> ") + QStringList{"Cancel", "Overwrite", "Resume"}.at(int(answer)));
        return answer;
    }
    std::optional<ServerAnswer> chooseServer(const QStringList &names, int selected, bool) override
    {
        serverQuestions.emplace_back(names, selected);
        const std::optional<int> row = next(serverAnswers, "server window", std::optional<int>());
        const bool all = row && !allServersAnswers.empty() && allServersAnswers.front();
        if (row && !allServersAnswers.empty())
            allServersAnswers.pop_front();
        narrate(QStringLiteral("server window [%1] preselected %2 -> %3%4")
                    .arg(names.join('|')).arg(selected).arg(row ? QString::number(*row) : "close box",
                                                            all ? ", all servers at once" : ""));
        return row ? std::optional(ServerAnswer{*row, all}) : std::nullopt;
    }

    void chooseFile(const QString &path) { fileAnswers.push_back(FileAnswer{path, 1}); }
    void cancelFile() { fileAnswers.push_back(std::nullopt); }

private:
    template <typename T> T next(std::deque<T> &answers, const char *question, T answer)
    {
        if (answers.empty()) {
            ADD_FAILURE() << "unscripted " << question;
            return answer;
        }
        std::swap(answer, answers.front());
        answers.pop_front();
        return answer;
    }
};

// Tells `ended` instead of ending the program.
class RecordingProcessExit : public ProcessExit {
public:
    std::function<void()> ended;
    void endProgram(int = 0) override
    {
        if (ended)
            ended();
    }
};
