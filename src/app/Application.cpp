#include "Application.h"

#include "MainController.h"
#include "ProcessExit.h"
#include "WidgetWindowPort.h"

#include <transfer/CurlHttpClient.h>
#include <transfer/DownloadEngine.h>
#include <transfer/MainWindowModel.h>
#include <ui/AppStyle.h>
#include <ui/Artwork.h>
#include <ui/LogWindow.h>
#include <ui/Screenshots.h>
#include <ui/TrayIcon.h>
#include <ui/WidgetDialogs.h>
#include <ui/frmDownload.h>
#include <util/ActivityLog.h>

#include <QApplication>
#include <QClipboard>
#include <QTimer>

namespace {

void connectWindow(frmDownload &window, TrayIcon &tray, MainController &controller)
{
    using C = MainController;
    QObject::connect(&tray, &TrayIcon::leftClicked, &controller, &C::trayLeftClick);
    QObject::connect(&tray, &TrayIcon::rightClicked, &controller, &C::trayRightClick);
    QObject::connect(&window, &frmDownload::txtURLEdited, &controller, &C::urlEdited);
    QObject::connect(&window, &frmDownload::cmdPasteClicked, &controller, &C::pasteUrl);
    QObject::connect(&window, &frmDownload::cmdURLClicked, &controller, &C::downloadUrl);
    QObject::connect(&window, &frmDownload::command1Clicked, &controller, &C::loadDescriptor);
    QObject::connect(&window, &frmDownload::cancelButtonClicked, &controller, &C::pauseButtonClicked);
    QObject::connect(&window, &frmDownload::cmdServersClicked, &controller, &C::chooseServer);
    QObject::connect(&window, &frmDownload::minimized, &controller, &C::windowMinimized);
    QObject::connect(&window, &frmDownload::closeRequested, &controller, &C::requestExit);
    QObject::connect(&window, &frmDownload::restoreTriggered, &controller, &C::restoreWindow);
    QObject::connect(&window, &frmDownload::viewLogTriggered, &controller, &C::showLog);
    QObject::connect(&window, &frmDownload::pauseTriggered, &controller, &C::trayPause);
    QObject::connect(&window, &frmDownload::quitTriggered, &controller, &C::requestExit);
}

} // namespace

int runOrvantaDownloader(int argc, char **argv)
{
    QApplication app(argc, argv);
    applyApplicationFont(app);
    app.setWindowIcon(windowIcon());

    const QString screenshotDir = qEnvironmentVariable("ORVANTA_SCREENSHOT_DIR");
    if (!screenshotDir.isEmpty())
        return writeScreenshots(screenshotDir) ? 0 : 1;

    QStringList args = app.arguments();
    if (!args.isEmpty())
        args.removeFirst();

    MainWindowModel model;
    CurlHttpClient http;
    WidgetDialogs dialogs;
    ActivityLog log;
    TrayIcon tray(windowIcon());
    EventLoopExit processExit;
    DownloadEngine engine(http);

    frmDownload window(model);
    LogWindowHost logHost(log);
    WidgetWindowPort port(window, tray, logHost);
    MainController controller(
        model, engine, dialogs, log, processExit,
        [] { return std::optional<QString>(QGuiApplication::clipboard()->text()); }, port);
    QObject::connect(&model, &MainWindowModel::trayTipChanged, &tray, &TrayIcon::setTip);
    connectWindow(window, tray, controller);

    // Start-up runs inside the event loop, so that its dialogs open over a
    // window that is already shown.
    QTimer::singleShot(0, &controller, [&controller, args] { controller.startUp(args); });
    return app.exec();
}
