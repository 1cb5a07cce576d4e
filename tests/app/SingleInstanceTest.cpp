#include <app/SingleInstance.h>

#include <gtest/gtest.h>

#include <QDialog>
#include <QElapsedTimer>
#include <QFileSystemWatcher>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>

namespace {

// Each test has a runtime folder of its own, so that none meets an instance of the user's.
using Runtime = QTemporaryDir;
QString socketIn(const Runtime &runtime) { return runtime.filePath("orvanta-downloader.socket"); }

// A start of the real program; killed if still running at the end.
struct Start : QProcess {
    Start(const Runtime &runtime, const QStringList &arguments, const QString &workingDir)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_RUNTIME_DIR", runtime.path());
        env.insert("QT_QPA_PLATFORM", "offscreen");
        setProcessEnvironment(env);
        setWorkingDirectory(workingDir);
        start(ORVANTA_BIN_DIR "/orvanta-downloader", arguments);
    }
    ~Start() override { kill(); waitForFinished(5000); }
    // The exit status once it ended by itself within the bound, else -1.
    int finish() { return waitForFinished(20000) && exitStatus() == NormalExit ? exitCode() : -1; }
    QString err() { return QString::fromLocal8Bit(readAllStandardError()); }
};

}  // namespace

// A later start hands its request over, whole, and ends; a busy instance
// refuses it and both sides say why. Over an open dialog the running window
// is only raised, and the later start says why.
TEST(SingleInstance, ALaterStartHandsItsRequestToTheRunningOne)
{
    QTemporaryDir elsewhere;  // the later start's working folder
    const QString url = "https://127.0.0.1:9/a.iso";
    const struct {
        const char *name;
        QStringList arguments;
        StartRequest expected;
        bool downloading = false, dialogOpen = false;
        QString refusal = {};  // what the later start prints
        bool shown = true;     // ... and the running window shows
    } cases[] = {
        {"relative path becomes whole", {"sub/big.ddf"}, {elsewhere.filePath("sub/big.ddf"), {}}},
        {"percent sign and line break in a name", {"/data/100%41\nB.ddf"}, {"/data/100%41\nB.ddf", {}}},
        {"URL", {url}, {{}, url}},
        {"nothing: only raise the window", {}, {}},
        {"download running", {url}, {{}, url}, true, false, SingleInstance::downloadRunningReason()},
        {"dialog open", {url}, {}, false, true, SingleInstance::dialogOpenReason(), false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Runtime runtime;
        SingleInstance instance(socketIn(runtime));
        ASSERT_FALSE(instance.handOverOrListen({}).has_value());
        instance.setBusyCheck([&c] { return c.downloading; });
        QDialog modal;
        modal.setWindowModality(Qt::ApplicationModal);
        modal.setVisible(c.dialogOpen);
        QSignalSpy handed(&instance, &SingleInstance::handedOver);
        Start later(runtime, c.arguments, elsewhere.path());
        ASSERT_TRUE(handed.wait(20000));
        EXPECT_EQ(handed.at(0).at(0).value<StartRequest>(), c.expected);
        EXPECT_EQ(handed.at(0).at(1).toString(), c.shown ? c.refusal : QString());
        EXPECT_EQ(later.finish(), c.refusal.isEmpty() ? 0 : 1);
        const QString err = later.err();
        EXPECT_TRUE(c.refusal.isEmpty() ? err.isEmpty() : err.contains(c.refusal)) << err.toStdString();
    }
}

// A socket file nobody listens on and a lock whose owner is gone (no
// process has a number that high) are taken over at once, not after the
// wait runs out.
TEST(SingleInstance, LeftoversOfACrashDoNotStopTheNextStart)
{
    Runtime runtime;
    QFile leftover(socketIn(runtime)), lock(socketIn(runtime) + ".lock");
    ASSERT_TRUE(leftover.open(QIODevice::WriteOnly) && lock.open(QIODevice::WriteOnly));
    lock.write("2147483647\norvanta-downloader\n" + QSysInfo::machineHostName().toUtf8() + "\n");
    leftover.close(), lock.close();
    SingleInstance next(socketIn(runtime));
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(next.handOverOrListen({}, 4000).has_value());
    EXPECT_LT(clock.elapsed(), 3000);
    EXPECT_TRUE(next.isListening());
}

TEST(SingleInstance, TwoRealStartsMakeOneWindow)
{
    Runtime runtime;
    QFileSystemWatcher watcher({runtime.path()});
    QSignalSpy changed(&watcher, &QFileSystemWatcher::directoryChanged);
    Start first(runtime, {}, runtime.path());
    while (!QFileInfo(socketIn(runtime)).exists())
        ASSERT_TRUE(changed.wait(20000)) << "the first start never listened";
    // Only its user may reach it.
    const auto others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
    EXPECT_EQ(QFileInfo(socketIn(runtime)).permissions() & others, QFile::Permissions());
    Start second(runtime, {"https://127.0.0.1:9/big.iso"}, runtime.path());
    EXPECT_EQ(second.finish(), 0) << "the second start did not hand over and end";
    EXPECT_EQ(second.err(), QString());
    EXPECT_EQ(first.state(), QProcess::Running);
}
