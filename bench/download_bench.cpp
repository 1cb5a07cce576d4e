// Headless URL download with the real engine and HTTP control, for
// bench/throughput.sh: prints elapsed seconds, MB/s, peak RSS, how many
// one-second refreshes ran, and (with --pause-after) how long a pause click
// took to end the attempt.
#include "BenchSeams.h"

#include <transfer/CurlHttpControl.h>
#include <transfer/DownloadEngine.h>
#include <util/ActivityLog.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <sys/resource.h>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: download_bench URL DEST [--pause-after SECONDS]\n");
        return 2;
    }
    const QString url = args[1];
    const QString dest = args[2];
    double pauseAfter = -1;
    if (args.size() >= 5 && args[3] == QLatin1String("--pause-after"))
        pauseAfter = args[4].toDouble();

    MainWindowModel model;
    CurlHttpControl inet;
    SilentDialogs dialogs;
    ActivityLog log;
    NoExit exit;
    DownloadEngine engine(model, inet, dialogs, log, exit);

    int refreshes = 0;
    QObject::connect(&model, &MainWindowModel::changed, [&] {
        // The time-left label is redrawn only by the once-a-second display step.
        static QString last;
        const QString now = model.text(MainWindowModel::Label::TimeLeft);
        if (now != last) {
            last = now;
            ++refreshes;
        }
    });

    QElapsedTimer clock;
    qint64 pausedAt = -1;
    qint64 returnedAt = 0;
    bool ok = false;
    double seconds = 0;
    QTimer::singleShot(0, [&] {
        engine.URLMode = true;
        engine.SourceURL = url;
        engine.DestinationPath = dest;
        if (pauseAfter >= 0)
            QTimer::singleShot(int(pauseAfter * 1000), [&] {
                pausedAt = clock.nsecsElapsed();
                engine.CancelButton_Click();
            });
        clock.start();
        ok = engine.DownloadFileFromURL(url, dest, QString(), QString());
        returnedAt = clock.nsecsElapsed();
        seconds = returnedAt / 1e9;
        app.quit();
    });
    app.exec();

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("result %s\n", ok ? "complete" : "not-complete");
    std::printf("seconds %.3f\n", seconds);
    std::printf("status %s\n", qPrintable(model.text(MainWindowModel::Label::Status)));
    std::printf("peak_rss_kib %ld\n", usage.ru_maxrss);
    std::printf("refreshes %d\n", refreshes);
    if (pausedAt >= 0)
        std::printf("pause_ms %.1f\n", (returnedAt - pausedAt) / 1e6);
    return 0;
}
