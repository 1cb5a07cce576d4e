#pragma once

#include <QObject>
#include <QString>
#include <QTime>

#include <functional>

// The activity log of one program run: time-stamped lines held in memory,
// never written to a file and never trimmed.
class ActivityLog : public QObject {
    Q_OBJECT
public:
    explicit ActivityLog(QObject *parent = nullptr);

    // Appends "<time> <text>\r\n" and tells the log window (changed()).
    void add(const QString &text);

    const QString &text() const { return m_text; }

    // The local time of day in the user's locale format, always with seconds.
    static QString timeText(const QTime &time);
    // Tests replace the clock so that time stamps are predictable; an empty
    // function brings back the real clock.
    void setClock(std::function<QTime()> clock);

signals:
    void changed();

private:
    QString m_text;
    std::function<QTime()> m_clock;
};
