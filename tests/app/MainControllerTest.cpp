#include "AppHarness.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>

using Kind = ScriptedDialogs::Asked::Kind;
using Label = MainWindowModel::Label;

TEST(MainControllerStartUp, SetsTitleStatusTrayAndShowsTheWindow)
{
    AppHarness h;
    h.controller.Form_Load({});

    EXPECT_EQ(h.model.caption(), "Orvanta Downloader Version 1.2.2");
    EXPECT_EQ(h.model.text(Label::Status), "Waiting for URL or Downloader Data File (*.ddf)...");
    for (Label label : {Label::Source, Label::Time, Label::Rate, Label::To})
        EXPECT_EQ(h.model.text(label), "") << int(label);
    EXPECT_EQ(h.window.tip, "Right-Click for Options");
    const std::vector<std::string> firstCalls(h.window.calls.begin(), h.window.calls.begin() + 3);
    EXPECT_EQ(firstCalls, (std::vector<std::string>{"addTray", "showNormal", "events"}));
    EXPECT_EQ(h.engine.DescriptorPath, "");
    EXPECT_TRUE(h.dialogs.asked.empty());
    EXPECT_FALSE(h.model.cmdURLEnabled());
    EXPECT_EQ(h.window.count("focus"), 0);
}

TEST(MainControllerStartUp, CommandLineIsOneDescriptorPathWithQuotesRemoved)
{
    struct Case {
        const char *name;
        std::function<QStringList(AppHarness &)> args;
        bool loads;
    };
    const std::vector<Case> cases = {
        {"quoted path with spaces",
         [](AppHarness &h) {
             writeDescriptor(h.path("my file.ddf"), sampleRecord());
             // The shell may split it; the whole text is joined again.
             return QStringList{"\"" + h.path("my"), "file.ddf\""};
         },
         true},
        {"two paths", [](AppHarness &h) {
             return QStringList{writeDescriptor(h.path("a.ddf"), sampleRecord()),
                                writeDescriptor(h.path("b.ddf"), sampleRecord())};
         }, false},
        {"a directory", [](AppHarness &h) {
             QDir(h.dir.path()).mkdir("folder.ddf");
             return QStringList{h.path("folder.ddf")};
         }, false},
        {"leading dot is an ordinary file",
         [](AppHarness &h) { return QStringList{writeDescriptor(h.path(".hidden.ddf"), sampleRecord())}; }, true},
        {"a URL", [](AppHarness &) { return QStringList{"http://127.0.0.1:1/x.ddf"}; }, false},
        {"missing file", [](AppHarness &h) { return QStringList{h.path("none.ddf")}; }, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        AppHarness h;
        const QStringList args = c.args(h);
        h.dialogs.cancelFile();  // the save dialog, when the load gets there
        h.controller.Form_Load(args);
        EXPECT_EQ(h.engine.DescriptorPath, args.join(' ').remove('"'));
        EXPECT_EQ(h.count(Kind::File), c.loads ? 1 : 0);
        if (c.loads) {
            ASSERT_FALSE(h.dialogs.messages().isEmpty());
            EXPECT_TRUE(h.dialogs.messages().first().startsWith("We have collected the following information:"));
        } else {
            EXPECT_TRUE(h.dialogs.asked.empty());
            h.dialogs.fileAnswers.clear();
        }
        EXPECT_TRUE(h.http.executedURLs.empty());
    }
}

TEST(MainControllerStartUp, DescriptorDownloadRunsBeforeTheClipboardIsProposed)
{
    AppHarness h;
    const QString ddf = writeDescriptor(h.path("d.ddf"), sampleRecord());
    h.dialogs.chooseFile(h.path("out.bin"));
    h.clipboard = QStringLiteral("http://127.0.0.1:1/other.bin");
    QString urlBoxDuringTransfer = "unset";
    h.http.onExecute = [&] { urlBoxDuringTransfer = h.model.urlText(); };

    h.controller.Form_Load({ddf});

    ASSERT_EQ(h.http.executedURLs.size(), 1u);
    EXPECT_TRUE(h.http.executedURLs[0].startsWith("http://127.0.0.1:1/f.bin"));
    EXPECT_EQ(urlBoxDuringTransfer, "");
    EXPECT_FALSE(h.engine.URLMode);
    EXPECT_EQ(h.model.urlText(), "http://127.0.0.1:1/other.bin");
}

TEST(MainControllerStartUp, ClipboardUrlIsProposedOnlyForTheThreePrefixes)
{
    struct Case {
        std::optional<QString> clipboard;
        QString expectedBox;
    };
    const std::vector<Case> cases = {
        {QStringLiteral("  HTTPS://Example.COM/Big.iso  "), QStringLiteral("HTTPS://Example.COM/Big.iso")},
        {QStringLiteral("http://127.0.0.1/a"), QStringLiteral("http://127.0.0.1/a")},
        {QStringLiteral("\twww.example.com/file.zip\n"), QStringLiteral("www.example.com/file.zip")},
        {QStringLiteral("WWW.EXAMPLE.COM"), QStringLiteral("WWW.EXAMPLE.COM")},
        {QStringLiteral("ftp://example.com/file"), QString()},
        {QStringLiteral("just some words"), QString()},
        {QStringLiteral("http:/broken"), QString()},
        {QString(), QString()},
        {std::nullopt, QString()},  // a clipboard another program holds
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.clipboard.value_or("<unreadable>").toStdString());
        AppHarness h;
        h.clipboard = c.clipboard;
        h.controller.Form_Load({});
        const bool proposed = !c.expectedBox.isEmpty();
        EXPECT_EQ(h.model.urlText(), c.expectedBox);
        EXPECT_EQ(h.model.cmdURLEnabled(), proposed);
        EXPECT_EQ(h.window.count("focus"), proposed ? 1 : 0);
    }
}

TEST(MainControllerUrlBox, ChangeRuleAndPaste)
{
    AppHarness h;
    h.controller.txtURL_Change("    ");
    EXPECT_FALSE(h.model.cmdURLEnabled());
    h.controller.txtURL_Change(" x ");
    EXPECT_TRUE(h.model.cmdURLEnabled());
    EXPECT_EQ(h.model.urlText(), " x ");

    // Paste copies any text unchanged, blank included.
    h.clipboard = QStringLiteral("  ftp://a b ");
    h.controller.cmdPaste_Click();
    EXPECT_EQ(h.model.urlText(), "  ftp://a b ");
    EXPECT_TRUE(h.model.cmdURLEnabled());

    // An unreadable clipboard leaves the box alone.
    h.clipboard = std::nullopt;
    h.controller.cmdPaste_Click();
    EXPECT_EQ(h.model.urlText(), "  ftp://a b ");

    // A clipboard without text empties it.
    h.clipboard = QString();
    h.controller.cmdPaste_Click();
    EXPECT_EQ(h.model.urlText(), "");
    EXPECT_FALSE(h.model.cmdURLEnabled());
}

TEST(MainControllerUrlBox, FileNameFromURL)
{
    const std::vector<std::pair<QString, QString>> cases = {
        {"http://host/dir/file.bin", "file.bin"},
        {"  http://host/dir/file.bin  ", "file.bin"},
        {"http://host/dir/", "dir"},
        {"http://host/", "host"},
        {"http://host/dir//", ""},
        {"http://host/get.php?id=5&name=a/b", "b"},
        {"http://host/get.php?id=5", "get.php?id=5"},
        {"http://host/a%20b.txt", "a%20b.txt"},
        {"plainname", "plainname"},
        {"/", ""},
        {"", ""},
    };
    for (const auto &[url, name] : cases)
        EXPECT_EQ(MainController::FileNameFromURL(url), name) << url.toStdString();
}

namespace {
const QString kURL = QStringLiteral("http://127.0.0.1:1/dir/data.bin");

void typeUrl(AppHarness &h, const QString &url = QStringLiteral("  ") + kURL + QStringLiteral(" "))
{
    h.controller.txtURL_Change(url);
}
} // namespace

TEST(MainControllerDownloadFromUrl, CancelledSaveDialogChangesNothing)
{
    AppHarness h;
    typeUrl(h);
    h.engine.DestinationPath = "before";
    h.engine.SourceURL = "old";
    h.dialogs.cancelFile();
    h.controller.cmdURL_Click();

    ASSERT_EQ(h.count(Kind::File), 1);
    const auto &request = h.dialogs.asked[0].file;
    EXPECT_TRUE(request.save);
    EXPECT_EQ(request.title, "Save to...");
    EXPECT_EQ(request.filter, "All File Types (*.*)|*.*");
    EXPECT_EQ(request.fileName, "data.bin");
    EXPECT_EQ(h.engine.DestinationPath, "before");
    EXPECT_EQ(h.engine.SourceURL, "old");
    EXPECT_FALSE(h.engine.URLMode);
    EXPECT_TRUE(h.model.cmdURLEnabled());
    EXPECT_TRUE(h.http.executedURLs.empty());
}

TEST(MainControllerDownloadFromUrl, NewFileStartsAtOnceWithTrimmedUrl)
{
    AppHarness h;
    typeUrl(h);
    const QString out = h.path("new.bin");
    h.dialogs.chooseFile(out);
    h.controller.cmdURL_Click();

    EXPECT_EQ(h.count(Kind::Prompt), 0);
    EXPECT_EQ(h.engine.DestinationPath, out);
    EXPECT_EQ(h.engine.SourceURL, kURL);
    EXPECT_TRUE(h.engine.URLMode);
    ASSERT_EQ(h.http.executedURLs.size(), 1u);
    EXPECT_EQ(h.http.executedURLs[0], kURL);
}

TEST(MainControllerDownloadFromUrl, ExistingFileIsSettledByThePrompt)
{
    struct Case {
        int answer;
        bool starts;
        bool fileKeptAtStart;
    };
    for (const Case c : {Case{1, true, false}, Case{2, true, true}, Case{0, false, true}}) {
        SCOPED_TRACE(c.answer);
        AppHarness h;
        typeUrl(h);
        const QString out = h.writeFile("exists.bin", QByteArray(100, 'x'));
        h.dialogs.chooseFile(out);
        h.dialogs.promptAnswers.push_back(c.answer);
        qint64 sizeAtStart = -2;
        h.http.onExecute = [&] { sizeAtStart = QFileInfo::exists(out) ? QFileInfo(out).size() : -1; };

        h.controller.cmdURL_Click();

        EXPECT_EQ(h.count(Kind::Prompt), 1);
        EXPECT_EQ(h.http.executedURLs.size(), c.starts ? 1u : 0u);
        if (c.starts)
            EXPECT_EQ(sizeAtStart == 100, c.fileKeptAtStart) << sizeAtStart;
        else
            EXPECT_EQ(QFileInfo(out).size(), 100);
        // Even a cancelled prompt leaves the new values in place.
        EXPECT_EQ(h.engine.DestinationPath, out);
        EXPECT_EQ(h.engine.SourceURL, kURL);
        EXPECT_TRUE(h.engine.URLMode);
    }
}

TEST(MainControllerDownloadFromUrl, ExistingFolderIsNoFileAndGetsNoPrompt)
{
    AppHarness h;
    typeUrl(h);
    QDir(h.dir.path()).mkdir("sub");
    h.dialogs.chooseFile(h.path("sub"));
    h.controller.cmdURL_Click();
    EXPECT_EQ(h.count(Kind::Prompt), 0);
}

TEST(MainControllerDownloadFromUrl, NoSecondStartWhileATransferRuns)
{
    AppHarness h;
    typeUrl(h);
    h.dialogs.chooseFile(h.path("one.bin"));
    bool cmdURLDuring = true, command1During = true, cmdURLAfterEdit = true;
    size_t askedBefore = 0, askedAfter = 0;
    bool inside = false;
    h.http.onExecute = [&] {
        if (inside)
            return;
        inside = true;
        cmdURLDuring = h.model.cmdURLEnabled();
        command1During = h.model.command1Enabled();
        h.controller.txtURL_Change("http://127.0.0.1:1/second.bin");
        cmdURLAfterEdit = h.model.cmdURLEnabled();
        askedBefore = h.dialogs.asked.size();
        h.controller.cmdURL_Click();
        h.controller.Command1_Click();
        askedAfter = h.dialogs.asked.size();
    };
    h.controller.cmdURL_Click();

    EXPECT_FALSE(cmdURLDuring);
    EXPECT_FALSE(command1During);
    EXPECT_FALSE(cmdURLAfterEdit);
    EXPECT_EQ(askedAfter, askedBefore);
    EXPECT_EQ(h.http.executedURLs.size(), 1u);
}

TEST(MainControllerDownloadFromUrl, StartCancelsAnArmedRestart)
{
    AppHarness h;
    typeUrl(h);
    h.engine.RetryPending = true;
    h.engine.RetryTimer.start();
    h.dialogs.cancelFile();
    h.controller.cmdURL_Click();
    EXPECT_FALSE(h.engine.RetryTimer.isActive());
    EXPECT_FALSE(h.engine.RetryPending);
}

TEST(MainControllerExit, SequenceRemovesTrayThenStopsThenEnds)
{
    const std::vector<std::pair<const char *, std::function<void(MainController &)>>> closers = {
        {"close box", [](MainController &c) { c.Form_QueryUnload(); }},
        {"unload", [](MainController &c) { c.Form_Unload(); }},
        {"Quit", [](MainController &c) { c.End_Click(); }},
    };
    for (const auto &[name, close] : closers) {
        SCOPED_TRACE(name);
        AppHarness h;
        std::vector<std::string> seen;
        bool stopAtEnd = false, stopAtFirstRemove = true;
        h.window.onRemoveTray = [&] {
            if (h.window.count("removeTray") == 1)
                stopAtFirstRemove = h.engine.StopTransfer;
        };
        h.exit.addFlush([&] {
            seen = h.window.calls;
            stopAtEnd = h.engine.StopTransfer;
        });
        close(h.controller);
        EXPECT_EQ(h.exit.exitCount, 1);
        EXPECT_FALSE(stopAtFirstRemove);  // the icon goes first
        EXPECT_TRUE(stopAtEnd);
        ASSERT_FALSE(seen.empty());
        EXPECT_EQ(seen.back(), "removeTray");
        // A second close request while ending does not end twice.
        h.controller.Form_Unload();
        EXPECT_EQ(h.exit.exitCount, 1);
    }
}

TEST(MainControllerExit, ExitCaptionOfTheEngineEndsTheProgram)
{
    AppHarness h;
    emit h.engine.exitRequested();
    EXPECT_EQ(h.exit.exitCount, 1);
    EXPECT_EQ(h.window.count("removeTray"), 1);
}

TEST(MainControllerTray, ClicksMenuItemsAndMinimize)
{
    AppHarness h;
    h.controller.Form_Resize();
    EXPECT_EQ(h.window.calls, (std::vector<std::string>{"hide"}));

    h.window.calls.clear();
    h.controller.trayLeftClick();
    h.controller.Restore_Click();
    EXPECT_EQ(h.window.calls, (std::vector<std::string>{"showNormal", "showNormal"}));

    h.window.calls.clear();
    h.controller.trayRightClick(QPoint(514, 517));
    EXPECT_EQ(h.window.calls, (std::vector<std::string>{"front", "menu"}));
    EXPECT_EQ(h.window.menuAt, QPoint(514, 517));

    h.window.calls.clear();
    h.controller.ViewLog_Click();
    h.controller.ViewLog_Click();
    EXPECT_EQ(h.window.count("log"), 2);
}

TEST(MainControllerTray, PauseDoesNothingWhileThePauseButtonIsDisabled)
{
    AppHarness h;
    ASSERT_FALSE(h.model.cancelEnabled());
    h.controller.Pause_Click();
    EXPECT_EQ(h.model.cancelCaption(), "Pause Download...");
    EXPECT_FALSE(h.model.pauseChecked());
    EXPECT_FALSE(h.engine.StopTransfer);
    EXPECT_TRUE(h.log.isEmpty());

    h.model.setCancelEnabled(true);
    h.controller.Pause_Click();
    EXPECT_EQ(h.model.cancelCaption(), "Resume Download...");
    EXPECT_TRUE(h.model.pauseChecked());
    EXPECT_TRUE(h.engine.StopTransfer);
}
