#include <ui/LogWindow.h>

#include <util/ActivityLog.h>

#include <QCoreApplication>
#include <QPlainTextEdit>

#include <gtest/gtest.h>

TEST(LogWindow, FirstEntryCreatesItHiddenAndAClosedOneComesBackComplete)
{
    ActivityLog log;
    LogWindowHost host{log};
    const auto shown = [&] { return host.window()->textView()->toPlainText(); };
    log.setClock([] { return QTime(9, 5, 3); });
    const QString at = ActivityLog::timeText(QTime(9, 5, 3));
    EXPECT_EQ(host.window(), nullptr);
    log.add(QStringLiteral("one"));
    ASSERT_NE(host.window(), nullptr);
    EXPECT_FALSE(host.window()->isVisible());
    EXPECT_EQ(shown(), at + " one\n");

    host.showLog();
    host.window()->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_EQ(host.window(), nullptr);
    log.add(QStringLiteral("two"));
    ASSERT_NE(host.window(), nullptr);
    EXPECT_FALSE(host.window()->isVisible());
    EXPECT_EQ(shown(), at + " one\n" + at + " two\n");
}
