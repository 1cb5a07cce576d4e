#include "AppHarness.h"

#include <app/SingleInstance.h>

#include <gtest/gtest.h>

#include <QDialog>
#include <QElapsedTimer>
#include <QFileSystemWatcher>
#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>

#include <unistd.h>

namespace {

// A private runtime folder, so that no test meets an instance of the user's.
struct Runtime {
    QTemporaryDir dir;
    QString socket() const { return dir.filePath("orvanta-downloader.socket"); }
};

// A start of the real program, from `workingDir`; killed if still running at the end.
struct Start {
    QProcess process;
    Start(const Runtime &runtime, const QStringList &arguments, const QString &workingDir = {})
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_RUNTIME_DIR", runtime.dir.path());
        env.insert("QT_QPA_PLATFORM", "offscreen");
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(workingDir.isEmpty() ? runtime.dir.path() : workingDir);
        process.start(ORVANTA_BIN_DIR "/orvanta-downloader", arguments);
    }
    ~Start()
    {
        process.kill();
        process.waitForFinished(5000);
    }
    // The exit status once it ended by itself within the bound, else -1.
    int finish()
    {
        const bool ended = process.waitForFinished(20000) && process.exitStatus() == QProcess::NormalExit;
        return ended ? process.exitCode() : -1;
    }
    QString err() { return QString::fromLocal8Bit(process.readAllStandardError()); }
};

}  // namespace

TEST(SingleInstance, TheSocketIsNamedPerUser)
{
    QTemporaryDir runtime;
    const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
    const QString inTemp = QDir::temp().filePath(QStringLiteral("orvanta-downloader-%1.socket").arg(::getuid()));
    for (const auto &[runtimeDir, expected] : {std::pair{runtime.path(), runtime.filePath("orvanta-downloader.socket")},
                                               {QString(), inTemp}, {runtime.filePath("missing"), inTemp}}) {
        runtimeDir.isEmpty() ? qunsetenv("XDG_RUNTIME_DIR") : qputenv("XDG_RUNTIME_DIR", runtimeDir.toLocal8Bit());
        EXPECT_EQ(SingleInstance::defaultServerName(), expected) << runtimeDir.toStdString();
    }
    saved.isNull() ? qunsetenv("XDG_RUNTIME_DIR") : qputenv("XDG_RUNTIME_DIR", saved);
}

// A later start hands its request over, whole, and ends; a busy instance
// refuses it and both sides say why.
TEST(SingleInstance, ALaterStartHandsItsRequestToTheRunningOne)
{
    QTemporaryDir elsewhere;  // the later start's working folder
    const QString running = SingleInstance::downloadRunningReason(), dialog = SingleInstance::dialogOpenReason();
    const struct {
        const char *name;
        QStringList arguments;
        bool downloading = false, dialogOpen = false;
        StartRequest expected;
        QString refusal = {};
    } cases[] = {
        {"relative path becomes whole", {"sub/big.ddf"}, false, false, {elsewhere.filePath("sub/big.ddf"), {}}},
        {"percent sign and line break in a name", {"/data/100%41\nB.ddf"}, false, false, {"/data/100%41\nB.ddf", {}}},
        {"URL", {"https://127.0.0.1:9/big.iso"}, false, false, {{}, "https://127.0.0.1:9/big.iso"}},
        {"nothing: only raise the window", {}, false, false, {}},
        {"download running", {"https://127.0.0.1:9/a.iso"}, true, false, {{}, "https://127.0.0.1:9/a.iso"}, running},
        {"dialog open", {"https://127.0.0.1:9/a.iso"}, false, true, {{}, "https://127.0.0.1:9/a.iso"}, dialog},
        {"busy, nothing asked: only raised", {}, true, true, {}, {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Runtime runtime;
        SingleInstance instance(runtime.socket());
        ASSERT_FALSE(instance.handOverOrListen({}).has_value());
        ASSERT_TRUE(instance.isListening());
        instance.setBusyCheck([&c] { return c.downloading; });
        QDialog modal;
        modal.setWindowModality(Qt::ApplicationModal);
        modal.setVisible(c.dialogOpen);
        QSignalSpy handed(&instance, &SingleInstance::handedOver);
        Start later(runtime, c.arguments, elsewhere.path());
        ASSERT_TRUE(handed.wait(20000));
        EXPECT_EQ(handed.at(0).at(0).value<StartRequest>(), c.expected);
        EXPECT_EQ(handed.at(0).at(1).toString(), c.refusal);
        EXPECT_EQ(later.finish(), c.refusal.isEmpty() ? 0 : 1);
        const QString err = later.err();
        EXPECT_TRUE(c.refusal.isEmpty() ? err.isEmpty() : err.contains(c.refusal)) << err.toStdString();
    }
}

// A socket file nobody listens on and a lock whose owner has died are
// taken over at once, not after the wait runs out.
TEST(SingleInstance, LeftoversOfACrashDoNotStopTheNextStart)
{
    QProcess gone;
    gone.start("true");
    ASSERT_TRUE(gone.waitForStarted(5000));
    const qint64 deadPid = gone.processId();
    ASSERT_TRUE(gone.waitForFinished(5000));
    Runtime runtime;
    QFile leftover(runtime.socket()), lock(runtime.socket() + ".lock");
    ASSERT_TRUE(leftover.open(QIODevice::WriteOnly) && lock.open(QIODevice::WriteOnly));
    lock.write(QByteArray::number(deadPid) + "\norvanta-downloader\n" + QSysInfo::machineHostName().toUtf8() + "\n");
    leftover.close(), lock.close();
    SingleInstance next(runtime.socket());
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(next.handOverOrListen({}, 4000).has_value());
    EXPECT_LT(clock.elapsed(), 3000);
    EXPECT_TRUE(next.isListening());
}

TEST(SingleInstance, WhatIsNotARequestIsDroppedUnanswered)
{
    for (const QByteArray &bytes : {QByteArray("open /data/x.ddf\n"), QByteArray("descriptor\n"),
                                    QByteArray("show extra\n"), QByteArray(70000, 'x')}) {
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
    Start first(runtime, {});
    while (!QFileInfo(runtime.socket()).exists())
        ASSERT_TRUE(changed.wait(20000)) << "the first start never listened";
    // Only its user may reach it.
    EXPECT_EQ(QFileInfo(runtime.socket()).permissions() & ~(QFile::ReadUser | QFile::WriteUser | QFile::ExeUser |
                                                             QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner),
              QFile::Permissions());
    Start second(runtime, {"https://127.0.0.1:9/big.iso"});
    EXPECT_EQ(second.finish(), 0) << "the second start did not hand over and end";
    EXPECT_EQ(second.err(), QString());
    EXPECT_EQ(first.process.state(), QProcess::Running);
}

TEST(SingleInstance, TheRunningWindowTakesOrRefusesAHandOver)
{
    const struct {
        const char *name;
        bool descriptor;
        QString url, refusal, urlBox;  // the box afterwards
        int focused;                   // times "Download from URL" got the focus
        QString firstMessage;          // start of the first message box, if any
    } cases[] = {
        {"URL into the box and focus", false, "http://127.0.0.1:9/a.iso", {}, "http://127.0.0.1:9/a.iso", 1, {}},
        {"refusal shown, box kept", false, "http://127.0.0.1:9/a.iso", "busy now", "earlier", 0, "busy now"},
        {"descriptor opened with its summary", true, {}, {}, "earlier", 0,
         "We have collected the following information:"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        AppHarness h;
        h.controller.urlEdited("earlier");
        const QString descriptor = c.descriptor ? h.writeDescriptor("d.ddf", sampleRecord()) : QString();
        h.dialogs.cancelFile();
        h.controller.handOver(descriptor, c.url, c.refusal);
        EXPECT_EQ(h.model.urlText(), c.urlBox);
        EXPECT_EQ(h.window.focused, c.focused);
        const QStringList shown = h.dialogs.messages();
        EXPECT_EQ(shown.isEmpty(), c.firstMessage.isEmpty());
        EXPECT_TRUE(shown.value(0).startsWith(c.firstMessage)) << shown.value(0).toStdString();
    }
}
