#pragma once

#include "Dialogs.h"

#include <QStringList>

// The real Dialogs: message boxes, the widget-based file dialogs and the
// program's two modal windows, each shown modally on the caller's thread.
class WidgetDialogs : public Dialogs {
public:
    Answer messageBox(const QString &text, Buttons buttons, const QString &title = {}) override;
    std::optional<FileAnswer> fileDialog(const FileQuestion &question) override;
    FileExistsAnswer askFileExists() override;
    std::optional<ServerAnswer> chooseServer(const QStringList &names, int selected, bool useAllServers) override;

    // "desc|pattern|desc|pattern" as name filters for QFileDialog, each
    // shown by its description alone; the pattern in parentheses is what
    // the dialog matches ("*.*" matches every file, as users expect).
    static QStringList nameFilters(const QString &filter);
    // The description part of a name filter built above.
    static QString description(const QString &nameFilter);
};
