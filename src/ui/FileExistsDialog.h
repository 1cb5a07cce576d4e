#pragma once

#include "FileExistsAnswer.h"
#include "ModalWindow.h"

class QLabel;
class QPushButton;
class QWidget;

// Asks what to do with a destination that already exists: overwrite it,
// resume after its last byte, or cancel. Every display starts at Cancel,
// so closing the window without a button answers Cancel.
class FileExistsDialog : public ModalWindow {
    Q_OBJECT
public:
    explicit FileExistsDialog(QWidget *parent = nullptr);

    // The answer of the last display, valid after it has closed.
    FileExistsAnswer answer() const { return m_answer; }

protected:
    void showEvent(QShowEvent *event) override;

private:
    void choose(FileExistsAnswer answer);

    QWidget *m_messagePanel = nullptr;
    QPushButton *m_overwriteButton = nullptr;
    FileExistsAnswer m_answer = FileExistsAnswer::Cancel;
};
