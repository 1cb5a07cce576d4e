// The transfer loop in descriptor mode: existing-file verification, the
// choice of the resume offset, the per-block test and the repair cycle.
#include "DownloadEngineFixture.h"

namespace {

QByteArray damaged(QByteArray bytes, qint64 at)
{
    bytes[at] = char(bytes[at] ^ 0x5a);
    return bytes;
}

TEST_F(EngineTest, CompleteIntactFileNeedsNoRequest)
{
    const QByteArray content = pattern(20000);
    loadDescriptor(content);
    writeFile(dest(), content);

    EXPECT_FALSE(runDDF());

    EXPECT_EQ(inet.executeCount(), 0);
    EXPECT_EQ(view.text(Label::Status), QStringLiteral("File complete and verified!"));
    EXPECT_EQ(view.caption(), QStringLiteral("File complete and verified!"));
    EXPECT_EQ(view.cancelCaption(), QStringLiteral("Exit"));
    EXPECT_TRUE(view.cancelEnabled());
    EXPECT_FALSE(view.command1Enabled());
    EXPECT_EQ(logLines(), (QStringList{"Verifying file integrity...",
                                       "Your file has been verified, and is ready for use!"}));
    EXPECT_FALSE(engine->RepairMode);
    EXPECT_TRUE(engine->FileVerified);
}

TEST_F(EngineTest, FreshDescriptorDownloadChecksEveryBlock)
{
    const QByteArray content = pattern(10000);
    loadDescriptor(content);
    inet.responses.push_back(FakeHttpControl::reply(200, content));
    EXPECT_TRUE(runDDF());
    EXPECT_EQ(readFile(dest()), content);
    EXPECT_EQ(inet.extraHeaders, QStringList{QString()});
    EXPECT_EQ(view.text(Label::Status), QStringLiteral("Download completed and verified!"));
}

TEST_F(EngineTest, ResumeOffsetFollowsVerification)
{
    struct Case {
        const char *name;
        qint64 existing;   // bytes of the good file on disk
        qint64 expectedOffset;
        bool repair;
    };
    const QByteArray content = pattern(30000);
    for (const Case &c : {Case{"all good, block boundary", 16384, 16384, false},
                          Case{"ends mid-block", 10000, 8192, true}}) {
        SCOPED_TRACE(c.name);
        engine->RepairMode = false;
        engine->FileVerified = false;
        engine->CRCErrorCount = 0;
        loadDescriptor(content);
        writeFile(dest(), content.left(c.existing));
        inet.responses.clear();
        inet.extraHeaders.clear();
        inet.responses.push_back(
            FakeHttpControl::reply(206, content.mid(c.expectedOffset), {contentRange(c.expectedOffset, 30000)}));
        // A repair cycle re-verifies and then resumes from the file's end.
        inet.responses.push_back(FakeHttpControl::reply(206, content.mid(12288), {contentRange(12288, 30000)}));

        EXPECT_TRUE(runDDF());
        EXPECT_EQ(inet.extraHeaders.first(), range(c.expectedOffset));
        EXPECT_EQ(readFile(dest()), content);
        EXPECT_EQ(engine->CRCErrorCount, c.repair ? 1 : 0);
    }
}

TEST_F(EngineTest, BadBlockIsRepairedInOneCycle)
{
    const QByteArray content = pattern(20480);
    loadDescriptor(content);
    writeFile(dest(), damaged(content, 9000));
    // First request: from the bad block; the rest of its body is abandoned
    // after one block. The second verification finds the file complete.
    inet.responses.push_back(FakeHttpControl::reply(206, content.mid(8192), {contentRange(8192, 20480)}));

    EXPECT_FALSE(runDDF());  // ends with "File complete and verified!"

    EXPECT_EQ(inet.extraHeaders, QStringList{range(8192)});
    EXPECT_EQ(inet.chunkCalls, 1);
    EXPECT_EQ(readFile(dest()), content);
    EXPECT_EQ(engine->CRCErrorCount, 1);
    EXPECT_FALSE(engine->RepairMode);
    const QStringList lines = logLines();
    const qsizetype repair = lines.indexOf(QStringLiteral("CRC error in current file. Will attempt to repair..."));
    ASSERT_GE(repair, 0);
    const qsizetype separator = lines.indexOf(QStringLiteral("----------"), repair);
    ASSERT_GT(separator, repair);
    EXPECT_EQ(lines.mid(separator + 1),
              (QStringList{"Verifying file integrity...", "Full data verification check due to previous file repairs...",
                           "Verifying file integrity...", "Your file has been verified, and is ready for use!"}));
    EXPECT_EQ(view.text(Label::Status), QStringLiteral("File complete and verified!"));
}

TEST_F(EngineTest, SeveralBadBlocksTakeOneCycleEach)
{
    const QByteArray content = pattern(40960);
    loadDescriptor(content);
    QByteArray local = damaged(damaged(damaged(content, 5), 4096 * 3 + 7), 4096 * 8 + 100);
    writeFile(dest(), local);
    for (qint64 at : {0, 4096 * 3, 4096 * 8})
        inet.responses.push_back(FakeHttpControl::reply(206, content.mid(at), {contentRange(at, 40960)}));

    EXPECT_FALSE(runDDF());

    EXPECT_EQ(inet.extraHeaders, (QStringList{range(0), range(4096 * 3), range(4096 * 8)}));
    EXPECT_EQ(engine->CRCErrorCount, 3);
    EXPECT_EQ(readFile(dest()), content);
}

TEST_F(EngineTest, AfterTwentyRepairsTheRemainderIsFetched)
{
    const QByteArray content = pattern(20480);
    loadDescriptor(content);
    writeFile(dest(), damaged(content, 4096 + 1));
    engine->CRCErrorCount = 20;
    inet.responses.push_back(FakeHttpControl::reply(206, content.mid(4096), {contentRange(4096, 20480)}));

    EXPECT_TRUE(runDDF());

    EXPECT_TRUE(logLines().contains(QStringLiteral("Too many CRC errors in current file. Will download remainder...")));
    EXPECT_EQ(inet.extraHeaders, QStringList{range(4096)});
    EXPECT_EQ(inet.chunkCalls, 4);
    EXPECT_EQ(engine->CRCErrorCount, 20);
    EXPECT_EQ(readFile(dest()), content);
}

TEST_F(EngineTest, MismatchInFlightIsNotWrittenAndRetryResumesWithoutVerifying)
{
    const QByteArray content = pattern(20480);
    loadDescriptor(content);
    writeFile(dest(), content.left(8192));
    inet.responses.push_back(
        FakeHttpControl::reply(206, damaged(content.mid(8192), 4096 + 3), {contentRange(8192, 20480)}));

    EXPECT_FALSE(runDDF());

    EXPECT_TRUE(logLines().contains(QStringLiteral("CRC error in bytes retrieved. Rolling back to retry...")));
    EXPECT_TRUE(engine->RetryPending);
    EXPECT_TRUE(engine->StopTransfer);
    EXPECT_EQ(QFileInfo(dest()).size(), 12288);  // the good block before the bad one only
    EXPECT_EQ(readFile(dest()), content.left(12288));

    // The retry tick: resumes at the file's end with no verification pass.
    log.setClock([] { return QTime(12, 0, 0); });
    const qsizetype linesBefore = logLines().size();
    inet.responses.push_back(FakeHttpControl::reply(206, content.mid(12288), {contentRange(12288, 20480)}));
    engine->RetryTimer_Timer();

    EXPECT_EQ(inet.extraHeaders.last(), range(12288));
    EXPECT_FALSE(logLines().mid(linesBefore).contains(QStringLiteral("Verifying file integrity...")));
    EXPECT_EQ(readFile(dest()), content);
    EXPECT_EQ(view.text(Label::Status), QStringLiteral("Download completed and verified!"));
}

TEST_F(EngineTest, ResumeAnsweredWith200ChecksAgainstFirstChecksum)
{
    const QByteArray content = pattern(20480);
    loadDescriptor(content);
    writeFile(dest(), content.left(8192));
    inet.responses.push_back(FakeHttpControl::reply(200, content));

    EXPECT_TRUE(runDDF());

    EXPECT_EQ(inet.extraHeaders, QStringList{range(8192)});
    EXPECT_TRUE(logLines().contains(QStringLiteral("Could not resume. Starting from beginning of file.")));
    EXPECT_EQ(readFile(dest()), content);
}

TEST_F(EngineTest, Version11IgnoresLastByteOfEachBlock)
{
    const QByteArray content = pattern(8192);
    loadDescriptor(content, 1.1f);
    QByteArray served = content;
    served[4095] = char(served[4095] ^ 0x01);
    inet.responses.push_back(FakeHttpControl::reply(200, served));
    EXPECT_TRUE(runDDF());
    EXPECT_EQ(readFile(dest()), served);

    // Under 1.2 the same byte is caught.
    QFile::remove(dest());
    loadDescriptor(content, 1.2f);
    inet.responses.push_back(FakeHttpControl::reply(200, served));
    EXPECT_FALSE(runDDF());
    EXPECT_FALSE(QFileInfo::exists(dest()) && QFileInfo(dest()).size() > 0);
    EXPECT_TRUE(engine->RetryPending);
}

TEST_F(EngineTest, Status416IsRetriedInDescriptorMode)
{
    const QByteArray content = pattern(8192);
    loadDescriptor(content);
    writeFile(dest(), content.left(4096));
    FakeHttpControl::Response r;
    r.header = QStringLiteral("HTTP/1.1 416 X\r\n\r\n");
    inet.responses.push_back(r);
    EXPECT_FALSE(runDDF());
    EXPECT_TRUE(logLines().contains(QStringLiteral("There was a problem making the proper connection...")));
    EXPECT_TRUE(engine->RetryPending);
    EXPECT_TRUE(dialogs.asked.empty());
}

TEST_F(EngineTest, FreeSpaceCheckStopsBeforeAnything)
{
    loadDescriptor(pattern(8192));
    QString askedFolder;
    engine->freeSpace = [&](const QString &folder) {
        askedFolder = folder;
        return 8191.0;
    };
    EXPECT_FALSE(runDDF());
    EXPECT_EQ(askedFolder, dir.path());
    ASSERT_EQ(dialogs.asked.size(), 1u);
    EXPECT_EQ(dialogs.asked[0].title, QStringLiteral("Insufficient Disk Space..."));
    EXPECT_TRUE(dialogs.asked[0].text.startsWith(QStringLiteral("There is not enough free space on the selected disk")));
    EXPECT_EQ(inet.executeCount(), 0);
    EXPECT_TRUE(log.isEmpty());
    EXPECT_FALSE(view.cancelEnabled());

    // Equal is enough.
    engine->freeSpace = [](const QString &) { return 8192.0; };
    inet.responses.push_back(FakeHttpControl::reply(200, pattern(8192)));
    EXPECT_TRUE(runDDF());
}

TEST_F(EngineTest, VerificationEdgeCases)
{
    const QByteArray content = pattern(40960);
    loadDescriptor(content);
    struct Case {
        const char *name;
        QByteArray local;
        qint64 result;
        bool repair;
    };
    for (const Case &c : {Case{"empty", QByteArray(), 0, false},
                          Case{"complete", content, 40960, false},
                          Case{"partial block", content.left(10000), 8192, true},
                          Case{"block 5 damaged", damaged(content, 4096 * 5 + 9), 20480, true},
                          Case{"block 0 damaged", damaged(content, 0), 0, true}}) {
        SCOPED_TRACE(c.name);
        engine->RepairMode = false;
        engine->StopTransfer = true;
        writeFile(dest(), c.local);
        EXPECT_EQ(engine->VerifyExistingFile(dest(), engine->DescriptorPath, 3083), c.result);
        EXPECT_EQ(engine->RepairMode, c.repair);
        EXPECT_FALSE(engine->StopTransfer);
        EXPECT_FALSE(view.cancelEnabled());
    }
}

TEST_F(EngineTest, VerificationProgressAndMissingFiles)
{
    const QByteArray content = pattern(10000);
    loadDescriptor(content);
    engine->ExpectedSize = 9000;  // the last block ends past it: shown as 0
    writeFile(dest(), content);
    QList<qint64> values;
    QObject::connect(&view, &MainWindowModel::progressValueSet, [&](qint64 v) { values << v; });
    engine->VerifyExistingFile(dest(), engine->DescriptorPath, 3083);
    EXPECT_EQ(values, (QList<qint64>{0, 4096, 8192, 0}));
    EXPECT_EQ(view.progressMax(), 9000);

    EXPECT_EQ(engine->VerifyExistingFile(path("nothing.bin"), engine->DescriptorPath, 3083), 0);
    EXPECT_EQ(dialogs.messages().last(), QStringLiteral("Source file is missing!"));
    EXPECT_EQ(exitSeam.exitCount, 0);

    engine->VerifyExistingFile(dest(), path("nothing.ddf"), 3083);
    EXPECT_EQ(dialogs.messages().last(), QStringLiteral("Orvanta Downloader file is missing!"));
    EXPECT_EQ(exitSeam.exitCount, 1);
}

TEST_F(EngineTest, PauseDuringRepairBlockStopsTheCycle)
{
    const QByteArray content = pattern(20480);
    loadDescriptor(content);
    writeFile(dest(), damaged(content, 8192));
    inet.responses.push_back(FakeHttpControl::reply(206, content.mid(8192), {contentRange(8192, 20480)}));
    inet.onChunk = [&](qint64) {
        view.setCancelCaption(QStringLiteral("Pause Download..."));
        engine->CancelButton_Click();
        inet.onChunk = nullptr;
    };
    // The pause lands before the block is fetched: nothing is repaired yet.
    EXPECT_FALSE(runDDF());
    EXPECT_EQ(inet.executeCount(), 1);
    EXPECT_EQ(view.text(Label::Status), QStringLiteral("Transfer interrupted by user."));
    EXPECT_TRUE(engine->RepairMode);
    EXPECT_EQ(engine->CRCErrorCount, 0);

    // Resuming skips verification of an intact file, but not of one with a
    // repair still pending: the repair is carried out, not declared done.
    inet.responses.push_back(FakeHttpControl::reply(206, content.mid(8192), {contentRange(8192, 20480)}));
    engine->CancelButton_Click();
    engine->ResumeTimer_Timer();
    EXPECT_EQ(inet.extraHeaders.last(), range(8192));
    EXPECT_EQ(engine->CRCErrorCount, 1);
    EXPECT_EQ(readFile(dest()), content);
    EXPECT_EQ(view.text(Label::Status), QStringLiteral("File complete and verified!"));
}

} // namespace

namespace {

TEST_F(EngineTest, BodyOfAnotherSizeIsNotTakenForTheDescribedFile)
{
    const QByteArray content = pattern(8192);
    loadDescriptor(content);
    for (const QString &length : {QString(), QStringLiteral("4096"), QStringLiteral("12288")}) {
        SCOPED_TRACE(length.toStdString());
        inet.responses.push_back(FakeHttpControl::reply(200, content, {}, length));
        EXPECT_FALSE(runDDF());
        EXPECT_NE(view.text(Label::Status), QStringLiteral("Download completed and verified!"));
        EXPECT_EQ(logLines().last(), QStringLiteral("The file on the server is not the size the descriptor gives."));
        EXPECT_FALSE(QFileInfo::exists(dest()));
        EXPECT_FALSE(engine->RetryPending);
    }
}

} // namespace

namespace {

TEST_F(EngineTest, UnverifiedResumeStartsAtTheBlockBoundary)
{
    // A resume that skips verification on a file ending mid-block still
    // reads the checksum of the block it fetches, not a shifted one.
    const QByteArray content = pattern(20000);
    loadDescriptor(content);
    writeFile(dest(), content.left(10000));
    engine->FileVerified = true;
    inet.responses.push_back(FakeHttpControl::reply(206, content.mid(8192), {contentRange(8192, 20000)}));
    EXPECT_TRUE(runDDF());
    EXPECT_EQ(inet.extraHeaders, QStringList{range(8192)});
    EXPECT_EQ(readFile(dest()), content);
}

} // namespace
