#pragma once

#include <app/MainController.h>
#include <app/WindowPort.h>
#include <support/ScriptedDialogs.h>
#include <transfer/DownloadEngine.h>
#include <transfer/HttpControl.h>
#include <transfer/MainWindowModel.h>
#include <util/ActivityLog.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <functional>
#include <optional>
#include <string>
#include <vector>

// Records what the commands do to the windows and the tray, in order.
struct RecordingWindow : WindowPort {
    std::vector<std::string> calls;
    QString tip;
    QPoint menuAt;
    std::function<void()> onRemoveTray;
    void addTrayIcon(const QString &t) override { calls.push_back("addTray"), tip = t; }
    void removeTrayIcon() override
    {
        calls.push_back("removeTray");
        if (onRemoveTray)
            onRemoveTray();
    }
    void showNormal() override { calls.push_back("showNormal"); }
    void hideWindow() override { calls.push_back("hide"); }
    void bringToFront() override { calls.push_back("front"); }
    void popupTrayMenu(const QPoint &at) override { calls.push_back("menu"), menuAt = at; }
    void focusDownloadButton() override { calls.push_back("focus"); }
    void showLog() override { calls.push_back("log"); }
    void processEvents() override { calls.push_back("events"); }
    int count(const std::string &call) const { return int(std::count(calls.begin(), calls.end(), call)); }
};

// An HTTP control whose requests never get an answer: every attempt the
// engine makes ends at once as a failure, and each start is recorded so
// tests can tell whether (and with what) a transfer was started.
struct RecordingHttp : HttpControl {
    QString url;
    std::vector<QString> executedURLs;
    std::function<void()> onExecute;
    void setURL(const QString &u) override { url = u; }
    void setUserName(const QString &) override {}
    void setPassword(const QString &) override {}
    void Execute(const QString &) override
    {
        executedURLs.push_back(url);
        if (onExecute)
            onExecute();
    }
    bool StillExecuting() const override { return false; }
    void Cancel() override {}
    QString requestAddress() const override { return url; }
    QString GetHeader() const override { return {}; }
    QString GetHeader(const QString &) const override { return {}; }
    QString failureText() const override { return QStringLiteral("Connection refused"); }
    Chunk GetChunk(qsizetype, const std::function<bool()> &) override
    {
        Chunk c;
        c.status = Chunk::Status::Error;
        c.errorCode = 7;
        c.errorText = failureText();
        return c;
    }
    void processEvents(bool) override { QCoreApplication::processEvents(); }
};

// The main window's logic over the headless model, a real engine on the
// recording control, scripted dialogs and a recording exit.
struct AppHarness {
    QTemporaryDir dir;
    MainWindowModel model;
    RecordingHttp http;
    ScriptedDialogs dialogs;
    ActivityLog log;
    RecordingProcessExit exit;
    DownloadEngine engine{model, http, dialogs, log, exit};
    RecordingWindow window;
    std::optional<QString> clipboard = QString();
    MainController controller{model, engine, dialogs, log, exit, [this] { return clipboard; }, window};

    AppHarness()
    {
        engine.freeSpace = [](const QString &) { return 1e15; };
    }
    ~AppHarness()
    {
        engine.RetryTimer.stop();
        engine.ResumeTimer.stop();
    }

    QString path(const QString &name) const { return dir.filePath(name); }
    QString writeFile(const QString &name, const QByteArray &bytes) const
    {
        QFile f(path(name));
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
        return path(name);
    }
    int count(ScriptedDialogs::Asked::Kind kind) const
    {
        int n = 0;
        for (const auto &a : dialogs.asked)
            n += a.kind == kind;
        return n;
    }
};

// A descriptor file: header from `record`, then one CRC entry per block.
inline QString writeDescriptor(const QString &path, const DDFRecord &record)
{
    QByteArray bytes = record.toHeader().value_or(QByteArray());
    const qint64 blocks = (qint64(record.FileSize) + 4095) / 4096;
    bytes.append(QByteArray(int(blocks * 4), '\0'));
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
    return path;
}

inline DDFRecord sampleRecord(const QStringList &servers = {QStringLiteral("http://127.0.0.1:1/f.bin")})
{
    DDFRecord r;
    r.StartParam = -1;
    r.FileSize = 10000;
    r.Information = QStringLiteral("Sample data");
    r.FileName = QStringLiteral("f.bin");
    for (int i = 0; i < servers.size() && i < DDFRecord::ServerSlots; ++i)
        r.Servers[i] = servers[i];
    r.Version = 1.2f;
    return r;
}
