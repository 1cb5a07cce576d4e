// The engine's check of an existing file, headless, for bench/verify.sh: a
// descriptor download whose file is already complete, so the check is all
// it does. Prints the seconds from start to "verified", whether the file
// was found intact, and the longest wait of the event loop between the
// ticks of a 10 ms timer during the check (what a window would feel).
#include "BenchSeams.h"

#include <transfer/CurlHttpClient.h>
#include <transfer/DownloadEngine.h>

#include <descriptor/DescriptorHeader.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3) {
        std::fprintf(stderr, "usage: verify_bench FILE DESCRIPTOR\n");
        return 2;
    }
    QString error;
    const auto header = readDescriptorHeader(args[2], &error);
    if (!header) {
        std::fprintf(stderr, "verify_bench: %s\n", qPrintable(error));
        return 2;
    }

    CurlHttpClient http;  // never asked: a complete file needs no request
    DownloadEngine engine(http);
    DownloadJob job;
    job.mode = DownloadJob::Mode::Descriptor;
    job.sourceUrl = QStringLiteral("http://127.0.0.1:9/unused");
    job.destination = args[1];
    job.descriptorPath = args[2];
    job.descriptor = *header;

    QElapsedTimer clock, sinceTick;
    qint64 longestGapNs = 0;
    QTimer ticks;
    ticks.setInterval(10);
    ticks.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticks, &QTimer::timeout, &app, [&] {
        longestGapNs = std::max(longestGapNs, sinceTick.nsecsElapsed());
        sinceTick.restart();
    });
    double seconds = 0;
    QObject::connect(&engine, &DownloadEngine::stateChanged, &app, [&](DownloadEngine::State state) {
        if (state == DownloadEngine::State::Checking)
            return;
        seconds = double(clock.nsecsElapsed()) / 1e9;
        longestGapNs = std::max(longestGapNs, sinceTick.nsecsElapsed());
        app.quit();
    });
    QTimer::singleShot(0, &app, [&] {
        clock.start();
        sinceTick.start();
        ticks.start();
        engine.start(job);
    });
    app.exec();

    const bool intact = engine.state() == DownloadEngine::State::Verified;
    std::printf("%.4f %s %.1f\n", seconds, intact ? "intact" : "bad", double(longestGapNs) / 1e6);
    return intact ? 0 : 1;
}
