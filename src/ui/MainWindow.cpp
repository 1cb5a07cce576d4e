#include "MainWindow.h"

#include "AppStyle.h"
#include "Artwork.h"
#include "PushButton.h"
#include "TransferProgressBar.h"
#include "X11Taskbar.h"

#include <QCloseEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>

using Label = MainWindowModel::Label;

MainWindow::MainWindow(MainWindowModel &model, QWidget *parent) : QWidget(parent), m_model(model)
{
    setObjectName(QStringLiteral("mainWindow"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFont(dialogFont());
    setFixedSize(549, 321);

    buildLabels();
    buildButtons();
    buildTrayMenu();
    connectWidgets();
    connectModel();
    m_urlEdit->setText(m_model.urlText());
    mirrorModel();
}

MainWindow::~MainWindow()
{
    // The model may outlive the window: its fitter measures this window's labels.
    m_model.setFitter({});
}

void MainWindow::buildLabels()
{
    m_labels[int(Label::Info)] = addLabel("infoLabel", QString(), {10, 4, 530, 20});
    m_urlEdit = new QLineEdit(this);
    m_urlEdit->setObjectName(QStringLiteral("urlEdit"));
    m_urlEdit->setGeometry(9, 30, 528, 21);
    m_labels[int(Label::Status)] = addLabel("statusLabel", QString(), {10, 96, 410, 13});
    m_labels[int(Label::Source)] = addLabel("sourceLabel", QString(), {10, 115, 410, 13});
    m_progressBar = new TransferProgressBar(this);
    m_progressBar->setObjectName(QStringLiteral("progressBar"));
    m_progressBar->setGeometry(10, 137, 529, 17);
    addLabel("timeLeftCaption", QStringLiteral("Estimated time left:"), {10, 159, 97, 17});
    m_labels[int(Label::TimeLeft)] = addLabel("timeLeftLabel", QString(), {107, 159, 432, 17});
    addLabel("destinationCaption", QStringLiteral("Download to:"), {10, 175, 105, 17});
    m_labels[int(Label::Destination)] = addLabel("destinationLabel", QString(), {107, 175, 432, 15});
    addLabel("rateCaption", QStringLiteral("Transfer rate:"), {9, 191, 105, 17});
    m_labels[int(Label::Rate)] = addLabel("rateLabel", QString(), {107, 191, 433, 17});
    // "Estimated time left:" fills its column to the last pixel in this
    // font; a small indent keeps the values from touching their captions.
    for (Label value : {Label::TimeLeft, Label::Destination, Label::Rate})
        m_labels[int(value)]->setContentsMargins(4, 0, 0, 0);
    // Why the last attempt failed, in the words of the system, libcurl or
    // the server: two lines in the free band above the buttons.
    QLabel *reason = m_labels[int(Label::Reason)] = addLabel("reasonLabel", QString(), {10, 214, 529, 48});
    reason->setWordWrap(true);
    QPalette palette = reason->palette();
    palette.setColor(QPalette::WindowText, QColor(0x9c, 0x1c, 0x1c));
    reason->setPalette(palette);
}

void MainWindow::buildButtons()
{
    m_pasteButton = addButton("pasteButton", QStringLiteral("Paste from Clipboard"), {423, 52, 114, 26});
    m_serverButton = addButton("serverButton", QString(), {10, 271, 27, 27});
    m_serverButton->setIcon(QIcon(serverButtonPicture()));
    m_serverButton->setIconSize(serverButtonPicture().size());
    m_serverButton->hide();
    m_downloadUrlButton = addButton("downloadUrlButton", QStringLiteral("Download from URL"), {105, 271, 115, 31});
    m_loadDescriptorButton = addButton("loadDescriptorButton", QStringLiteral("Load DDF Data File"), {221, 271, 115, 31});
    m_pauseButton = addButton("pauseButton", QStringLiteral("Pause Download..."), {337, 271, 115, 31});

    // Keyboard order: the three commands first, then the server button,
    // the URL box and "Paste from Clipboard".
    setTabOrder(m_downloadUrlButton, m_loadDescriptorButton);
    setTabOrder(m_loadDescriptorButton, m_pauseButton);
    setTabOrder(m_pauseButton, m_serverButton);
    setTabOrder(m_serverButton, m_urlEdit);
    setTabOrder(m_urlEdit, m_pasteButton);
}

void MainWindow::connectWidgets()
{
    connect(m_urlEdit, &QLineEdit::textEdited, this, [this](const QString &text) {
        m_model.setUrlText(text);
        emit urlEdited(text);
    });
    // Enter in the URL box does what "Download from URL" does whenever that
    // button could be clicked, not only when it holds the focus.
    connect(m_urlEdit, &QLineEdit::returnPressed, this, [this] {
        if (m_model.downloadUrlEnabled())
            emit downloadUrlClicked();
    });
    connect(m_pasteButton, &QPushButton::clicked, this, &MainWindow::pasteClicked);
    connect(m_downloadUrlButton, &QPushButton::clicked, this, &MainWindow::downloadUrlClicked);
    connect(m_loadDescriptorButton, &QPushButton::clicked, this, &MainWindow::loadDescriptorClicked);
    connect(m_pauseButton, &QPushButton::clicked, this, &MainWindow::pauseButtonClicked);
    connect(m_serverButton, &QPushButton::clicked, this, &MainWindow::serverButtonClicked);
}

void MainWindow::connectModel()
{
    connect(&m_model, &MainWindowModel::changed, this, &MainWindow::mirrorModel);
    connect(&m_model, &MainWindowModel::urlTextSet, this, [this](const QString &text) {
        // Re-setting the same text would throw the caret to the end while
        // the user types.
        if (m_urlEdit->text() != text)
            m_urlEdit->setText(text);
    });
    connect(&m_model, &MainWindowModel::progressValueSet, m_progressBar, &TransferProgressBar::setValue);
    connect(&m_model, &MainWindowModel::progressMaxSet, m_progressBar, &TransferProgressBar::setMax);
    // Paths are shortened in the middle so that both their start and the
    // file name stay readable.
    m_model.setFitter([this](Label label, const QString &text) {
        const QLabel *target = m_labels[int(label)];
        return target->fontMetrics().elidedText(text, Qt::ElideMiddle, target->contentsRect().width());
    });
}

QLabel *MainWindow::addLabel(const char *name, const QString &text, const QRect &geometry)
{
    auto *label = new QLabel(text, this);
    label->setObjectName(QLatin1String(name));
    label->setGeometry(geometry);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setTextFormat(Qt::PlainText);
    return label;
}

QPushButton *MainWindow::addButton(const char *name, const QString &text, const QRect &geometry)
{
    auto *button = new PushButton(text, this);
    button->setObjectName(QLatin1String(name));
    button->setGeometry(geometry);
    return button;
}

QAction *MainWindow::addMenuItem(const char *name, const QString &caption)
{
    QAction *action = m_trayMenu->addAction(caption);
    action->setObjectName(QLatin1String(name));
    return action;
}

void MainWindow::buildTrayMenu()
{
    m_trayMenu = new QMenu(QStringLiteral("TrayMenu"), this);
    m_trayMenu->setObjectName(QStringLiteral("trayMenu"));
    connect(addMenuItem("restoreAction", QStringLiteral("Restore")), &QAction::triggered, this,
            &MainWindow::restoreRequested);
    connect(addMenuItem("viewLogAction", QStringLiteral("View Log")), &QAction::triggered, this,
            &MainWindow::viewLogRequested);
    m_pauseAction = addMenuItem("pauseAction", QStringLiteral("Pause"));
    m_pauseAction->setCheckable(true);
    connect(m_pauseAction, &QAction::triggered, this, [this] {
        // Qt flips the check mark on every click; only the pause logic may
        // change it (a click while nothing runs must leave it as it was).
        m_pauseAction->setChecked(m_model.pauseChecked());
        emit pauseRequested();
    });
    m_trayMenu->addSeparator()->setObjectName(QStringLiteral("quitSeparator"));
    connect(addMenuItem("quitAction", QStringLiteral("Quit")), &QAction::triggered, this, &MainWindow::quitRequested);
}

void MainWindow::mirrorModel()
{
    for (std::size_t i = 0; i < m_labels.size(); ++i)
        m_labels[i]->setText(m_model.text(Label(i)));
    showInfoOnOneLine();
    setWindowTitle(m_model.windowTitle());
    m_downloadUrlButton->setEnabled(m_model.downloadUrlEnabled());
    m_loadDescriptorButton->setEnabled(m_model.loadDescriptorEnabled());
    m_pauseButton->setText(m_model.pauseButtonCaption());
    m_pauseButton->setEnabled(m_model.pauseButtonEnabled());
    m_serverButton->setVisible(m_model.serverButtonVisible());
    m_pauseAction->setChecked(m_model.pauseChecked());
}

// The descriptor summary has three lines, but its label is one line high:
// cut there, the second line showed half its height. The lines are shown side
// by side instead, elided at the right, with the whole text as tool tip.
void MainWindow::showInfoOnOneLine()
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

void MainWindow::focusDownloadButton() { m_downloadUrlButton->setFocus(Qt::OtherFocusReason); }

void MainWindow::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && (windowState() & Qt::WindowMinimized))
        emit minimized();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    event->ignore();
    emit closeRequested();
}

void MainWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    setSkipTaskbar(this);
    if (m_centred)
        return;
    m_centred = true;
    // The first control in keyboard order that can take the focus starts with it.
    if (!focusWidget()) {
        for (QWidget *w : std::initializer_list<QWidget *>{m_downloadUrlButton, m_loadDescriptorButton, m_pauseButton,
                                                           m_serverButton, m_urlEdit, m_pasteButton}) {
            if (w->isEnabled() && w->isVisibleTo(this)) {
                w->setFocus(Qt::ActiveWindowFocusReason);
                break;
            }
        }
    }
    centreOnPrimaryScreen(this);
}
