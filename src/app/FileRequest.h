#pragma once

#include "Dialogs.h"

#include <QString>

#include <optional>

// One question for a file to open or a name to save under: set the title,
// the filter ("desc|pattern|desc|pattern") and a preset name, show, then
// read cancelled() and fileName(). A cancelled save empties the name; a
// cancelled open keeps the preset.
class FileRequest {
public:
    explicit FileRequest(Dialogs &dialogs) : m_dialogs(dialogs) {}

    void setTitle(const QString &title) { m_title = title; }
    void setFilter(const QString &filter) { m_filter = filter; }
    void setFileName(const QString &name) { m_fileName = name; }

    void showOpen();
    void showSave();

    bool cancelled() const { return m_cancelled; }
    QString fileName() const { return m_fileName; }

private:
    void show(bool save);

    Dialogs &m_dialogs;
    QString m_title;
    QString m_filter;
    QString m_fileName;
    bool m_cancelled = false;
};

// One open (save false) or save question asked at once: the chosen path, or
// nullopt when the user cancelled.
std::optional<QString> askForFile(Dialogs &dialogs, bool save, const QString &title, const QString &filter,
                                  const QString &preset = {});
