#include "SingleInstance.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QTimer>
#include <QUrl>

#include <cstdio>

#include <unistd.h>

namespace {

// A request line is short; anything longer is not ours.
constexpr qint64 MaxLine = 64 * 1024;
// How long a connected client may take to send its line.
constexpr int RequestTimeoutMs = 5000;

const QByteArray Descriptor = "descriptor";
const QByteArray Url = "url";
const QByteArray Show = "show";
const QByteArray Taken = "taken";
const QByteArray Refused = "refused";

// "<word> <percent-encoded text>\n", or "<word>\n" without text.
QByteArray line(const QByteArray &word, const QString &text = {})
{
    return text.isNull() ? word + '\n' : word + ' ' + QUrl::toPercentEncoding(text) + '\n';
}

struct Line {
    QByteArray word;
    QString text;
};

Line splitLine(QByteArray bytes)
{
    bytes.chop(bytes.endsWith('\n') ? 1 : 0);
    const qsizetype space = bytes.indexOf(' ');
    if (space < 0)
        return {bytes, QString()};
    return {bytes.left(space), QUrl::fromPercentEncoding(bytes.mid(space + 1))};
}

void printError(const QString &text)
{
    std::fprintf(stderr, "orvanta-downloader: %s\n", text.toLocal8Bit().constData());
}

}  // namespace

QString SingleInstance::defaultServerName()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir())
        return QDir(runtime).filePath(QStringLiteral("orvanta-downloader.socket"));
    return QDir(QDir::tempPath()).filePath(QStringLiteral("orvanta-downloader-%1.socket").arg(::getuid()));
}

SingleInstance::SingleInstance(QString serverName, QObject *parent) : QObject(parent), m_name(std::move(serverName)) {}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::downloadRunningReason()
{
    return QStringLiteral("Orvanta Downloader is busy with a download. Pause it or let it finish, then open this "
                          "again.");
}

QString SingleInstance::dialogOpenReason()
{
    return QStringLiteral("Orvanta Downloader is waiting for an answer in one of its windows. Answer it, then open "
                          "this again.");
}

bool SingleInstance::isListening() const { return m_server && m_server->isListening(); }

std::optional<int> SingleInstance::handOverOrListen(const StartRequest &request, int timeoutMs)
{
    // One start at a time decides: whoever holds the lock and finds no
    // instance may clear a socket left by a crash without taking a socket
    // away from a start that is just coming up. A lock left by a crashed
    // start is recognised by its dead owner and taken over.
    QLockFile lock(m_name + QStringLiteral(".lock"));
    if (!lock.tryLock(timeoutMs))
        printError(QStringLiteral("could not lock %1; going on without it").arg(lock.fileName()));

    QString reason;
    switch (deliver(request, timeoutMs, &reason)) {
    case Delivery::Taken:
        return 0;
    case Delivery::Refused:
    case Delivery::Unanswered:
        printError(reason);
        return 1;
    case Delivery::NoInstance:
        break;
    }
    if (!listen())
        printError(QStringLiteral("cannot listen on %1 (%2); later starts will open windows of their own")
                       .arg(m_name, m_server->errorString()));
    return std::nullopt;
}

SingleInstance::Delivery SingleInstance::deliver(const StartRequest &request, int timeoutMs, QString *reason) const
{
    QLocalSocket socket;
    socket.connectToServer(m_name);
    if (!socket.waitForConnected(timeoutMs))
        return Delivery::NoInstance;

    // The running instance has another working folder: send whole paths.
    const QByteArray out = !request.descriptorPath.isEmpty()
                               ? line(Descriptor, QFileInfo(request.descriptorPath).absoluteFilePath())
                           : !request.url.isEmpty() ? line(Url, request.url)
                                                    : line(Show);
    socket.write(out);
    const QDeadlineTimer deadline(timeoutMs);
    QByteArray answer;
    while (!answer.endsWith('\n') && answer.size() < MaxLine) {
        if (!socket.bytesAvailable() && !socket.waitForReadyRead(int(deadline.remainingTime())))
            break;
        answer += socket.readLine(MaxLine - answer.size());
    }
    if (!answer.endsWith('\n')) {
        *reason = QStringLiteral("the running Orvanta Downloader did not answer (%1)").arg(socket.errorString());
        return Delivery::Unanswered;
    }
    const Line reply = splitLine(answer);
    if (reply.word == Taken)
        return Delivery::Taken;
    *reason = reply.word == Refused ? reply.text
                                    : QStringLiteral("the running Orvanta Downloader gave an answer not understood");
    return Delivery::Refused;
}

bool SingleInstance::listen()
{
    if (!m_server) {
        m_server = new QLocalServer(this);
        m_server->setSocketOptions(QLocalServer::UserAccessOption);
        connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::acceptConnections);
    }
    // With an access option the socket is made aside and renamed onto the
    // name, which replaces a socket file left by a start that crashed. The
    // lock keeps it from replacing one that is alive.
    return m_server->listen(m_name);
}

void SingleInstance::acceptConnections()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readRequest(socket); });
        // A client that connects and says nothing is dropped.
        QTimer::singleShot(RequestTimeoutMs, socket, [socket] { socket->abort(); });
    }
}

QString SingleInstance::refusalNow() const
{
    if (m_busy && m_busy())
        return downloadRunningReason();
    // A start taken inside an open dialog would replace what that dialog is
    // still asking about.
    if (qobject_cast<QApplication *>(QCoreApplication::instance()) && QApplication::activeModalWidget())
        return dialogOpenReason();
    return QString();
}

void SingleInstance::readRequest(QLocalSocket *socket)
{
    if (!socket->canReadLine()) {
        if (socket->bytesAvailable() >= MaxLine)
            socket->abort();
        return;
    }
    const Line in = splitLine(socket->readLine(MaxLine));
    StartRequest request;
    if (in.word == Descriptor && !in.text.isEmpty())
        request.descriptorPath = in.text;
    else if (in.word == Url && !in.text.isEmpty())
        request.url = in.text;
    else if (in.word != Show || !in.text.isNull()) {
        socket->abort();
        return;
    }

    // Raising the window disturbs nothing, busy or not.
    const QString refusal = request.isEmpty() ? QString() : refusalNow();
    socket->write(refusal.isEmpty() ? line(Taken) : line(Refused, refusal));
    socket->disconnectFromServer();
    // Acted on after this handler: taking a request may open dialogs. Over
    // an open dialog the window is only raised: a second box would stack on
    // the question the user has yet to answer (the later start prints why).
    const bool overDialog = refusal == dialogOpenReason();
    QMetaObject::invokeMethod(
        this,
        [this, request, refusal, overDialog] {
            emit handedOver(overDialog ? StartRequest() : request, overDialog ? QString() : refusal);
        },
        Qt::QueuedConnection);
}
