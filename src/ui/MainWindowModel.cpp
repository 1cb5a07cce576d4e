#include "MainWindowModel.h"

MainWindowModel::MainWindowModel(QObject *parent) : QObject(parent)
{
    m_texts[int(Label::Info)] = QStringLiteral("Please enter a URL or select a Orvanta Downloader Data file (*.ddf)...");
}

QString MainWindowModel::text(Label label) const { return m_texts[int(label)]; }

void MainWindowModel::setText(Label label, const QString &text)
{
    if (m_texts[int(label)] == text)
        return;
    m_texts[int(label)] = text;
    emit changed();
}

void MainWindowModel::setWindowTitle(const QString &title)
{
    if (m_windowTitle == title)
        return;
    m_windowTitle = title;
    emit changed();
}

void MainWindowModel::setUrlText(const QString &text)
{
    if (m_urlText == text)
        return;
    m_urlText = text;
    emit urlTextSet(text);
}

void MainWindowModel::update(bool &member, bool value)
{
    if (member == value)
        return;
    member = value;
    emit changed();
}

void MainWindowModel::setDownloadUrlEnabled(bool enabled) { update(m_downloadUrlEnabled, enabled); }
void MainWindowModel::setLoadDescriptorEnabled(bool enabled) { update(m_loadDescriptorEnabled, enabled); }
void MainWindowModel::setPauseButtonEnabled(bool enabled) { update(m_pauseButtonEnabled, enabled); }
void MainWindowModel::setServerButtonVisible(bool visible) { update(m_serverButtonVisible, visible); }
void MainWindowModel::setPauseChecked(bool checked) { update(m_pauseChecked, checked); }

void MainWindowModel::setPauseButtonCaption(const QString &caption)
{
    if (m_pauseButtonCaption == caption)
        return;
    m_pauseButtonCaption = caption;
    emit changed();
}

void MainWindowModel::setProgressValue(qint64 value)
{
    m_progressValue = value;
    emit progressValueSet(value);
}

void MainWindowModel::setProgressMax(qint64 max)
{
    m_progressMax = max;
    emit progressMaxSet(max);
}

void MainWindowModel::setTrayTip(const QString &tip)
{
    m_trayTip = tip;
    emit trayTipChanged(tip);
}

QString MainWindowModel::fitText(Label label, const QString &text) const
{
    return m_fitter ? m_fitter(label, text) : text;
}
