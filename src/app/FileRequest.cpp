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
