#include "FileExistsDialog.h"

#include "PushButton.h"

#include <QLabel>

FileExistsDialog::FileExistsDialog(QWidget *parent)
    : ModalWindow(QStringLiteral("Important: File Already Exists "), QSize(528, 163), parent)
{
    setObjectName(QStringLiteral("fileExistsDialog"));

    // A white band across the top, from one pixel left of the client area
    // past its right edge, holding the explanation.
    m_messagePanel = new QWidget(this);
    m_messagePanel->setObjectName(QStringLiteral("messagePanel"));
    m_messagePanel->setGeometry(-1, 0, width() + 2, 110);
    m_messagePanel->setAutoFillBackground(true);
    QPalette white = m_messagePanel->palette();
    white.setColor(QPalette::Window, QColor(255, 255, 255));
    m_messagePanel->setPalette(white);

    auto *message = new QLabel(QStringLiteral(
        "The file you have selected already exists. If this is a recently downloaded partial file, you can try to "
        "resume. But if the file on the server is different than the file you originally started to download, you "
        "will get a corrupted download because this tool can force a resume. If you are unsure if the current file "
        "on the server is the same as the one you already started to download, select Overwrite."), m_messagePanel);
    message->setObjectName(QStringLiteral("messageLabel"));
    message->setGeometry(13, 24, 502, 67);
    message->setAutoFillBackground(false);
    message->setWordWrap(true);
    message->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    m_overwriteButton = new PushButton(QStringLiteral("Overwrite"), this);
    m_overwriteButton->setObjectName(QStringLiteral("overwriteButton"));
    m_overwriteButton->setGeometry(111, 120, 94, 32);
    auto *resume = new PushButton(QStringLiteral("Resume"), this);
    resume->setObjectName(QStringLiteral("resumeButton"));
    resume->setGeometry(212, 120, 94, 32);
    auto *cancel = new PushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("cancelButton"));
    cancel->setGeometry(314, 120, 94, 32);

    setTabOrder(m_overwriteButton, resume);
    setTabOrder(resume, cancel);

    connect(m_overwriteButton, &QPushButton::clicked, this, [this] { choose(FileExistsAnswer::Overwrite); });
    connect(resume, &QPushButton::clicked, this, [this] { choose(FileExistsAnswer::Resume); });
    connect(cancel, &QPushButton::clicked, this, [this] { choose(FileExistsAnswer::Cancel); });
}

void FileExistsDialog::showEvent(QShowEvent *event)
{
    // A previous answer never carries over; Enter right away overwrites.
    m_answer = FileExistsAnswer::Cancel;
    m_overwriteButton->setFocus(Qt::ActiveWindowFocusReason);
    ModalWindow::showEvent(event);
}

void FileExistsDialog::choose(FileExistsAnswer answer)
{
    m_answer = answer;
    close();
}
