#pragma once

#include <util/Dialogs.h>

#include <QString>

// Asks for a file to open or a name to save under. Set the title, filter
// ("desc|pattern|desc|pattern") and preset name, show, then read Cancel
// and FileName. A cancelled save empties FileName; a cancelled open keeps
// the preset.
class cFileDialog {
public:
    explicit cFileDialog(Dialogs &dialogs) : m_dialogs(dialogs) {}

    QString DialogTitle;
    QString Filter;
    QString DefaultExt;    // kept; the standard dialogs here add no extension
    QString InitDir;       // kept; the dialogs start in their own folder
    bool CancelError = false;
    qint32 flags = 0;

    bool Cancel() const { return m_cancel; }
    QString FileName() const { return m_fileName; }
    void setFileName(const QString &sFilename) { m_fileName = sFilename; }
    QString FileTitle() const { return m_fileTitle; }
    void setFileTitle(const QString &vNewValue) { m_fileTitle = vNewValue; }
    // 1-based; after a show, the filter the user ended with.
    qint32 FilterIndex() const { return m_filterIndex; }
    void setFilterIndex(qint32 lFilterIndex) { m_filterIndex = lFilterIndex; }

    void ShowOpen();
    void ShowSave();

private:
    Dialogs::FileRequest request(bool save) const;

    Dialogs &m_dialogs;
    QString m_fileName;
    QString m_fileTitle;
    qint32 m_filterIndex = 1;
    bool m_cancel = false;
};
