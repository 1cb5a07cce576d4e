#include "ScriptedDialogs.h"

#include <gtest/gtest.h>

Dialogs::Answer ScriptedDialogs::messageBox(const QString &text, Buttons buttons, const QString &title)
{
    Asked a{Asked::Kind::Message, text, title.isEmpty() ? programTitle() : title, buttons, {}, {}, 0};
    asked.push_back(a);
    if (messageAnswers.empty())
        return Answer::Ok;
    const Answer answer = messageAnswers.front();
    messageAnswers.pop_front();
    return answer;
}

std::optional<Dialogs::FileAnswer> ScriptedDialogs::fileDialog(const FileQuestion &question)
{
    Asked a{Asked::Kind::File, question.title, {}, Buttons::Ok, question, {}, 0};
    asked.push_back(a);
    if (fileAnswers.empty()) {
        ADD_FAILURE() << "unscripted file dialog: " << question.title.toStdString();
        return std::nullopt;
    }
    const bool cancelled = !fileAnswers.front().has_value();
    const FileAnswer answer = cancelled ? FileAnswer{} : *fileAnswers.front();
    fileAnswers.pop_front();
    if (cancelled)
        return std::nullopt;
    return answer;
}

FileExistsAnswer ScriptedDialogs::askFileExists()
{
    asked.push_back(Asked{Asked::Kind::FileExists, {}, {}, Buttons::Ok, {}, {}, 0});
    if (fileExistsAnswers.empty()) {
        ADD_FAILURE() << "unscripted file-exists question";
        return FileExistsAnswer::Cancel;
    }
    const FileExistsAnswer answer = fileExistsAnswers.front();
    fileExistsAnswers.pop_front();
    return answer;
}

std::optional<int> ScriptedDialogs::chooseServer(const QStringList &names, int selected)
{
    asked.push_back(Asked{Asked::Kind::Servers, {}, {}, Buttons::Ok, {}, names, selected});
    if (serverAnswers.empty()) {
        ADD_FAILURE() << "unscripted server window";
        return std::nullopt;
    }
    auto answer = serverAnswers.front();
    serverAnswers.pop_front();
    return answer;
}

QStringList ScriptedDialogs::messages() const
{
    QStringList out;
    for (const auto &a : asked)
        if (a.kind == Asked::Kind::Message)
            out << a.text;
    return out;
}
