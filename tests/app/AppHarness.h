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
#include <vector>

// Keeps what the commands do to the tray and the focus; the rest is not asked about.
struct RecordingWindow : WindowPort {
    QString tip;
    int focused = 0;
    std::function<void()> onRemoveTray = [] {};
    void addTrayIcon(const QString &t) override { tip = t; }
    void removeTrayIcon() override { onRemoveTray(); }
    void showNormal() override {}
    void hideWindow() override {}
    void bringToFront() override {}
    void popupTrayMenu(const QPoint &) override {}
    void focusDownloadButton() override { ++focused; }
    void showLog() override {}
    void processEvents() override {}
};

// A control whose every request fails at once; each start is recorded.
struct RecordingHttp : HttpControl {
    QString url;
    std::vector<QString> executedURLs;
    std::function<void()> onExecute;
    void setURL(const QString &u) override { url = u; }
    void setUserName(const QString &) override {}
    void setPassword(const QString &) override {}
    void Execute(const QString &) override { executedURLs.push_back(url), onExecute ? onExecute() : void(); }
    bool StillExecuting() const override { return false; }
    void Cancel() override {}
    QString requestAddress() const override { return url; }
    QString GetHeader() const override { return {}; }
    QString GetHeader(const QString &) const override { return {}; }
    QString failureText() const override { return QStringLiteral("Connection refused"); }
    Chunk GetChunk(qsizetype, const std::function<bool()> &) override { return {Chunk::Status::Error, {}, 7, failureText()}; }
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

    AppHarness() { engine.freeSpace = [](const QString &) { return 1e15; }; }

    QString path(const QString &name) const { return QDir(dir.path()).filePath(name); }
    QString writeFile(const QString &name, const QByteArray &bytes) const
    {
        QFile f(path(name));
        return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size() ? path(name) : QString();
    }
    // A descriptor file: header from `record`, then one CRC entry per block.
    QString writeDescriptor(const QString &name, const DescriptorHeader &record) const
    {
        const qint64 blocks = (qint64(record.fileSize) + 4095) / 4096;
        return writeFile(name, record.toBytes().value_or(QByteArray()) + QByteArray(int(blocks * 4), '\0'));
    }
};

inline DescriptorHeader sampleRecord()
{
    DescriptorHeader r;
    r.servers[0] = QStringLiteral("http://127.0.0.1:1/f.bin");
    r.startParam = -1;
    r.fileSize = 10000;
    r.fileName = QStringLiteral("f.bin");
    r.version = 1.2f;
    return r;
}
