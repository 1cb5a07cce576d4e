// Runs DownloadEngine::VerifyExistingFile headless on one file against its
// descriptor, for bench/verify.sh: prints the elapsed seconds, the offset
// the check returned and the number of event-loop turns it allowed.
#include "BenchSeams.h"

#include <transfer/DownloadEngine.h>
#include <transfer/HttpControl.h>
#include <util/ActivityLog.h>

#include <descriptor/DescriptorHeader.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>

#include <cstdio>

namespace {

// Verification talks to the network control only to let events run.
class IdleControl : public HttpControl {
public:
    int eventTurns = 0;
    void setURL(const QString &) override {}
    void setUserName(const QString &) override {}
    void setPassword(const QString &) override {}
    void Execute(const QString &) override {}
    bool StillExecuting() const override { return false; }
    void Cancel() override {}
    QString requestAddress() const override { return {}; }
    QString GetHeader() const override { return {}; }
    QString GetHeader(const QString &) const override { return {}; }
    QString failureText() const override { return {}; }
    Chunk GetChunk(qsizetype, const std::function<bool()> &) override { return {}; }
    void processEvents(bool) override
    {
        ++eventTurns;
        QCoreApplication::processEvents();
    }
};


} // namespace

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

    MainWindowModel model;
    IdleControl inet;
    SilentDialogs dialogs;
    ActivityLog log;
    NoExit exit;
    DownloadEngine engine(model, inet, dialogs, log, exit);
    engine.DDF = *header;
    engine.ExpectedSize = header->fileSize;

    QElapsedTimer timer;
    timer.start();
    const qint64 result = engine.VerifyExistingFile(args[1], args[2], 3083);
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    const bool intact = result == QFileInfo(args[1]).size() && !engine.RepairMode;
    std::printf("%.4f %lld %s %d\n", seconds, static_cast<long long>(result), intact ? "intact" : "bad",
                inet.eventTurns);
    return intact ? 0 : 1;
}
