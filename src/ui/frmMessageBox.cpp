#include "frmMessageBox.h"

#include "PushButton.h"
#include "Twips.h"

#include <QLabel>

frmMessageBox::frmMessageBox(QWidget *parent)
    : ModalWindow(QStringLiteral("Important: File Already Exists "), twipsSize(7920, 2445), parent)
{
    setObjectName(QStringLiteral("frmMessageBox"));

    m_picture1 = new QWidget(this);
    m_picture1->setObjectName(QStringLiteral("Picture1"));
    m_picture1->setGeometry(twipsRect(-15, 0, 8055, 1650));
    m_picture1->setAutoFillBackground(true);
    QPalette white = m_picture1->palette();
    white.setColor(QPalette::Window, QColor(255, 255, 255));
    m_picture1->setPalette(white);

    m_label1 = new QLabel(QStringLiteral("Label1"), m_picture1);
    m_label1->setObjectName(QStringLiteral("Label1"));
    m_label1->setGeometry(twipsRect(195, 360, 7530, 1005));
    m_label1->setAutoFillBackground(false);
    m_label1->setWordWrap(true);
    m_label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    m_command1 = new PushButton(QStringLiteral("Overwrite"), this);
    m_command1->setObjectName(QStringLiteral("Command1"));
    m_command1->setGeometry(twipsRect(1665, 1800, 1410, 480));
    auto *command2 = new PushButton(QStringLiteral("Resume"), this);
    command2->setObjectName(QStringLiteral("Command2"));
    command2->setGeometry(twipsRect(3180, 1800, 1410, 480));
    auto *command3 = new PushButton(QStringLiteral("Cancel"), this);
    command3->setObjectName(QStringLiteral("Command3"));
    command3->setGeometry(twipsRect(4710, 1800, 1410, 480));

    setTabOrder(m_command1, command2);
    setTabOrder(command2, command3);

    connect(m_command1, &QPushButton::clicked, this, [this] { answer(1); });
    connect(command2, &QPushButton::clicked, this, [this] { answer(2); });
    connect(command3, &QPushButton::clicked, this, [this] { answer(0); });
}

void frmMessageBox::Form_Load()
{
    // The white band spans the whole window, from one pixel left of the
    // client area past its right edge.
    m_picture1->setGeometry(-1, 0, width() + 2, m_picture1->height());
    frmMessage = 0;
    m_label1->setText(QStringLiteral(
        "The file you have selected already exists. If this is a recently downloaded partial file, you can try to "
        "resume. But if the file on the server is different than the file you originally started to download, you "
        "will get a corrupted download because this tool can force a resume. If you are unsure if the current file "
        "on the server is the same as the one you already started to download, select Overwrite."));
    m_command1->setFocus(Qt::ActiveWindowFocusReason);
}

void frmMessageBox::showEvent(QShowEvent *event)
{
    // Every display is a fresh load: a previous answer never carries over.
    Form_Load();
    ModalWindow::showEvent(event);
}

void frmMessageBox::answer(int value)
{
    frmMessage = value;
    close();
}
