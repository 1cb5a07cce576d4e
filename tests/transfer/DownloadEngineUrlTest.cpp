// The engine in URL mode, and what both modes share: how each answer is
// classified, the room a file needs, the validator that pins a resume, and
// offsets past 32 bits.
#include "DownloadEngineFixture.h"

#include <transfer/ResumeValidator.h>

namespace {

enum class Mode { Url, UrlStart, Ddf };  // UrlStart: "&start=" in the URL as well

struct AnswerRow {
    const char *name;
    Mode mode;
    qint64 existing;        // bytes of the file already on disk
    int status;             // 200/206 carry the (rest of the) file unless `length` says otherwise
    qint64 length;          // announced length: -2 as the body says, -1 none
    qint64 rangeStart;      // Content-Range start of a 206 (-2: the requested offset)
    const char *logged;
    DownloadEngine::State end;
    bool fileBecomesWhole;  // else: untouched
};
void PrintTo(const AnswerRow &row, std::ostream *os) { *os << row.name; }

class AnswerTable : public EngineTest, public ::testing::WithParamInterface<AnswerRow> {};

TEST_P(AnswerTable, AnswerDecidesOutcome)
{
    const AnswerRow &row = GetParam();
    const QByteArray content = pattern(9000);
    if (row.mode == Mode::Ddf)
        describe(content);
    if (row.existing)
        writeFile(dest(), content.left(row.existing));
    job.appendStartOffset = row.mode == Mode::UrlStart;
    const bool carriesFile = row.status == 200 || row.status == 206;
    Reply reply = carriesFile ? FakeHttpClient::reply(row.status, row.status == 206 ? content.mid(row.existing) : content)
                              : FakeHttpClient::reply(row.status, {});
    if (row.length != -2)
        reply.head->contentLength = row.length < 0 ? std::nullopt : std::optional<qint64>(row.length);
    if (row.status == 206 && row.rangeStart != -1)
        reply.head->rangeStart = row.rangeStart == -2 ? row.existing : row.rangeStart;
    http.replies.push_back(reply);

    EXPECT_EQ(run(), row.end);
    ASSERT_EQ(http.requests.size(), 1u);
    EXPECT_EQ(http.requests[0].rangeStart, row.existing ? row.existing : -1);
    EXPECT_EQ(http.requests[0].url, job.sourceUrl + (job.appendStartOffset ? QStringLiteral("&start=%1").arg(row.existing) : ""));
    EXPECT_TRUE(logged(row.logged)) << log.join('\n').toStdString();
    EXPECT_EQ(readFile(dest()), row.fileBecomesWhole ? content : content.left(row.existing));
    const bool unchecked = row.length == -1 && row.mode != Mode::Ddf;
    EXPECT_EQ(status, row.end == DownloadEngine::State::WaitingToRetry ? "Recovering from error. Retrying in 30 seconds..."
                      : row.end != DownloadEngine::State::Completed    ? "Saving:"
                      : unchecked ? "Download completed (size not announced by the server, not verified)."
                                  : "Download completed and verified!");
    EXPECT_EQ(notices.size(), row.status == 416 && row.mode != Mode::Ddf ? 1u : 0u);
}

constexpr const char *kDone = "Your download has been completed and verified!";
constexpr const char *kRestart = "Could not resume. Starting from beginning of file.";
constexpr const char *kProblem = "There was a problem making the proper connection...";
constexpr const char *kSize = "The file on the server is not the size the descriptor gives.";
constexpr const char *kWrongPlace = "The server resumed from the wrong position.";
using enum Mode;
using S = DownloadEngine::State;

INSTANTIATE_TEST_SUITE_P(
    Engine, AnswerTable,
    ::testing::Values(
        AnswerRow{"Fresh200", Url, 0, 200, -2, -1, kDone, S::Completed, true},
        AnswerRow{"Resumed200StartsTheFileAgain", Url, 5000, 200, -2, -1, kRestart, S::Completed, true},
        AnswerRow{"Resumed206", Url, 5000, 206, -2, -2, "Entered resume mode successfully.", S::Completed, true},
        AnswerRow{"StartParamFresh", UrlStart, 0, 200, -2, -1, kDone, S::Completed, true},
        AnswerRow{"StartParamResumed", UrlStart, 4096, 206, -2, -2, "Entered resume mode successfully.", S::Completed, true},
        AnswerRow{"UnannouncedLengthIsReadToTheEndButNotVerified", Url, 0, 200, -1, -1,
                  "Your download has been completed, but the server did not announce its size, so it could not be verified.",
                  S::Completed, true},
        AnswerRow{"NotFound", Url, 0, 404, -2, -1, "File not found on server. Please check for a newer ddf file.", S::Failed, false},
        AnswerRow{"RangeNotSatisfiable", Url, 5000, 416, -2, -1, "No content to be download. File has already completed.", S::Failed, false},
        AnswerRow{"PartialWithoutRange", Url, 8192, 206, -2, -1, kWrongPlace, S::WaitingToRetry, false},
        AnswerRow{"DdfFresh200", Ddf, 0, 200, -2, -1, kDone, S::Completed, true},
        AnswerRow{"DdfResumed200", Ddf, 8192, 200, -2, -1, kRestart, S::Completed, true},
        AnswerRow{"DdfResumed206", Ddf, 8192, 206, -2, -2, kDone, S::Completed, true},
        AnswerRow{"DdfRangeNotSatisfiableIsRetried", Ddf, 8192, 416, -2, -1, kProblem, S::WaitingToRetry, false},
        AnswerRow{"DdfNoLength", Ddf, 0, 200, -1, -1, kSize, S::Failed, false},
        AnswerRow{"DdfShorterLength", Ddf, 0, 200, 4096, -1, kSize, S::Failed, false}),
    [](const auto &info) { return std::string(info.param.name); });

// Only the bytes still missing need room, in both modes, before anything is
// written; a filesystem that cannot tell is not taken for a full one.
TEST_F(EngineTest, FreeSpaceIsTheSpaceStillNeeded)
{
    const QByteArray content = pattern(9000);
    struct Case {
        const char *name;
        bool descriptor;
        qint64 existing;
        std::optional<qint64> free;
        State end;
    };
    for (const Case &c : {Case{"URL, fresh, one byte short", false, 0, 8999, S::Failed},
                          Case{"URL, resume, exactly enough", false, 5000, 4000, S::Completed},
                          Case{"descriptor, resume, exactly enough", true, 8192, 808, S::Completed},
                          Case{"descriptor, resume, one byte short", true, 8192, 807, S::Failed},
                          Case{"descriptor, complete file, no room at all", true, 9000, 0, S::Verified},
                          Case{"descriptor, cannot tell", true, 0, std::nullopt, S::Completed}}) {
        SCOPED_TRACE(c.name);
        c.descriptor ? describe(content) : void(job.mode = DownloadJob::Mode::Url);
        QFile::remove(dest());
        if (c.existing)
            writeFile(dest(), content.left(c.existing));
        notices.clear();
        http.requests.clear();
        serve(content);
        engine.setFreeSpaceQuery([&](const QString &folder) { return folder == dir.path() ? c.free : std::nullopt; });
        EXPECT_EQ(run(), c.end);
        EXPECT_EQ(notices.size(), c.end == S::Failed ? 1u : 0u);
        EXPECT_EQ(readFile(dest()), c.end == S::Failed ? content.left(c.existing) : content);
        EXPECT_EQ(http.requests.empty(), c.descriptor && c.end != S::Completed);
    }
}

// The first answer's strong ETag, else its Last-Modified, pins the partial
// file; every resume asks with it; the finished file keeps none.
TEST_F(EngineTest, AResumeIsPinnedToTheVersionItContinues)
{
    const QByteArray content = pattern(20000);
    struct Case {
        const char *etag, *lastModified, *pinned;
    };
    for (const Case &c : {Case{"\"v1\"", "Mon, 01 Jan 2024 00:00:00 GMT", "\"v1\""},
                          Case{"W/\"v1\"", "Mon, 01 Jan 2024 00:00:00 GMT", "Mon, 01 Jan 2024 00:00:00 GMT"},
                          Case{"", "", ""}}) {
        SCOPED_TRACE(c.etag);
        QFile::remove(dest());
        http.requests.clear();
        Reply first = FakeHttpClient::reply(200, content);
        first.head->etag = c.etag;
        first.head->lastModified = c.lastModified;
        first.breakAfter = 8192;
        http.replies = {first, partial(content, 8192)};
        EXPECT_EQ(run(), S::WaitingToRetry);
        if (storedValidator(dest()) != c.pinned)
            GTEST_SKIP() << "this filesystem keeps no user attributes";
        engine.start(job);  // as after a restart of the program
        EXPECT_TRUE(settle(engine, http));
        ASSERT_EQ(http.requests.size(), 2u);
        EXPECT_EQ(http.requests[1].ifRange, c.pinned);
        EXPECT_EQ(readFile(dest()), content);
        EXPECT_EQ(storedValidator(dest()), "");
    }
}

TEST_F(EngineTest, OffsetsBeyond4GiB)
{
    const qint64 fiveGiB = 5368709120;
    QFile f(dest());
    ASSERT_TRUE(f.open(QIODevice::ReadWrite) && f.resize(fiveGiB));  // sparse
    const QByteArray tail = pattern(4096);
    http.replies.push_back(FakeHttpClient::reply(206, tail, fiveGiB, fiveGiB + 4096));
    EXPECT_EQ(run(), S::Completed);
    EXPECT_EQ(ranges(), QStringList{QString::number(fiveGiB)});
    ASSERT_TRUE(f.seek(fiveGiB));
    EXPECT_EQ(f.readAll(), tail);
}

} // namespace
