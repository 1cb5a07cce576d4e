#include "cFileDialog.h"

#include <QFileInfo>

Dialogs::FileRequest cFileDialog::request(bool save) const
{
    Dialogs::FileRequest r;
    r.save = save;
    r.title = DialogTitle;
    r.filter = Filter;
    r.fileName = m_fileName;
    r.filterIndex = m_filterIndex;
    return r;
}

void cFileDialog::ShowOpen()
{
    m_cancel = false;
    const auto answer = m_dialogs.fileDialog(request(false));
    if (!answer) {
        m_cancel = true;
        return;
    }
    m_fileName = answer->fileName;
    m_fileTitle = QFileInfo(answer->fileName).fileName();
    m_filterIndex = answer->filterIndex;
}

void cFileDialog::ShowSave()
{
    m_cancel = false;
    const auto answer = m_dialogs.fileDialog(request(true));
    if (!answer) {
        m_cancel = true;
        m_fileName.clear();
        return;
    }
    m_fileName = answer->fileName;
    m_filterIndex = answer->filterIndex;
}
