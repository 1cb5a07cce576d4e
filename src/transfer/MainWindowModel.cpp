#include "MainWindowModel.h"

MainWindowModel::MainWindowModel(QObject *parent) : QObject(parent)
{
    // Design-time captions; start-up replaces the five placeholders.
    setText(Label::Info, QStringLiteral("Please enter a URL or select a Orvanta Downloader Data file (*.ddf)..."));
    m_texts[int(Label::Status)] = QStringLiteral("StatusLabel");
    m_texts[int(Label::Source)] = QStringLiteral("SourceLabel");
    m_texts[int(Label::Time)] = QStringLiteral("TimeLabel");
    m_texts[int(Label::To)] = QStringLiteral("ToLabel");
    m_texts[int(Label::Rate)] = QStringLiteral("RateLabel");
}

QString MainWindowModel::text(Label label) const { return m_texts[int(label)]; }

void MainWindowModel::setText(Label label, const QString &text)
{
    if (m_texts[int(label)] == text)
        return;
    m_texts[int(label)] = text;
    emit changed();
}

void MainWindowModel::setCaption(const QString &caption)
{
    if (m_caption == caption)
        return;
    m_caption = caption;
    emit changed();
}

void MainWindowModel::setUrlText(const QString &text)
{
    if (m_urlText == text)
        return;
    m_urlText = text;
    emit urlTextSet(text);
}

#define ORVANTA_SETTER(name, member)       \
    void MainWindowModel::name(bool value) \
    {                                      \
        if (member == value)               \
            return;                        \
        member = value;                    \
        emit changed();                    \
    }
ORVANTA_SETTER(setCmdURLEnabled, m_cmdURLEnabled)
ORVANTA_SETTER(setCommand1Enabled, m_command1Enabled)
ORVANTA_SETTER(setCancelEnabled, m_cancelEnabled)
ORVANTA_SETTER(setServersVisible, m_serversVisible)
ORVANTA_SETTER(setPauseChecked, m_pauseChecked)
#undef ORVANTA_SETTER

void MainWindowModel::setCancelCaption(const QString &caption)
{
    if (m_cancelCaption == caption)
        return;
    m_cancelCaption = caption;
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

void MainWindowModel::setTrayTip(const QString &text)
{
    m_tray.setTip(text);
    emit trayTipChanged(m_tray.shownTip());
}

QString MainWindowModel::fitText(Label label, const QString &text) const
{
    return m_fitter ? m_fitter(label, text) : text;
}
