#include "ActivityLog.h"

#include <QLocale>

ActivityLog::ActivityLog(QObject *parent) : QObject(parent) { setClock({}); }

void ActivityLog::setClock(std::function<QTime()> clock)
{
    if (!clock)
        clock = [] { return QTime::currentTime(); };
    m_clock = std::move(clock);
}

QString ActivityLog::timeText(const QTime &time)
{
    const QLocale locale;
    // The long format may carry a time zone; the log wants the short form,
    // with seconds added where the locale's short form leaves them out.
    QString shortFormat = locale.timeFormat(QLocale::ShortFormat);
    if (!shortFormat.contains(QLatin1Char('s'))) {
        const qsizetype minutes = shortFormat.lastIndexOf(QLatin1String("mm"));
        if (minutes >= 0)
            shortFormat.insert(minutes + 2, QLatin1String(":ss"));
        else
            shortFormat = QStringLiteral("HH:mm:ss");
    }
    return locale.toString(time, shortFormat);
}

void ActivityLog::add(const QString &text)
{
    m_text += timeText(m_clock()) + QLatin1Char(' ') + text + QLatin1String("\r\n");
    emit changed();
}
