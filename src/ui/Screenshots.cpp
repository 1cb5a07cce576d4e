#include "Screenshots.h"

#include "LogWindow.h"
#include "frmDownload.h"
#include "frmMessageBox.h"
#include "frmServers.h"

#include <transfer/MainWindowModel.h>
#include <util/ActivityLog.h>

#include <QApplication>
#include <QDir>
#include <QTime>

namespace {

bool save(QWidget &window, const QString &dir)
{
    window.show();
    window.raise();
    QApplication::processEvents();
    const bool ok = window.grab().save(QDir(dir).filePath(window.objectName() + QLatin1String(".png")));
    window.hide();
    return ok;
}

} // namespace

bool writeScreenshots(const QString &dir)
{
    QDir().mkpath(dir);
    bool ok = true;

    using Label = MainWindowModel::Label;
    MainWindowModel model;
    frmDownload main(model);
    model.setCaption(QStringLiteral("42% of example-24.04-amd64.iso Completed"));
    model.setText(Label::Status, QStringLiteral("Saving:"));
    model.setText(Label::Source, model.fitText(Label::Source, QStringLiteral("/home/user/Downloads/example-24.04-amd64.iso from https://mirror.example.org/releases/24.04/example-24.04-amd64.iso")));
    model.setText(Label::Time, QStringLiteral("6 min 12 sec (2.41 GB of 5.72 GB copied)"));
    model.setText(Label::To, model.fitText(Label::To, QStringLiteral("/home/user/Downloads/example-24.04-amd64.iso")));
    model.setText(Label::Rate, QStringLiteral("8.94 MB/Sec"));
    model.setUrlText(QStringLiteral("https://mirror.example.org/releases/24.04/example-24.04-amd64.iso"));
    model.setCancelEnabled(true);
    model.setCommand1Enabled(false);
    model.setServersVisible(true);
    model.setProgressValue(0);
    model.setProgressMax(5720);
    model.setProgressValue(2410);
    ok = save(main, dir) && ok;

    ActivityLog log;
    QTime clock(14, 3, 7);
    log.setClock([&clock] { return clock; });
    LogWindowHost host(log);
    const char *const lines[] = {"Connecting...", "Waiting for initial response from server...",
                                 "Reading response from server...", "Saving data to disk...",
                                 "Error 28: Timeout was reached (Nothing received for 60 seconds).",
                                 "Preparing to try again in 30 seconds...", "----------", "Resuming download...",
                                 "Connecting...", "Waiting for initial response from server...",
                                 "Reading response from server...", "Entered resume mode successfully.",
                                 "Saving data to disk..."};
    for (const char *line : lines) {
        log.add(QLatin1String(line));
        clock = clock.addSecs(17);
    }
    ok = save(*host.window(), dir) && ok;

    frmServers servers;
    servers.setServers({QStringLiteral("Europe (Frankfurt)"), QStringLiteral("North America (Chicago)")}, 0);
    ok = save(servers, dir) && ok;

    frmMessageBox prompt;
    ok = save(prompt, dir) && ok;
    return ok;
}
