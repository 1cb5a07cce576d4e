// Plays scripted scenarios through the main window's commands and the
// engine, and compares what a user would see (status texts, captions, log
// lines, dialogs, requests, the file on disk) with the recording in
// transcripts/. ORVANTA_RECORD_TRANSCRIPTS=1 writes the files instead.
#include "AppHarness.h"

#include <descriptor/DescriptorBytes.h>
#include <transfer/BlockRecord.h>

#include <QFileInfo>

#include <gtest/gtest.h>

namespace {

// What the user does, or lets happen; the last four also happen mid-body.
enum class Act { Start, TypeUrl, ClickDownload, ClickLoad, ClickServers, WaitForTimers,
                 Tick, ClickPauseButton, TrayPause, CloseWindow };
const char *const kActNames[] = {"start the program", "type URL", "click Download from URL", "click Load DDF Data File",
                                 "click the server button", "wait for the pending retry or resume",
                                 "one-second display tick", "click the pause button", "tray Pause", "close the window"};

// What the pretend server does with one request.
struct Behaviour {
    enum class Kind { File, IgnoreRange, Status, Page, NoAnswer, BadCertificate } kind = Kind::File;
    int status = 0;          // for Status: a bare status with an empty body
    QByteArray page = {};    // for Page: a 200 with this body
    qint64 breakAfter = -1;  // the body stops after this many bytes ...
    bool stall = false;      // ... by going silent (a time-out), else by a reset
    qint64 corruptAt = -1;   // this offset of the file arrives with a flipped byte
    bool corruptAll = false; // every block arrives with a flipped byte
    qint64 forgeBlockAt = -1;  // the block at this offset arrives as other bytes with the same CRC-32
    int pace = 1;            // a block every `pace` turns of the event loop (a slow server)
};
using Kind = Behaviour::Kind;

QByteArray damaged(QByteArray bytes, const std::vector<qint64> &offsets)
{
    for (qint64 at : offsets)
        bytes[at] = char(bytes[at] ^ 0x5a);
    return bytes;
}

const QString kUrl = "http://127.0.0.1:1/f.bin", kOtherUrl = "http://127.0.0.1:1/other.bin";
const QString kEurope = "http://127.0.0.1:2/f.bin", kAmerica = "http://127.0.0.1:3/f.bin";
const QString kAsia = "http://127.0.0.1:4/f.bin";
const QStringList kTwoServers = {"Europe|" + kEurope, "America|" + kAmerica};
const QStringList kThreeServers = {"Europe|" + kEurope, "America|" + kAmerica, "Asia|" + kAsia};
constexpr qsizetype kSize = 40000;  // nine whole blocks and a short one
const QByteArray kServed = descriptortest::randomBytes(kSize, 1), kBig = descriptortest::randomBytes(25 * 4096 + 1000, 2),
                 kLong = descriptortest::randomBytes(200 * 4096 + 500, 5);
constexpr qint64 kMiB = 1 << 20;  // a chunk of SHA-256 hashes
const QByteArray kTwoChunks = descriptortest::randomBytes(kMiB + 5000, 6);

// A URL download of kServed from kUrl to out.bin, or a descriptor download
// of `content` to out.bin; then the further steps.
struct Scenario {
    struct Step { Act act; QString text = {}; };
    // Once `request` has delivered `at` bytes of its body; request -1: once
    // the servers used at once have delivered `at` bytes together.
    struct BodyEvent { int request; qint64 at; Act act; };
    QString name = {}, about = {};
    bool descriptor = false;                    // started by loading d.ddf, else by typing kUrl
    bool hashes = false;                        // d.ddf has the trailer of SHA-256 hashes
    QByteArray fileHash = {};                   // ... giving this whole-file hash instead of the content's
    QByteArray content = kServed;               // what d.ddf describes, served by kEurope and kAmerica
    QStringList servers = {kEurope};            // d.ddf's server slots
    std::optional<QByteArray> existing = {};    // out.bin before the start
    std::vector<Behaviour> plan = {};           // request k follows plan[k]; later ones are served plainly
    std::deque<FileExistsAnswer> fileExistsAnswers = {};
    std::deque<std::optional<int>> serverAnswers = {};
    std::deque<bool> allServers = {};           // the server window's box as left with each OK (off when not given)
    std::map<QString, std::vector<Behaviour>> serverPlans = {};  // request k to a server used at once follows plan[k]
    std::vector<std::pair<qint64, qint64>> record = {};  // good block runs recorded with out.bin before the start
    QStringList moreFiles = {};                 // names chosen in later save dialogs; empty: cancelled
    std::vector<Step> then = {};
    std::vector<BodyEvent> bodyEvents = {};
    QString watched = "out.bin", reference = {};  // the local file shown after every step; the URL it should become
    float version = 1.2f;                       // d.ddf's format version
    std::deque<qint64> freeSpace = {};          // bytes free at each query; then "cannot tell"
};
void PrintTo(const Scenario &s, std::ostream *os) { *os << s.name.toStdString(); }

// A descriptor download from the three servers at once, picked in the server window.
Scenario atOnce(Scenario s)
{
    s.descriptor = true;
    s.servers = kThreeServers;
    if (s.serverAnswers.empty())
        s.serverAnswers = {0}, s.allServers = {true};
    return s;
}

std::vector<Scenario> scenarios()
{
    const auto resume = FileExistsAnswer::Resume;
    const Scenario::Step wait = {Act::WaitForTimers};
    std::vector<qint64> inEveryBlock;
    for (qint64 block = 0; block < 22; ++block)
        inEveryBlock.push_back(block * 4096 + 7);
    return {
        {.name = "url_fresh", .about = "A URL downloaded into a new file, one display tick on the way",
         .bodyEvents = {{0, 16384, Act::Tick}}},
        {.name = "url_resume", .about = "An existing partial file resumed with a range request",
         .existing = kServed.left(12288), .fileExistsAnswers = {resume}},
        {.name = "url_resume_answered_200", .about = "A resumed request answered with the whole file",
         .existing = kServed.left(5000), .plan = {{Kind::IgnoreRange}}, .fileExistsAnswers = {resume}},
        {.name = "url_404", .about = "The server does not have the file", .plan = {{Kind::Status, 404}}},
        {.name = "url_416", .about = "Resuming a file that is already complete", .existing = kServed,
         .fileExistsAnswers = {resume}},
        {.name = "url_stall_then_retry", .about = "The server goes silent mid-body; the retry resumes",
         .plan = {{.breakAfter = 8192, .stall = true}}, .then = {wait}},
        {.name = "url_pause_resume", .about = "Paused from the tray, resumed with the button",
         .then = {{Act::ClickPauseButton}, wait}, .bodyEvents = {{0, 8192, Act::TrayPause}}},
        {.name = "url_exit_during_download", .about = "The window is closed while the body arrives",
         .bodyEvents = {{0, 12288, Act::CloseWindow}}},
        {.name = "url_overwrite", .about = "Another file in the way, overwritten at the prompt", .existing = descriptortest::randomBytes(5000, 9),
         .fileExistsAnswers = {FileExistsAnswer::Overwrite}},
        {.name = "url_save_cancelled_keeps_retry", .about = "A retry is armed; a new start is cancelled at the save dialog",
         .plan = {{.breakAfter = 12288}}, .moreFiles = {""}, .then = {{Act::ClickDownload}, wait}},
        {.name = "url_no_answer", .about = "The connection fails before any answer; retried",
         .plan = {{Kind::NoAnswer}}, .then = {wait}},
        {.name = "ddf_fresh", .about = "A descriptor download into a new file", .descriptor = true},
        {.name = "ddf_resume", .about = "An intact partial file verified, then resumed", .descriptor = true,
         .existing = kServed.left(16384)},
        {.name = "ddf_repair_three_blocks", .about = "A complete file with three bad blocks repaired one by one",
         .descriptor = true, .existing = damaged(kServed, {8192 + 5, 20480, 36863})},
        {.name = "ddf_more_than_twenty_bad_blocks", .about = "Twenty repairs, then the remainder is fetched",
         .descriptor = true, .content = kBig,
         .existing = damaged(kBig, inEveryBlock)},
        {.name = "ddf_block_corrupted_in_flight", .about = "A block fails its check in flight; the retry resumes",
         .descriptor = true, .plan = {{.corruptAt = 20000}}, .then = {wait}},
        {.name = "ddf_pause_switch_server_resume", .about = "Paused, another server chosen, resumed from it",
         .descriptor = true, .servers = kTwoServers, .serverAnswers = {0, 1}, .then = {{Act::ClickServers}, wait},
         .bodyEvents = {{0, 12288, Act::ClickPauseButton}}},
        {.name = "ddf_hashes_forged_block_other_server",
         .about = "A mirror sends a block with the same CRC but other bytes; its chunk's hash refuses it, the other "
                  "server supplies it",
         .descriptor = true, .hashes = true, .servers = kTwoServers, .plan = {{.forgeBlockAt = 8192}},
         .serverAnswers = {0, 1}, .then = {{Act::ClickPauseButton}, {Act::ClickServers}, wait}},
        {.name = "ddf_hashes_forged_twice", .about = "The server forges the same block again: it is not asked a third time",
         .descriptor = true, .hashes = true, .content = kTwoChunks,
         .plan = {{.forgeBlockAt = kMiB}, {.forgeBlockAt = kMiB}}, .then = {wait}},
        {.name = "ddf_hashes_forged_block_on_disk", .about = "A complete file with a forged block in chunk 1: that chunk comes again",
         .descriptor = true, .hashes = true, .content = kTwoChunks, .existing = descriptortest::forgedBlock(kTwoChunks, kMiB)},
        {.name = "ddf_hashes_partial_file", .about = "A file ending inside chunk 1: resumed at the chunk's start",
         .descriptor = true, .hashes = true, .content = kTwoChunks, .existing = kTwoChunks.left(kMiB + 4096)},
        {.name = "ddf_hashes_whole_file_differs", .about = "Every chunk matches, the whole file's hash does not: never verified",
         .descriptor = true, .hashes = true, .fileHash = QByteArray(32, '\x42')},
        // Faults of an earlier engine, as a user met them.
        {.name = "fault_repair_server_ignores_range", .about = "Repairing one bad block against a server that ignores Range",
         .descriptor = true, .existing = damaged(kServed, {8192 + 5}), .plan = std::vector<Behaviour>(4, {Kind::IgnoreRange})},
        {.name = "fault_wrong_size_200_to_resume", .about = "A resumed request answered by a 200 error page",
         .descriptor = true, .existing = kServed.left(16384), .plan = {{Kind::Page, 0, "<html>Service moved</html>"}}},
        {.name = "fault_server_count_outlives_descriptor",
         .about = "A URL download after a two-server descriptor, paused and switched to a server", .descriptor = true,
         .content = descriptortest::randomBytes(kSize, 3), .servers = kTwoServers, .plan = {{Kind::Status, 404}}, .serverAnswers = {0, 1},
         .moreFiles = {"url.bin"}, .then = {{Act::TypeUrl, kUrl}, {Act::ClickDownload}, {Act::ClickServers}, wait},
         .bodyEvents = {{1, 8192, Act::ClickPauseButton}}, .watched = "url.bin", .reference = kUrl},
        {.name = "fault_exit_caption_outlives_download", .about = "After a completed download, the next one is paused",
         .moreFiles = {"other.bin"}, .then = {{Act::TypeUrl, kOtherUrl}, {Act::ClickDownload}},
         .bodyEvents = {{1, 8192, Act::ClickPauseButton}}, .watched = "other.bin", .reference = kOtherUrl},
        {.name = "fault_stale_progress_after_failure", .about = "A display tick, then the connection drops far later",
         .plan = {{.breakAfter = 32768}}, .bodyEvents = {{0, 8192, Act::Tick}}},
        {.name = "ddf_version_1_1_leaves_last_bytes_unchecked", .about = "A 1.1 descriptor: each block's last byte is not checked",
         .descriptor = true, .existing = damaged(kServed, {4095}), .version = 1.1f},
        {.name = "ddf_rewrite_paused_is_checked_again", .about = "A server ignores Range; its rewrite of the file is paused",
         .descriptor = true, .existing = damaged(kServed, {30000}), .plan = {{Kind::IgnoreRange}, {Kind::IgnoreRange}},
         .then = {{Act::ClickPauseButton}, wait}, .bodyEvents = {{0, 8192, Act::ClickPauseButton}}},
        {.name = "ddf_rewrite_dropped_is_checked_again", .about = "A server ignores Range; its rewrite of the file drops",
         .descriptor = true, .existing = damaged(kServed, {30000}),
         .plan = {{.kind = Kind::IgnoreRange, .breakAfter = 8192}, {Kind::IgnoreRange}}, .then = {wait}},
        {.name = "ddf_repair_rewrite_dropped_is_checked_again",
         .about = "A partial file's repair meets a server that ignores Range, and the rewrite drops", .descriptor = true,
         .existing = damaged(kServed.left(24576), {16500}),
         .plan = {{.kind = Kind::IgnoreRange, .breakAfter = 8192}, {Kind::IgnoreRange}}, .then = {wait}},
        {.name = "ddf_paused_then_url_started", .about = "A URL started while a two-server descriptor download is paused",
         .descriptor = true, .servers = kTwoServers, .serverAnswers = {0}, .moreFiles = {"url.bin"},
         .then = {{Act::TypeUrl, kUrl}, {Act::ClickDownload}}, .bodyEvents = {{0, 8192, Act::ClickPauseButton}},
         .watched = "url.bin", .reference = kUrl},
        {.name = "ddf_full_disk_waited_out", .about = "The disk is full for two attempts; the third goes on by itself",
         .descriptor = true, .then = {wait}, .freeSpace = {100, 100}},
        {.name = "fault_retry_lost_to_cancelled_prompt",
         .about = "A retry is armed; a new start is cancelled at the file-exists prompt", .plan = {{.breakAfter = 12288}},
         .fileExistsAnswers = {FileExistsAnswer::Cancel}, .moreFiles = {"out.bin"}, .then = {{Act::ClickDownload}, wait}},
        // Every server at once.
        atOnce({.name = "all_servers_fresh", .about = "Three servers at once into a new file"}),
        atOnce({.name = "all_servers_one_dead", .about = "Three servers at once, one without the file",
                .serverPlans = {{kAmerica, {{Kind::Status, 404}}}}}),
        atOnce({.name = "all_servers_one_dies", .about = "Three servers at once, one dropping its connection mid-way",
                .serverPlans = {{kAmerica, {{.breakAfter = 4096}}}}}),
        atOnce({.name = "all_servers_every_one_fails", .about = "Three servers at once, each failing its own way",
                .serverPlans = {{kEurope, {{Kind::Status, 404}}}, {kAmerica, {{Kind::Status, 503}}}, {kAsia, {{Kind::NoAnswer}}}},
                .then = {wait}}),
        atOnce({.name = "all_servers_corrupted_block", .about = "Three servers at once, one sending a corrupted block",
                .serverPlans = {{kAsia, {{.corruptAt = 8 * 4096 + 5}}}}}),
        atOnce({.name = "all_servers_slow_one_at_the_end", .about = "Three servers at once, one four times slower",
                .content = kLong, .serverPlans = {{kAmerica, std::vector<Behaviour>(20, {.pace = 4})}}}),
        atOnce({.name = "all_servers_pause_switch_resume", .about = "Three servers at once, paused, Asia chosen as the first, resumed",
                .content = kLong, .serverAnswers = {0, 2}, .allServers = {true, true}, .then = {{Act::ClickServers}, wait},
                .bodyEvents = {{-1, 81920, Act::ClickPauseButton}}}),
        atOnce({.name = "all_servers_resume_from_record", .about = "What a killed download left, resumed from its record",
                .existing = damaged(kServed.left(28672), {4096, 16384}), .record = {{0, 0}, {2, 3}}}),
        atOnce({.name = "all_servers_repair", .about = "A complete file with three bad blocks repaired from three servers",
                .existing = damaged(kServed, {8192 + 5, 20480, 36863})}),
        atOnce({.name = "all_servers_record_that_does_not_fit", .about = "A record whose first block no longer fits the file",
                .existing = damaged(kServed.left(28672), {5}), .record = {{0, 6}}}),
        {.name = "all_servers_on_one_host", .about = "Three entries on one host: one connection, as from one server",
         .descriptor = true, .servers = {"A|" + kEurope, "B|" + kEurope + "?b", "C|" + kEurope + "?c"}, .serverAnswers = {0},
         .allServers = {true}},
        // One server failing its own way is dropped, and stays dropped over a pause.
        atOnce({.name = "all_servers_one_bad_certificate", .about = "Three servers at once, one failing its certificate check",
                .content = kLong, .serverPlans = {{kAmerica, std::vector<Behaviour>(20, {Kind::BadCertificate})}},
                .then = {{Act::ClickPauseButton}, wait}, .bodyEvents = {{-1, 40960, Act::ClickPauseButton}}}),
        atOnce({.name = "all_servers_one_ignores_ranges", .about = "Three servers at once, one answering every range with the file",
                .content = kLong, .serverPlans = {{kAmerica, std::vector<Behaviour>(20, {Kind::IgnoreRange})}},
                .then = {{Act::ClickPauseButton}, wait}, .bodyEvents = {{-1, 40960, Act::ClickPauseButton}}}),
        atOnce({.name = "all_servers_one_corrupts_every_block", .about = "Three servers at once, one corrupting every block",
                .content = kLong, .serverPlans = {{kAmerica, std::vector<Behaviour>(20, {.corruptAll = true})}},
                .then = {{Act::ClickPauseButton}, wait}, .bodyEvents = {{-1, 40960, Act::ClickPauseButton}}}),
    };
}

// "<n> bytes, all of <url>" and the like.
QString describeFile(const QString &path, const QByteArray &reference, const QString &name)
{
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return "absent";
    const QByteArray bytes = file.readAll();
    qsizetype same = 0;
    while (same < bytes.size() && same < reference.size() && bytes[same] == reference[same])
        ++same;
    return QStringLiteral("%1 bytes, ").arg(bytes.size()) +
           (bytes == reference ? "all of " + name
            : same == bytes.size() ? "the start of " + name
                                   : QStringLiteral("first differs from %1 at byte %2").arg(name).arg(same));
}

// One scenario played, written down in order. Rates and times come from a
// clock that stands still and the scratch folder reads "<dir>", so a
// transcript is the same on every run.
class ScenarioRun {
public:
    explicit ScenarioRun(const Scenario &scenario) : s(scenario)
    {
        h.log.setClock([] { return QTime(12, 0); });
        h.engine.setClock([] { return 1000.0; });
        h.engine.setFreeSpaceQuery([this](const QString &) {
            std::optional<qint64> bytes;
            if (!free.empty())
                bytes = free.front(), free.pop_front();
            return bytes;
        });
        holdTimers(true);
        h.dialogs.narrate = [this](const QString &line) { note(line); };
        h.http.answer = [this](const HttpRequest &r, int index) {
            noteRequest(r);
            return serve(r, index < int(s.plan.size()) ? s.plan[size_t(index)] : Behaviour{});
        };
        h.http.afterRun = [this](int request, qint64 delivered) { bodyReached(request, delivered); };
        h.mirrors.answer = [this](const HttpRequest &r, int index) {
            noteRequest(r);
            const auto plan = s.serverPlans.find(r.url);
            return serve(r, plan != s.serverPlans.end() && index < int(plan->second.size()) ? plan->second[size_t(index)]
                                                                                        : Behaviour{});
        };
        h.mirrors.afterRun = [this](const FakeHttpClient &, qint64) { bodyReached(-1, h.mirrors.delivered()); };
        // With every server at once, time passes as blocks arrive (10 ms a
        // block), so that rates can be measured and still read the same on
        // every run.
        if (!s.allServers.empty())
            h.engine.setClock([this] { return 1000.0 + 0.01 * double(h.mirrors.delivered() / 4096); });
        h.exit.ended = [this] { note("== the program ends"); ended = true; };
        QObject::connect(&h.model, &MainWindowModel::changed, &context, [this] { watch(); });
        QObject::connect(&h.log, &ActivityLog::changed, &context, [this] { flushLog(); });
        if (s.existing)
            h.writeFile("out.bin", *s.existing);
        if (!s.record.empty()) {
            BlockMap recorded(s.content.size());
            for (const auto &[first, last] : s.record)
                for (qint64 k = first; k <= last; ++k)
                    recorded.markGood(k);
            EXPECT_EQ(storeBlockRecord(h.path("out.bin"), recorded), 0);
        }
        DescriptorHeader record{.information = "Scenario file", .fileName = "f.bin", .servers = {}, .version = s.version};
        std::copy(s.servers.begin(), s.servers.end(), record.servers.begin());
        h.writeFile("d.ddf", buildDescriptor(record, s.content).value_or(QByteArray())
                                 + (s.hashes ? descriptortest::trailerOf(s.content, 1 << 20, s.fileHash) : QByteArray()));
        for (const QString &name : (s.descriptor ? QStringList{"d.ddf", "out.bin"} : QStringList{"out.bin"}) + s.moreFiles)
            name.isEmpty() ? h.dialogs.cancelFile() : h.dialogs.chooseFile(h.path(name));
        h.dialogs.fileExistsAnswers = s.fileExistsAnswers;
        h.dialogs.serverAnswers = s.serverAnswers;
        h.dialogs.allServersAnswers = s.allServers;
    }

    QString play()
    {
        note("# " + s.name + ": " + s.about);
        using Steps = std::vector<Scenario::Step>;
        Steps steps = s.descriptor ? Steps{{Act::Start}, {Act::ClickLoad}} : Steps{{Act::Start}, {Act::TypeUrl, kUrl}, {Act::ClickDownload}};
        steps.insert(steps.end(), s.then.begin(), s.then.end());
        for (const Scenario::Step &step : steps) {
            const QString title = kActNames[int(step.act)] + (step.text.isEmpty() ? "" : " " + step.text);
            note("-- " + title);
            perform(step);
            EXPECT_TRUE(settle(h.engine, h.http)) << "still busy after: " << title.toStdString();
            snapshot(title);
        }
        return lines.join('\n') + '\n';
    }

private:
    // What the pretend server answers: a plain server's reply, with the
    // Range dropped when the server ignores it or the If-Range is not its own.
    FakeHttpClient::Reply serve(const HttpRequest &r, const Behaviour &b) const
    {
        const QString path = r.url.section('?', 0, 0).section('&', 0, 0);
        QByteArray file = files.value(path);
        if (b.corruptAt >= 0 && b.corruptAt < file.size())
            file[b.corruptAt] = char(file[b.corruptAt] ^ 0xff);
        for (qint64 at = 0; b.corruptAll && at < file.size(); at += 4096)
            file[at] = char(file[at] ^ 0xff);
        if (b.forgeBlockAt >= 0)
            file.replace(b.forgeBlockAt, 4096, descriptortest::forgedBlock(file.mid(b.forgeBlockAt, 4096)));
        // The two mirrors tag the same bytes differently, and honour If-Range.
        const QString etag = path == kEurope ? "\"eu\"" : path == kAmerica ? "\"us\"" : "";
        HttpRequest asked = r;
        if (b.kind != Kind::File || (!r.ifRange.isEmpty() && r.ifRange != etag))
            asked.rangeStart = -1;
        FakeHttpClient::Reply reply = b.kind == Kind::Status ? FakeHttpClient::reply(b.status, {})
                                      : b.kind == Kind::Page ? FakeHttpClient::reply(200, b.page)
                                      : files.contains(path) ? FakeMirrors::serve(file, asked)
                                                             : FakeHttpClient::reply(404, {});
        static const QMap<int, QString> phrases = {
            {200, "OK"}, {206, "Partial Content"}, {404, "Not Found"}, {416, "Range Not Satisfiable"}, {503, "Service Unavailable"}};
        reply.head->reasonPhrase = phrases.value(reply.head->status, "Other");
        reply.head->etag = etag;
        if (reply.head->status == 416)
            reply.head->rangeTotal = file.size();
        if (b.kind == Kind::NoAnswer || b.kind == Kind::BadCertificate) {
            reply.head.reset();
            reply.error = b.kind == Kind::NoAnswer ? TransferError{TransferError::Origin::Network, 7, "Couldn't connect to server"}
                                                   : TransferError{TransferError::Origin::Tls, 60, "SSL peer certificate was not OK"};
        }
        if (b.stall)
            reply.error = {TransferError::Origin::Network, 28, "Timeout was reached"};
        reply.breakAfter = b.breakAfter;
        reply.pace = b.pace;
        return reply;
    }

    void noteRequest(const HttpRequest &r)
    {
        const QString end = r.rangeEnd < 0 ? "" : QString::number(r.rangeEnd);
        const QString range = r.rangeStart < 0 ? "-" : QStringLiteral("bytes=%1-%2").arg(r.rangeStart).arg(end);
        note(QStringLiteral("request: GET %1 Range %2 If-Range %3").arg(r.url, range, r.ifRange.isEmpty() ? "-" : r.ifRange));
    }

    // A long delay keeps a retry or resume armed until the scenario lets it
    // fire; changing the delay of a running timer restarts it.
    void holdTimers(bool hold)
    {
        const std::chrono::milliseconds delay = hold ? std::chrono::hours(1) : std::chrono::hours(0);
        h.engine.setRetryDelay(delay);
        h.engine.setResumeDelay(delay);
    }

    // What a user can do: a button that is disabled or hidden cannot be clicked.
    void perform(const Scenario::Step &step)
    {
        switch (step.act) {
        case Act::Start: h.controller.startUp({}); break;
        case Act::TypeUrl: h.model.setUrlText(step.text); h.controller.urlEdited(step.text); break;
        case Act::ClickDownload: h.controller.downloadUrl(); break;
        case Act::ClickLoad: h.controller.loadDescriptor(); break;
        case Act::ClickServers:
            h.model.serverButtonVisible() ? h.controller.chooseServer() : note("(the server button is hidden)");
            break;
        case Act::WaitForTimers:
            holdTimers(false);
            settle(h.engine, h.http);
            holdTimers(true);
            break;
        case Act::Tick: break;
        case Act::ClickPauseButton:
            h.model.pauseButtonEnabled() ? h.controller.pauseButtonClicked() : note("(the pause button is disabled)");
            break;
        case Act::TrayPause: h.controller.trayPause(); break;
        case Act::CloseWindow: h.controller.requestExit(); break;
        }
    }

    void bodyReached(int request, qint64 delivered)
    {
        for (const Scenario::BodyEvent &e : s.bodyEvents) {
            if (e.request != request)
                continue;
            if (e.act == Act::Tick && delivered + FakeHttpClient::BlockSize == e.at)
                h.controller.presenter().requestFiguresRefresh();  // drawn once the block that ends at e.at is in
            if (e.act == Act::Tick || delivered != e.at)
                continue;
            note(QStringLiteral("-- during the body, at %1 bytes: %2").arg(e.at).arg(kActNames[int(e.act)]));
            perform({e.act});
        }
    }

    void add(QString line)
    {
        if (!ended)
            lines << line.replace(h.dir.path(), "<dir>").replace("\r\n", "\\r\\n");
    }
    void flushLog()
    {
        const QString &all = h.log.text();
        const QStringList fresh = all.mid(logSeen).split("\r\n", Qt::SkipEmptyParts);
        logSeen = all.size();
        for (const QString &line : fresh)
            add("log: " + line.section(' ', 1));  // without the time of day
    }
    QStringList shown() const
    {
        return {h.model.text(MainWindowModel::Label::Status), h.model.windowTitle(), h.model.pauseButtonCaption(),
                h.model.text(MainWindowModel::Label::Reason)};
    }
    // Notes what changed in the status, the captions and the reason.
    void watch()
    {
        flushLog();  // lines appended quietly came first
        const QStringList now = shown();
        const char *const heads[] = {"status: ", "caption: ", "pause button: ", "reason: "};
        for (int i = 0; i < 4; ++i)
            if (now[i] != std::exchange(seen[i], now[i]))
                add(heads[i] + (i == 3 && now[i].isEmpty() ? "(cleared)" : now[i]));
    }
    void note(const QString &line)
    {
        watch();
        add(line);
    }
    // The rest of the window and the watched file; once the program has
    // ended only the disk is left to see.
    void snapshot(const QString &title)
    {
        using Label = MainWindowModel::Label;
        using State = DownloadEngine::State;
        const MainWindowModel &m = h.model;
        const auto enabled = [](bool on) { return on ? "enabled" : "disabled"; };
        watch();
        const bool wasEnded = std::exchange(ended, false);
        add("== after: " + title);
        if (!wasEnded) {
            add(QStringLiteral("   buttons: pause \"%1\" %2, download-from-URL %3, load %4, servers %5, tray pause %6")
                    .arg(m.pauseButtonCaption(), enabled(m.pauseButtonEnabled()), enabled(m.downloadUrlEnabled()),
                         enabled(m.loadDescriptorEnabled()), m.serverButtonVisible() ? "shown" : "hidden",
                         m.pauseChecked() ? "checked" : "unchecked"));
            add(QStringLiteral("   labels: time \"%1\", rate \"%2\"").arg(m.text(Label::TimeLeft), m.text(Label::Rate)));
            add(QStringLiteral("   labels: source \"%1\", to \"%2\"").arg(m.text(Label::Source), m.text(Label::Destination)));
            add(QStringLiteral("   tray tip \"%1\", progress %2 of %3").arg(m.trayTip()).arg(m.progressValue()).arg(m.progressMax()));
            const State state = h.engine.state();
            add(QStringLiteral("   restart: ") +
                (state == State::Resuming ? "resume pending" : state == State::WaitingToRetry ? "retry armed" : "none"));
        }
        const QString reference = !s.reference.isEmpty() ? s.reference : s.descriptor ? kEurope : kUrl;
        add(QStringLiteral("   file %1: %2").arg(s.watched, describeFile(h.path(s.watched), files.value(reference), reference)));
        if (const std::optional<BlockMap> kept = loadBlockRecord(h.path(s.watched), s.content.size()))
            add(QStringLiteral("   record beside it: %1 of %2 blocks good").arg(kept->goodBlocks()).arg(kept->blockCount()));
        ended = wasEnded;
    }

    const Scenario &s;
    std::deque<qint64> free = s.freeSpace;
    const QMap<QString, QByteArray> files = {
        {kUrl, kServed}, {kOtherUrl, descriptortest::randomBytes(kSize, 4)}, {kEurope, s.content}, {kAmerica, s.content},
        {kAsia, s.content}};
    AppHarness h;
    QObject context;  // goes first, taking the connections with it
    QStringList lines;
    qsizetype logSeen = 0;
    QStringList seen = shown();
    bool ended = false;
};

class Transcript : public ::testing::TestWithParam<Scenario> {};

TEST_P(Transcript, MatchesTheRecording)
{
    const QString played = ScenarioRun(GetParam()).play();
    QFile file(ORVANTA_TRANSCRIPT_DIR "/" + GetParam().name + ".txt");
    if (qEnvironmentVariableIsSet("ORVANTA_RECORD_TRANSCRIPTS")) {
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(played.toUtf8());
        return;
    }
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << "no transcript " << file.fileName().toStdString();
    EXPECT_EQ(played.toStdString(), file.readAll().toStdString());
}

INSTANTIATE_TEST_SUITE_P(Scenarios, Transcript, ::testing::ValuesIn(scenarios()),
                         [](const auto &info) { return info.param.name.toStdString(); });

} // namespace
