#include "LogWindow.h"

#include "AppStyle.h"
#include "Artwork.h"
#include "Twips.h"
#include "X11Taskbar.h"

#include <util/ActivityLog.h>

#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollBar>

namespace {
// Two side borders of a fixed dialog frame, 45 twips each.
constexpr int sideBorders = 6;
} // namespace

LogWindow::LogWindow(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("LogWindow"));
    setWindowTitle(QStringLiteral("Log Window"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowCloseButtonHint);
    setWindowIcon(windowIcon());
    setFont(dialogFont());
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(twipsSize(6750, 6525));

    m_text1 = new QPlainTextEdit(this);
    m_text1->setObjectName(QStringLiteral("Text1"));
    m_text1->setGeometry(twipsRect(510, 225, 5805, 6510));
    m_text1->setReadOnly(true);
    m_text1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m_text1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QPalette palette = m_text1->palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::Button));
    m_text1->setPalette(palette);
    Form_Load();
}

void LogWindow::Form_Load()
{
    // The outer width is the client width plus the two side borders, so the
    // box spans the client width; its height stays as designed.
    const int outerWidth = width() + sideBorders;
    m_text1->setGeometry(0, 0, outerWidth - sideBorders, m_text1->height());
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect centred(QPoint(), size());
        centred.moveCenter(screen->availableGeometry().center());
        move(centred.topLeft());
    }
}

void LogWindow::setLogText(const QString &text)
{
    // The log's lines end in CR LF; the text box wants bare line feeds.
    QString shown = text;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    m_text1->setPlainText(shown);
    m_text1->verticalScrollBar()->setValue(0);
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
    delete m_window;
}

LogWindow *LogWindowHost::ensureWindow()
{
    if (!m_window) {
        m_window = new LogWindow;
        m_window->setLogText(m_log.text());
    }
    return m_window;
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
