#include "frmServers.h"

#include "PushButton.h"
#include "Twips.h"

#include <QComboBox>
#include <QLabel>

frmServers::frmServers(QWidget *parent) : ModalWindow(QStringLiteral("Select a Server..."), twipsSize(6240, 2190), parent)
{
    setObjectName(QStringLiteral("frmServers"));

    auto *label1 = new QLabel(QStringLiteral("There are multiple servers offered for this download. Depending on your "
                                             "geographical location and time of day, some servers may be faster than "
                                             "others."),
                              this);
    label1->setObjectName(QStringLiteral("Label1"));
    label1->setGeometry(twipsRect(60, 90, 6150, 465));
    label1->setWordWrap(true);
    label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    auto *label2 = new QLabel(QStringLiteral("Please select a server from the list below..."), this);
    label2->setObjectName(QStringLiteral("Label2"));
    label2->setGeometry(twipsRect(1110, 660, 3990, 240));
    label2->setAlignment(Qt::AlignHCenter | Qt::AlignTop);

    m_cmbServers = new QComboBox(this);
    m_cmbServers->setObjectName(QStringLiteral("cmbServers"));
    m_cmbServers->setEditable(false);
    m_cmbServers->setGeometry(twipsRect(720, 1050, 4665, 315));

    auto *command1 = new PushButton(QStringLiteral("OK"), this);
    command1->setObjectName(QStringLiteral("Command1"));
    command1->setGeometry(twipsRect(2580, 1635, 960, 450));

    setTabOrder(m_cmbServers, command1);
    connect(command1, &QPushButton::clicked, this, [this] {
        m_okClicked = true;
        accept();
    });
}

void frmServers::setServers(const QStringList &names, int selected)
{
    m_cmbServers->clear();
    m_cmbServers->addItems(names);
    if (!names.isEmpty())
        m_cmbServers->setCurrentIndex(selected >= 0 && selected < names.size() ? selected : 0);
}

void frmServers::showEvent(QShowEvent *event)
{
    m_okClicked = false;
    m_cmbServers->setFocus(Qt::ActiveWindowFocusReason);
    ModalWindow::showEvent(event);
}
