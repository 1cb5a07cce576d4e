#pragma once

#include <app/MainController.h>
#include <app/WindowPort.h>
#include <support/EngineSettle.h>
#include <support/FakeMirrors.h>
#include <support/ScriptedDialogs.h>
#include <ui/MainWindowModel.h>
#include <util/ActivityLog.h>

#include <QDir>
#include <QTemporaryDir>

// Keeps what the commands do to the tray and the focus; the rest is not asked about.
struct RecordingWindow : WindowPort {
    QString tip;
    int focused = 0, hidden = 0;
    bool tray = true;
    void addTrayIcon(const QString &t) override { tip = t; }
    void removeTrayIcon() override {}
    bool trayAvailable() const override { return tray; }
    void showNormal() override {}
    void hideWindow() override { ++hidden; }
    void bringToFront() override {}
    void popupTrayMenu(const QPoint &) override {}
    void focusDownloadButton() override { ++focused; }
    void showLog() override {}
};

// The main window's logic over the headless model, a real engine on
// `Client`, scripted dialogs and a recording exit.
template <class Client>
struct AppHarnessOn {
    QTemporaryDir dir;
    MainWindowModel model;
    Client http;
    ScriptedDialogs dialogs;
    ActivityLog log;
    RecordingProcessExit exit;
    FakeMirrors mirrors;  // the other servers of a download from all at once
    DownloadEngine engine{http};
    RecordingWindow window;
    std::optional<QString> clipboard = QString();
    MainController controller{model, engine, dialogs, log, exit, [this] { return clipboard; }, window};

    AppHarnessOn()
    {
        controller.presenter().setAutomaticRefresh(false);
        engine.setClientFactory(mirrors.factory());
    }

    QString path(const QString &name) const { return QDir(dir.path()).filePath(name); }  // absolute names stay
    QString writeFile(const QString &name, const QByteArray &bytes) const
    {
        QFile f(path(name));
        return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size() ? path(name) : QString();
    }
    // A descriptor file: header from `record`, then one CRC entry per block.
    QString writeDescriptor(const QString &name, const DescriptorHeader &record) const
    {
        return writeFile(name, record.toBytes().value_or(QByteArray()) + QByteArray(blockCount(record.fileSize) * 4, 0));
    }
};

using AppHarness = AppHarnessOn<FakeHttpClient>;

inline DescriptorHeader sampleRecord()
{
    return {.startParam = -1, .fileSize = 10000, .information = {}, .fileName = "f.bin", .servers = {"http://127.0.0.1:1/f.bin"}, .version = 1.2f};
}
