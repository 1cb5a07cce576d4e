#include "Application.h"

#include "MainController.h"
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
    QApplication app(argc, argv);
    applyApplicationFont(app);
    app.setWindowIcon(windowIcon());

    QStringList args = app.arguments();
    if (!args.isEmpty())
        args.removeFirst();

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

    // Start-up runs inside the event loop: the descriptor start sits in a
    // transfer that lets window events run, which needs a running loop.
    QTimer::singleShot(0, &controller, [&controller, args] { controller.Form_Load(args); });
    return app.exec();
}
