#include "Application.h"

#include "CommandLine.h"
#include "MainController.h"
#include "ProcessExit.h"
#include "SingleInstance.h"
#include "WidgetWindowPort.h"

#include <transfer/CurlHttpClient.h>
#include <transfer/DownloadEngine.h>
#include <ui/MainWindowModel.h>
#include <ui/AppStyle.h>
#include <ui/Artwork.h>
#include <ui/LogWindow.h>
#include <ui/TrayIcon.h>
#include <app/WidgetDialogs.h>
#include <ui/MainWindow.h>
#include <util/ActivityLog.h>

#include <QApplication>
#include <QClipboard>
#include <QTimer>

namespace {

void connectWindow(MainWindow &window, TrayIcon &tray, MainController &controller)
{
    using C = MainController;
    QObject::connect(&tray, &TrayIcon::leftClicked, &controller, &C::trayLeftClick);
    QObject::connect(&tray, &TrayIcon::rightClicked, &controller, &C::trayRightClick);
    QObject::connect(&window, &MainWindow::urlEdited, &controller, &C::urlEdited);
    QObject::connect(&window, &MainWindow::pasteClicked, &controller, &C::pasteUrl);
    QObject::connect(&window, &MainWindow::downloadUrlClicked, &controller, &C::downloadUrl);
    QObject::connect(&window, &MainWindow::loadDescriptorClicked, &controller, &C::loadDescriptor);
    QObject::connect(&window, &MainWindow::pauseButtonClicked, &controller, &C::pauseButtonClicked);
    QObject::connect(&window, &MainWindow::serverButtonClicked, &controller, &C::chooseServer);
    QObject::connect(&window, &MainWindow::minimized, &controller, &C::windowMinimized);
    QObject::connect(&window, &MainWindow::closeRequested, &controller, &C::requestExit);
    QObject::connect(&window, &MainWindow::restoreRequested, &controller, &C::restoreWindow);
    QObject::connect(&window, &MainWindow::viewLogRequested, &controller, &C::showLog);
    QObject::connect(&window, &MainWindow::pauseRequested, &controller, &C::trayPause);
    QObject::connect(&window, &MainWindow::quitRequested, &controller, &C::requestExit);
}

} // namespace

int runOrvantaDownloader(int argc, char **argv)
{
    // Read before the display is opened: --help and --version need none.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    const CommandLine commandLine = CommandLine::parse(arguments);
    if (commandLine.action() != CommandLine::Action::Start)
        return commandLine.finishWithoutWindow();

    QApplication app(argc, argv);
    applyApplicationFont(app);
    app.setWindowIcon(programIcon());

    SingleInstance instance;
    if (const std::optional<int> handedOver = instance.handOverOrListen(commandLine.request()))
        return *handedOver;

    MainWindowModel model;
    CurlHttpClient http;
    WidgetDialogs dialogs;
    ActivityLog log;
    TrayIcon tray(programIcon());
    EventLoopExit processExit;
    DownloadEngine engine(http);
    engine.setClientFactory([] { return std::make_unique<CurlHttpClient>(); });

    MainWindow window(model);
    LogWindowHost logHost(log);
    WidgetWindowPort port(window, tray, logHost);
    MainController controller(
        model, engine, dialogs, log, processExit,
        [] { return std::optional<QString>(QGuiApplication::clipboard()->text()); }, port);
    QObject::connect(&model, &MainWindowModel::trayTipChanged, &tray, &TrayIcon::setTip);
    connectWindow(window, tray, controller);

    // A start handed over by a later launch is refused while this one has
    // work under way: it would replace a download the user is waiting for.
    instance.setBusyCheck([&engine] {
        return engine.isBusy() || engine.state() == DownloadEngine::State::WaitingToRetry ||
               engine.state() == DownloadEngine::State::Resuming;
    });
    QObject::connect(&instance, &SingleInstance::handedOver, &controller,
                     [&controller](const StartRequest &request, const QString &refusal) {
                         controller.handOver(request.descriptorPath, request.url, refusal);
                     });

    // Start-up runs inside the event loop, so that its dialogs open over a
    // window that is already shown.
    const StartRequest start = commandLine.request();
    QTimer::singleShot(0, &controller, [&controller, start] {
        controller.startUp(start.descriptorPath.isEmpty() ? QStringList() : QStringList(start.descriptorPath));
        if (!start.url.isEmpty())
            controller.handOver(QString(), start.url);
    });
    return app.exec();
}
