// The scenarios of the transcript test: what the server does, what is on
// disk before, and what the user does.
#include "TranscriptScenario.h"

namespace {

using Kind = ServedFiles::Behaviour::Kind;
using Act = UserAction;
using What = BodyEvent::What;

const QString kUrl = QStringLiteral("http://127.0.0.1:1/f.bin");
const QString kOtherUrl = QStringLiteral("http://127.0.0.1:1/other.bin");
const QString kEurope = QStringLiteral("http://127.0.0.1:2/f.bin");
const QString kAmerica = QStringLiteral("http://127.0.0.1:3/f.bin");
constexpr qsizetype kSize = 40000;  // nine whole blocks and a short one

const QByteArray &served() { static const QByteArray bytes = scenarioBytes(kSize, 1); return bytes; }

QByteArray damaged(QByteArray bytes, std::initializer_list<qint64> offsets)
{
    for (qint64 at : offsets)
        bytes[at] = char(bytes[at] ^ 0x5a);
    return bytes;
}

// A URL download of `served()` to out.bin.
Scenario urlScenario(const char *name, const char *about)
{
    Scenario s;
    s.name = QString::fromLatin1(name);
    s.about = QString::fromLatin1(about);
    s.server.files[kUrl] = served();
    s.reference = kUrl;
    s.fileAnswers = {QStringLiteral("out.bin")};
    s.steps = {{Act::TypeUrl, kUrl}, {Act::ClickDownload}};
    return s;
}

// A descriptor download of `served()` from `servers` to out.bin.
Scenario descriptorScenario(const char *name, const char *about, qsizetype size = kSize,
                            QStringList servers = {kEurope})
{
    Scenario s;
    s.name = QString::fromLatin1(name);
    s.about = QString::fromLatin1(about);
    const QByteArray content = size == kSize ? served() : scenarioBytes(size, 2);
    s.server.files[kEurope] = content;
    s.server.files[kAmerica] = content;
    s.reference = kEurope;
    s.descriptors = {{QStringLiteral("d.ddf"), kEurope, servers}};
    s.fileAnswers = {QStringLiteral("d.ddf"), QStringLiteral("out.bin")};
    s.steps = {{Act::ClickLoad}};
    return s;
}

const QStringList kTwoServers = {QStringLiteral("Europe|") + kEurope, QStringLiteral("America|") + kAmerica};

std::vector<Scenario> plainScenarios()
{
    std::vector<Scenario> all;
    Scenario s = urlScenario("url_fresh", "A URL downloaded into a new file, one display tick on the way");
    s.bodyEvents = {{0, 16384, What::Tick}};
    all.push_back(s);

    s = urlScenario("url_resume", "An existing partial file resumed with a range request");
    s.localFiles = {{QStringLiteral("out.bin"), served().left(12288)}};
    s.fileExistsAnswers = {FileExistsAnswer::Resume};
    all.push_back(s);

    s = urlScenario("url_resume_answered_200", "A resumed request answered with the whole file");
    s.localFiles = {{QStringLiteral("out.bin"), served().left(5000)}};
    s.fileExistsAnswers = {FileExistsAnswer::Resume};
    s.server.plan = {{Kind::IgnoreRange}};
    all.push_back(s);

    s = urlScenario("url_404", "The server does not have the file");
    s.server.plan = {{Kind::Status, 404}};
    all.push_back(s);

    s = urlScenario("url_416", "Resuming a file that is already complete");
    s.localFiles = {{QStringLiteral("out.bin"), served()}};
    s.fileExistsAnswers = {FileExistsAnswer::Resume};
    all.push_back(s);

    s = urlScenario("url_drop_then_retry", "The connection drops mid-body; the retry resumes");
    s.server.plan = {{.breakAfter = 12288}};
    s.steps.push_back({Act::WaitForTimers});
    all.push_back(s);

    s = urlScenario("url_stall_then_retry", "The server goes silent mid-body; the retry resumes");
    s.server.plan = {{.breakAfter = 8192, .stall = true}};
    s.steps.push_back({Act::WaitForTimers});
    all.push_back(s);

    s = urlScenario("url_pause_resume", "Paused from the tray, resumed with the button");
    s.bodyEvents = {{0, 8192, What::TrayPause}};
    s.steps.push_back({Act::ClickPauseButton});
    s.steps.push_back({Act::WaitForTimers});
    all.push_back(s);

    s = urlScenario("url_exit_during_download", "The window is closed while the body arrives");
    s.bodyEvents = {{0, 12288, What::CloseWindow}};
    all.push_back(s);

    s = urlScenario("url_no_answer", "The connection fails before any answer; retried");
    s.server.plan = {{Kind::NoAnswer}};
    s.steps.push_back({Act::WaitForTimers});
    all.push_back(s);
    return all;
}

std::vector<Scenario> descriptorScenarios()
{
    std::vector<Scenario> all;
    Scenario s = descriptorScenario("ddf_fresh", "A descriptor download into a new file");
    all.push_back(s);

    s = descriptorScenario("ddf_resume", "An intact partial file verified, then resumed");
    s.localFiles = {{QStringLiteral("out.bin"), served().left(16384)}};
    all.push_back(s);

    s = descriptorScenario("ddf_repair_three_blocks", "A complete file with three bad blocks repaired one by one");
    s.localFiles = {{QStringLiteral("out.bin"), damaged(served(), {8192 + 5, 20480, 36863})}};
    all.push_back(s);

    constexpr qsizetype big = 25 * 4096 + 1000;
    s = descriptorScenario("ddf_more_than_twenty_bad_blocks", "Twenty repairs, then the remainder is fetched",
                           big);
    QByteArray local = scenarioBytes(big, 2);
    for (int block = 0; block < 22; ++block)
        local[block * 4096 + 7] = char(local[block * 4096 + 7] ^ 0x5a);
    s.localFiles = {{QStringLiteral("out.bin"), local}};
    all.push_back(s);

    s = descriptorScenario("ddf_block_corrupted_in_flight", "A block fails its check in flight; the retry resumes");
    s.server.plan = {{.corruptAt = 20000}};
    s.steps.push_back({Act::WaitForTimers});
    all.push_back(s);

    s = descriptorScenario("ddf_pause_switch_server_resume", "Paused, another server chosen, resumed from it",
                           kSize, kTwoServers);
    s.serverAnswers = {0, 1};
    s.bodyEvents = {{0, 12288, What::ClickPauseButton}};
    s.steps.push_back({Act::ClickServers});
    s.steps.push_back({Act::WaitForTimers});
    all.push_back(s);
    return all;
}

// Today's faults, as a user meets them.
std::vector<Scenario> faultScenarios()
{
    std::vector<Scenario> all;
    Scenario s = descriptorScenario("fault_repair_server_ignores_range",
                                    "Repairing one bad block against a server that ignores Range");
    s.localFiles = {{QStringLiteral("out.bin"), damaged(served(), {8192 + 5})}};
    s.server.plan = std::vector<ServedFiles::Behaviour>(4, {Kind::IgnoreRange});
    all.push_back(s);

    s = descriptorScenario("fault_wrong_size_200_to_resume", "A resumed request answered by a 200 error page");
    s.localFiles = {{QStringLiteral("out.bin"), served().left(16384)}};
    s.server.plan = {{Kind::Page, 0, QByteArray("<html>Service moved</html>")}};
    all.push_back(s);

    s = descriptorScenario("fault_server_count_outlives_descriptor",
                           "A URL download after a two-server descriptor, paused and switched to a server",
                           kSize, kTwoServers);
    s.server.files[kEurope] = scenarioBytes(kSize, 3);  // the descriptor's file is another file
    s.server.files[kAmerica] = scenarioBytes(kSize, 3);
    s.server.files[kUrl] = served();
    s.server.plan = {{Kind::Status, 404}};
    s.watched = QStringLiteral("url.bin");
    s.reference = kUrl;
    s.fileAnswers.push_back(QStringLiteral("url.bin"));
    s.serverAnswers = {0, 1};
    s.bodyEvents = {{1, 8192, What::ClickPauseButton}};
    s.steps = {{Act::ClickLoad}, {Act::TypeUrl, kUrl}, {Act::ClickDownload}, {Act::ClickServers},
               {Act::WaitForTimers}};
    all.push_back(s);

    s = urlScenario("fault_exit_caption_outlives_download", "After a completed download, the next one is paused");
    s.server.files[kOtherUrl] = scenarioBytes(kSize, 4);
    s.watched = QStringLiteral("other.bin");
    s.reference = kOtherUrl;
    s.fileAnswers.push_back(QStringLiteral("other.bin"));
    s.bodyEvents = {{1, 8192, What::ClickPauseButton}};
    s.steps.push_back({Act::TypeUrl, kOtherUrl});
    s.steps.push_back({Act::ClickDownload});
    all.push_back(s);

    s = urlScenario("fault_stale_progress_after_failure", "A display tick, then the connection drops far later");
    s.bodyEvents = {{0, 8192, What::Tick}};
    s.server.plan = {{.breakAfter = 32768}};
    all.push_back(s);

    s = urlScenario("fault_retry_lost_to_cancelled_prompt",
                    "A retry is armed; a new start is cancelled at the file-exists prompt");
    s.server.plan = {{.breakAfter = 12288}};
    s.fileAnswers.push_back(QStringLiteral("out.bin"));
    s.fileExistsAnswers = {FileExistsAnswer::Cancel};
    s.steps.push_back({Act::ClickDownload});
    s.steps.push_back({Act::WaitForTimers});
    all.push_back(s);
    return all;
}

} // namespace

QByteArray scenarioBytes(qsizetype size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    quint32 x = seed * 2654435761u + 1;
    for (qsizetype i = 0; i < size; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        bytes[i] = char(x >> 24);
    }
    return bytes;
}

std::vector<Scenario> transcriptScenarios()
{
    std::vector<Scenario> all = plainScenarios();
    for (auto *more : {&descriptorScenarios, &faultScenarios})
        for (Scenario &s : more())
            all.push_back(std::move(s));
    return all;
}

QString actionName(UserAction action)
{
    switch (action) {
    case Act::TypeUrl: return QStringLiteral("type URL");
    case Act::ClickDownload: return QStringLiteral("click Download from URL");
    case Act::ClickLoad: return QStringLiteral("click Load DDF Data File");
    case Act::ClickPauseButton: return QStringLiteral("click the pause button");
    case Act::TrayPause: return QStringLiteral("tray Pause");
    case Act::ClickServers: return QStringLiteral("click the server button");
    case Act::CloseWindow: return QStringLiteral("close the window");
    case Act::WaitForTimers: return QStringLiteral("wait for the pending retry or resume");
    }
    return {};
}

QString bodyEventName(BodyEvent::What what)
{
    switch (what) {
    case What::Tick: return QStringLiteral("one-second display tick");
    case What::ClickPauseButton: return QStringLiteral("click the pause button");
    case What::TrayPause: return QStringLiteral("tray Pause");
    case What::CloseWindow: return QStringLiteral("close the window");
    }
    return {};
}
