#include "ModalWindow.h"

#include "AppStyle.h"

#include <QKeyEvent>

ModalWindow::ModalWindow(const QString &caption, const QSize &clientSize, QWidget *parent) : QDialog(parent)
{
    // A plain window rather than a dialog: X11 managers treat dialogs as
    // transients without a taskbar button, and these windows have one.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowCloseButtonHint);
    setWindowTitle(caption);
    setFont(dialogFont());
    setFixedSize(clientSize);
    setSizeGripEnabled(false);
}

void ModalWindow::keyPressEvent(QKeyEvent *event)
{
    // QDialog would reject on Escape and look for a default button on
    // Enter; neither exists here.
    event->accept();
}

void ModalWindow::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    centreOnPrimaryScreen(this);
}
