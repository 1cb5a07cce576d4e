#include <util/ActivityLog.h>

#include <gtest/gtest.h>

TEST(ActivityLog, LinesCarryTimeSpaceTextAndCrLfInCallOrder)
{
    ActivityLog log;
    log.setClock([] { return QTime(14, 5, 9); });
    log.add("Connecting...");
    log.addQuietly(QString());
    const QString stamp = ActivityLog::timeText(QTime(14, 5, 9));
    EXPECT_TRUE(stamp.contains("09"));
    EXPECT_EQ(log.text(), stamp + " Connecting...\r\n" + stamp + " \r\n");
}
