#pragma once

#include <QString>

// The tray icon's tip field: 64 characters, the text followed by one NUL and
// padded with spaces, or cut at 64 (losing the NUL) when longer.
class TrayIconData {
public:
    static constexpr int TipLength = 64;

    TrayIconData() { setTip(QStringLiteral("Right-Click for Options")); }

    void setTip(const QString &text);
    // The stored 64-character field.
    const QString &szTip() const { return m_tip; }
    // What the shell shows: the field up to its NUL.
    QString shownTip() const;

private:
    QString m_tip;
};
