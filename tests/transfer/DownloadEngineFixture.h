#pragma once

#include <support/FakeHttpControl.h>
#include <support/ScriptedDialogs.h>

#include <transfer/DownloadEngine.h>
#include <transfer/MainWindowModel.h>
#include <util/ActivityLog.h>

#include <descriptor/CRC32.h>
#include <descriptor/DDFRecord.h>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

#include <memory>

// One engine wired to a scripted control, scripted dialogs, a recorded
// exit and a fixed clock, with a scratch folder for its files.
class EngineTest : public ::testing::Test {
protected:
    using Label = MainWindowModel::Label;

    QTemporaryDir dir;
    MainWindowModel view;
    FakeHttpControl inet;
    ScriptedDialogs dialogs;
    ActivityLog log;
    RecordingProcessExit exitSeam;
    std::unique_ptr<DownloadEngine> engine;
    double now = 1000.0;

    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        log.setClock([] { return QTime(12, 0, 0); });
        engine = std::make_unique<DownloadEngine>(view, inet, dialogs, log, exitSeam);
        engine->Timer1.stop();
        engine->clock = [this] { return now; };
        engine->freeSpace = [](const QString &) { return 1e15; };
        engine->DestinationPath = path(QStringLiteral("out.bin"));
        engine->SourceURL = QStringLiteral("http://127.0.0.1/file.bin");
    }

    QString path(const QString &name) const { return dir.filePath(name); }

    // Distinct, position-dependent bytes.
    static QByteArray pattern(qint64 size, int seed = 1)
    {
        QByteArray bytes(size, Qt::Uninitialized);
        quint32 x = 2463534242u + quint32(seed);
        for (qint64 i = 0; i < size; ++i) {
            x ^= x << 13;
            x ^= x >> 17;
            x ^= x << 5;
            bytes[i] = char(x);
        }
        return bytes;
    }

    static void writeFile(const QString &file, const QByteArray &bytes)
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(f.write(bytes), bytes.size());
    }

    static QByteArray readFile(const QString &file)
    {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    QString dest() const { return engine->DestinationPath; }

    // A descriptor for `content`, loaded into the engine as the loader
    // would leave it.
    void loadDescriptor(const QByteArray &content, float version = 1.2f)
    {
        DDFRecord record;
        record.FileSize = qint32(content.size());
        record.FileName = QStringLiteral("out.bin");
        record.Servers[0] = QStringLiteral("Local|http://127.0.0.1/file.bin");
        record.Version = version;
        auto header = record.toHeader();
        ASSERT_TRUE(header.has_value());
        QByteArray ddf = *header;
        for (qint64 at = 0; at < content.size(); at += 4096) {
            const qint32 crc = ComputeCRC32(QByteArrayView(content).sliced(at, std::min<qint64>(4096, content.size() - at)), version);
            char le[4];
            qToLittleEndian<qint32>(crc, le);
            ddf.append(le, 4);
        }
        const QString ddfPath = path(QStringLiteral("file.ddf"));
        writeFile(ddfPath, ddf);
        engine->DDF = record;
        engine->DescriptorPath = ddfPath;
        engine->ExpectedSize = qint32(content.size());
        engine->URLMode = false;
    }

    bool runURL() { return engine->DownloadFileFromURL(engine->SourceURL, dest(), {}, {}); }
    bool runDDF() { return engine->DownloadFile(engine->SourceURL, dest(), {}, {}); }

    // The log's messages without their time stamps.
    QStringList logLines() const
    {
        const QString prefix = ActivityLog::timeText(QTime(12, 0, 0)) + QLatin1Char(' ');
        QStringList lines = log.LogText().split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
        for (QString &line : lines)
            if (line.startsWith(prefix))
                line = line.mid(prefix.size());
        return lines;
    }

    static QString range(qint64 from) { return QStringLiteral("Range: bytes=%1-\r\n").arg(from); }
    static QString contentRange(qint64 from, qint64 total)
    {
        return QStringLiteral("Content-Range: bytes %1-%2/%3").arg(from).arg(total - 1).arg(total);
    }
};
