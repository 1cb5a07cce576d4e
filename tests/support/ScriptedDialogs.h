#pragma once

#include <app/Dialogs.h>
#include <app/ProcessExit.h>

#include <gtest/gtest.h>

#include <deque>
#include <optional>
#include <utility>
#include <vector>

// Answers every modal question from a script and records what was asked.
// A question with no scripted answer fails the test loudly rather than
// blocking or guessing.
class ScriptedDialogs : public Dialogs {
public:
    std::deque<Answer> messageAnswers;                 // Ok when empty
    std::deque<std::optional<FileAnswer>> fileAnswers; // nullopt = cancel
    std::deque<FileExistsAnswer> fileExistsAnswers;
    std::deque<std::optional<int>> serverAnswers;
    QStringList messages;                              // texts of the message boxes shown
    std::vector<FileQuestion> fileQuestions;
    std::vector<std::pair<QStringList, int>> serverQuestions;  // names listed, row preselected
    int asked = 0;                                     // questions of every kind

    Answer messageBox(const QString &text, Buttons, const QString & = {}) override
    {
        messages << text;
        return messageAnswers.empty() ? (++asked, Answer::Ok) : next(messageAnswers, "message box", Answer::Ok);
    }
    std::optional<FileAnswer> fileDialog(const FileQuestion &question) override
    {
        fileQuestions.push_back(question);
        return next(fileAnswers, "file dialog", std::optional<FileAnswer>());
    }
    FileExistsAnswer askFileExists() override { return next(fileExistsAnswers, "file-exists question", FileExistsAnswer::Cancel); }
    std::optional<int> chooseServer(const QStringList &names, int selected) override
    {
        serverQuestions.emplace_back(names, selected);
        return next(serverAnswers, "server window", std::optional<int>());
    }

    void chooseFile(const QString &path) { fileAnswers.push_back(FileAnswer{path, 1}); }
    void cancelFile() { fileAnswers.push_back(std::nullopt); }

private:
    template <typename T> T next(std::deque<T> &answers, const char *question, T answer)
    {
        ++asked;
        if (answers.empty()) {
            ADD_FAILURE() << "unscripted " << question;
            return answer;
        }
        std::swap(answer, answers.front());
        answers.pop_front();
        return answer;
    }
};

// Runs the flushes a real exit would run, and does not end the program.
class RecordingProcessExit : public ProcessExit {
public:
    void endProgram(int = 0) override { runFlushes(); }
};
