#pragma once

#include <transfer/MainWindowModel.h>

#include <QWidget>

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class UserControl1;

// The main window. It only shows MainWindowModel and reports what the user
// does; the commands behind the signals live with the application logic.
class frmDownload : public QWidget {
    Q_OBJECT
public:
    explicit frmDownload(MainWindowModel &model, QWidget *parent = nullptr);

    // mnu_1, used only as the tray's pop-up: Restore, ViewLog, Pause
    // (checkable), Spacer1, End.
    QMenu *trayMenu() const { return m_menu; }
    // cmdURL gets the keyboard focus.
    void focusDownloadButton();

signals:
    // Every change of the URL box made by the user (not by the model).
    void txtURLEdited(const QString &text);
    void cmdPasteClicked();
    void cmdURLClicked();
    void command1Clicked();
    void cancelButtonClicked();
    void cmdServersClicked();
    // The window has just been minimized.
    void minimized();
    // Close box or Alt+F4; the close itself is refused here because the
    // logic runs the exit sequence.
    void closeRequested();
    void restoreTriggered();
    void viewLogTriggered();
    void pauseTriggered();
    void quitTriggered();

protected:
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    QLabel *addLabel(const char *name, const QString &text, const QRect &geometry);
    QLabel *labelFor(MainWindowModel::Label label) const;
    QAction *addMenuItem(const char *name, const QString &caption);
    void buildMenu();
    void mirrorModel();
    void showInfoOnOneLine();
    void keepOffTaskbar();

    MainWindowModel &m_model;
    QLabel *m_labels[6] = {};
    QLineEdit *m_txtURL = nullptr;
    QPushButton *m_cmdPaste = nullptr;
    UserControl1 *m_progressBar = nullptr;
    QPushButton *m_cmdServers = nullptr;
    QPushButton *m_cmdURL = nullptr;
    QPushButton *m_command1 = nullptr;
    QPushButton *m_cancelButton = nullptr;
    QMenu *m_menu = nullptr;
    QAction *m_pause = nullptr;
    bool m_centred = false;
};
