#include <ui/LogWindow.h>
#include <ui/MainWindow.h>
#include <util/ActivityLog.h>

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

class MainWindowTest : public testing::Test {
protected:
    MainWindowModel model;
    MainWindow window{model};

    template <typename T = QWidget> T *child(const char *name) const
    {
        T *found = window.findChild<T *>(QLatin1String(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    QAction *menuItem(const char *name) const { return window.trayMenu()->findChild<QAction *>(QLatin1String(name)); }
};

TEST_F(MainWindowTest, EachButtonAndTrayItemEmitsItsOwnSignalOnly)
{
    const struct {
        const char *name;  // object name of the button or tray menu item
        void (MainWindow::*signal)();
    } commands[] = {
        {"pasteButton", &MainWindow::pasteClicked}, {"downloadUrlButton", &MainWindow::downloadUrlClicked},
        {"loadDescriptorButton", &MainWindow::loadDescriptorClicked}, {"pauseButton", &MainWindow::pauseButtonClicked},
        {"serverButton", &MainWindow::serverButtonClicked}, {"restoreAction", &MainWindow::restoreRequested},
        {"viewLogAction", &MainWindow::viewLogRequested}, {"pauseAction", &MainWindow::pauseRequested},
        {"quitAction", &MainWindow::quitRequested},
    };
    model.setDownloadUrlEnabled(true), model.setPauseButtonEnabled(true), model.setServerButtonVisible(true);
    window.show();
    std::vector<std::unique_ptr<QSignalSpy>> spies;
    for (const auto &c : commands)
        spies.push_back(std::make_unique<QSignalSpy>(&window, c.signal));
    QSignalSpy edited(&window, &MainWindow::urlEdited);
    for (size_t i = 0; i < std::size(commands); ++i) {
        SCOPED_TRACE(commands[i].name);
        if (QAction *item = menuItem(commands[i].name))
            item->trigger();
        else if (auto *button = child<QPushButton>(commands[i].name))
            QTest::mouseClick(button, Qt::LeftButton);
        for (size_t j = 0; j < spies.size(); ++j)
            EXPECT_EQ(spies[j]->count(), j <= i ? 1 : 0) << commands[j].name;
    }
    EXPECT_EQ(edited.count(), 0);
    EXPECT_FALSE(menuItem("pauseAction")->isChecked()) << "Qt's own toggle must not override the model";
    QStringList shown;
    for (const QAction *item : window.trayMenu()->actions())
        shown << (item->isSeparator() ? QStringLiteral("-") : item->text());
    EXPECT_EQ(shown, QStringList({"Restore", "View Log", "Pause", "-", "Quit"}));
}

// Typing is reported, paste shows the model's text unreported, and Enter in
// the box starts the download whenever "Download from URL" could.
TEST_F(MainWindowTest, TypingPasteAndEnterInTheUrlBox)
{
    QSignalSpy edited(&window, &MainWindow::urlEdited);
    QSignalSpy started(&window, &MainWindow::downloadUrlClicked);
    auto *box = child<QLineEdit>("urlEdit");
    QTest::keyClicks(box, QStringLiteral("www.a"));
    ASSERT_EQ(edited.count(), 5);
    EXPECT_EQ(edited.last().at(0).toString(), QStringLiteral("www.a"));
    EXPECT_EQ(model.urlText(), QStringLiteral("www.a"));
    // Typing on: the model's echo of the same text must not move the caret.
    box->setCursorPosition(1);
    QTest::keyClick(box, Qt::Key_X);
    EXPECT_EQ(box->text(), QStringLiteral("wxww.a"));
    EXPECT_EQ(box->cursorPosition(), 2);
    // The application answers paste by writing the clipboard into the model.
    const QString clipboard = QStringLiteral("  http://127.0.0.1/a b.iso ");
    QObject::connect(&window, &MainWindow::pasteClicked, &model, [this, clipboard] { model.setUrlText(clipboard); });
    QTest::mouseClick(child("pasteButton"), Qt::LeftButton);
    EXPECT_EQ(box->text(), clipboard);
    EXPECT_EQ(edited.count(), 6);
    for (const bool enabled : {false, true}) {
        model.setDownloadUrlEnabled(enabled);
        QTest::keyClick(box, Qt::Key_Return);
        EXPECT_EQ(started.count(), enabled ? 1 : 0) << "enabled " << enabled;
    }
}

// Close and minimize are only reported: the application decides what follows.
TEST_F(MainWindowTest, MinimizeAndCloseAreLeftToTheApplication)
{
    QSignalSpy minimized(&window, &MainWindow::minimized);
    QSignalSpy closing(&window, &MainWindow::closeRequested);
    window.show();
    EXPECT_FALSE(window.close());
    EXPECT_EQ(closing.count(), 1);
    window.setWindowState(Qt::WindowMaximized);
    EXPECT_EQ(minimized.count(), 0);
    window.setWindowState(Qt::WindowMinimized);
    EXPECT_EQ(minimized.count(), 1);
}

TEST(MainWindowFitter, ShortensPathsOnlyWhileTheWindowLives)
{
    MainWindowModel model;
    const QString path = QString(300, 'a') + "/file.bin";
    {
        MainWindow window(model);
        const QString fitted = model.fitText(MainWindowModel::Label::Destination, path);
        EXPECT_TRUE(fitted.size() < path.size() && fitted.endsWith("/file.bin")) << fitted.toStdString();
    }
    EXPECT_EQ(model.fitText(MainWindowModel::Label::Destination, path), path);
}

// A closed log window is deleted; the next entry makes a hidden one with the whole log.
TEST(LogWindowHostTest, AClosedWindowComesBackHiddenWithTheWholeLog)
{
    ActivityLog log;
    log.setClock({});  // the real clock again
    auto host = std::make_unique<LogWindowHost>(log);
    log.add("first");
    host->showLog();
    host->window()->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(host->window(), nullptr);
    log.add("second");
    ASSERT_NE(host->window(), nullptr);
    EXPECT_FALSE(host->window()->isVisible());
    const QString shown = host->window()->findChild<QPlainTextEdit *>("logText")->toPlainText();
    EXPECT_TRUE(shown.contains(" first\n") && shown.contains(" second\n")) << shown.toStdString();
    host->showLog();
    host.reset();  // deletes the open window, once
}
