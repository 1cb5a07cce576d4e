#pragma once

#include <QJsonArray>
#include <QList>
#include <QProcess>
#include <QTemporaryDir>

// Writes `count` pseudo-random bytes (the same for the same seed) to `path`
// and returns them; empty when the file could not be written.
QByteArray writeRandomFile(const QString &path, qsizetype count, quint32 seed = 1);

// A throw-away certificate authority and two server certificates signed by
// it: one for "localhost" and 127.0.0.1, one for a host nobody connects to.
class TestCertificates {
public:
    TestCertificates();
    QString errorString() const { return m_error; }
    QString caBundle() const { return m_dir.filePath("ca.pem"); }
    QString serverCert() const { return m_dir.filePath("server.pem"); }
    QString serverKey() const { return m_dir.filePath("server.key"); }
    QString wrongHostCert() const { return m_dir.filePath("wrong.pem"); }
    QString wrongHostKey() const { return m_dir.filePath("wrong.key"); }

private:
    QTemporaryDir m_dir;
    QString m_error;
};

// scripts/test_server.py serving `root` on 127.0.0.1 (its faults are listed
// at the top of that script); stopped when destroyed, and it stops by itself
// should the test die.
class TestServer {
public:
    // One request as the server saw it; range and ifRange empty when not sent.
    struct Request {
        QString target, range, ifRange;  // target: path and query
    };
    // HTTPS when given a certificate and its key.
    explicit TestServer(const QString &root, const QString &tlsCert = {}, const QString &tlsKey = {});
    ~TestServer();

    bool isRunning() const { return m_port != 0; }
    QString errorString() const { return m_error; }
    // "http(s)://127.0.0.1:<port>" followed by `pathAndQuery` ("/f.bin?drop=5").
    QString url(const QString &pathAndQuery) const;
    QList<Request> requests() const;
    // Faults for the coming requests, each entry used up by the request it
    // matches (see --script in the server); replaces any earlier script.
    bool setScript(const QJsonArray &entries);

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    bool m_tls;
    quint16 m_port = 0;
    QString m_error;
};
