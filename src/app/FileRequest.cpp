#include "FileRequest.h"

void FileRequest::showOpen() { show(false); }

void FileRequest::showSave() { show(true); }

void FileRequest::show(bool save)
{
    Dialogs::FileQuestion question;
    question.save = save;
    question.title = m_title;
    question.filter = m_filter;
    question.fileName = m_fileName;
    const auto answer = m_dialogs.fileDialog(question);
    m_cancelled = !answer;
    if (answer)
        m_fileName = answer->fileName;
    else if (save)
        m_fileName.clear();
}

std::optional<QString> askForFile(Dialogs &dialogs, bool save, const QString &title, const QString &filter,
                                  const QString &preset)
{
    FileRequest request(dialogs);
    request.setTitle(title);
    request.setFilter(filter);
    request.setFileName(preset);
    save ? request.showSave() : request.showOpen();
    if (request.cancelled())
        return std::nullopt;
    return request.fileName();
}
