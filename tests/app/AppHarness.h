#pragma once

#include <app/MainController.h>
#include <app/WindowPort.h>
#include <support/EngineSettle.h>
#include <support/FakeHttpClient.h>
#include <support/ScriptedDialogs.h>
#include <transfer/DownloadEngine.h>
#include <ui/MainWindowModel.h>
#include <util/ActivityLog.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <functional>
#include <type_traits>
#include <optional>

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
};

// The main window's logic over the headless model, a real engine on
// `Client` (the scripted one fails every request unless told otherwise),
// scripted dialogs and a recording exit.
template <class Client>
struct AppHarnessOn {
    QTemporaryDir dir;
    MainWindowModel model;
    Client http;
    ScriptedDialogs dialogs;
    ActivityLog log;
    RecordingProcessExit exit;
    DownloadEngine engine{http};
    RecordingWindow window;
    std::optional<QString> clipboard = QString();
    MainController controller{model, engine, dialogs, log, exit, [this] { return clipboard; }, window};

    AppHarnessOn()
    {
        if constexpr (std::is_same_v<Client, FakeHttpClient>)
            http.answer = [](const HttpRequest &, int) { return FakeHttpClient::Reply{}; };
        controller.presenter().setAutomaticRefresh(false);
    }

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

struct AppHarness : AppHarnessOn<FakeHttpClient> {
    bool settled() { return settle(engine, http); }
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
