// Draws each window of the program with sample content and saves it as a
// PNG in the folder given on the command line: main-window.png,
// log-window.png, server-choice.png and file-exists.png.

#include <ui/AppStyle.h>
#include <ui/Artwork.h>
#include <ui/FileExistsDialog.h>
#include <ui/LogWindow.h>
#include <ui/MainWindow.h>
#include <ui/MainWindowModel.h>
#include <ui/ServerChoiceDialog.h>
#include <util/ActivityLog.h>

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QTime>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <vector>

namespace {

void fillMainWindow(MainWindowModel &model)
{
    using Label = MainWindowModel::Label;
    model.setWindowTitle(QStringLiteral("42% of example-24.04-amd64.iso Completed"));
    model.setText(Label::Status, QStringLiteral("Saving:"));
    model.setText(Label::Source, model.fitText(Label::Source, QStringLiteral(
        "/home/user/Downloads/example-24.04-amd64.iso from https://mirror.example.org/releases/24.04/example-24.04-amd64.iso")));
    model.setText(Label::TimeLeft, QStringLiteral("6 min 12 sec (2.41 GB of 5.72 GB copied)"));
    model.setText(Label::Destination,
                  model.fitText(Label::Destination, QStringLiteral("/home/user/Downloads/example-24.04-amd64.iso")));
    model.setText(Label::Rate, QStringLiteral("8.94 MB/Sec"));
    model.setUrlText(QStringLiteral("https://mirror.example.org/releases/24.04/example-24.04-amd64.iso"));
    model.setPauseButtonEnabled(true);
    model.setLoadDescriptorEnabled(false);
    model.setServerButtonVisible(true);
    model.setProgressValue(0);
    model.setProgressMax(5720);
    model.setProgressValue(2410);
}

void fillLog(ActivityLog &log)
{
    QTime clock(14, 3, 7);
    log.setClock([&clock] { return clock; });
    const char *const lines[] = {"Connecting...", "Waiting for initial response from server...",
                                 "Reading response from server...", "Saving data to disk...",
                                 "libcurl error 28: Timeout was reached (Nothing received for 60 seconds).",
                                 "Preparing to try again in 30 seconds...", "----------", "Resuming download...",
                                 "Connecting...", "Waiting for initial response from server...",
                                 "Reading response from server...", "Entered resume mode successfully.",
                                 "Saving data to disk..."};
    for (const char *line : lines) {
        log.add(QLatin1String(line));
        clock = clock.addSecs(17);
    }
    log.setClock({});
}

// Shows one window after the other, saves each once it has been painted,
// and quits the event loop after the last; `failed` counts unwritten files.
class Shooter : public QObject {
public:
    struct Shot {
        QWidget *window;
        QString fileName;
    };
    Shooter(std::vector<Shot> shots, QDir dir) : m_shots(std::move(shots)), m_dir(std::move(dir)) {}

    void start() { QTimer::singleShot(0, this, [this] { next(); }); }
    int failed() const { return m_failed; }

private:
    void next()
    {
        if (m_index == m_shots.size()) {
            QCoreApplication::quit();
            return;
        }
        QWidget *window = m_shots[m_index].window;
        window->show();
        window->raise();
        // Time for the window system to map and paint the window.
        QTimer::singleShot(300, this, [this, window] {
            const QString path = m_dir.filePath(m_shots[m_index].fileName);
            if (!window->grab().save(path)) {
                std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
                ++m_failed;
            }
            window->hide();
            ++m_index;
            next();
        });
    }

    std::vector<Shot> m_shots;
    QDir m_dir;
    size_t m_index = 0;
    int m_failed = 0;
};

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("orvanta-screenshots"));
    applyApplicationFont(app);
    app.setWindowIcon(programIcon());

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Saves a picture of each window of Orvanta Downloader."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("folder"), QStringLiteral("Where the PNG files go."));
    parser.process(app);
    if (parser.positionalArguments().size() != 1)
        parser.showHelp(2);
    const QDir dir(parser.positionalArguments().constFirst());
    if (!QDir().mkpath(dir.path())) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(dir.path()));
        return 1;
    }

    MainWindowModel model;
    MainWindow mainWindow(model);
    fillMainWindow(model);

    ActivityLog log;
    LogWindowHost logHost(log);
    fillLog(log);

    ServerChoiceDialog servers;
    servers.setServers({QStringLiteral("Europe (Frankfurt)"), QStringLiteral("North America (Chicago)")}, 0);
    FileExistsDialog fileExists;

    Shooter shooter({{&mainWindow, QStringLiteral("main-window.png")},
                     {logHost.window(), QStringLiteral("log-window.png")},
                     {&servers, QStringLiteral("server-choice.png")},
                     {&fileExists, QStringLiteral("file-exists.png")}},
                    dir);
    shooter.start();
    app.exec();
    return shooter.failed() ? 1 : 0;
}
