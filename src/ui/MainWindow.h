#pragma once

#include "MainWindowModel.h"

#include <QWidget>

#include <array>

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class TransferProgressBar;

// The main window. It only shows MainWindowModel and reports what the user
// does; the commands behind the signals live with the application logic.
class MainWindow : public QWidget {
    Q_OBJECT
public:
    explicit MainWindow(MainWindowModel &model, QWidget *parent = nullptr);
    ~MainWindow() override;

    // The tray icon's pop-up: Restore, View Log, Pause (checkable), a
    // separator, Quit. The window itself shows no menu bar.
    QMenu *trayMenu() const { return m_trayMenu; }
    // "Download from URL" gets the keyboard focus.
    void focusDownloadButton();

signals:
    // Every change of the URL box made by the user (not by the model).
    void urlEdited(const QString &text);
    void pasteClicked();
    void downloadUrlClicked();
    void loadDescriptorClicked();
    // "Pause Download...", which also reads "Resume Download..." and "Exit".
    void pauseButtonClicked();
    void serverButtonClicked();
    // The window has just been minimized.
    void minimized();
    // Close box or Alt+F4; the close itself is refused here because the
    // application runs its own exit.
    void closeRequested();
    // The tray menu's items.
    void restoreRequested();
    void viewLogRequested();
    void pauseRequested();
    void quitRequested();

protected:
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    QLabel *addLabel(const char *name, const QString &text, const QRect &geometry);
    QPushButton *addButton(const char *name, const QString &text, const QRect &geometry);
    QAction *addMenuItem(const char *name, const QString &caption);
    void buildLabels();
    void buildButtons();
    void buildTrayMenu();
    void connectWidgets();
    void connectModel();
    void mirrorModel();
    void showInfoOnOneLine();

    MainWindowModel &m_model;
    std::array<QLabel *, MainWindowModel::LabelCount> m_labels = {};
    QLineEdit *m_urlEdit = nullptr;
    QPushButton *m_pasteButton = nullptr;
    TransferProgressBar *m_progressBar = nullptr;
    QPushButton *m_serverButton = nullptr;
    QPushButton *m_downloadUrlButton = nullptr;
    QPushButton *m_loadDescriptorButton = nullptr;
    QPushButton *m_pauseButton = nullptr;
    QMenu *m_trayMenu = nullptr;
    QAction *m_pauseAction = nullptr;
    bool m_centred = false;
};
