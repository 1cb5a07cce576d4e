#include "LogWindow.h"

#include "AppStyle.h"
#include "X11Taskbar.h"

#include <util/ActivityLog.h>

#include <QPlainTextEdit>
#include <QScrollBar>

LogWindow::LogWindow(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("logWindow"));
    setWindowTitle(QStringLiteral("Log Window"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowCloseButtonHint);
    setFont(dialogFont());
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(450, 435);

    // The text box spans the client width from the top left corner and is
    // one pixel shorter than the window.
    m_textView = new QPlainTextEdit(this);
    m_textView->setObjectName(QStringLiteral("logText"));
    m_textView->setGeometry(0, 0, width(), 434);
    m_textView->setReadOnly(true);
    m_textView->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m_textView->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QPalette palette = m_textView->palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::Button));
    m_textView->setPalette(palette);
    centreOnPrimaryScreen(this);
}

void LogWindow::setLogText(const QString &text)
{
    // The log's lines end in CR LF; the text box wants bare line feeds.
    QString shown = text;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    m_textView->setPlainText(shown);
    m_textView->verticalScrollBar()->setValue(0);
}

void LogWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    setSkipTaskbar(this);
}

LogWindowHost::LogWindowHost(ActivityLog &log, QObject *parent) : QObject(parent), m_log(log)
{
    connect(&m_log, &ActivityLog::changed, this, &LogWindowHost::refresh);
}

LogWindowHost::~LogWindowHost()
{
    // reset() empties the pointer before deleting, so the window's
    // destroyed() below finds nothing to let go of.
    m_window.reset();
}

LogWindow *LogWindowHost::ensureWindow()
{
    if (!m_window) {
        m_window = std::make_unique<LogWindow>();
        connect(m_window.get(), &QObject::destroyed, this, [this] { (void)m_window.release(); });
        m_window->setLogText(m_log.text());
    }
    return m_window.get();
}

void LogWindowHost::refresh()
{
    ensureWindow()->setLogText(m_log.text());
}

void LogWindowHost::showLog()
{
    LogWindow *window = ensureWindow();
    window->show();
    window->raise();
    window->activateWindow();
}
