#include "WidgetDialogs.h"

#include <ui/Artwork.h>
#include <ui/FileExistsDialog.h>
#include <ui/ServerChoiceDialog.h>

#include <QFileDialog>
#include <QMessageBox>

QStringList WidgetDialogs::nameFilters(const QString &filter)
{
    QStringList result;
    const QStringList parts = filter.split(QLatin1Char('|'));
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString &desc = parts[i];
        QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (QString &pattern : patterns) {
            pattern = pattern.trimmed();
            if (pattern == QLatin1String("*.*"))
                pattern = QStringLiteral("*");
        }
        if (patterns.isEmpty())
            patterns << QStringLiteral("*");
        // The description is shown as given; HideNameFilterDetails hides the
        // trailing group that QFileDialog reads the patterns from.
        result << desc + QLatin1String(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
    }
    return result;
}

QString WidgetDialogs::description(const QString &nameFilter)
{
    const qsizetype open = nameFilter.lastIndexOf(QLatin1String(" ("));
    return open < 0 ? nameFilter : nameFilter.left(open);
}

Dialogs::Answer WidgetDialogs::messageBox(const QString &text, Buttons buttons, const QString &title)
{
    QMessageBox box;
    box.setWindowTitle(title.isEmpty() ? programTitle() : title);
    box.setWindowIcon(programIcon());
    box.setText(text);
    box.setTextFormat(Qt::PlainText);
    if (buttons == Buttons::OkCancel) {
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        box.setEscapeButton(QMessageBox::Cancel);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
    }
    box.setDefaultButton(QMessageBox::Ok);
    return box.exec() == QMessageBox::Ok ? Answer::Ok : Answer::Cancel;
}

std::optional<Dialogs::FileAnswer> WidgetDialogs::fileDialog(const FileQuestion &question)
{
    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setWindowTitle(question.title);
    dialog.setWindowIcon(programIcon());
    const QStringList filters = nameFilters(question.filter);
    if (!filters.isEmpty())
        dialog.setNameFilters(filters);
    if (question.save) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
    }
    if (question.filterIndex >= 1 && question.filterIndex <= filters.size())
        dialog.selectNameFilter(filters[question.filterIndex - 1]);
    if (!question.fileName.isEmpty())
        dialog.selectFile(question.fileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    FileAnswer answer;
    answer.fileName = dialog.selectedFiles().constFirst();
    // With the details hidden the dialog reports the bare description.
    const QString chosen = dialog.selectedNameFilter();
    qsizetype index = filters.indexOf(chosen);
    for (qsizetype i = 0; index < 0 && i < filters.size(); ++i)
        if (description(filters[i]).trimmed() == chosen)
            index = i;
    answer.filterIndex = index >= 0 ? int(index) + 1 : question.filterIndex;
    return answer;
}

FileExistsAnswer WidgetDialogs::askFileExists()
{
    FileExistsDialog dialog;
    dialog.exec();
    return dialog.answer();
}

std::optional<Dialogs::ServerAnswer> WidgetDialogs::chooseServer(const QStringList &names, int selected,
                                                                 bool useAllServers)
{
    ServerChoiceDialog dialog;
    dialog.setServers(names, selected);
    dialog.setUseAllServers(useAllServers);
    dialog.exec();
    if (!dialog.chosenRow())
        return std::nullopt;
    return ServerAnswer{*dialog.chosenRow(), dialog.useAllServers()};
}
