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
    QAction *menuItem(const char *name) const
    {
        QAction *found = window.trayMenu()->findChild<QAction *>(QLatin1String(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
};

// Every command of the window, by the signal the application connects.
using Signal = void (MainWindow::*)();
struct Command {
    const char *name;  // object name of the button or tray menu item
    bool trayItem;
    Signal signal;
};

TEST_F(MainWindowTest, EachButtonAndTrayItemEmitsItsOwnSignalOnly)
{
    const Command commands[] = {
        {"pasteButton", false, &MainWindow::pasteClicked},
        {"downloadUrlButton", false, &MainWindow::downloadUrlClicked},
        {"loadDescriptorButton", false, &MainWindow::loadDescriptorClicked},
        {"pauseButton", false, &MainWindow::pauseButtonClicked},
        {"serverButton", false, &MainWindow::serverButtonClicked},
        {"restoreAction", true, &MainWindow::restoreRequested},
        {"viewLogAction", true, &MainWindow::viewLogRequested},
        {"pauseAction", true, &MainWindow::pauseRequested},
        {"quitAction", true, &MainWindow::quitRequested},
    };
    model.setDownloadUrlEnabled(true);
    model.setPauseButtonEnabled(true);
    model.setServerButtonVisible(true);
    window.show();

    std::vector<std::unique_ptr<QSignalSpy>> spies;
    for (const Command &c : commands)
        spies.push_back(std::make_unique<QSignalSpy>(&window, c.signal));
    QSignalSpy edited(&window, &MainWindow::urlEdited);

    for (size_t i = 0; i < std::size(commands); ++i) {
        const Command &c = commands[i];
        SCOPED_TRACE(c.name);
        if (c.trayItem) {
            if (QAction *item = menuItem(c.name))
                item->trigger();
        } else if (auto *button = child<QPushButton>(c.name)) {
            QTest::mouseClick(button, Qt::LeftButton);
        }
        for (size_t j = 0; j < spies.size(); ++j)
            EXPECT_EQ(spies[j]->count(), j <= i ? 1 : 0) << commands[j].name;
    }
    EXPECT_EQ(edited.count(), 0);
}

TEST_F(MainWindowTest, TrayMenuHoldsFourItemsAndPauseKeepsTheModelsCheckMark)
{
    QStringList shown;
    for (const QAction *item : window.trayMenu()->actions())
        shown << (item->isSeparator() ? QStringLiteral("-") : item->text());
    EXPECT_EQ(shown, QStringList({"Restore", "View Log", "Pause", "-", "Quit"}));
    // Qt would flip the mark on each click; a pause that did not happen
    // (nothing running) must leave it as the model says.
    QAction *pause = menuItem("pauseAction");
    for (const bool checked : {false, true}) {
        model.setPauseChecked(checked);
        pause->trigger();
        EXPECT_EQ(pause->isChecked(), checked);
    }
}

TEST_F(MainWindowTest, PasteShowsTheTextTheApplicationWritesBackVerbatim)
{
    // The application answers pasteClicked by writing the clipboard text
    // into the model; the box shows it unchanged and reports no user edit.
    const QString clipboard = QStringLiteral("  http://127.0.0.1/a b.iso ");
    QObject::connect(&window, &MainWindow::pasteClicked, &model, [this, clipboard] { model.setUrlText(clipboard); });
    QSignalSpy edited(&window, &MainWindow::urlEdited);
    QTest::mouseClick(child("pasteButton"), Qt::LeftButton);
    EXPECT_EQ(child<QLineEdit>("urlEdit")->text(), clipboard);
    EXPECT_EQ(edited.count(), 0);
}

TEST_F(MainWindowTest, TypingIsReportedAndKeptInTheModel)
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
}

TEST_F(MainWindowTest, MinimizeAndCloseAreLeftToTheApplication)
{
    // The application hides the window on minimize and runs its own exit on
    // close; the window reports both and refuses the close itself.
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
    const std::pair<Label, const char *> labels[] = {{Label::Status, "statusLabel"},
                                                     {Label::Source, "sourceLabel"},
                                                     {Label::TimeLeft, "timeLeftLabel"},
                                                     {Label::Destination, "destinationLabel"},
                                                     {Label::Rate, "rateLabel"}};
    for (const auto &[label, name] : labels) {
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

TEST_F(MainWindowTest, DescriptorSummaryShowsItsLinesSideBySideAndWholeInTheTip)
{
    auto *info = child<QLabel>("infoLabel");
    const QString summary = QStringLiteral("File Name: a.iso\r\nFile Size: 2.0 GB\r\nInformation: ") + QString(200, 'x');
    model.setText(Label::Info, summary);
    EXPECT_TRUE(info->text().startsWith(QStringLiteral("File Name: a.iso    File Size: 2.0 GB    Information: x")));
    EXPECT_FALSE(info->text().contains(QLatin1Char('\n')));
    EXPECT_LE(info->fontMetrics().horizontalAdvance(info->text()), info->width());
    EXPECT_EQ(info->toolTip(), summary);
}

TEST_F(MainWindowTest, FittedTextsUseOnlyTheRoomLeftBesideTheirCaptions)
{
    const QString longPath = QStringLiteral("/home/user/") + QString(300, 'w') + QStringLiteral("/end.iso");
    const std::pair<Label, const char *> labels[] = {{Label::Source, "sourceLabel"},
                                                     {Label::Destination, "destinationLabel"}};
    for (const auto &[label, name] : labels) {
        SCOPED_TRACE(name);
        auto *target = child<QLabel>(name);
        EXPECT_EQ(model.fitText(label, QStringLiteral("/tmp/a.iso")), QStringLiteral("/tmp/a.iso"));
        const QString fitted = model.fitText(label, longPath);
        EXPECT_LT(fitted.size(), longPath.size());
        EXPECT_LE(target->fontMetrics().horizontalAdvance(fitted), target->contentsRect().width());
        // Shortened in the middle: both ends of a path stay readable.
        EXPECT_TRUE(fitted.startsWith(QStringLiteral("/home/user/")) && fitted.endsWith(QStringLiteral("/end.iso")))
            << fitted.toStdString();
    }
}
