#pragma once

#include <QDialog>

// Base of the two modal windows: fixed client size, no maximize box, a
// taskbar button, centred on the screen at every display, and no
// window-wide keys (Escape does not close it; Enter only clicks a
// focused button).
class ModalWindow : public QDialog {
    Q_OBJECT
public:
    ModalWindow(const QString &caption, const QSize &clientSize, QWidget *parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void showEvent(QShowEvent *event) override;
};
