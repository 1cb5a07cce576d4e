#include <util/ActivityLog.h>

#include <QSignalSpy>

#include <gtest/gtest.h>

TEST(ActivityLog, LinesCarryASecondsStampTextAndCrLfInCallOrder)
{
    ActivityLog log;
    log.setClock([] { return QTime(14, 5, 9); });
    QSignalSpy changed(&log, &ActivityLog::changed);
    log.add("Connecting...");
    log.addQuietly(QString());
    const QString stamp = ActivityLog::timeText(QTime(14, 5, 9));
    EXPECT_EQ(log.text(), stamp + " Connecting...\r\n" + stamp + " \r\n");
    EXPECT_EQ(changed.count(), 1);  // only add() tells the log window
    // Whatever the locale's short format, two lines a second apart differ.
    for (const QTime &time : {QTime(0, 0, 0), QTime(9, 5, 3), QTime(23, 59, 58)})
        EXPECT_NE(ActivityLog::timeText(time), ActivityLog::timeText(time.addSecs(1))) << time.toString().toStdString();
}
