#include <app/FileRequest.h>

#include <support/ScriptedDialogs.h>

#include <gtest/gtest.h>

TEST(FileRequest, AsksWithTheGivenTextsAndTakesTheChosenName)
{
    for (const bool save : {true, false}) {
        SCOPED_TRACE(save ? "save" : "open");
        ScriptedDialogs dialogs;
        dialogs.chooseFile(QStringLiteral("/tmp/chosen.iso"));
        FileRequest request(dialogs);
        request.setTitle(QStringLiteral("Save to..."));
        request.setFilter(QStringLiteral("All File Types (*.*)|*.*"));
        request.setFileName(QStringLiteral("file.iso"));
        save ? request.showSave() : request.showOpen();
        EXPECT_FALSE(request.cancelled());
        EXPECT_EQ(request.fileName(), QStringLiteral("/tmp/chosen.iso"));
        const Dialogs::FileQuestion &asked = dialogs.asked.at(0).file;
        EXPECT_EQ(asked.save, save);
        EXPECT_EQ(asked.title, QStringLiteral("Save to..."));
        EXPECT_EQ(asked.filter, QStringLiteral("All File Types (*.*)|*.*"));
        EXPECT_EQ(asked.fileName, QStringLiteral("file.iso"));
    }
}

TEST(FileRequest, CancelEmptiesASaveNameButKeepsAnOpenPreset)
{
    for (const bool save : {true, false}) {
        SCOPED_TRACE(save ? "save" : "open");
        ScriptedDialogs dialogs;
        dialogs.chooseFile(QStringLiteral("/tmp/first.iso"));
        dialogs.cancelFile();
        FileRequest request(dialogs);
        request.setFileName(QStringLiteral("file.iso"));
        save ? request.showSave() : request.showOpen();
        save ? request.showSave() : request.showOpen();  // asked again, then cancelled
        EXPECT_TRUE(request.cancelled());
        EXPECT_EQ(request.fileName(), save ? QString() : QStringLiteral("/tmp/first.iso"));
        EXPECT_EQ(dialogs.asked.at(1).file.fileName, QStringLiteral("/tmp/first.iso"));
    }
}
