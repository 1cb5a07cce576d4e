#include "TrayIconData.h"

void TrayIconData::setTip(const QString &text)
{
    QString field = text + QChar(u'\0');
    if (field.size() > TipLength)
        field.truncate(TipLength);
    else
        field = field.leftJustified(TipLength, QLatin1Char(' '));
    m_tip = field;
}

QString TrayIconData::shownTip() const
{
    const qsizetype nul = m_tip.indexOf(QChar(u'\0'));
    return nul < 0 ? m_tip : m_tip.left(nul);
}
