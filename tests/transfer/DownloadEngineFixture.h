#pragma once

#include <support/EngineSettle.h>
#include <support/FakeHttpClient.h>
#include <support/TestServer.h>

#include <descriptor/DescriptorWriter.h>
#include <transfer/DownloadEngine.h>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>

// One engine on a scripted client, a clock that stands still, and what it
// says recorded; its files go to a scratch folder.
class EngineTest : public ::testing::Test {
protected:
    using State = DownloadEngine::State;
    using Reply = FakeHttpClient::Reply;

    QTemporaryDir dir;
    FakeHttpClient http;
    DownloadEngine engine{http};
    DownloadJob job;
    QStringList log;
    QString status;
    std::vector<EngineNotice> notices;

    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        engine.setClock([] { return 1000.0; });
        engine.setRetryDelay(std::chrono::hours(1));
        QObject::connect(&engine, &DownloadEngine::logLine, [this](const QString &line) { log << line; });
        QObject::connect(&engine, &DownloadEngine::statusChanged, [this](const QString &text) { status = text; });
        QObject::connect(&engine, &DownloadEngine::noticeRequested, [this](const EngineNotice &n) { notices.push_back(n); });
        job.sourceUrl = QStringLiteral("http://127.0.0.1:1/file.bin");
        job.destination = dir.filePath(QStringLiteral("out.bin"));
    }

    QString dest() const { return job.destination; }
    bool logged(const QString &text) const { return log.contains(text); }
    State run()
    {
        engine.start(job);
        EXPECT_TRUE(settle(engine, http));
        return engine.state();
    }
    void resumeNow()
    {
        engine.setResumeDelay(std::chrono::milliseconds(0));
        engine.resume();
    }
    QStringList ranges() const
    {
        QStringList out;
        for (const HttpRequest &r : http.requests)
            out << (r.rangeStart < 0 ? QStringLiteral("-") : QString::number(r.rangeStart));
        return out;
    }

    QByteArray pattern(qint64 size) const { return writeRandomFile(dir.filePath(QStringLiteral("pattern")), size); }
    static QByteArray damaged(QByteArray bytes, qint64 at) { bytes[at] = char(bytes[at] ^ 0x5a); return bytes; }
    static void writeFile(const QString &file, const QByteArray &bytes)
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size());
    }
    static QByteArray readFile(const QString &file) { QFile f(file); return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray(); }
    // A 206 with `whole` from `from` on.
    static Reply partial(const QByteArray &whole, qint64 from) { return FakeHttpClient::reply(206, whole.mid(from), from, whole.size()); }
    // Answers every request with the rest of `whole` from where it asks.
    void serve(const QByteArray &whole)
    {
        http.answer = [whole](const HttpRequest &r, int) {
            return r.rangeStart < 0 ? FakeHttpClient::reply(200, whole) : partial(whole, r.rangeStart);
        };
    }

    // A descriptor of `content`, as the loader would turn it into a job.
    void describe(const QByteArray &content, float version = 1.2f)
    {
        DescriptorHeader record;
        record.version = version;
        const auto ddf = buildDescriptor(record, content);
        ASSERT_TRUE(ddf.has_value());
        writeFile(job.descriptorPath = dir.filePath(QStringLiteral("file.ddf")), *ddf);
        job.mode = DownloadJob::Mode::Descriptor;
        job.descriptor = DescriptorHeader::fromBytes(*ddf);
    }
};
