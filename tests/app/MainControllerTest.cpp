#include "AppHarness.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>

TEST(MainController, CommandLineIsOneDescriptorPathWithQuotesRemoved)
{
    const std::vector<std::tuple<QStringList, bool, QString>> cases = {
        {{"\"%1/my", "file.ddf\""}, true, "We have collected"},  // split by the shell, joined again
        {{"%1/a.ddf", "%1/b.ddf"}, false, "The descriptor file %1/a.ddf %1/b.ddf does not exist."},
        {{"%1/folder.ddf"}, false, "Error %1/folder.ddf is a folder, not a descriptor file"},
    };
    for (const auto &[pattern, loads, message] : cases) {
        AppHarness h;
        for (const char *name : {"my file.ddf", "a.ddf", "b.ddf"})
            h.writeDescriptor(name, sampleRecord());
        QDir(h.dir.path()).mkdir("folder.ddf");
        const QStringList args = pattern.join('\n').arg(h.dir.path()).split('\n');
        SCOPED_TRACE(args.join(' ').toStdString());
        h.dialogs.cancelFile();  // the save dialog, when the load gets there
        h.controller.startUp(args);
        EXPECT_EQ(h.dialogs.fileAnswers.empty(), loads);
        ASSERT_EQ(h.dialogs.messages().size(), 1);
        EXPECT_TRUE(h.dialogs.messages()[0].startsWith(message.arg(h.dir.path()))) << h.dialogs.messages()[0].toStdString();
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
        h.controller.startUp({});
        EXPECT_EQ(h.model.windowTitle(), "Orvanta Downloader Version 1.2.2");
        EXPECT_EQ(h.model.text(MainWindowModel::Label::Status), "Waiting for URL or Downloader Data File (*.ddf)...");
        EXPECT_EQ(h.window.tip, "Right-Click for Options");
        EXPECT_EQ(h.model.urlText(), box);
        EXPECT_EQ(h.model.downloadUrlEnabled(), !box.isEmpty());
        EXPECT_EQ(h.window.focused, box.isEmpty() ? 0 : 1);
    }
}

TEST(MainController, FileNameFromUrl)
{
    const std::vector<std::pair<QString, QString>> cases = {
        {"  http://host/dir/file.bin  ", "file.bin"}, {"http://host/dir/", "dir"}, {"http://host/", "host"},
        {"http://host/dir//", ""}, {"http://host/get.php?id=5&name=a/b", "b"}, {"http://host/get.php?id=5", "get.php?id=5"},
        {"http://host/a%20b.txt", "a%20b.txt"}, {"plainname", "plainname"}, {"/", ""}, {"", ""},
    };
    for (const auto &[url, name] : cases)
        EXPECT_EQ(MainController::fileNameFromUrl(url), name) << url.toStdString();
}

static const QString kURL = QStringLiteral("http://127.0.0.1:1/dir/data.bin");

TEST(MainController, DownloadFromUrlAsksWhereSettlesAnExistingFileAndKeepsAnArmedRetryWhenCancelled)
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
        // An earlier download failed and waits for its retry.
        DownloadJob earlier;
        earlier.sourceUrl = QStringLiteral("http://127.0.0.1:1/old.bin");
        earlier.destination = h.path("old.bin");
        h.engine.start(earlier);
        ASSERT_TRUE(h.settled());
        ASSERT_EQ(h.engine.state(), DownloadEngine::State::WaitingToRetry);

        h.controller.urlEdited("  " + kURL + " ");
        const QString out = h.path("out.bin");
        if (c.answer) {
            h.writeFile("out.bin", QByteArray(100, 'x'));
            h.dialogs.fileExistsAnswers.push_back(*c.answer);
        }
        c.saved ? h.dialogs.chooseFile(out) : h.dialogs.cancelFile();
        qint64 sizeAtStart = 0;
        h.http.answer = [&](const HttpRequest &, int) {
            sizeAtStart = QFileInfo::exists(out) ? QFileInfo(out).size() : -1;
            return FakeHttpClient::Reply{};
        };
        h.controller.downloadUrl();
        const bool started = c.sizeAtStart != 0;
        EXPECT_EQ(h.engine.isBusy(), started);
        if (started) {
            EXPECT_FALSE(h.model.downloadUrlEnabled() || h.model.loadDescriptorEnabled());
            // A second start beside the running one asks nothing.
            const size_t asked = h.dialogs.asked.size();
            h.controller.downloadUrl();
            h.controller.loadDescriptor();
            EXPECT_EQ(h.dialogs.asked.size(), asked);
        }

        EXPECT_EQ(h.dialogs.asked.at(0).file.fileName, "data.bin");
        EXPECT_TRUE(h.dialogs.fileExistsAnswers.empty());  // an unscripted prompt fails on its own
        EXPECT_EQ(sizeAtStart, c.sizeAtStart);
        EXPECT_EQ(h.http.requests.size(), started ? 2u : 1u);
        EXPECT_EQ(h.engine.job().sourceUrl, started ? kURL : QStringLiteral("http://127.0.0.1:1/old.bin"));
        if (c.answer == FileExistsAnswer::Cancel) {
            EXPECT_EQ(QFileInfo(out).size(), 100);
        }
        if (!started) {  // a cancelled command leaves the earlier retry armed
            EXPECT_EQ(h.engine.state(), DownloadEngine::State::WaitingToRetry);
        }
    }
}

