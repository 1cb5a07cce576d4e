// A headless download with the real engine, HTTP client and window
// presenter, for bench/throughput.sh and bench/multisource.sh: prints the
// result, elapsed seconds, user and system CPU seconds, peak RSS and, with
// --pause-after, how long a pause took to stop the transfer. With --ddf the
// URL is a descriptor, downloaded from all its servers at once unless
// --one-server is given.
#include "BenchSeams.h"

#include <app/DownloadPresenter.h>
#include <descriptor/DescriptorHeader.h>
#include <transfer/CurlHttpClient.h>
#include <transfer/DownloadEngine.h>
#include <ui/MainWindowModel.h>
#include <util/ActivityLog.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <sys/resource.h>

#include <cstdio>

namespace {

double seconds(const timeval &t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; }

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const bool described = args.size() >= 2 && args[1] == QLatin1String("--ddf");
    const QStringList rest = described ? args.mid(2) : args.mid(1);
    if (rest.size() < 2) {
        std::fprintf(stderr, "usage: download_bench URL DEST [--pause-after SECONDS]\n"
                             "       download_bench --ddf DESCRIPTOR DEST [--one-server]\n");
        return 2;
    }
    const double pauseAfter = rest.size() >= 4 && rest[2] == QLatin1String("--pause-after") ? rest[3].toDouble() : -1;
    DownloadJob job;
    job.sourceUrl = rest[0];
    job.destination = rest[1];
    if (described) {
        QString error;
        const std::optional<DescriptorHeader> header = readDescriptorHeader(rest[0], &error);
        if (!header) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 2;
        }
        job.mode = DownloadJob::Mode::Descriptor;
        job.descriptorPath = rest[0];
        job.descriptor = *header;
        job.sourceUrl = entryUrl(serverEntries(*header), 0);
        job.useAllServers = !rest.contains(QLatin1String("--one-server"));
    }

    MainWindowModel model;
    CurlHttpClient http;
    SilentDialogs dialogs;
    ActivityLog log;
    DownloadEngine engine(http);
    engine.setClientFactory([] { return std::make_unique<CurlHttpClient>(); });
    DownloadPresenter presenter(engine, model, log, dialogs);

    QElapsedTimer clock;
    qint64 pausedAt = -1, endedAt = 0;
    QObject::connect(&engine, &DownloadEngine::logLine, &app, [&](const QString &line) {
        if (qEnvironmentVariableIsSet("ORVANTA_BENCH_LOG"))
            std::fprintf(stderr, "log: %s\n", qPrintable(line));
    });
    QObject::connect(&engine, &DownloadEngine::stateChanged, &app, [&](DownloadEngine::State) {
        if (engine.isBusy() || engine.state() == DownloadEngine::State::Resuming)
            return;
        endedAt = clock.nsecsElapsed();
        app.quit();
    });
    QTimer::singleShot(0, &app, [&] {
        if (pauseAfter >= 0)
            QTimer::singleShot(int(pauseAfter * 1000), &app, [&] {
                pausedAt = clock.nsecsElapsed();
                engine.pause();
            });
        clock.start();
        engine.start(job);
    });
    app.exec();

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const bool complete = engine.state() == DownloadEngine::State::Completed || engine.state() == DownloadEngine::State::Verified;
    std::printf("result %s\n", complete ? "complete" : "not-complete");
    std::printf("seconds %.3f\n", double(endedAt) / 1e9);
    std::printf("user_seconds %.3f\n", seconds(usage.ru_utime));
    std::printf("system_seconds %.3f\n", seconds(usage.ru_stime));
    std::printf("status %s\n", qPrintable(model.text(MainWindowModel::Label::Status)));
    std::printf("peak_rss_kib %ld\n", usage.ru_maxrss);
    if (pausedAt >= 0)
        std::printf("pause_ms %.1f\n", double(endedAt - pausedAt) / 1e6);
    return complete || pausedAt >= 0 ? 0 : 1;
}
