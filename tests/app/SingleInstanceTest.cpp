#include "AppHarness.h"

#include <app/SingleInstance.h>

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <unistd.h>

namespace {

// A private runtime folder, so that no test meets an instance of the user's.
struct Runtime {
    QTemporaryDir dir;
    QString socket() const { return dir.filePath("orvanta-downloader.socket"); }
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
        bool urlMode;           // the road restarts take afterwards
    };
    const QString summary = QStringLiteral("We have collected the following information:");
    const Case cases[] = {
        {"URL into the box and focus", false, "http://127.0.0.1:9/a.iso", {}, "http://127.0.0.1:9/a.iso", 1, {}, true},
        {"refusal shown, box kept", false, "http://127.0.0.1:9/a.iso", "busy now", "earlier", 0, "busy now", true},
        {"descriptor loaded on its own road", true, {}, {}, "earlier", 0, summary, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        AppHarness h;
        h.controller.txtURL_Change("earlier");
        h.engine.URLMode = true;  // a URL download ran before
        const QString descriptor = c.descriptor ? h.writeDescriptor("d.ddf", sampleRecord()) : QString();
        h.dialogs.cancelFile();
        h.controller.handOver(descriptor, c.url, c.refusal);
        EXPECT_EQ(h.model.urlText(), c.urlBox);
        EXPECT_EQ(h.window.focused, c.focused);
        const QStringList shown = h.dialogs.messages();
        EXPECT_EQ(shown.value(0).left(c.firstMessage.size()), c.firstMessage);
        EXPECT_EQ(shown.isEmpty(), c.firstMessage.isEmpty());
        EXPECT_EQ(h.engine.URLMode, c.urlMode);
    }
}
