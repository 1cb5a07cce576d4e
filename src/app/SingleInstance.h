#pragma once

#include "CommandLine.h"

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class QLocalServer;
class QLocalSocket;

// One window per user. The first start listens on a local socket that only
// its user can reach; a later start hands its request to it and ends. The
// running instance answers at once, "taken" or why not, and acts on a taken
// request afterwards from its event loop.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    // True while a download runs or waits to retry: a new start must wait.
    using BusyCheck = std::function<bool()>;

    // The socket: orvanta-downloader.socket in $XDG_RUNTIME_DIR, or a name
    // with the user id in the temporary folder when that is not set.
    static QString defaultServerName();

    explicit SingleInstance(QString serverName = defaultServerName(), QObject *parent = nullptr);
    ~SingleInstance() override;

    // Hands `request` to the instance running for this user, or becomes it.
    // nullopt: this process is now the running instance (or runs on its own,
    // after a warning, when it cannot listen). Otherwise the exit status of
    // this start, its outcome printed: 0 taken, 1 refused or unanswered.
    // Blocks for at most `timeoutMs` per wait, before any window exists.
    std::optional<int> handOverOrListen(const StartRequest &request, int timeoutMs = 10000);

    void setBusyCheck(BusyCheck check) { m_busy = std::move(check); }
    bool isListening() const;
    const QString &serverName() const { return m_name; }

    // Reasons sent back to a later start, and shown by the running one.
    static QString downloadRunningReason();
    static QString dialogOpenReason();

signals:
    // A later start's request after its answer went out: `refusal` is empty
    // when it was taken, else the reason it was sent.
    void handedOver(const StartRequest &request, const QString &refusal);

private:
    enum class Delivery { Taken, Refused, Unanswered, NoInstance };
    Delivery deliver(const StartRequest &request, int timeoutMs, QString *reason) const;
    bool listen();
    void acceptConnections();
    void readRequest(QLocalSocket *socket);
    QString refusalNow() const;

    QString m_name;
    QLocalServer *m_server = nullptr;
    BusyCheck m_busy;
};
