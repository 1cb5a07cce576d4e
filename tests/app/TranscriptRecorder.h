#pragma once

#include <ui/MainWindowModel.h>

#include <QObject>
#include <QString>
#include <QStringList>

class ActivityLog;

// Writes down, in order, what a user of the main window sees: status texts,
// window and button captions, log lines, and (through note()) requests and
// dialogs; after every user step a snapshot of the rest of the window and
// of the watched file. Rates and times come from a clock that stands still,
// and the scratch folder reads "<dir>", so a transcript is the same on
// every run.
class TranscriptRecorder : public QObject {
public:
    TranscriptRecorder(const MainWindowModel &model, const ActivityLog &log, const QString &dir);

    void note(const QString &line);
    // The window's other fields and `extra` lines, headed by `title`.
    void snapshot(const QString &title, const QStringList &extra);
    // The program has ended: nothing after this is seen by anyone.
    void stop();
    bool stopped() const { return m_stopped; }

    QString text() const { return m_lines.join(QLatin1Char('\n')) + QLatin1Char('\n'); }

    // "<n> bytes, all of <url>" and the like, comparing with `reference`.
    static QString describeFile(const QString &path, const QByteArray &reference, const QString &referenceName);

private:
    void modelChanged();
    void flushLog();
    void add(const QString &line);
    QString clean(QString text) const;

    const MainWindowModel &m_model;
    const ActivityLog &m_log;
    QString m_dir;
    QStringList m_lines;
    qsizetype m_logSeen = 0;
    QString m_status, m_caption, m_button, m_reason;
    bool m_stopped = false;
};
