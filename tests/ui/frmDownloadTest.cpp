#include <ui/UserControl1.h>
#include <ui/frmDownload.h>

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using Label = MainWindowModel::Label;

namespace {

struct Window {
    MainWindowModel model;
    frmDownload window{model};
    template <typename T = QWidget>
    T *child(const char *name) const
    {
        T *found = window.findChild<T *>(QLatin1String(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
};

struct Placement {
    const char *name;
    QRect rect; // pixels
};

} // namespace

TEST(frmDownload, ControlsSitWhereTheLayoutPutsThem)
{
    const Placement table[] = {
        {"LblInfo", {10, 4, 530, 20}},       {"txtURL", {9, 30, 528, 21}},
        {"cmdPaste", {423, 52, 114, 26}},    {"StatusLabel", {10, 96, 410, 13}},
        {"SourceLabel", {10, 115, 410, 13}}, {"ProgressBar", {10, 137, 529, 17}},
        {"EstimatedTimeLeft", {10, 159, 97, 17}}, {"TimeLabel", {107, 159, 432, 17}},
        {"DownloadTo", {10, 175, 105, 17}},  {"ToLabel", {107, 175, 432, 15}},
        {"TransferRate", {9, 191, 105, 17}}, {"RateLabel", {107, 191, 433, 17}},
        {"cmdServers", {10, 271, 27, 27}},   {"cmdURL", {105, 271, 115, 31}},
        {"Command1", {221, 271, 115, 31}},   {"CancelButton", {337, 271, 115, 31}},
    };
    Window w;
    for (const Placement &p : table) {
        QWidget *control = w.child(p.name);
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(control->geometry(), p.rect) << p.name;
    }
    EXPECT_NE(w.window.findChild<UserControl1 *>(QStringLiteral("ProgressBar")), nullptr);
}

TEST(frmDownload, StartsWithDesignCaptionsAndStates)
{
    Window w;
    EXPECT_EQ(w.window.windowTitle(), QStringLiteral("Orvanta Downloader"));
    EXPECT_EQ(w.child<QLabel>("LblInfo")->text(),
              QStringLiteral("Please enter a URL or select a Orvanta Downloader Data file (*.ddf)..."));
    EXPECT_EQ(w.child<QLabel>("StatusLabel")->text(), QStringLiteral("StatusLabel"));
    EXPECT_EQ(w.child<QLabel>("EstimatedTimeLeft")->text(), QStringLiteral("Estimated time left:"));
    EXPECT_EQ(w.child<QLabel>("DownloadTo")->text(), QStringLiteral("Download to:"));
    EXPECT_EQ(w.child<QLabel>("TransferRate")->text(), QStringLiteral("Transfer rate:"));
    EXPECT_EQ(w.child<QPushButton>("cmdPaste")->text(), QStringLiteral("Paste from Clipboard"));
    EXPECT_EQ(w.child<QPushButton>("cmdURL")->text(), QStringLiteral("Download from URL"));
    EXPECT_EQ(w.child<QPushButton>("Command1")->text(), QStringLiteral("Load DDF Data File"));
    EXPECT_EQ(w.child<QPushButton>("CancelButton")->text(), QStringLiteral("Pause Download..."));
    EXPECT_TRUE(w.child<QLineEdit>("txtURL")->text().isEmpty());

    EXPECT_FALSE(w.child("cmdURL")->isEnabled());
    EXPECT_FALSE(w.child("CancelButton")->isEnabled());
    EXPECT_TRUE(w.child("Command1")->isEnabled());
    EXPECT_TRUE(w.child("cmdServers")->isHidden());
    EXPECT_TRUE(w.child<UserControl1>("ProgressBar")->fillRect().isEmpty());

    for (QPushButton *button : w.window.findChildren<QPushButton *>()) {
        EXPECT_FALSE(button->isDefault()) << button->objectName().toStdString();
        EXPECT_FALSE(button->autoDefault()) << button->objectName().toStdString();
    }
}

TEST(frmDownload, FixedSizeWithoutMaximizeBox)
{
    Window w;
    EXPECT_EQ(w.window.minimumSize(), QSize(549, 321));
    EXPECT_EQ(w.window.maximumSize(), QSize(549, 321));
    const Qt::WindowFlags flags = w.window.windowFlags();
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::Window);
}

TEST(frmDownload, TabOrderFollowsTabIndexes)
{
    Window w;
    w.model.setCmdURLEnabled(true);
    w.model.setCancelEnabled(true);
    w.model.setServersVisible(true);
    QStringList order;
    QWidget *widget = w.child("cmdURL");
    for (int i = 0; i < 40 && order.size() < 6; ++i, widget = widget->nextInFocusChain())
        if (widget->focusPolicy() & Qt::TabFocus)
            order << widget->objectName();
    EXPECT_EQ(order, (QStringList{"cmdURL", "Command1", "CancelButton", "cmdServers", "txtURL", "cmdPaste"}));
    EXPECT_EQ(w.child("ProgressBar")->focusPolicy(), Qt::NoFocus);
}

TEST(frmDownload, MirrorsTheModel)
{
    Window w;
    w.model.setText(Label::Status, QStringLiteral("Downloading..."));
    w.model.setText(Label::Source, QStringLiteral("http://h/f"));
    w.model.setText(Label::Time, QStringLiteral("1 min"));
    w.model.setText(Label::To, QStringLiteral("/tmp/f"));
    w.model.setText(Label::Rate, QStringLiteral("1 KB/Sec"));
    w.model.setCaption(QStringLiteral("42% done"));
    w.model.setCmdURLEnabled(true);
    w.model.setCommand1Enabled(false);
    w.model.setCancelEnabled(true);
    w.model.setCancelCaption(QStringLiteral("Resume Download..."));
    w.model.setServersVisible(true);
    w.model.setPauseChecked(true);

    EXPECT_EQ(w.child<QLabel>("StatusLabel")->text(), QStringLiteral("Downloading..."));
    EXPECT_EQ(w.child<QLabel>("SourceLabel")->text(), QStringLiteral("http://h/f"));
    EXPECT_EQ(w.child<QLabel>("TimeLabel")->text(), QStringLiteral("1 min"));
    EXPECT_EQ(w.child<QLabel>("ToLabel")->text(), QStringLiteral("/tmp/f"));
    EXPECT_EQ(w.child<QLabel>("RateLabel")->text(), QStringLiteral("1 KB/Sec"));
    EXPECT_EQ(w.window.windowTitle(), QStringLiteral("42% done"));
    EXPECT_TRUE(w.child("cmdURL")->isEnabled());
    EXPECT_FALSE(w.child("Command1")->isEnabled());
    EXPECT_TRUE(w.child("CancelButton")->isEnabled());
    EXPECT_EQ(w.child<QPushButton>("CancelButton")->text(), QStringLiteral("Resume Download..."));
    EXPECT_FALSE(w.child("cmdServers")->isHidden());
    EXPECT_TRUE(w.window.trayMenu()->findChild<QAction *>(QStringLiteral("Pause"))->isChecked());

    w.model.setServersVisible(false);
    w.model.setPauseChecked(false);
    EXPECT_TRUE(w.child("cmdServers")->isHidden());
    EXPECT_FALSE(w.window.trayMenu()->findChild<QAction *>(QStringLiteral("Pause"))->isChecked());
}

TEST(frmDownload, ProgressBarFollowsTheModelInOrder)
{
    Window w;
    w.model.setProgressValue(0);
    w.model.setProgressMax(1000);
    w.model.setProgressValue(1000);
    EXPECT_EQ(w.child<UserControl1>("ProgressBar")->fillRect(), QRect(2, 2, 525, 13));
    w.model.setProgressValue(0);
    EXPECT_TRUE(w.child<UserControl1>("ProgressBar")->fillRect().isEmpty());
}

TEST(frmDownload, UserTypingIsReportedButModelTextIsNot)
{
    Window w;
    QSignalSpy edited(&w.window, &frmDownload::txtURLEdited);
    auto *box = w.child<QLineEdit>("txtURL");
    QTest::keyClicks(box, QStringLiteral("www.a"));
    ASSERT_EQ(edited.count(), 5);
    EXPECT_EQ(edited.last().at(0).toString(), QStringLiteral("www.a"));
    EXPECT_EQ(w.model.urlText(), QStringLiteral("www.a"));

    w.model.setUrlText(QStringLiteral("http://example.org/file"));
    EXPECT_EQ(box->text(), QStringLiteral("http://example.org/file"));
    EXPECT_EQ(edited.count(), 5);
}

TEST(frmDownload, TypingInTheMiddleKeepsTheCaret)
{
    Window w;
    auto *box = w.child<QLineEdit>("txtURL");
    w.model.setUrlText(QStringLiteral("http://ab"));
    box->setCursorPosition(7);
    QTest::keyClick(box, Qt::Key_X, Qt::NoModifier);
    EXPECT_EQ(box->text(), QStringLiteral("http://xab"));
    EXPECT_EQ(box->cursorPosition(), 8);
}

TEST(frmDownload, FitterShortensToTheLabelWidth)
{
    Window w;
    const QString longPath = QStringLiteral("/home/user/") + QString(300, QLatin1Char('d')) + QStringLiteral("/file.iso");
    const QString fitted = w.model.fitText(Label::To, longPath);
    EXPECT_LT(fitted.size(), longPath.size());
    EXPECT_TRUE(fitted.contains(QStringLiteral("...")));
    auto *label = w.child<QLabel>("ToLabel");
    EXPECT_LE(label->fontMetrics().horizontalAdvance(fitted), label->width());
    EXPECT_EQ(w.model.fitText(Label::Rate, QStringLiteral("1 KB/Sec")), QStringLiteral("1 KB/Sec"));
}

TEST(frmDownload, TrayMenuHasFiveItemsInOrder)
{
    Window w;
    QMenu *menu = w.window.trayMenu();
    EXPECT_EQ(menu->objectName(), QStringLiteral("mnu_1"));
    EXPECT_EQ(menu->title(), QStringLiteral("TrayMenu"));
    const QList<QAction *> actions = menu->actions();
    ASSERT_EQ(actions.size(), 5);
    const char *const names[] = {"Restore", "ViewLog", "Pause", "Spacer1", "End"};
    const char *const captions[] = {"Restore", "View Log", "Pause", "", "Quit"};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(actions[i]->objectName(), QLatin1String(names[i]));
        EXPECT_EQ(actions[i]->text(), QLatin1String(captions[i]));
        EXPECT_EQ(actions[i]->isSeparator(), i == 3);
        EXPECT_TRUE(actions[i]->isEnabled());
        EXPECT_TRUE(actions[i]->isVisible());
    }
    EXPECT_TRUE(actions[2]->isCheckable());
    EXPECT_FALSE(actions[2]->isChecked());
}

TEST(frmDownload, ActionsAreReportedBySignals)
{
    Window w;
    w.model.setCmdURLEnabled(true);
    w.model.setCancelEnabled(true);
    w.model.setServersVisible(true);
    struct Case {
        const char *name;
        void (frmDownload::*signal)();
    };
    const Case buttons[] = {{"cmdPaste", &frmDownload::cmdPasteClicked}, {"cmdURL", &frmDownload::cmdURLClicked},
                            {"Command1", &frmDownload::command1Clicked}, {"CancelButton", &frmDownload::cancelButtonClicked},
                            {"cmdServers", &frmDownload::cmdServersClicked}};
    for (const Case &c : buttons) {
        QSignalSpy spy(&w.window, c.signal);
        w.child<QPushButton>(c.name)->click();
        EXPECT_EQ(spy.count(), 1) << c.name;
    }
    const Case items[] = {{"Restore", &frmDownload::restoreTriggered}, {"ViewLog", &frmDownload::viewLogTriggered},
                          {"Pause", &frmDownload::pauseTriggered}, {"End", &frmDownload::quitTriggered}};
    for (const Case &c : items) {
        QSignalSpy spy(&w.window, c.signal);
        w.window.trayMenu()->findChild<QAction *>(QLatin1String(c.name))->trigger();
        EXPECT_EQ(spy.count(), 1) << c.name;
    }
}

TEST(frmDownload, PauseCheckMarkOnlyFollowsTheModel)
{
    Window w;
    auto *pause = w.window.trayMenu()->findChild<QAction *>(QStringLiteral("Pause"));
    pause->trigger(); // nothing runs: the logic leaves the model unchecked
    EXPECT_FALSE(pause->isChecked());
    QObject::connect(&w.window, &frmDownload::pauseTriggered, &w.model, [&] { w.model.setPauseChecked(true); });
    pause->trigger();
    EXPECT_TRUE(pause->isChecked());
}

TEST(frmDownload, CloseIsRefusedAndReported)
{
    Window w;
    w.window.show();
    QSignalSpy spy(&w.window, &frmDownload::closeRequested);
    EXPECT_FALSE(w.window.close());
    EXPECT_TRUE(w.window.isVisible());
    EXPECT_EQ(spy.count(), 1);
}

TEST(frmDownload, MinimizingIsReported)
{
    Window w;
    w.window.show();
    QSignalSpy spy(&w.window, &frmDownload::minimized);
    w.window.setWindowState(Qt::WindowMinimized);
    EXPECT_EQ(spy.count(), 1);
    w.window.setWindowState(Qt::WindowNoState);
    EXPECT_EQ(spy.count(), 1);
}

TEST(frmDownload, EnterOrSpaceClicksOnlyTheFocusedButton)
{
    Window w;
    w.model.setCmdURLEnabled(true);
    w.window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w.window));
    QSignalSpy paste(&w.window, &frmDownload::cmdPasteClicked);
    QSignalSpy url(&w.window, &frmDownload::cmdURLClicked);
    QSignalSpy load(&w.window, &frmDownload::command1Clicked);

    const Qt::Key keys[] = {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space};
    for (Qt::Key key : keys)
        QTest::keyClick(w.child("cmdPaste"), key);
    EXPECT_EQ(paste.count(), 3);

    w.window.focusDownloadButton();
    EXPECT_EQ(w.window.focusWidget(), w.child("cmdURL"));
    QTest::keyClick(w.child("cmdURL"), Qt::Key_Return);
    EXPECT_EQ(url.count(), 1);

    // Enter or Escape in the URL box means nothing to the window.
    QTest::keyClick(w.child("txtURL"), Qt::Key_Return);
    QTest::keyClick(w.child("txtURL"), Qt::Key_Escape);
    EXPECT_EQ(url.count(), 1);
    EXPECT_EQ(load.count(), 0);
    EXPECT_EQ(paste.count(), 3);

    // A disabled button ignores Enter.
    w.model.setCommand1Enabled(false);
    QTest::keyClick(w.child("Command1"), Qt::Key_Return);
    EXPECT_EQ(load.count(), 0);
}

TEST(frmDownload, FirstFocusGoesToTheLowestEnabledTabIndex)
{
    Window w;
    w.window.show();
    EXPECT_EQ(w.window.focusWidget(), w.child("Command1"));
}
