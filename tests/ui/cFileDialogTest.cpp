#include <ui/cFileDialog.h>

#include <support/ScriptedDialogs.h>

#include <gtest/gtest.h>

TEST(cFileDialog, CancelledSaveEmptiesFileName)
{
    ScriptedDialogs dialogs;
    dialogs.cancelFile();
    cFileDialog dialog(dialogs);
    dialog.DialogTitle = QStringLiteral("Save to...");
    dialog.Filter = QStringLiteral("All File Types (*.*)|*.*");
    dialog.setFileName(QStringLiteral("file.iso"));
    dialog.ShowSave();
    EXPECT_TRUE(dialog.Cancel());
    EXPECT_TRUE(dialog.FileName().isEmpty());

    ASSERT_EQ(dialogs.asked.size(), 1u);
    const Dialogs::FileRequest &asked = dialogs.asked[0].file;
    EXPECT_TRUE(asked.save);
    EXPECT_EQ(asked.title, QStringLiteral("Save to..."));
    EXPECT_EQ(asked.filter, QStringLiteral("All File Types (*.*)|*.*"));
    EXPECT_EQ(asked.fileName, QStringLiteral("file.iso"));
    EXPECT_EQ(asked.filterIndex, 1);
}

TEST(cFileDialog, CancelledOpenKeepsThePreset)
{
    ScriptedDialogs dialogs;
    dialogs.cancelFile();
    cFileDialog dialog(dialogs);
    dialog.setFileName(QStringLiteral("preset.ddf"));
    dialog.setFileTitle(QStringLiteral("preset title"));
    dialog.ShowOpen();
    EXPECT_TRUE(dialog.Cancel());
    EXPECT_EQ(dialog.FileName(), QStringLiteral("preset.ddf"));
    EXPECT_EQ(dialog.FileTitle(), QStringLiteral("preset title"));
    ASSERT_EQ(dialogs.asked.size(), 1u);
    EXPECT_FALSE(dialogs.asked[0].file.save);
}

TEST(cFileDialog, OpenSetsNameTitleAndFilterIndex)
{
    ScriptedDialogs dialogs;
    dialogs.fileAnswers.push_back(Dialogs::FileAnswer{QStringLiteral("/data/in/release.ddf"), 2});
    cFileDialog dialog(dialogs);
    dialog.Filter = QStringLiteral("Downloader Data File (*.ddf)|*.ddf|All File Types (*.*)|*.*");
    EXPECT_EQ(dialog.FilterIndex(), 1);
    dialog.ShowOpen();
    EXPECT_FALSE(dialog.Cancel());
    EXPECT_EQ(dialog.FileName(), QStringLiteral("/data/in/release.ddf"));
    EXPECT_EQ(dialog.FileTitle(), QStringLiteral("release.ddf"));
    EXPECT_EQ(dialog.FilterIndex(), 2);
}

TEST(cFileDialog, SaveKeepsThePresetTitleAndCancelResetsPerShow)
{
    ScriptedDialogs dialogs;
    dialogs.cancelFile();
    dialogs.chooseFile(QStringLiteral("/out/file.bin"));
    cFileDialog dialog(dialogs);
    dialog.setFileTitle(QStringLiteral("kept"));
    dialog.setFilterIndex(1);
    dialog.ShowSave();
    ASSERT_TRUE(dialog.Cancel());
    dialog.ShowSave();
    EXPECT_FALSE(dialog.Cancel());
    EXPECT_EQ(dialog.FileName(), QStringLiteral("/out/file.bin"));
    EXPECT_EQ(dialog.FileTitle(), QStringLiteral("kept"));
    ASSERT_EQ(dialogs.asked.size(), 2u);
    // The second show starts from the emptied name of the cancelled save.
    EXPECT_TRUE(dialogs.asked[1].file.fileName.isEmpty());
}
