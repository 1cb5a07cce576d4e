#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

class ActivityLog;
class QPlainTextEdit;

// The read-only view of the activity log, "Log Window". Closing destroys it.
class LogWindow : public QWidget {
    Q_OBJECT
public:
    explicit LogWindow(QWidget *parent = nullptr);

    QPlainTextEdit *textView() const { return m_textView; }
    // Replaces the whole text and shows it from its top.
    void setLogText(const QString &text);

protected:
    void showEvent(QShowEvent *event) override;

private:
    QPlainTextEdit *m_textView = nullptr;
};

// Keeps at most one LogWindow filled with the whole log: every change of
// the log creates the window hidden if it does not exist and refills it.
class LogWindowHost : public QObject {
    Q_OBJECT
public:
    explicit LogWindowHost(ActivityLog &log, QObject *parent = nullptr);
    ~LogWindowHost() override;

    // View Log: create if needed, show without blocking, raise.
    void showLog();
    // nullptr while no window exists.
    LogWindow *window() const { return m_window; }

private:
    LogWindow *ensureWindow();
    void refresh();

    ActivityLog &m_log;
    QPointer<LogWindow> m_window;
};
