#include <ui/MainWindow.h>

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

using Label = MainWindowModel::Label;

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
        {"pasteButton", &MainWindow::pasteClicked},
        {"downloadUrlButton", &MainWindow::downloadUrlClicked},
        {"loadDescriptorButton", &MainWindow::loadDescriptorClicked},
        {"pauseButton", &MainWindow::pauseButtonClicked},
        {"serverButton", &MainWindow::serverButtonClicked},
        {"restoreAction", &MainWindow::restoreRequested},
        {"viewLogAction", &MainWindow::viewLogRequested},
        {"pauseAction", &MainWindow::pauseRequested},
        {"quitAction", &MainWindow::quitRequested},
    };
    model.setDownloadUrlEnabled(true);
    model.setPauseButtonEnabled(true);
    model.setServerButtonVisible(true);
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
    QStringList shown;
    for (const QAction *item : window.trayMenu()->actions())
        shown << (item->isSeparator() ? QStringLiteral("-") : item->text());
    EXPECT_EQ(shown, QStringList({"Restore", "View Log", "Pause", "-", "Quit"}));
}

TEST_F(MainWindowTest, TrayPauseKeepsTheModelsCheckMark)
{
    // Qt would flip the mark on each click; a pause that did not happen
    // (nothing running) must leave it as the model says.
    for (const bool checked : {false, true}) {
        model.setPauseChecked(checked);
        menuItem("pauseAction")->trigger();
        EXPECT_EQ(menuItem("pauseAction")->isChecked(), checked);
    }
}

TEST_F(MainWindowTest, TypingIsReportedAndPasteShowsTheModelsTextUnreported)
{
    QSignalSpy edited(&window, &MainWindow::urlEdited);
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
}

TEST_F(MainWindowTest, MinimizeAndCloseAreLeftToTheApplication)
{
    // The application hides the window on minimize and runs its own exit on close.
    QObject::connect(&window, &MainWindow::minimized, &window, &QWidget::hide);
    QSignalSpy minimized(&window, &MainWindow::minimized);
    QSignalSpy closing(&window, &MainWindow::closeRequested);
    window.show();
    EXPECT_FALSE(window.close());
    EXPECT_EQ(closing.count(), 1);
    window.setWindowState(Qt::WindowNoState);
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(minimized.count(), 0);
    window.setWindowState(Qt::WindowMinimized);
    EXPECT_EQ(minimized.count(), 1);
    EXPECT_FALSE(window.isVisible());
}

TEST_F(MainWindowTest, ShowsWhatTheModelSays)
{
    for (const auto &[label, name] : {std::pair{Label::Status, "statusLabel"}, {Label::Source, "sourceLabel"},
                                      {Label::TimeLeft, "timeLeftLabel"}, {Label::Destination, "destinationLabel"},
                                      {Label::Rate, "rateLabel"}}) {
        model.setText(label, QLatin1String(name) + "!");
        EXPECT_EQ(child<QLabel>(name)->text(), QLatin1String(name) + "!");
    }
    for (const bool on : {true, false}) {
        SCOPED_TRACE(on);
        model.setWindowTitle(on ? "42% done" : "Orvanta Downloader");
        model.setDownloadUrlEnabled(on);
        model.setLoadDescriptorEnabled(!on);
        model.setPauseButtonCaption(on ? "Resume Download..." : "Pause Download...");
        model.setPauseButtonEnabled(on);
        model.setServerButtonVisible(on);
        model.setPauseChecked(on);
        EXPECT_EQ(window.windowTitle(), on ? "42% done" : "Orvanta Downloader");
        EXPECT_EQ(child("downloadUrlButton")->isEnabled(), on);
        EXPECT_EQ(child("loadDescriptorButton")->isEnabled(), !on);
        EXPECT_EQ(child<QPushButton>("pauseButton")->text(), on ? "Resume Download..." : "Pause Download...");
        EXPECT_EQ(child("pauseButton")->isEnabled(), on);
        EXPECT_EQ(child("serverButton")->isHidden(), !on);
        EXPECT_EQ(menuItem("pauseAction")->isChecked(), on);
    }
}

TEST_F(MainWindowTest, LongTextsFitTheirLabels)
{
    // The descriptor summary: its lines side by side, whole in the tip.
    auto *info = child<QLabel>("infoLabel");
    const QString summary = QStringLiteral("File Name: a.iso\r\nFile Size: 2.0 GB\r\nInformation: ") + QString(200, 'x');
    model.setText(Label::Info, summary);
    EXPECT_TRUE(info->text().startsWith(QStringLiteral("File Name: a.iso    File Size: 2.0 GB    Information: x")));
    EXPECT_LE(info->fontMetrics().horizontalAdvance(info->text()), info->width());
    EXPECT_EQ(info->toolTip(), summary);
    // Paths beside their captions: shortened in the middle, both ends readable.
    const QString longPath = QStringLiteral("/home/user/") + QString(300, 'w') + QStringLiteral("/end.iso");
    for (const auto &[label, name] : {std::pair{Label::Source, "sourceLabel"}, {Label::Destination, "destinationLabel"}}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(model.fitText(label, QStringLiteral("/tmp/a.iso")), QStringLiteral("/tmp/a.iso"));
        const QString fitted = model.fitText(label, longPath);
        EXPECT_LE(child<QLabel>(name)->fontMetrics().horizontalAdvance(fitted), child<QLabel>(name)->contentsRect().width());
        EXPECT_TRUE(fitted.startsWith("/home/user/") && fitted.endsWith("/end.iso")) << fitted.toStdString();
    }
}
