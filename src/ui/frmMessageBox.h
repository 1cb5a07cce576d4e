#pragma once

#include "ModalWindow.h"

class QLabel;
class QPushButton;
class QWidget;

// The file-exists prompt. After the modal display, frmMessage holds the
// answer: 0 Cancel (also the close box), 1 Overwrite, 2 Resume.
class frmMessageBox : public ModalWindow {
    Q_OBJECT
public:
    explicit frmMessageBox(QWidget *parent = nullptr);

    int frmMessage = 0;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void Form_Load();
    void answer(int value);

    QWidget *m_picture1 = nullptr;
    QLabel *m_label1 = nullptr;
    QPushButton *m_command1 = nullptr;
};
