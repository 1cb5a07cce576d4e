#include "TranscriptRecorder.h"

#include <util/ActivityLog.h>

#include <QFile>
#include <QFileInfo>

TranscriptRecorder::TranscriptRecorder(const MainWindowModel &model, const ActivityLog &log, const QString &dir)
    : m_model(model), m_log(log), m_dir(dir)
{
    m_status = model.text(MainWindowModel::Label::Status);
    m_caption = model.windowTitle();
    m_button = model.pauseButtonCaption();
    connect(&model, &MainWindowModel::changed, this, &TranscriptRecorder::modelChanged);
    connect(&log, &ActivityLog::changed, this, &TranscriptRecorder::flushLog);
}

QString TranscriptRecorder::clean(QString text) const
{
    return text.replace(m_dir, QStringLiteral("<dir>")).replace(QStringLiteral("\r\n"), QStringLiteral("\\r\\n"));
}

void TranscriptRecorder::add(const QString &line)
{
    if (!m_stopped)
        m_lines << clean(line);
}

void TranscriptRecorder::flushLog()
{
    const QString &all = m_log.text();
    const QStringList lines = all.mid(m_logSeen).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    m_logSeen = all.size();
    for (const QString &line : lines)
        add(QStringLiteral("log: ") + line.section(QLatin1Char(' '), 1));  // without the time of day
}

void TranscriptRecorder::modelChanged()
{
    flushLog();  // lines appended quietly came first
    const QString status = m_model.text(MainWindowModel::Label::Status);
    if (status != m_status)
        add(QStringLiteral("status: ") + (m_status = status));
    if (m_model.windowTitle() != m_caption)
        add(QStringLiteral("caption: ") + (m_caption = m_model.windowTitle()));
    if (m_model.pauseButtonCaption() != m_button)
        add(QStringLiteral("pause button: ") + (m_button = m_model.pauseButtonCaption()));
    if (m_model.text(MainWindowModel::Label::Reason) != m_reason)
        add(QStringLiteral("reason: ") + ((m_reason = m_model.text(MainWindowModel::Label::Reason)).isEmpty() ? QStringLiteral("(cleared)") : m_reason));
}

void TranscriptRecorder::note(const QString &line)
{
    modelChanged();
    add(line);
}

void TranscriptRecorder::stop()
{
    modelChanged();
    m_stopped = true;
}

void TranscriptRecorder::snapshot(const QString &title, const QStringList &extra)
{
    using Label = MainWindowModel::Label;
    const bool wasStopped = m_stopped;
    modelChanged();
    m_stopped = false;
    if (wasStopped) {
        // Only the disk outlives the program.
        add(QStringLiteral("== after: ") + title);
        for (const QString &line : extra)
            if (line.startsWith(QLatin1String("file ")))
                add(QStringLiteral("   ") + line);
        m_stopped = true;
        return;
    }
    const auto onOff = [](bool on, const char *yes, const char *no) { return QString::fromLatin1(on ? yes : no); };
    add(QStringLiteral("== after: ") + title);
    add(QStringLiteral("   buttons: pause \"%1\" %2, download-from-URL %3, load %4, servers %5, tray pause %6")
            .arg(m_model.pauseButtonCaption(), onOff(m_model.pauseButtonEnabled(), "enabled", "disabled"),
                 onOff(m_model.downloadUrlEnabled(), "enabled", "disabled"),
                 onOff(m_model.loadDescriptorEnabled(), "enabled", "disabled"),
                 onOff(m_model.serverButtonVisible(), "shown", "hidden"),
                 onOff(m_model.pauseChecked(), "checked", "unchecked")));
    add(QStringLiteral("   labels: time \"%1\", rate \"%2\"").arg(m_model.text(Label::TimeLeft), m_model.text(Label::Rate)));
    add(QStringLiteral("   labels: source \"%1\", to \"%2\"").arg(m_model.text(Label::Source), m_model.text(Label::Destination)));
    add(QStringLiteral("   tray tip \"%1\", progress %2 of %3")
            .arg(m_model.trayTip())
            .arg(m_model.progressValue())
            .arg(m_model.progressMax()));
    for (const QString &line : extra)
        add(QStringLiteral("   ") + line);
    m_stopped = wasStopped;
}

QString TranscriptRecorder::describeFile(const QString &path, const QByteArray &reference, const QString &referenceName)
{
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return QStringLiteral("absent");
    const QByteArray bytes = file.readAll();
    const QString size = QStringLiteral("%1 bytes").arg(bytes.size());
    if (bytes == reference)
        return size + QStringLiteral(", all of ") + referenceName;
    qsizetype same = 0;
    while (same < bytes.size() && same < reference.size() && bytes[same] == reference[same])
        ++same;
    if (same == bytes.size())
        return size + QStringLiteral(", the start of ") + referenceName;
    return size + QStringLiteral(", first differs from %1 at byte %2").arg(referenceName).arg(same);
}
