#include "AppHarness.h"

#include <app/SingleInstance.h>

#include <gtest/gtest.h>

#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFileSystemWatcher>
#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <unistd.h>

namespace {

const QString Program = QStringLiteral(ORVANTA_BIN_DIR "/orvanta-downloader");

// A private runtime folder, so that no test meets an instance of the user's.
struct Runtime {
    QTemporaryDir dir;
    QString socket() const { return dir.filePath("orvanta-downloader.socket"); }

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_RUNTIME_DIR", dir.path());
        env.insert("QT_QPA_PLATFORM", "offscreen");
        return env;
    }
};

// A later start of the real program, from `workingDir`.
struct LaterStart {
    QProcess process;

    LaterStart(const Runtime &runtime, const QStringList &arguments, const QString &workingDir = {})
    {
        process.setProcessEnvironment(runtime.environment());
        process.setWorkingDirectory(workingDir.isEmpty() ? runtime.dir.path() : workingDir);
        process.start(Program, arguments);
    }
    ~LaterStart()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
    }
    // The exit status once it ended by itself within the bound, else -1.
    int finish()
    {
        if (!process.waitForFinished(20000) || process.exitStatus() != QProcess::NormalExit)
            return -1;
        return process.exitCode();
    }
    QString err() { return QString::fromLocal8Bit(process.readAllStandardError()); }
};

}  // namespace

TEST(SingleInstance, TheSocketIsNamedPerUser)
{
    QTemporaryDir runtime;
    const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
    const QString uid = QString::number(::getuid());
    struct Case {
        QString runtimeDir;
        QString expected;
    };
    const Case cases[] = {
        {runtime.path(), runtime.filePath("orvanta-downloader.socket")},
        {QString(), QDir::temp().filePath("orvanta-downloader-" + uid + ".socket")},
        {runtime.filePath("missing"), QDir::temp().filePath("orvanta-downloader-" + uid + ".socket")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.runtimeDir.toStdString());
        c.runtimeDir.isEmpty() ? qunsetenv("XDG_RUNTIME_DIR") : qputenv("XDG_RUNTIME_DIR", c.runtimeDir.toLocal8Bit());
        EXPECT_EQ(SingleInstance::defaultServerName(), c.expected);
    }
    saved.isNull() ? qunsetenv("XDG_RUNTIME_DIR") : qputenv("XDG_RUNTIME_DIR", saved);
}

TEST(SingleInstance, ALaterStartHandsItsRequestToTheRunningOne)
{
    QTemporaryDir elsewhere;  // the later start's working folder
    struct Case {
        const char *name;
        QStringList arguments;
        StartRequest expected;
    };
    const Case cases[] = {
        {"relative path becomes whole", {"sub/big.ddf"}, {.descriptorPath = elsewhere.filePath("sub/big.ddf")}},
        {"quoted path with spaces", {"\"/data/my", "big.ddf\""}, {.descriptorPath = "/data/my big.ddf"}},
        {"file URI", {"file:///data/my%20big.ddf"}, {.descriptorPath = "/data/my big.ddf"}},
        {"percent sign and line break in a name", {"/data/100%41\nB.ddf"}, {.descriptorPath = "/data/100%41\nB.ddf"}},
        {"URL", {"https://127.0.0.1:9/big.iso"}, {.url = "https://127.0.0.1:9/big.iso"}},
        {"nothing: only raise the window", {}, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Runtime runtime;
        SingleInstance running(runtime.socket());
        ASSERT_FALSE(running.handOverOrListen({}).has_value());
        ASSERT_TRUE(running.isListening());
        QSignalSpy handed(&running, &SingleInstance::handedOver);

        LaterStart later(runtime, c.arguments, elsewhere.path());
        ASSERT_TRUE(handed.wait(20000));
        EXPECT_EQ(handed.at(0).at(0).value<StartRequest>(), c.expected);
        EXPECT_EQ(handed.at(0).at(1).toString(), QString());
        EXPECT_EQ(later.finish(), 0);
        EXPECT_EQ(later.err(), QString());
    }
}

TEST(SingleInstance, ABusyInstanceRefusesAndBothSidesSayWhy)
{
    struct Case {
        const char *name;
        bool downloading;
        bool dialogOpen;
        QString reason;
        QStringList arguments = {"https://127.0.0.1:9/next.iso"};
    };
    const Case cases[] = {
        {"download running", true, false, SingleInstance::downloadRunningReason()},
        {"dialog open", false, true, SingleInstance::dialogOpenReason()},
        {"both: the download is named", true, true, SingleInstance::downloadRunningReason()},
        {"nothing asked: the window is only raised", true, true, QString(), {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Runtime runtime;
        SingleInstance running(runtime.socket());
        ASSERT_FALSE(running.handOverOrListen({}).has_value());
        running.setBusyCheck([&c] { return c.downloading; });
        QDialog dialog;
        dialog.setWindowModality(Qt::ApplicationModal);
        if (c.dialogOpen)
            dialog.show();
        QSignalSpy handed(&running, &SingleInstance::handedOver);

        LaterStart later(runtime, c.arguments);
        ASSERT_TRUE(handed.wait(20000));
        EXPECT_EQ(handed.at(0).at(0).value<StartRequest>().url, c.arguments.value(0));
        EXPECT_EQ(handed.at(0).at(1).toString(), c.reason);
        EXPECT_EQ(later.finish(), c.reason.isEmpty() ? 0 : 1);
        const QString err = later.err();
        EXPECT_TRUE(c.reason.isEmpty() ? err.isEmpty() : err.contains(c.reason)) << err.toStdString();
    }
}

TEST(SingleInstance, LeftoversOfACrashDoNotStopTheNextStart)
{
    // A socket file nobody listens on, and a lock whose owner has died.
    QProcess gone;
    gone.start("true");
    ASSERT_TRUE(gone.waitForStarted(5000));
    const qint64 deadPid = gone.processId();
    ASSERT_TRUE(gone.waitForFinished(5000));
    for (bool staleLock : {false, true}) {
        SCOPED_TRACE(staleLock ? "with a stale lock" : "socket file only");
        Runtime runtime;
        {
            QFile leftover(runtime.socket());
            ASSERT_TRUE(leftover.open(QIODevice::WriteOnly));
        }
        if (staleLock) {
            QFile lock(runtime.socket() + ".lock");
            ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
            lock.write(QByteArray::number(deadPid) + "\norvanta-downloader\n" +
                       QSysInfo::machineHostName().toUtf8() + "\n");
        }
        // A stale lock is taken over at once, not after the wait runs out.
        SingleInstance next(runtime.socket());
        QElapsedTimer clock;
        clock.start();
        EXPECT_FALSE(next.handOverOrListen({}, 4000).has_value());
        EXPECT_LT(clock.elapsed(), 3000);
        EXPECT_TRUE(next.isListening());
    }
}

TEST(SingleInstance, WhatIsNotARequestIsDroppedUnanswered)
{
    const QByteArray lines[] = {
        "open /data/x.ddf\n",      // an unknown word
        "descriptor\n",            // a descriptor without a path
        "show extra\n",            // show takes no text
        QByteArray(70000, 'x'),    // no end of line within the limit
    };
    for (const QByteArray &bytes : lines) {
        SCOPED_TRACE(bytes.left(30).toStdString());
        Runtime runtime;
        SingleInstance running(runtime.socket());
        ASSERT_FALSE(running.handOverOrListen({}).has_value());
        QSignalSpy handed(&running, &SingleInstance::handedOver);

        QLocalSocket client;
        QSignalSpy closed(&client, &QLocalSocket::disconnected);
        client.connectToServer(runtime.socket());
        ASSERT_TRUE(client.waitForConnected(5000));
        client.write(bytes);
        ASSERT_TRUE(closed.wait(10000));
        EXPECT_EQ(client.readAll(), QByteArray());
        EXPECT_EQ(handed.size(), 0);
    }
}

TEST(SingleInstance, TwoRealStartsMakeOneWindow)
{
    Runtime runtime;
    QFileSystemWatcher watcher({runtime.dir.path()});
    QSignalSpy changed(&watcher, &QFileSystemWatcher::directoryChanged);
    LaterStart first(runtime, {});
    while (!QFileInfo(runtime.socket()).exists())
        ASSERT_TRUE(changed.wait(20000)) << "the first start never listened";

    // Only its user may reach it.
    const QFile::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther |
                                      QFile::WriteOther | QFile::ExeOther;
    EXPECT_EQ(QFileInfo(runtime.socket()).permissions() & others, QFile::Permissions());

    LaterStart second(runtime, {"https://127.0.0.1:9/big.iso"});
    EXPECT_EQ(second.finish(), 0) << "the second start did not hand over and end";
    EXPECT_EQ(second.err(), QString());
    EXPECT_EQ(first.process.state(), QProcess::Running);
}

TEST(SingleInstance, TheRunningWindowTakesOrRefusesAHandOver)
{
    struct Case {
        const char *name;
        bool descriptor;
        QString url;
        QString refusal;
        QString urlBox;         // the box afterwards
        int focused;            // times "Download from URL" got the focus
        QString firstMessage;   // start of the first message box, if any
    };
    const QString summary = QStringLiteral("We have collected the following information:");
    const Case cases[] = {
        {"URL into the box and focus", false, "http://127.0.0.1:9/a.iso", {}, "http://127.0.0.1:9/a.iso", 1, {}},
        {"refusal shown, box kept", false, "http://127.0.0.1:9/a.iso", "busy now", "earlier", 0, "busy now"},
        {"descriptor opened with its summary", true, {}, {}, "earlier", 0, summary},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        AppHarness h;
        h.controller.urlEdited("earlier");
        const QString descriptor = c.descriptor ? h.writeDescriptor("d.ddf", sampleRecord()) : QString();
        h.dialogs.cancelFile();
        h.controller.handOver(descriptor, c.url, c.refusal);
        EXPECT_EQ(h.model.urlText(), c.urlBox);
        EXPECT_EQ(h.window.focused, c.focused);
        const QStringList shown = h.dialogs.messages();
        EXPECT_EQ(shown.value(0).left(c.firstMessage.size()), c.firstMessage);
        EXPECT_EQ(shown.isEmpty(), c.firstMessage.isEmpty());
    }
}
