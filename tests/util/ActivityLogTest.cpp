#include <util/ActivityLog.h>

#include <QSignalSpy>

#include <gtest/gtest.h>

TEST(ActivityLog, LinesCarryTimeSpaceTextAndCrLfInCallOrder)
{
    ActivityLog log;
    log.setClock([] { return QTime(14, 5, 9); });
    QSignalSpy changed(&log, &ActivityLog::changed);
    log.AddToLog(QStringLiteral("Connecting..."));
    log.AddToLog(QString());
    const QString stamp = ActivityLog::timeText(QTime(14, 5, 9));
    EXPECT_EQ(log.LogText(), stamp + " Connecting...\r\n" + stamp + " \r\n");
    EXPECT_EQ(changed.count(), 2);
}

TEST(ActivityLog, TimeTextAlwaysHasSeconds)
{
    EXPECT_TRUE(ActivityLog::timeText(QTime(9, 7, 42)).contains(QLatin1String("42")));
}

TEST(ActivityLog, AppendLineDoesNotNotify)
{
    ActivityLog log;
    QSignalSpy changed(&log, &ActivityLog::changed);
    log.appendLine(QStringLiteral("Error 7: x."));
    EXPECT_TRUE(log.LogText().endsWith(QLatin1String(" Error 7: x.\r\n")));
    EXPECT_EQ(changed.count(), 0);
}
