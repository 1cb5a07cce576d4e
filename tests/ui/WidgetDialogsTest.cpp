#include "ModalDriver.h"

#include <ui/WidgetDialogs.h>

#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>

TEST(WidgetDialogs, FilterTextBecomesNameFilters)
{
    const struct {
        const char *filter;
        QStringList expected;
    } cases[] = {
        {"All File Types (*.*)|*.*", {"All File Types (*.*) (*)"}},
        {"Downloader Data File (*.ddf)|*.ddf", {"Downloader Data File (*.ddf) (*.ddf)"}},
        {"Text|*.txt;*.log|All|*.*", {"Text (*.txt *.log)", "All (*)"}},
        {"", {}},
        {"Lonely description", {}},
    };
    for (const auto &c : cases) {
        const QStringList filters = WidgetDialogs::nameFilters(QLatin1String(c.filter));
        EXPECT_EQ(filters, c.expected) << c.filter;
    }
    EXPECT_EQ(WidgetDialogs::description(QStringLiteral("All File Types (*.*) (*)")), QStringLiteral("All File Types (*.*)"));
}

TEST(WidgetDialogs, MessageBoxTitleButtonsAndAnswer)
{
    ModalGuard guard;
    WidgetDialogs dialogs;
    whenModal([](QWidget *w) {
        auto *box = qobject_cast<QMessageBox *>(w);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->windowTitle(), QStringLiteral("Orvanta Downloader"));
        EXPECT_EQ(box->text(), QStringLiteral("Disk full?"));
        EXPECT_EQ(box->buttons().size(), 2);
        box->button(QMessageBox::Cancel)->click();
    });
    EXPECT_EQ(dialogs.messageBox(QStringLiteral("Disk full?"), Dialogs::Buttons::OkCancel), Dialogs::Answer::Cancel);

    whenModal([](QWidget *w) {
        auto *box = qobject_cast<QMessageBox *>(w);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->windowTitle(), QStringLiteral("Own title"));
        EXPECT_EQ(box->buttons().size(), 1);
        box->button(QMessageBox::Ok)->click();
    });
    EXPECT_EQ(dialogs.messageBox(QStringLiteral("Done"), Dialogs::Buttons::Ok, QStringLiteral("Own title")), Dialogs::Answer::Ok);
}

TEST(WidgetDialogs, SaveDialogReturnsThePathAndFilterIndex)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString target = QDir(dir.path()).filePath(QStringLiteral("out.bin"));
    ModalGuard guard;
    WidgetDialogs dialogs;
    whenModal([](QWidget *w) {
        auto *dialog = qobject_cast<QFileDialog *>(w);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Save to..."));
        EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptSave);
        EXPECT_TRUE(dialog->testOption(QFileDialog::DontConfirmOverwrite));
        EXPECT_EQ(dialog->nameFilters().size(), 2);
        EXPECT_EQ(dialog->selectedNameFilter(), QStringLiteral("All"));
        dialog->selectNameFilter(QStringLiteral("Binary (*.bin)"));
        static_cast<QDialog *>(dialog)->accept();
    });
    Dialogs::FileRequest request;
    request.save = true;
    request.title = QStringLiteral("Save to...");
    request.filter = QStringLiteral("Binary|*.bin|All|*.*");
    request.fileName = target;
    request.filterIndex = 2;
    const auto answer = dialogs.fileDialog(request);
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(answer->fileName, target);
    EXPECT_EQ(answer->filterIndex, 1);
}

TEST(WidgetDialogs, CancelledOpenDialogGivesNothing)
{
    ModalGuard guard;
    WidgetDialogs dialogs;
    whenModal([](QWidget *w) {
        auto *dialog = qobject_cast<QFileDialog *>(w);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptOpen);
        EXPECT_EQ(dialog->fileMode(), QFileDialog::ExistingFile);
        dialog->reject();
    });
    Dialogs::FileRequest request;
    request.title = QStringLiteral("Select a Downloader Data File...");
    request.filter = QStringLiteral("Downloader Data File (*.ddf)|*.ddf");
    EXPECT_EQ(dialogs.fileDialog(request), std::nullopt);
}
