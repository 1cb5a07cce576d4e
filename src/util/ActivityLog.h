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
    // Appends the same line without telling the log window; the failure
    // report appends its line first and refreshes the window afterwards.
    void addQuietly(const QString &text);
    // Tells the log window to show text() again.
    void notifyChanged() { emit changed(); }

    const QString &text() const { return m_text; }
    bool isEmpty() const { return m_text.isEmpty(); }

    // The local time of day in the user's locale format, always with seconds.
    static QString timeText(const QTime &time);
    // Tests replace the clock so that time stamps are predictable.
    void setClock(std::function<QTime()> clock) { m_clock = std::move(clock); }

signals:
    void changed();

private:
    QString m_text;
    std::function<QTime()> m_clock;
};
