// The transfer loop in URL mode: response classification, resume, progress
// display, stop, and the failures the loop must survive.
#include "DownloadEngineFixture.h"

#include <sys/resource.h>

#include <csignal>

namespace {

struct StatusRow {
    const char *name;
    QString header;        // whole header block
    bool resuming;
    QString logged;        // message that must be in the log
    bool retryArmed;
    bool messageBox;
};

class StatusTableTest : public EngineTest, public ::testing::WithParamInterface<StatusRow> {};

TEST_P(StatusTableTest, FinalAndRetriedAnswers)
{
    const StatusRow &row = GetParam();
    if (row.resuming)
        writeFile(dest(), pattern(5000));
    FakeHttpControl::Response r;
    r.header = row.header;
    inet.responses.push_back(r);
    view.setCmdURLEnabled(false);

    EXPECT_FALSE(runURL());

    EXPECT_TRUE(engine->StopTransfer);
    EXPECT_TRUE(logLines().contains(row.logged)) << logLines().join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(engine->RetryPending, row.retryArmed);
    EXPECT_EQ(engine->RetryTimer.isActive(), row.retryArmed);
    EXPECT_GE(inet.cancelCount, 1);
    if (row.retryArmed)
        EXPECT_EQ(view.text(Label::Status), QStringLiteral("Recovering from error. Retrying in 30 seconds..."));
    else
        EXPECT_EQ(view.text(Label::Status), QStringLiteral("Saving:"));
    ASSERT_EQ(dialogs.asked.size(), row.messageBox ? 1u : 0u);
    if (row.messageBox) {
        EXPECT_TRUE(dialogs.asked[0].text.startsWith(QStringLiteral("The server reports that there are no more bytes")));
        EXPECT_EQ(dialogs.asked[0].title, QStringLiteral("Orvanta Downloader"));
        EXPECT_TRUE(view.cmdURLEnabled());
        EXPECT_TRUE(view.command1Enabled());
    }
    // Nothing was written: an existing file keeps its bytes, none is created.
    if (row.resuming)
        EXPECT_EQ(readFile(dest()), pattern(5000));
    else
        EXPECT_FALSE(QFileInfo::exists(dest()));
}

INSTANTIATE_TEST_SUITE_P(
    Url, StatusTableTest,
    ::testing::Values(
        StatusRow{"NoContent", "HTTP/1.1 204 No Content\r\n\r\n", false, "The server did not return any content.", false, false},
        StatusRow{"Unauthorized", "HTTP/1.1 401 X\r\n\r\n", false, "Authorization failed!", false, false},
        StatusRow{"NotFound", "HTTP/1.1 404 X\r\n\r\n", false,
                  "File not found on server. Please check for a newer ddf file.", false, false},
        StatusRow{"RangeNotSatisfiable", "HTTP/1.1 416 X\r\n\r\n", true,
                  "No content to be download. File has already completed.", false, true},
        StatusRow{"ElevenCharsCrLf", "HTTP/1.1 \r\n", false, "Could not establish a connection to the server.", false,
                  false},
        StatusRow{"Empty", "", false, "There was a problem making the proper connection...", true, false},
        StatusRow{"ServerError", "HTTP/1.1 500 X\r\n\r\n", false, "There was a problem making the proper connection...",
                  true, false},
        StatusRow{"TwelveCharsCrLf", "HTTP/1.1 XX\r\n", false, "There was a problem making the proper connection...",
                  true, false}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(EngineTest, FreshDownloadWritesBodyAndFinishes)
{
    const QByteArray body = pattern(10000);
    inet.responses.push_back(FakeHttpControl::reply(200, body));
    inet.responses.front().pendingPolls = 3;

    EXPECT_TRUE(runURL());

    EXPECT_EQ(readFile(dest()), body);
    EXPECT_EQ(inet.extraHeaders, QStringList{QString()});
    EXPECT_EQ(inet.urls, QStringList{engine->SourceURL});
    EXPECT_EQ(view.text(Label::Status), QStringLiteral("Download completed and verified!"));
    EXPECT_EQ(view.cancelCaption(), QStringLiteral("Exit"));
    EXPECT_FALSE(view.command1Enabled());
    EXPECT_EQ(view.progressValue(), 0);
    EXPECT_EQ(view.progressMax(), 10000);
    EXPECT_EQ(view.caption(), QStringLiteral("100% of out.bin Completed"));
    EXPECT_EQ(logLines(), (QStringList{"Connecting...", "Waiting for initial response from server...",
                                       "Reading response from server...", "Saving data to disk...",
                                       "Your download has been completed and verified!"}));
    EXPECT_FALSE(engine->transferActive());
}

TEST_F(EngineTest, ResumeSendsOpenRangeAndAppends)
{
    const QByteArray whole = pattern(1000500);
    writeFile(dest(), whole.left(1000000));
    inet.responses.push_back(FakeHttpControl::reply(206, whole.mid(1000000), {contentRange(1000000, 1000500)}));

    EXPECT_TRUE(runURL());

    EXPECT_EQ(inet.extraHeaders, QStringList{QStringLiteral("Range: bytes=1000000-\r\n")});
    EXPECT_EQ(view.progressMax(), 1000500);
    EXPECT_EQ(readFile(dest()), whole);
    EXPECT_TRUE(logLines().contains(QStringLiteral("Entered resume mode successfully.")));
}

TEST_F(EngineTest, ResumeAnsweredWith200StartsOver)
{
    const QByteArray whole = pattern(9000);
    writeFile(dest(), pattern(6000, 7));
    inet.responses.push_back(FakeHttpControl::reply(200, whole));

    EXPECT_TRUE(runURL());

    EXPECT_EQ(readFile(dest()), whole);
    EXPECT_TRUE(logLines().contains(QStringLiteral("Could not resume. Starting from beginning of file.")));
}

TEST_F(EngineTest, EmptyExistingFileIsFetchedWithoutRange)
{
    writeFile(dest(), QByteArray());
    inet.responses.push_back(FakeHttpControl::reply(200, pattern(100)));
    EXPECT_TRUE(runURL());
    EXPECT_EQ(inet.extraHeaders, QStringList{QString()});
    EXPECT_EQ(readFile(dest()), pattern(100));
}

TEST_F(EngineTest, MissingOrZeroContentLengthCompletesWithoutFile)
{
    for (const QString &length : {QString(), QStringLiteral("0"), QStringLiteral("abc")}) {
        inet.responses.push_back(FakeHttpControl::reply(200, pattern(100), {}, length));
        EXPECT_TRUE(runURL()) << length.toStdString();
        EXPECT_EQ(view.text(Label::Status), QStringLiteral("Download completed and verified!"));
        EXPECT_FALSE(QFileInfo::exists(dest()));
    }
}

TEST_F(EngineTest, StartParameterInBothModesOfRequest)
{
    engine->UseStartParam = true;
    inet.responses.push_back(FakeHttpControl::reply(200, pattern(4096)));
    EXPECT_TRUE(runURL());
    EXPECT_EQ(inet.urls.last(), engine->SourceURL + QStringLiteral("&start=0"));
    EXPECT_EQ(inet.extraHeaders.last(), QString());

    const QByteArray more = pattern(100, 3);
    inet.responses.push_back(FakeHttpControl::reply(206, more, {contentRange(4096, 4196)}));
    EXPECT_TRUE(runURL());
    EXPECT_EQ(inet.urls.last(), engine->SourceURL + QStringLiteral("&start=4096"));
    EXPECT_EQ(inet.extraHeaders.last(), range(4096));
    EXPECT_EQ(readFile(dest()), pattern(4096) + more);
}

TEST_F(EngineTest, StopWhileWaitingEndsSilently)
{
    auto r = FakeHttpControl::reply(200, pattern(100));
    r.pendingPolls = 100;
    inet.responses.push_back(r);
    int polls = 0;
    inet.onEvents = [&](bool wait) {
        if (wait && ++polls == 3)
            engine->StopTransfer = true;
    };

    EXPECT_FALSE(runURL());

    EXPECT_EQ(polls, 3);
    EXPECT_EQ(inet.cancelCount, 1);
    EXPECT_EQ(logLines().last(), QStringLiteral("Waiting for initial response from server..."));
    EXPECT_FALSE(engine->RetryPending);
    EXPECT_FALSE(QFileInfo::exists(dest()));
}

TEST_F(EngineTest, StopDuringBodyFinishesBlockAndDrawsFinalFigures)
{
    inet.responses.push_back(FakeHttpControl::reply(200, pattern(40960)));
    inet.onChunk = [&](qint64 delivered) {
        if (delivered == 8192)  // the third block is fetched, then the stop is seen
            engine->StopTransfer = true;
    };

    EXPECT_FALSE(runURL());

    // The interrupted fetch delivers nothing; the two blocks before it are kept.
    EXPECT_EQ(readFile(dest()), pattern(40960).left(8192));
    EXPECT_EQ(view.text(Label::Time), QStringLiteral("4 sec (8 KB of 40 KB copied)"));
    EXPECT_EQ(view.text(Label::Rate), QStringLiteral("8 KB/Sec"));
    EXPECT_EQ(view.caption(), QStringLiteral("20% of out.bin Completed"));
    EXPECT_EQ(view.progressValue(), 8192);
    EXPECT_FALSE(engine->RetryPending);
    EXPECT_NE(view.text(Label::Status), QStringLiteral("Download completed and verified!"));
}

TEST_F(EngineTest, RateFormatSwitchesAt1048575AndFinalUsesWholeNumbers)
{
    struct Case {
        qint64 size;
        QString during;
    };
    for (const Case &c : {Case{1048574, "1024 KB/Sec"}, Case{1048575, "1024.00 KB/Sec"}}) {
        QFile::remove(dest());
        inet.responses.push_back(FakeHttpControl::reply(200, pattern(c.size)));
        // The clock stands still: one second since the (early) start, so the
        // rate after the last block is the size itself.
        inet.onChunk = [&, size = c.size](qint64 delivered) {
            if (delivered + 4096 >= size)
                engine->RefreshDue = true;
        };
        QStringList rates;
        auto connection = QObject::connect(&view, &MainWindowModel::changed, [&] {
            if (rates.isEmpty() || rates.last() != view.text(Label::Rate))
                rates << view.text(Label::Rate);
        });
        EXPECT_TRUE(runURL());
        QObject::disconnect(connection);
        EXPECT_TRUE(rates.contains(c.during)) << rates.join(QLatin1Char('|')).toStdString();
        EXPECT_EQ(rates.last(), QStringLiteral("1024 KB/Sec"));
        EXPECT_FALSE(engine->RefreshDue);
    }
}

TEST_F(EngineTest, DisplayStepFillsTrayTipField)
{
    inet.responses.push_back(FakeHttpControl::reply(200, pattern(8192)));
    inet.onChunk = [&](qint64 delivered) {
        if (delivered == 4096)
            engine->RefreshDue = true;
    };
    EXPECT_TRUE(runURL());
    EXPECT_EQ(view.tray().shownTip(), QStringLiteral("8 KB of 8 KB copied..."));
    EXPECT_EQ(view.tray().szTip().size(), 64);
    EXPECT_EQ(view.tray().szTip().at(22), QChar(u'\0'));
}

TEST_F(EngineTest, ShortBodyAndNetworkErrorGoToErrorReport)
{
    struct Case {
        FakeHttpControl::Response response;
        QString message;
        qint64 kept;
    };
    auto shortBody = FakeHttpControl::reply(200, pattern(5000), {}, QStringLiteral("9000"));
    auto broken = FakeHttpControl::reply(200, pattern(9000));
    broken.failAt = 4096;
    broken.errorCode = 56;
    broken.errorText = QStringLiteral("Failure when receiving data from the peer");
    for (const Case &c :
         {Case{shortBody, "Error 0: The server closed the connection before the whole file arrived.", 5000},
          Case{broken, "Error 56: Failure when receiving data from the peer.", 4096}}) {
        QFile::remove(dest());
        view.setCmdURLEnabled(false);
        view.setCommand1Enabled(false);
        inet.responses.push_back(c.response);
        EXPECT_FALSE(runURL());
        EXPECT_TRUE(logLines().contains(c.message)) << logLines().join(QLatin1Char('|')).toStdString();
        EXPECT_TRUE(engine->RetryPending);
        EXPECT_TRUE(view.cmdURLEnabled());
        EXPECT_TRUE(view.command1Enabled());
        // What arrived intact before the failure is on disk.
        EXPECT_EQ(readFile(dest()), c.response.body.left(c.kept));
    }
}

TEST_F(EngineTest, PartialContentFromWrongOffsetIsNotWritten)
{
    writeFile(dest(), pattern(8192));
    for (const QStringList &headers : {QStringList{contentRange(4096, 12288)}, QStringList{}}) {
        inet.responses.push_back(FakeHttpControl::reply(206, pattern(4096, 5), headers));
        EXPECT_FALSE(runURL());
        EXPECT_EQ(readFile(dest()), pattern(8192));
        EXPECT_TRUE(logLines().contains(QStringLiteral("The server resumed from the wrong position.")));
        EXPECT_TRUE(engine->RetryPending);
        engine->cancelPendingRestart();
    }
}

TEST_F(EngineTest, WriteFailureIsReportedAndKeepsFile)
{
    // The process may not grow files past 12288 bytes: the gathered write
    // of the received blocks fails part-way, as on a full disk.
    writeFile(dest(), pattern(8192));
    const QByteArray rest = pattern(16384, 9);
    inet.responses.push_back(FakeHttpControl::reply(206, rest, {contentRange(8192, 24576)}));
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 12288;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool result = runURL();
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(result);
    EXPECT_TRUE(logLines().contains(QStringLiteral("Error 27: File too large.")))
        << logLines().join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(engine->RetryPending);
    const QByteArray onDisk = readFile(dest());
    EXPECT_EQ(onDisk, (pattern(8192) + rest).left(12288));
}

TEST_F(EngineTest, UnopenableDestinationIsReported)
{
    engine->DestinationPath = path(QStringLiteral("missing-folder/out.bin"));
    inet.responses.push_back(FakeHttpControl::reply(200, pattern(100)));
    EXPECT_FALSE(runURL());
    EXPECT_TRUE(logLines().contains(QStringLiteral("Error 2: No such file or directory.")));
    EXPECT_TRUE(engine->RetryPending);
}

TEST_F(EngineTest, OffsetsBeyond4GiB)
{
    const qint64 fiveGiB = 5368709120;
    {
        QFile f(dest());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_TRUE(f.resize(fiveGiB));  // sparse
    }
    const QByteArray tail = pattern(4096);
    inet.responses.push_back(FakeHttpControl::reply(206, tail, {contentRange(fiveGiB, fiveGiB + 4096)}));

    EXPECT_TRUE(runURL());

    EXPECT_EQ(inet.extraHeaders, QStringList{QStringLiteral("Range: bytes=5368709120-\r\n")});
    EXPECT_EQ(view.progressMax(), fiveGiB + 4096);
    QFile f(dest());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.size(), fiveGiB + 4096);
    ASSERT_TRUE(f.seek(fiveGiB));
    EXPECT_EQ(f.read(4096), tail);
}

TEST_F(EngineTest, DurationOverflowIsReported)
{
    // A crawl: one block per ten million seconds with gigabytes to go.
    inet.responses.push_back(FakeHttpControl::reply(200, pattern(4096), {}, QStringLiteral("90000000000")));
    inet.onChunk = [&](qint64) {
        now += 1e7;
        engine->RefreshDue = true;
    };
    EXPECT_FALSE(runURL());
    EXPECT_TRUE(logLines().contains(QStringLiteral("Error 6: Overflow.")));
    EXPECT_TRUE(engine->RetryPending);
}

TEST_F(EngineTest, SourceAndDestinationLabelsAreFitted)
{
    view.setFitter([](Label label, const QString &text) {
        return QStringLiteral("%1:%2").arg(int(label)).arg(text.size());
    });
    inet.responses.push_back(FakeHttpControl::reply(200, pattern(10)));
    EXPECT_TRUE(runURL());
    const QString source = dest() + QStringLiteral(" from ") + engine->SourceURL;
    EXPECT_EQ(view.text(Label::Source), QStringLiteral("%1:%2").arg(int(Label::Source)).arg(source.size()));
    EXPECT_EQ(view.text(Label::To), QStringLiteral("%1:%2").arg(int(Label::To)).arg(dest().size()));
}

} // namespace
