#include <ui/cFileDialog.h>

#include <support/ScriptedDialogs.h>

#include <gtest/gtest.h>

TEST(cFileDialog, CancelEmptiesASaveNameButKeepsAnOpenPreset)
{
    for (const bool save : {true, false}) {
        SCOPED_TRACE(save ? "save" : "open");
        ScriptedDialogs dialogs;
        dialogs.cancelFile();
        cFileDialog dialog(dialogs);
        dialog.setFileName(QStringLiteral("file.iso"));
        save ? dialog.ShowSave() : dialog.ShowOpen();
        EXPECT_TRUE(dialog.Cancel());
        EXPECT_EQ(dialog.FileName(), save ? QString() : QStringLiteral("file.iso"));
        EXPECT_EQ(dialogs.asked.at(0).file.save, save);
        EXPECT_EQ(dialogs.asked.at(0).file.fileName, QStringLiteral("file.iso"));
    }
}
