#pragma once

#include <QObject>
#include <QString>

#include <array>
#include <functional>

// What the main window shows, kept without any widget so that the commands
// and the engine run headless. The window mirrors it on changed(); the
// progress bar follows progressValueSet/progressMaxSet in call order, since
// its drawing depends on the order of assignments.
class MainWindowModel : public QObject {
    Q_OBJECT
public:
    // Reason: why the last attempt failed, shown under the figures until the
    // next attempt begins.
    enum class Label { Info, Status, Source, TimeLeft, Destination, Rate, Reason };
    static constexpr std::size_t LabelCount = std::size_t(Label::Reason) + 1;

    explicit MainWindowModel(QObject *parent = nullptr);

    QString text(Label label) const;
    void setText(Label label, const QString &text);

    QString windowTitle() const { return m_windowTitle; }
    void setWindowTitle(const QString &title);

    // The URL box; the widget reports edits through setUrlText.
    QString urlText() const { return m_urlText; }
    void setUrlText(const QString &text);

    bool downloadUrlEnabled() const { return m_downloadUrlEnabled; }
    void setDownloadUrlEnabled(bool enabled);
    bool loadDescriptorEnabled() const { return m_loadDescriptorEnabled; }
    void setLoadDescriptorEnabled(bool enabled);
    // "Pause Download...", "Resume Download..." or "Exit".
    QString pauseButtonCaption() const { return m_pauseButtonCaption; }
    void setPauseButtonCaption(const QString &caption);
    bool pauseButtonEnabled() const { return m_pauseButtonEnabled; }
    void setPauseButtonEnabled(bool enabled);
    bool serverButtonVisible() const { return m_serverButtonVisible; }
    void setServerButtonVisible(bool visible);
    // The check mark of the tray menu's "Pause".
    bool pauseChecked() const { return m_pauseChecked; }
    void setPauseChecked(bool checked);

    // The progress bar is write-only; the last values are kept for tests.
    void setProgressValue(qint64 value);
    void setProgressMax(qint64 max);
    qint64 progressValue() const { return m_progressValue; }
    qint64 progressMax() const { return m_progressMax; }

    // The tray icon's tooltip. No length cut: the tips are short progress
    // lines, and QSystemTrayIcon shortens on platforms that have a limit.
    QString trayTip() const { return m_trayTip; }
    void setTrayTip(const QString &tip);

    // Shortens a text to fit one of the labels. The window installs a fitter
    // that measures with the label's font and width; without one (headless)
    // the text is returned unchanged.
    using Fitter = std::function<QString(Label, const QString &)>;
    void setFitter(Fitter fitter) { m_fitter = std::move(fitter); }
    QString fitText(Label label, const QString &text) const;

signals:
    void changed();
    void urlTextSet(const QString &text);
    void progressValueSet(qint64 value);
    void progressMaxSet(qint64 max);
    void trayTipChanged(const QString &tip);

private:
    void update(bool &member, bool value);

    std::array<QString, LabelCount> m_texts;
    QString m_windowTitle = QStringLiteral("Orvanta Downloader");
    QString m_urlText;
    bool m_downloadUrlEnabled = false;
    bool m_loadDescriptorEnabled = true;
    QString m_pauseButtonCaption = QStringLiteral("Pause Download...");
    bool m_pauseButtonEnabled = false;
    bool m_serverButtonVisible = false;
    bool m_pauseChecked = false;
    qint64 m_progressValue = 0;
    qint64 m_progressMax = 0;
    QString m_trayTip = QStringLiteral("Right-Click for Options");
    Fitter m_fitter;
};
