// Plays every scripted scenario through the main window's commands and the
// engine, and compares what a user would see with the recorded transcript
// in transcripts/. ORVANTA_RECORD_TRANSCRIPTS=1 writes the files instead.
#include "AppHarness.h"
#include "TranscriptRecorder.h"
#include "TranscriptScenario.h"

#include <descriptor/DdfWriter.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {

QString transcriptPath(const QString &name)
{
    return QFileInfo(QStringLiteral(__FILE__)).dir().filePath(QStringLiteral("transcripts/") + name + QStringLiteral(".txt"));
}

QString requestLine(const QString &url, qint64 rangeStart, const QString &ifRange)
{
    return QStringLiteral("request: GET %1 Range %2 If-Range %3")
        .arg(url, rangeStart >= 0 ? QStringLiteral("bytes=%1-").arg(rangeStart) : QStringLiteral("-"),
             ifRange.isEmpty() ? QStringLiteral("-") : ifRange);
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
    std::optional<FileAnswer> fileDialog(const FileRequest &request) override
    {
        auto answer = ScriptedDialogs::fileDialog(request);
        recorder->note(QStringLiteral("%1 dialog \"%2\" preset \"%3\" -> %4")
                           .arg(request.save ? QStringLiteral("save") : QStringLiteral("open"), request.title,
                                request.fileName, answer ? answer->fileName : QStringLiteral("cancelled")));
        return answer;
    }
    int fileExistsPrompt() override
    {
        const int answer = ScriptedDialogs::fileExistsPrompt();
        static const char *names[] = {"Cancel", "Overwrite", "Resume"};
        recorder->note(QStringLiteral("file-exists prompt -> ") + QString::fromLatin1(names[answer]));
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

// Today's HTTP control answering from the scenario's server.
class ServedHttpControl : public HttpControl {
public:
    ServedHttpControl(const ServedFiles &server) : m_server(server) {}
    std::function<void(const QString &)> onRequest;
    std::function<void(int request, qint64 delivered)> onBody;

    void setURL(const QString &url) override { m_url = url; }
    void setUserName(const QString &) override {}
    void setPassword(const QString &) override {}
    void Execute(const QString &extra) override
    {
        static const QRegularExpression range(QStringLiteral("bytes=(\\d+)-"));
        const auto match = range.match(extra);
        const qint64 from = match.hasMatch() ? match.captured(1).toLongLong() : -1;
        onRequest(requestLine(m_url, from, {}));
        m_index = m_requests++;
        m_answer = m_server.answer(m_index, m_url, from);
        m_delivered = 0;
        m_header.clear();
        if (!m_answer.answered)
            return;
        QStringList lines{QStringLiteral("HTTP/1.1 %1 %2").arg(m_answer.status).arg(ServedFiles::reasonPhrase(m_answer.status))};
        if (m_answer.contentLength)
            lines << QStringLiteral("Content-Length: %1").arg(*m_answer.contentLength);
        if (m_answer.rangeStart)
            lines << QStringLiteral("Content-Range: bytes %1-%2/%3")
                         .arg(*m_answer.rangeStart)
                         .arg(*m_answer.rangeStart + m_answer.body.size() - 1)
                         .arg(*m_answer.rangeTotal);
        m_header = (lines << QString() << QString()).join(QStringLiteral("\r\n"));
    }
    bool StillExecuting() const override { return false; }
    void Cancel() override { m_answer = {}; m_delivered = 0; }
    QString requestAddress() const override { return m_url; }
    QString GetHeader() const override { return m_header; }
    QString GetHeader(const QString &name) const override
    {
        const QRegularExpression line(QStringLiteral("(?im)^%1:\\s*(.*?)\\s*$").arg(QRegularExpression::escape(name)));
        return line.match(m_header).captured(1);
    }
    QString failureText() const override { return {}; }
    Chunk GetChunk(qsizetype size, const std::function<bool()> &interrupted) override
    {
        onBody(m_index, m_delivered);
        if (interrupted && interrupted())
            return Chunk{Chunk::Status::Interrupted, {}, 0, {}};
        if (m_answer.breakAfter >= 0 && m_delivered >= m_answer.breakAfter)
            return m_answer.stall ? Chunk{Chunk::Status::Error, {}, 28, QStringLiteral("Timeout was reached")}
                                  : Chunk{Chunk::Status::Error, {}, 56, QStringLiteral("Failure when receiving data from the peer")};
        const QByteArrayView rest = QByteArrayView(m_answer.body).sliced(m_delivered);
        const qsizetype n = std::min(size, rest.size());
        m_delivered += n;
        return Chunk{n ? Chunk::Status::Data : Chunk::Status::End, rest.first(n), 0, {}};
    }
    void processEvents(bool) override {}

private:
    const ServedFiles &m_server;
    QString m_url, m_header;
    ServedFiles::Answer m_answer;
    int m_requests = 0, m_index = 0;
    qint64 m_delivered = 0;
};

// One scenario played on the engine and the window's commands.
class ScenarioRun {
public:
    explicit ScenarioRun(const Scenario &scenario) : s(scenario)
    {
        log.setClock([] { return QTime(12, 0); });
        engine.clock = [] { return 1000.0; };
        engine.freeSpace = [](const QString &) { return 1e15; };
        engine.Timer1.stop();
        dialogs.recorder = &recorder;
        http.onRequest = [this](const QString &line) { recorder.note(line); };
        http.onBody = [this](int request, qint64 delivered) { bodyReached(request, delivered); };
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
        controller.Form_Load({});
        recorder.snapshot(QStringLiteral("start the program"), state());
        for (const Scenario::Step &step : s.steps) {
            const QString title = actionName(step.action) + (step.text.isEmpty() ? QString() : QStringLiteral(" ") + step.text);
            recorder.note(QStringLiteral("-- ") + title);
            perform(step);
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
            DDFRecord record;
            record.Version = 1.2f;
            record.FileName = QStringLiteral("f.bin");
            record.Information = QStringLiteral("Scenario file");
            for (int i = 0; i < d.servers.size(); ++i)
                record.Servers[size_t(i)] = d.servers[i];
            writeFile(d.name, buildDescriptor(record, s.server.files.value(d.contentUrl)).value_or(QByteArray()));
        }
        for (const QString &name : s.fileAnswers)
            name.isEmpty() ? dialogs.cancelFile() : dialogs.chooseFile(dir.filePath(name));
        dialogs.promptAnswers.assign(s.promptAnswers.begin(), s.promptAnswers.end());
        dialogs.serverAnswers.assign(s.serverAnswers.begin(), s.serverAnswers.end());
    }
    void writeFile(const QString &name, const QByteArray &bytes)
    {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
    }

    void perform(const Scenario::Step &step)
    {
        switch (step.action) {
        case UserAction::TypeUrl: model.setUrlText(step.text); controller.txtURL_Change(step.text); break;
        case UserAction::ClickDownload: controller.cmdURL_Click(); break;
        case UserAction::ClickLoad: controller.Command1_Click(); break;
        case UserAction::ClickPauseButton: engine.CancelButton_Click(); break;
        case UserAction::TrayPause: controller.Pause_Click(); break;
        case UserAction::ClickServers: controller.cmdServers_Click(); break;
        case UserAction::CloseWindow: controller.Form_QueryUnload(); break;
        case UserAction::WaitForTimers:
            if (engine.ResumeTimer.isActive())
                engine.ResumeTimer_Timer();
            else if (engine.RetryTimer.isActive())
                engine.RetryTimer_Timer();
            break;
        }
    }

    void bodyReached(int request, qint64 delivered)
    {
        for (const BodyEvent &e : s.bodyEvents) {
            if (e.request != request)
                continue;
            if (e.what == BodyEvent::What::Tick && delivered + 4096 == e.at) {
                engine.RefreshDue = true;  // drawn once the block that ends at e.at is in
                continue;
            }
            if (e.what == BodyEvent::What::Tick || delivered != e.at)
                continue;
            recorder.note(QStringLiteral("-- during the body, at %1 bytes: %2").arg(e.at).arg(bodyEventName(e.what)));
            if (e.what == BodyEvent::What::ClickPauseButton)
                engine.CancelButton_Click();
            else if (e.what == BodyEvent::What::TrayPause)
                controller.Pause_Click();
            else
                controller.Form_QueryUnload();
        }
    }

    QStringList state() const
    {
        const QString restart = engine.ResumeTimer.isActive() ? QStringLiteral("resume pending")
                                : engine.RetryTimer.isActive() ? QStringLiteral("retry armed")
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
    ServedHttpControl http{s.server};
    TranscriptDialogs dialogs;
    ActivityLog log;
    RecordingProcessExit exit;
    DownloadEngine engine{model, http, dialogs, log, exit};
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
