#include "AppHarness.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>

TEST(MainController, CommandLineIsOneDescriptorPathWithQuotesRemoved)
{
    const std::vector<std::pair<QStringList, bool>> cases = {
        {{"\"%1/my", "file.ddf\""}, true},  // split by the shell, joined again
        {{"%1/a.ddf", "%1/b.ddf"}, false},
        {{"%1/folder.ddf"}, false},
    };
    for (const auto &[pattern, loads] : cases) {
        AppHarness h;
        for (const char *name : {"my file.ddf", "a.ddf", "b.ddf"})
            h.writeDescriptor(name, sampleRecord());
        QDir(h.dir.path()).mkdir("folder.ddf");
        const QStringList args = pattern.join('\n').arg(h.dir.path()).split('\n');
        SCOPED_TRACE(args.join(' ').toStdString());
        h.dialogs.cancelFile();  // the save dialog, when the load gets there
        h.controller.Form_Load(args);
        EXPECT_EQ(h.engine.DescriptorPath, args.join(' ').remove('"'));
        EXPECT_EQ(h.dialogs.fileAnswers.empty(), loads);
        EXPECT_EQ(h.dialogs.messages().size(), loads ? 1 : 0);
    }
}

TEST(MainController, StartUpSetsTheTitlesAndProposesAClipboardUrlOnlyForTheThreePrefixes)
{
    const std::vector<std::pair<std::optional<QString>, QString>> cases = {
        {"  HTTPS://Example.COM/Big.iso  ", "HTTPS://Example.COM/Big.iso"}, {"\twww.example.com/f.zip\n", "www.example.com/f.zip"},
        {"ftp://example.com/file", ""}, {"just some words", ""},
        {std::nullopt, ""},  // a clipboard another program holds
    };
    for (const auto &[clipboard, box] : cases) {
        SCOPED_TRACE(clipboard.value_or("<unreadable>").toStdString());
        AppHarness h;
        h.clipboard = clipboard;
        h.controller.Form_Load({});
        EXPECT_EQ(h.model.windowTitle(), "Orvanta Downloader Version 1.2.2");
        EXPECT_EQ(h.model.text(MainWindowModel::Label::Status), "Waiting for URL or Downloader Data File (*.ddf)...");
        EXPECT_EQ(h.window.tip, "Right-Click for Options");
        EXPECT_EQ(h.model.urlText(), box);
        EXPECT_EQ(h.model.downloadUrlEnabled(), !box.isEmpty());
        EXPECT_EQ(h.window.focused, box.isEmpty() ? 0 : 1);
    }
}

TEST(MainController, FileNameFromURL)
{
    const std::vector<std::pair<QString, QString>> cases = {
        {"  http://host/dir/file.bin  ", "file.bin"}, {"http://host/dir/", "dir"}, {"http://host/", "host"},
        {"http://host/dir//", ""}, {"http://host/get.php?id=5&name=a/b", "b"}, {"http://host/get.php?id=5", "get.php?id=5"},
        {"http://host/a%20b.txt", "a%20b.txt"}, {"plainname", "plainname"}, {"/", ""}, {"", ""},
    };
    for (const auto &[url, name] : cases)
        EXPECT_EQ(MainController::FileNameFromURL(url), name) << url.toStdString();
}

static const QString kURL = QStringLiteral("http://127.0.0.1:1/dir/data.bin");

TEST(MainController, DownloadFromUrlAsksWhereSettlesAnExistingFileAndBlocksASecondStart)
{
    struct Case {
        const char *name;
        bool saved;
        std::optional<FileExistsAnswer> answer;  // nullopt: no file there, no prompt
        qint64 sizeAtStart;         // -1: no file; 0: not started
    };
    for (const Case c : {Case{"save cancelled", false, std::nullopt, 0}, Case{"new file", true, std::nullopt, -1},
                         Case{"Overwrite deletes", true, FileExistsAnswer::Overwrite, -1},
                         Case{"Resume keeps", true, FileExistsAnswer::Resume, 100},
                         Case{"Cancel starts nothing", true, FileExistsAnswer::Cancel, 0}}) {
        SCOPED_TRACE(c.name);
        AppHarness h;
        h.controller.txtURL_Change("  " + kURL + " ");
        h.engine.SourceURL = "old";
        const QString out = h.path("out.bin");
        if (c.answer) {
            h.writeFile("out.bin", QByteArray(100, 'x'));
            h.dialogs.fileExistsAnswers.push_back(*c.answer);
        }
        c.saved ? h.dialogs.chooseFile(out) : h.dialogs.cancelFile();
        h.engine.rearmRetry();  // left by an earlier failure
        qint64 sizeAtStart = 0;
        h.http.onExecute = [&] {
            sizeAtStart = QFileInfo::exists(out) ? QFileInfo(out).size() : -1;
            h.controller.txtURL_Change("http://127.0.0.1:1/second.bin");
            EXPECT_FALSE(h.model.downloadUrlEnabled() || h.model.loadDescriptorEnabled());
            const size_t asked = h.dialogs.asked.size();
            h.controller.cmdURL_Click();
            h.controller.Command1_Click();
            EXPECT_EQ(h.dialogs.asked.size(), asked);
        };
        h.controller.cmdURL_Click();

        EXPECT_EQ(h.dialogs.asked.at(0).file.fileName, "data.bin");
        EXPECT_TRUE(h.dialogs.fileExistsAnswers.empty());  // an unscripted prompt fails on its own
        EXPECT_EQ(sizeAtStart, c.sizeAtStart);
        EXPECT_EQ(h.http.executedURLs, c.sizeAtStart ? std::vector<QString>{kURL} : std::vector<QString>{});
        EXPECT_EQ(h.engine.SourceURL, c.saved ? kURL : "old");
        if (c.answer == FileExistsAnswer::Cancel) {
            EXPECT_EQ(QFileInfo(out).size(), 100);
        }
        if (!c.sizeAtStart) {  // a cancelled save changed nothing; a cancelled prompt did
            EXPECT_EQ(h.engine.RetryPending && h.engine.RetryTimer.isActive(), !c.saved);
        }
    }
}

TEST(MainController, ExitRemovesTheTrayIconThenStopsThenEndsOnce)
{
    for (const auto &[name, close] : {std::pair{"close box", &MainController::Form_QueryUnload},
                                      std::pair{"unload", &MainController::Form_Unload}, std::pair{"Quit", &MainController::End_Click}}) {
        SCOPED_TRACE(name);
        AppHarness h;
        std::vector<bool> stopped;  // StopTransfer at each tray removal, then at the end
        h.window.onRemoveTray = [&] { stopped.push_back(h.engine.StopTransfer); };
        h.exit.addFlush([&] { stopped.push_back(h.engine.StopTransfer); });
        (h.controller.*close)();
        ASSERT_GE(stopped.size(), 2u);
        EXPECT_FALSE(stopped.front());  // the icon goes first
        EXPECT_TRUE(stopped.back());
        h.controller.Form_Unload();  // a second request while ending
        EXPECT_EQ(h.exit.exitCount, 1);
    }
}
