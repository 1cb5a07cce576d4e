#pragma once

#include <QObject>
#include <QWidget>

#include <memory>

class ActivityLog;
class QPlainTextEdit;

// The read-only view of the activity log, "Log Window". Closing destroys it.
class LogWindow : public QWidget {
    Q_OBJECT
public:
    explicit LogWindow(QWidget *parent = nullptr);

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
    LogWindow *window() const { return m_window.get(); }

private:
    LogWindow *ensureWindow();
    void refresh();

    ActivityLog &m_log;
    // Closing the window deletes it (WA_DeleteOnClose); the host lets go then.
    std::unique_ptr<LogWindow> m_window;
};
