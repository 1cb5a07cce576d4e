#include "Application.h"

#include "CommandLine.h"
#include "MainController.h"
#include "SingleInstance.h"
#include "WidgetWindowPort.h"

#include <transfer/CurlHttpControl.h>
#include <transfer/DownloadEngine.h>
#include <ui/MainWindowModel.h>
#include <ui/AppStyle.h>
#include <ui/Artwork.h>
#include <ui/LogWindow.h>
#include <ui/TrayIcon.h>
#include <app/WidgetDialogs.h>
#include <ui/MainWindow.h>
#include <util/ActivityLog.h>
#include <util/ProcessExit.h>

#include <QApplication>
#include <QClipboard>
#include <QTimer>

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
    app.setWindowIcon(windowIcon());

    SingleInstance instance;
    if (const std::optional<int> handedOver = instance.handOverOrListen(commandLine.request()))
        return *handedOver;

    MainWindowModel model;
    CurlHttpControl inet;
    WidgetDialogs dialogs;
    ActivityLog log;
    TrayIcon tray(windowIcon());
    RealProcessExit processExit;
    processExit.beforeExit = [&tray] { tray.remove(); };
    DownloadEngine engine(model, inet, dialogs, log, processExit);

    MainWindow window(model);
    LogWindowHost logHost(log);
    WidgetWindowPort port(window, tray, logHost);
    MainController controller(
        model, engine, dialogs, log, processExit,
        [] { return std::optional<QString>(QGuiApplication::clipboard()->text()); }, port);

    QObject::connect(&model, &MainWindowModel::trayTipChanged, &tray, &TrayIcon::setTip);
    QObject::connect(&tray, &TrayIcon::leftClicked, &controller, &MainController::trayLeftClick);
    QObject::connect(&tray, &TrayIcon::rightClicked, &controller, &MainController::trayRightClick);

    QObject::connect(&window, &MainWindow::urlEdited, &controller, &MainController::txtURL_Change);
    QObject::connect(&window, &MainWindow::pasteClicked, &controller, &MainController::cmdPaste_Click);
    QObject::connect(&window, &MainWindow::downloadUrlClicked, &controller, &MainController::cmdURL_Click);
    QObject::connect(&window, &MainWindow::loadDescriptorClicked, &controller, &MainController::Command1_Click);
    QObject::connect(&window, &MainWindow::pauseButtonClicked, &engine, &DownloadEngine::CancelButton_Click);
    QObject::connect(&window, &MainWindow::serverButtonClicked, &controller, &MainController::cmdServers_Click);
    QObject::connect(&window, &MainWindow::minimized, &controller, &MainController::Form_Resize);
    QObject::connect(&window, &MainWindow::closeRequested, &controller, &MainController::Form_QueryUnload);
    QObject::connect(&window, &MainWindow::restoreRequested, &controller, &MainController::Restore_Click);
    QObject::connect(&window, &MainWindow::viewLogRequested, &controller, &MainController::ViewLog_Click);
    QObject::connect(&window, &MainWindow::pauseRequested, &controller, &MainController::Pause_Click);
    QObject::connect(&window, &MainWindow::quitRequested, &controller, &MainController::End_Click);

    instance.setBusyCheck([&engine] { return engine.transferActive() || engine.RetryPending; });
    QObject::connect(&instance, &SingleInstance::handedOver, &controller,
                     [&controller](const StartRequest &request, const QString &refusal) {
                         controller.handOver(request.descriptorPath, request.url, refusal);
                     });

    // Start-up runs inside the event loop: the descriptor start sits in a
    // transfer that lets window events run, which needs a running loop.
    const StartRequest start = commandLine.request();
    QTimer::singleShot(0, &controller, [&controller, start] {
        controller.Form_Load(start.descriptorPath.isEmpty() ? QStringList() : QStringList(start.descriptorPath));
        if (!start.url.isEmpty())
            controller.handOver(QString(), start.url);
    });
    return app.exec();
}
