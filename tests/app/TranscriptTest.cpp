// Plays every scripted scenario through the main window's commands and the
// engine, and compares what a user would see with the recorded transcript
// in transcripts/. ORVANTA_RECORD_TRANSCRIPTS=1 writes the files instead.
#include "AppHarness.h"
#include "TranscriptRecorder.h"
#include "TranscriptScenario.h"

#include <descriptor/DescriptorWriter.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace {

QString transcriptPath(const QString &name)
{
    return QStringLiteral(ORVANTA_TRANSCRIPT_DIR "/") + name + QStringLiteral(".txt");
}

QString requestLine(const HttpRequest &r)
{
    const QString end = r.rangeEnd >= 0 ? QString::number(r.rangeEnd) : QString();
    return QStringLiteral("request: GET %1 Range %2 If-Range %3")
        .arg(r.url, r.rangeStart >= 0 ? QStringLiteral("bytes=%1-%2").arg(r.rangeStart).arg(end) : QStringLiteral("-"),
             r.ifRange.isEmpty() ? QStringLiteral("-") : r.ifRange);
}

// Dialog answers as the scenario scripts them, each question noted first.
class TranscriptDialogs : public ScriptedDialogs {
public:
    TranscriptRecorder *recorder = nullptr;

    Answer messageBox(const QString &text, Buttons buttons, const QString &title = {}) override
    {
        recorder->note(QStringLiteral("message box \"%1\" (%2): %3")
                           .arg(title.isEmpty() ? programTitle() : title,
                                buttons == Buttons::Ok ? QStringLiteral("OK") : QStringLiteral("OK, Cancel"), text));
        return ScriptedDialogs::messageBox(text, buttons, title);
    }
    std::optional<FileAnswer> fileDialog(const FileQuestion &request) override
    {
        auto answer = ScriptedDialogs::fileDialog(request);
        recorder->note(QStringLiteral("%1 dialog \"%2\" preset \"%3\" -> %4")
                           .arg(request.save ? QStringLiteral("save") : QStringLiteral("open"), request.title,
                                request.fileName, answer ? answer->fileName : QStringLiteral("cancelled")));
        return answer;
    }
    FileExistsAnswer askFileExists() override
    {
        const FileExistsAnswer answer = ScriptedDialogs::askFileExists();
        static const char *names[] = {"Cancel", "Overwrite", "Resume"};
        recorder->note(QStringLiteral("file-exists prompt -> ") + QString::fromLatin1(names[int(answer)]));
        return answer;
    }
    std::optional<int> chooseServer(const QStringList &names, int selected) override
    {
        auto answer = ScriptedDialogs::chooseServer(names, selected);
        recorder->note(QStringLiteral("server window [%1] preselected %2 -> %3")
                           .arg(names.join(QLatin1Char('|')))
                           .arg(selected)
                           .arg(answer ? QString::number(*answer) : QStringLiteral("close box")));
        return answer;
    }
};

// The scripted client's reply for what the scenario's server does.
FakeHttpClient::Reply servedReply(const ServedFiles &server, const HttpRequest &request, int index)
{
    const ServedFiles::Answer a = server.answer(index, request.url, request.rangeStart, request.rangeEnd);
    FakeHttpClient::Reply reply;
    reply.error = {TransferError::Origin::Network, 7, QStringLiteral("Couldn't connect to server")};
    if (!a.answered)
        return reply;
    HttpResponse head;
    head.status = a.status;
    head.reasonPhrase = ServedFiles::reasonPhrase(a.status);
    head.contentLength = a.contentLength;
    head.rangeStart = a.rangeStart;
    head.rangeTotal = a.rangeTotal;
    reply.head = head;
    reply.body = a.body;
    reply.breakAfter = a.breakAfter;
    reply.error = a.stall ? TransferError{TransferError::Origin::Network, 28, QStringLiteral("Timeout was reached")}
                          : TransferError{TransferError::Origin::Network, 56,
                                          QStringLiteral("Failure when receiving data from the peer")};
    return reply;
}

// One scenario played on the engine and the window's commands.
class ScenarioRun {
public:
    explicit ScenarioRun(const Scenario &scenario) : s(scenario)
    {
        log.setClock([] { return QTime(12, 0); });
        engine.setClock([] { return 1000.0; });
        holdTimers(true);
        controller.presenter().setAutomaticRefresh(false);
        dialogs.recorder = &recorder;
        http.answer = [this](const HttpRequest &request, int index) {
            recorder.note(requestLine(request));
            return servedReply(s.server, request, index);
        };
        http.afterRun = [this](int request, qint64 delivered) { bodyReached(request, delivered); };
        exit.addFlush([this] {
            recorder.note(QStringLiteral("== the program ends"));
            recorder.stop();
        });
        prepareFiles();
    }

    QString play()
    {
        recorder.note(QStringLiteral("# ") + s.name + QStringLiteral(": ") + s.about);
        recorder.note(QStringLiteral("-- start the program"));
        controller.startUp({});
        settle(engine, http);
        recorder.snapshot(QStringLiteral("start the program"), state());
        for (const Scenario::Step &step : s.steps) {
            const QString title = actionName(step.action) + (step.text.isEmpty() ? QString() : QStringLiteral(" ") + step.text);
            recorder.note(QStringLiteral("-- ") + title);
            perform(step);
            EXPECT_TRUE(settle(engine, http)) << "still busy after: " << title.toStdString();
            recorder.snapshot(title, state());
        }
        return recorder.text();
    }

private:
    void prepareFiles()
    {
        for (const auto &[name, bytes] : s.localFiles)
            writeFile(name, bytes);
        for (const auto &d : s.descriptors) {
            DescriptorHeader record;
            record.version = 1.2f;
            record.fileName = QStringLiteral("f.bin");
            record.information = QStringLiteral("Scenario file");
            for (int i = 0; i < d.servers.size(); ++i)
                record.servers[size_t(i)] = d.servers[i];
            writeFile(d.name, buildDescriptor(record, s.server.files.value(d.contentUrl)).value_or(QByteArray()));
        }
        for (const QString &name : s.fileAnswers)
            name.isEmpty() ? dialogs.cancelFile() : dialogs.chooseFile(dir.filePath(name));
        dialogs.fileExistsAnswers.assign(s.fileExistsAnswers.begin(), s.fileExistsAnswers.end());
        dialogs.serverAnswers.assign(s.serverAnswers.begin(), s.serverAnswers.end());
    }
    void writeFile(const QString &name, const QByteArray &bytes)
    {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
    }

    // A long delay keeps a retry or resume armed until the scenario lets it
    // fire; changing the delay of a running timer restarts it.
    void holdTimers(bool hold)
    {
        const auto delay = hold ? std::chrono::milliseconds(std::chrono::hours(1)) : std::chrono::milliseconds(0);
        engine.setRetryDelay(delay);
        engine.setResumeDelay(delay);
    }

    // What a user can do: a button that is disabled or hidden cannot be clicked.
    void perform(const Scenario::Step &step)
    {
        switch (step.action) {
        case UserAction::TypeUrl: model.setUrlText(step.text); controller.urlEdited(step.text); break;
        case UserAction::ClickDownload: controller.downloadUrl(); break;
        case UserAction::ClickLoad: controller.loadDescriptor(); break;
        case UserAction::ClickPauseButton: clickPauseButton(); break;
        case UserAction::TrayPause: controller.trayPause(); break;
        case UserAction::ClickServers:
            if (model.serverButtonVisible())
                controller.chooseServer();
            else
                recorder.note(QStringLiteral("(the server button is hidden)"));
            break;
        case UserAction::CloseWindow: controller.requestExit(); break;
        case UserAction::WaitForTimers:
            holdTimers(false);
            settle(engine, http);
            holdTimers(true);
            break;
        }
    }
    void clickPauseButton()
    {
        if (model.pauseButtonEnabled())
            controller.pauseButtonClicked();
        else
            recorder.note(QStringLiteral("(the pause button is disabled)"));
    }

    void bodyReached(int request, qint64 delivered)
    {
        for (const BodyEvent &e : s.bodyEvents) {
            if (e.request != request)
                continue;
            if (e.what == BodyEvent::What::Tick && delivered + FakeHttpClient::BlockSize == e.at) {
                controller.presenter().requestFiguresRefresh();  // drawn once the block that ends at e.at is in
                continue;
            }
            if (e.what == BodyEvent::What::Tick || delivered != e.at)
                continue;
            recorder.note(QStringLiteral("-- during the body, at %1 bytes: %2").arg(e.at).arg(bodyEventName(e.what)));
            if (e.what == BodyEvent::What::ClickPauseButton)
                clickPauseButton();
            else if (e.what == BodyEvent::What::TrayPause)
                controller.trayPause();
            else
                controller.requestExit();
        }
    }

    QStringList state() const
    {
        using State = DownloadEngine::State;
        const QString restart = engine.state() == State::Resuming         ? QStringLiteral("resume pending")
                                : engine.state() == State::WaitingToRetry ? QStringLiteral("retry armed")
                                                                          : QStringLiteral("none");
        return {QStringLiteral("restart: ") + restart,
                QStringLiteral("file %1: %2").arg(s.watched, TranscriptRecorder::describeFile(
                                                                 dir.filePath(s.watched), s.server.files.value(s.reference),
                                                                 s.reference))};
    }

    const Scenario &s;
    QTemporaryDir tmp;
    QDir dir{tmp.path()};
    MainWindowModel model;
    FakeHttpClient http;
    TranscriptDialogs dialogs;
    ActivityLog log;
    RecordingProcessExit exit;
    DownloadEngine engine{http};
    RecordingWindow window;
    MainController controller{model, engine, dialogs, log, exit, [] { return std::optional<QString>(); }, window};
    TranscriptRecorder recorder{model, log, tmp.path()};
};

class Transcript : public ::testing::TestWithParam<Scenario> {};

TEST_P(Transcript, MatchesTheRecording)
{
    const Scenario &scenario = GetParam();
    const QString played = ScenarioRun(scenario).play();
    QFile file(transcriptPath(scenario.name));
    if (qEnvironmentVariableIsSet("ORVANTA_RECORD_TRANSCRIPTS")) {
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(played.toUtf8());
        return;
    }
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << "no transcript " << file.fileName().toStdString();
    EXPECT_EQ(played.toStdString(), QString::fromUtf8(file.readAll()).toStdString());
}

INSTANTIATE_TEST_SUITE_P(Scenarios, Transcript, ::testing::ValuesIn(transcriptScenarios()),
                         [](const auto &info) { return info.param.name.toStdString(); });

} // namespace
