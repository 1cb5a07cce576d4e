#include "ServerChoiceDialog.h"

#include "PushButton.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>

namespace {
constexpr int AllServersRowHeight = 24;
}  // namespace

ServerChoiceDialog::ServerChoiceDialog(QWidget *parent)
    : ModalWindow(QStringLiteral("Select a Server..."), QSize(416, 146 + AllServersRowHeight), parent)
{
    setObjectName(QStringLiteral("serverChoiceDialog"));

    auto *intro = new QLabel(QStringLiteral("There are multiple servers offered for this download. Depending on your "
                                            "geographical location and time of day, some servers may be faster than "
                                            "others."),
                             this);
    intro->setObjectName(QStringLiteral("introLabel"));
    intro->setGeometry(4, 6, 410, 31);
    intro->setWordWrap(true);
    intro->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    auto *prompt = new QLabel(QStringLiteral("Please select a server from the list below..."), this);
    prompt->setObjectName(QStringLiteral("promptLabel"));
    prompt->setGeometry(74, 44, 266, 16);
    prompt->setAlignment(Qt::AlignHCenter | Qt::AlignTop);

    m_serverList = new QComboBox(this);
    m_serverList->setObjectName(QStringLiteral("serverList"));
    m_serverList->setEditable(false);
    m_serverList->setGeometry(48, 70, 311, 21);

    auto *ok = new PushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("okButton"));
    ok->setGeometry(172, 109, 64, 30);

    // Below everything else and last in the tab order: the keys that
    // accepted the window before still do.
    m_allServers = new QCheckBox(QStringLiteral("Use all servers at once"), this);
    m_allServers->setObjectName(QStringLiteral("allServersBox"));
    m_allServers->setGeometry(48, 146, 311, AllServersRowHeight - 4);
    m_allServers->setChecked(true);

    setTabOrder(m_serverList, ok);
    setTabOrder(ok, m_allServers);
    connect(ok, &QPushButton::clicked, this, [this] {
        m_chosenRow = m_serverList->currentIndex();
        accept();
    });
}

void ServerChoiceDialog::setServers(const QStringList &names, int selected)
{
    m_serverList->clear();
    m_serverList->addItems(names);
    if (!names.isEmpty())
        m_serverList->setCurrentIndex(selected >= 0 && selected < names.size() ? selected : 0);
}

void ServerChoiceDialog::setUseAllServers(bool on)
{
    m_allServers->setChecked(on);
}

bool ServerChoiceDialog::useAllServers() const
{
    return m_allServers->isChecked();
}

void ServerChoiceDialog::showEvent(QShowEvent *event)
{
    m_chosenRow.reset();
    m_serverList->setFocus(Qt::ActiveWindowFocusReason);
    ModalWindow::showEvent(event);
}
