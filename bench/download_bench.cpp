// A headless download with the real engine, HTTP client and window
// presenter, for bench/throughput.sh, bench/large.sh and the mirror benches:
// prints the result, elapsed seconds, user and system CPU seconds, peak RSS
// and, with --pause-after, how long a pause took to stop the transfer. With
// --ddf the download is the descriptor's, every block and chunk checked;
// with --all-servers as well, from all its servers at once.
#include "BenchSeams.h"

#include <app/DownloadPresenter.h>
#include <transfer/CurlHttpClient.h>
#include <transfer/DownloadEngine.h>
#include <ui/MainWindowModel.h>
#include <util/ActivityLog.h>

#include <descriptor/DescriptorTrailer.h>

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
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: download_bench URL DEST [--pause-after SECONDS | --ddf DESCRIPTOR [--all-servers]]\n");
        return 2;
    }
    const double pauseAfter = args.size() >= 5 && args[3] == QLatin1String("--pause-after") ? args[4].toDouble() : -1;
    const QString ddf = args.size() >= 5 && args[3] == QLatin1String("--ddf") ? args[4] : QString();

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
        DownloadJob job;
        job.sourceUrl = args[1];
        job.destination = args[2];
        if (!ddf.isEmpty()) {
            QString error;
            qint64 length = 0;
            const std::optional<DescriptorHeader> header = readDescriptorHeader(ddf, &error, &length);
            if (!header) {
                std::fprintf(stderr, "download_bench: %s\n", qPrintable(error));
                app.exit(2);
                return;
            }
            job.mode = DownloadJob::Mode::Descriptor;
            job.descriptorPath = ddf;
            job.descriptor = *header;
            job.useAllServers = args.contains(QLatin1String("--all-servers"));
            job.strongHashes = readTrailer(ddf, *header, length).trailer;
        }
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
