#include <ui/LogWindow.h>

#include <util/ActivityLog.h>

#include <QCoreApplication>
#include <QPlainTextEdit>
#include <QScrollBar>

#include <gtest/gtest.h>

namespace {

struct Log {
    ActivityLog log;
    LogWindowHost host{log};
    Log()
    {
        log.setClock([] { return QTime(9, 5, 3); });
    }
    QString shown() const { return host.window()->text1()->toPlainText(); }
    QString expected() const { return QString(log.LogText()).replace(QLatin1String("\r\n"), QLatin1String("\n")); }
};

void closeAndDestroy(QWidget *window)
{
    window->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace

TEST(LogWindow, FirstEntryCreatesTheWindowHidden)
{
    Log l;
    EXPECT_EQ(l.host.window(), nullptr);
    l.log.AddToLog(QStringLiteral("Connecting..."));
    ASSERT_NE(l.host.window(), nullptr);
    EXPECT_FALSE(l.host.window()->isVisible());
    EXPECT_EQ(l.shown(), l.expected());
    EXPECT_TRUE(l.shown().endsWith(QStringLiteral(" Connecting...\n")));
}

TEST(LogWindow, DefinitionAndLoadPlacement)
{
    Log l;
    l.host.showLog();
    LogWindow *window = l.host.window();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Log Window"));
    EXPECT_EQ(window->minimumSize(), QSize(450, 435));
    EXPECT_EQ(window->maximumSize(), QSize(450, 435));
    EXPECT_FALSE(window->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_FALSE(window->windowFlags() & Qt::WindowMinimizeButtonHint);
    auto *text1 = window->findChild<QPlainTextEdit *>(QStringLiteral("Text1"));
    ASSERT_EQ(text1, window->text1());
    EXPECT_TRUE(text1->isReadOnly());
    // Moved to the corner and as wide as the client area; height as designed.
    EXPECT_EQ(text1->geometry(), QRect(0, 0, 450, 434));
    EXPECT_EQ(text1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
}

TEST(LogWindow, ReopenedAfterCloseHoldsTheWholeLog)
{
    Log l;
    l.log.AddToLog(QStringLiteral("one"));
    l.host.showLog();
    closeAndDestroy(l.host.window());
    EXPECT_EQ(l.host.window(), nullptr);

    l.log.AddToLog(QStringLiteral("two"));
    ASSERT_NE(l.host.window(), nullptr);
    EXPECT_FALSE(l.host.window()->isVisible());
    EXPECT_EQ(l.shown(), QStringLiteral("09:05:03 one\n09:05:03 two\n").replace(QStringLiteral("09:05:03"), ActivityLog::timeText(QTime(9, 5, 3))));

    closeAndDestroy(l.host.window());
    l.log.appendLine(QStringLiteral("three")); // the failure report: line first, refresh later
    l.host.showLog();
    EXPECT_EQ(l.shown(), l.expected());
    EXPECT_TRUE(l.shown().contains(QStringLiteral("three")));
}

TEST(LogWindow, NewEntryShowsTheTextFromTheTop)
{
    Log l;
    for (int i = 0; i < 200; ++i)
        l.log.AddToLog(QStringLiteral("line %1").arg(i));
    l.host.showLog();
    QScrollBar *bar = l.host.window()->text1()->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    bar->setValue(bar->maximum());
    l.log.AddToLog(QStringLiteral("last"));
    EXPECT_EQ(bar->value(), 0);
    EXPECT_EQ(l.shown(), l.expected());
}
