#pragma once

#include "TrayIconData.h"

#include <QObject>
#include <QString>

#include <functional>

// What the main window shows, kept without any widget so that the engine and
// the commands run headless. The window mirrors it on changed(); the
// progress bar follows progressValueSet/progressMaxSet in call order, since
// its drawing depends on the order of assignments.
class MainWindowModel : public QObject {
    Q_OBJECT
public:
    enum class Label { Info, Status, Source, Time, To, Rate };

    explicit MainWindowModel(QObject *parent = nullptr);

    QString text(Label label) const;
    void setText(Label label, const QString &text);

    QString caption() const { return m_caption; }
    void setCaption(const QString &caption);

    // The URL box; the widget reports edits through setUrlText.
    QString urlText() const { return m_urlText; }
    void setUrlText(const QString &text);

    bool cmdURLEnabled() const { return m_cmdURLEnabled; }
    void setCmdURLEnabled(bool enabled);
    bool command1Enabled() const { return m_command1Enabled; }
    void setCommand1Enabled(bool enabled);
    QString cancelCaption() const { return m_cancelCaption; }
    void setCancelCaption(const QString &caption);
    bool cancelEnabled() const { return m_cancelEnabled; }
    void setCancelEnabled(bool enabled);
    bool serversVisible() const { return m_serversVisible; }
    void setServersVisible(bool visible);
    bool pauseChecked() const { return m_pauseChecked; }
    void setPauseChecked(bool checked);

    // The progress bar's write-only Value and Max; the last values are kept
    // for tests and for redrawing.
    void setProgressValue(qint64 value);
    void setProgressMax(qint64 max);
    qint64 progressValue() const { return m_progressValue; }
    qint64 progressMax() const { return m_progressMax; }

    TrayIconData &tray() { return m_tray; }
    const TrayIconData &tray() const { return m_tray; }
    void setTrayTip(const QString &text);

    // FitTextToControl for one of the labels: the window installs a fitter
    // that measures with the label's font and width; without one the text
    // is returned unchanged.
    using Fitter = std::function<QString(Label, const QString &)>;
    void setFitter(Fitter fitter) { m_fitter = std::move(fitter); }
    QString fitText(Label label, const QString &text) const;

signals:
    void changed();
    void urlTextSet(const QString &text);
    void progressValueSet(qint64 value);
    void progressMaxSet(qint64 max);
    void trayTipChanged(const QString &shownTip);

private:
    QString m_texts[6];
    QString m_caption = QStringLiteral("Orvanta Downloader");
    QString m_urlText;
    bool m_cmdURLEnabled = false;
    bool m_command1Enabled = true;
    QString m_cancelCaption = QStringLiteral("Pause Download...");
    bool m_cancelEnabled = false;
    bool m_serversVisible = false;
    bool m_pauseChecked = false;
    qint64 m_progressValue = 0;
    qint64 m_progressMax = 0;
    TrayIconData m_tray;
    Fitter m_fitter;
};
