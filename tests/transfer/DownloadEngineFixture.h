#pragma once

#include <support/FakeHttpControl.h>
#include <support/ScriptedDialogs.h>
#include <support/TestServer.h>

#include <descriptor/DescriptorWriter.h>
#include <transfer/DownloadEngine.h>
#include <util/ActivityLog.h>

#include <QFileInfo>

#include <gtest/gtest.h>

// One engine on the given control with scripted dialogs and a recorded exit;
// its files go to a scratch folder.
class EngineBase : public ::testing::Test {
protected:
    QTemporaryDir dir;
    MainWindowModel view;
    ScriptedDialogs dialogs;
    ActivityLog log;
    RecordingProcessExit exitSeam;
    std::unique_ptr<DownloadEngine> engine;

    void start(HttpControl &control)
    {
        ASSERT_TRUE(dir.isValid());
        engine = std::make_unique<DownloadEngine>(view, control, dialogs, log, exitSeam);
        engine->freeSpace = [](const QString &) { return 1e15; };
        engine->DestinationPath = dir.filePath(QStringLiteral("out.bin"));
    }
    void TearDown() override { engine.reset(); }  // before the control it uses

    static QByteArray damaged(QByteArray bytes, qint64 at) { bytes[at] = char(bytes[at] ^ 0x5a); return bytes; }
    static void writeFile(const QString &file, const QByteArray &bytes)
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size());
    }
    static QByteArray readFile(const QString &file) { QFile f(file); return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray(); }
    QString dest() const { return engine->DestinationPath; }
    bool logged(const QString &text) const { return log.text().contains(text); }
    QString status() const { return view.text(MainWindowModel::Label::Status); }

    // A descriptor of `content` served from SourceURL, loaded as the loader would.
    void loadDescriptor(const QByteArray &content, float version = 1.2f)
    {
        DescriptorHeader record;
        record.version = version;
        const auto ddf = buildDescriptor(record, content);
        ASSERT_TRUE(ddf.has_value());
        writeFile(engine->DescriptorPath = dir.filePath(QStringLiteral("file.ddf")), *ddf);
        engine->DDF = DescriptorHeader::fromBytes(*ddf);
        engine->ExpectedSize = engine->DDF.fileSize;
        engine->URLMode = false;
    }
    bool runURL() { engine->URLMode = true; return engine->DownloadFileFromURL(engine->SourceURL, dest(), {}, {}); }
    bool runDDF() { return engine->DownloadFile(engine->SourceURL, dest(), {}, {}); }
};

// The engine on a scripted control, with a clock that stands still.
class EngineTest : public EngineBase {
protected:
    using Reply = FakeHttpControl::Response;
    FakeHttpControl inet;

    void SetUp() override
    {
        start(inet);
        engine->Timer1.stop();
        engine->clock = [] { return 1000.0; };
        engine->SourceURL = QStringLiteral("http://127.0.0.1/file.bin");
    }
    QByteArray pattern(qint64 size) const { return writeRandomFile(dir.filePath(QStringLiteral("pattern")), size); }
    static QString range(qint64 from) { return QStringLiteral("Range: bytes=%1-\r\n").arg(from); }
    static Reply partial(const QByteArray &whole, qint64 from)  // a 206 with `whole` from `from` on
    {
        const QString contentRange = QStringLiteral("Content-Range: bytes %1-%2/%3").arg(from).arg(whole.size() - 1);
        return FakeHttpControl::reply(206, whole.mid(from), {contentRange.arg(whole.size())});
    }
};
