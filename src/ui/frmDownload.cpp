#include "frmDownload.h"

#include "AppStyle.h"
#include "Artwork.h"
#include "PushButton.h"
#include "Twips.h"
#include "UserControl1.h"
#include "X11Taskbar.h"


#include <QCloseEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QScreen>
#include <QStyle>

using Label = MainWindowModel::Label;

frmDownload::frmDownload(MainWindowModel &model, QWidget *parent) : QWidget(parent), m_model(model)
{
    setObjectName(QStringLiteral("frmDownload"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setWindowIcon(windowIcon());
    setFont(dialogFont());
    setFixedSize(twipsSize(8235, 4815));

    m_labels[int(Label::Info)] = addLabel("LblInfo", QString(), twipsRect(150, 60, 7950, 300));
    m_txtURL = new QLineEdit(this);
    m_txtURL->setObjectName(QStringLiteral("txtURL"));
    m_txtURL->setGeometry(twipsRect(135, 450, 7920, 315));
    m_cmdPaste = new PushButton(QStringLiteral("Paste from Clipboard"), this);
    m_cmdPaste->setObjectName(QStringLiteral("cmdPaste"));
    m_cmdPaste->setGeometry(twipsRect(6345, 780, 1710, 390));
    m_labels[int(Label::Status)] = addLabel("StatusLabel", QString(), twipsRect(150, 1440, 6150, 195));
    m_labels[int(Label::Source)] = addLabel("SourceLabel", QString(), twipsRect(150, 1725, 6150, 195));
    m_progressBar = new UserControl1(this);
    m_progressBar->setObjectName(QStringLiteral("ProgressBar"));
    m_progressBar->setGeometry(twipsRect(150, 2055, 7935, 255));
    addLabel("EstimatedTimeLeft", QStringLiteral("Estimated time left:"), twipsRect(150, 2385, 1455, 255));
    m_labels[int(Label::Time)] = addLabel("TimeLabel", QString(), twipsRect(1605, 2385, 6480, 255));
    addLabel("DownloadTo", QStringLiteral("Download to:"), twipsRect(150, 2625, 1575, 255));
    m_labels[int(Label::To)] = addLabel("ToLabel", QString(), twipsRect(1605, 2625, 6480, 225));
    addLabel("TransferRate", QStringLiteral("Transfer rate:"), twipsRect(135, 2865, 1575, 255));
    m_labels[int(Label::Rate)] = addLabel("RateLabel", QString(), twipsRect(1605, 2865, 6495, 255));
    // "Estimated time left:" fills its column to the last pixel in this
    // font; a small indent keeps the values from touching their captions.
    for (Label value : {Label::Time, Label::To, Label::Rate})
        m_labels[int(value)]->setContentsMargins(4, 0, 0, 0);

    m_cmdServers = new PushButton(QString(), this);
    m_cmdServers->setObjectName(QStringLiteral("cmdServers"));
    m_cmdServers->setGeometry(twipsRect(150, 4065, 405, 405));
    m_cmdServers->setIcon(QIcon(serverButtonPicture()));
    m_cmdServers->setIconSize(serverButtonPicture().size());
    m_cmdServers->hide();
    m_cmdURL = new PushButton(QStringLiteral("Download from URL"), this);
    m_cmdURL->setObjectName(QStringLiteral("cmdURL"));
    m_cmdURL->setGeometry(twipsRect(1575, 4065, 1725, 465));
    m_command1 = new PushButton(QStringLiteral("Load DDF Data File"), this);
    m_command1->setObjectName(QStringLiteral("Command1"));
    m_command1->setGeometry(twipsRect(3315, 4065, 1725, 465));
    m_cancelButton = new PushButton(QStringLiteral("Pause Download..."), this);
    m_cancelButton->setObjectName(QStringLiteral("CancelButton"));
    m_cancelButton->setGeometry(twipsRect(5055, 4065, 1725, 465));

    // Tab indexes 0, 1, 2, 13, 14, 15; labels and the bar take no focus.
    setTabOrder(m_cmdURL, m_command1);
    setTabOrder(m_command1, m_cancelButton);
    setTabOrder(m_cancelButton, m_cmdServers);
    setTabOrder(m_cmdServers, m_txtURL);
    setTabOrder(m_txtURL, m_cmdPaste);

    buildMenu();

    connect(m_txtURL, &QLineEdit::textEdited, this, [this](const QString &text) {
        m_model.setUrlText(text);
        emit txtURLEdited(text);
    });
    connect(m_cmdPaste, &QPushButton::clicked, this, &frmDownload::cmdPasteClicked);
    connect(m_cmdURL, &QPushButton::clicked, this, &frmDownload::cmdURLClicked);
    connect(m_command1, &QPushButton::clicked, this, &frmDownload::command1Clicked);
    connect(m_cancelButton, &QPushButton::clicked, this, &frmDownload::cancelButtonClicked);
    connect(m_cmdServers, &QPushButton::clicked, this, &frmDownload::cmdServersClicked);

    connect(&m_model, &MainWindowModel::changed, this, &frmDownload::mirrorModel);
    connect(&m_model, &MainWindowModel::urlTextSet, this, [this](const QString &text) {
        // Re-setting the same text would throw the caret to the end while
        // the user types.
        if (m_txtURL->text() != text)
            m_txtURL->setText(text);
    });
    connect(&m_model, &MainWindowModel::progressValueSet, m_progressBar, &UserControl1::setValue);
    connect(&m_model, &MainWindowModel::progressMaxSet, m_progressBar, &UserControl1::setMax);
    m_model.setFitter([this](Label label, const QString &text) {
        const QLabel *target = labelFor(label);
        const QFontMetrics metrics(target->font());
        return metrics.elidedText(text, Qt::ElideMiddle, target->contentsRect().width());
    });

    m_txtURL->setText(m_model.urlText());
    mirrorModel();
}

QLabel *frmDownload::addLabel(const char *name, const QString &text, const QRect &geometry)
{
    auto *label = new QLabel(text, this);
    label->setObjectName(QLatin1String(name));
    label->setGeometry(geometry);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setTextFormat(Qt::PlainText);
    return label;
}

QLabel *frmDownload::labelFor(Label label) const { return m_labels[int(label)]; }

QAction *frmDownload::addMenuItem(const char *name, const QString &caption)
{
    QAction *action = m_menu->addAction(caption);
    action->setObjectName(QLatin1String(name));
    return action;
}

void frmDownload::buildMenu()
{
    m_menu = new QMenu(QStringLiteral("TrayMenu"), this);
    m_menu->setObjectName(QStringLiteral("mnu_1"));
    connect(addMenuItem("Restore", QStringLiteral("Restore")), &QAction::triggered, this, &frmDownload::restoreTriggered);
    connect(addMenuItem("ViewLog", QStringLiteral("View Log")), &QAction::triggered, this, &frmDownload::viewLogTriggered);
    m_pause = addMenuItem("Pause", QStringLiteral("Pause"));
    m_pause->setCheckable(true);
    connect(m_pause, &QAction::triggered, this, [this] {
        // Qt flips the check mark on every click; only the pause logic may
        // change it (a click while nothing runs must leave it as it was).
        m_pause->setChecked(m_model.pauseChecked());
        emit pauseTriggered();
    });
    m_menu->addSeparator()->setObjectName(QStringLiteral("Spacer1"));
    connect(addMenuItem("End", QStringLiteral("Quit")), &QAction::triggered, this, &frmDownload::quitTriggered);
}

void frmDownload::mirrorModel()
{
    static constexpr Label labels[] = {Label::Info, Label::Status, Label::Source, Label::Time, Label::To, Label::Rate};
    for (Label label : labels)
        m_labels[int(label)]->setText(m_model.text(label));
    showInfoOnOneLine();
    setWindowTitle(m_model.caption());
    m_cmdURL->setEnabled(m_model.cmdURLEnabled());
    m_command1->setEnabled(m_model.command1Enabled());
    m_cancelButton->setText(m_model.cancelCaption());
    m_cancelButton->setEnabled(m_model.cancelEnabled());
    m_cmdServers->setVisible(m_model.serversVisible());
    m_pause->setChecked(m_model.pauseChecked());
}

// The descriptor summary has three lines, but its label is one line high:
// cut there, the second line showed half its height. The lines are shown side
// by side instead, elided at the right, with the whole text as tool tip.
void frmDownload::showInfoOnOneLine()
{
    QLabel *info = m_labels[int(Label::Info)];
    const QString text = m_model.text(Label::Info);
    if (!text.contains(QLatin1Char('\n'))) {
        info->setToolTip(QString());
        return;
    }
    QStringList lines = text.split(QLatin1Char('\n'));
    for (QString &line : lines)
        line = line.trimmed();
    const QString joined = lines.join(QStringLiteral("    "));
    info->setText(QFontMetrics(info->font()).elidedText(joined, Qt::ElideRight, info->width()));
    info->setToolTip(text);
}

void frmDownload::focusDownloadButton() { m_cmdURL->setFocus(Qt::OtherFocusReason); }

void frmDownload::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && (windowState() & Qt::WindowMinimized))
        emit minimized();
}

void frmDownload::closeEvent(QCloseEvent *event)
{
    event->ignore();
    emit closeRequested();
}

void frmDownload::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    setSkipTaskbar(this);
    if (m_centred)
        return;
    m_centred = true;
    // The lowest tab index that can take the focus starts with it.
    if (!focusWidget()) {
        for (QWidget *w : {static_cast<QWidget *>(m_cmdURL), static_cast<QWidget *>(m_command1),
                           static_cast<QWidget *>(m_cancelButton), static_cast<QWidget *>(m_cmdServers),
                           static_cast<QWidget *>(m_txtURL), static_cast<QWidget *>(m_cmdPaste)}) {
            if (w->isEnabled() && w->isVisibleTo(this)) {
                w->setFocus(Qt::ActiveWindowFocusReason);
                break;
            }
        }
    }
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect centred(QPoint(), size());
        centred.moveCenter(screen->availableGeometry().center());
        move(centred.topLeft());
    }
}
