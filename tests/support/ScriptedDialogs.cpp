#include "ScriptedDialogs.h"

#include <gtest/gtest.h>

namespace {
// The next scripted answer; a question nobody scripted fails the test and
// gets `answer`.
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
}  // namespace

Dialogs::Answer ScriptedDialogs::messageBox(const QString &text, Buttons buttons, const QString &title)
{
    asked.push_back({Asked::Kind::Message, text, title.isEmpty() ? programTitle() : title, buttons, {}, {}, 0});
    return messageAnswers.empty() ? Answer::Ok : next(messageAnswers, "message box", Answer::Ok);
}

std::optional<Dialogs::FileAnswer> ScriptedDialogs::fileDialog(const FileQuestion &question)
{
    asked.push_back({Asked::Kind::File, question.title, {}, Buttons::Ok, question, {}, 0});
    return next(fileAnswers, "file dialog", std::optional<FileAnswer>());
}

FileExistsAnswer ScriptedDialogs::askFileExists()
{
    asked.push_back({Asked::Kind::FileExists, {}, {}, Buttons::Ok, {}, {}, 0});
    return next(fileExistsAnswers, "file-exists question", FileExistsAnswer::Cancel);
}

std::optional<int> ScriptedDialogs::chooseServer(const QStringList &names, int selected)
{
    asked.push_back({Asked::Kind::Servers, {}, {}, Buttons::Ok, {}, names, selected});
    return next(serverAnswers, "server window", std::optional<int>());
}

QStringList ScriptedDialogs::messages() const
{
    QStringList out;
    for (const auto &a : asked)
        if (a.kind == Asked::Kind::Message)
            out << a.text;
    return out;
}
