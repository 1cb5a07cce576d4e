#include <app/FileRequest.h>

#include <support/ScriptedDialogs.h>

#include <gtest/gtest.h>

// The question carries the given texts; a chosen name is taken, and a later
// cancel empties a save's name but keeps an open's.
TEST(FileRequest, AsksWithTheGivenTextsAndCancelOnlyEmptiesASave)
{
    for (const bool save : {true, false}) {
        SCOPED_TRACE(save ? "save" : "open");
        ScriptedDialogs dialogs;
        dialogs.chooseFile("/tmp/chosen.iso");
        dialogs.cancelFile();
        FileRequest request(dialogs);
        request.setTitle("Save to...");
        request.setFilter("All File Types (*.*)|*.*");
        request.setFileName("file.iso");
        const auto show = [&] { save ? request.showSave() : request.showOpen(); };
        show();
        EXPECT_FALSE(request.cancelled());
        EXPECT_EQ(request.fileName(), "/tmp/chosen.iso");
        const Dialogs::FileQuestion &asked = dialogs.asked.at(0).file;
        EXPECT_EQ(std::tuple(asked.save, asked.title, asked.filter, asked.fileName),
                  std::tuple(save, QString("Save to..."), QString("All File Types (*.*)|*.*"), QString("file.iso")));
        show();
        EXPECT_TRUE(request.cancelled());
        EXPECT_EQ(request.fileName(), save ? QString() : "/tmp/chosen.iso");
        EXPECT_EQ(dialogs.asked.at(1).file.fileName, "/tmp/chosen.iso");
    }
}
