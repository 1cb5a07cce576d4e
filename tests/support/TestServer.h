#pragma once

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

// Writes `count` pseudo-random bytes (the same for the same seed) to `path`
// and returns them; empty when the file could not be written.
QByteArray writeRandomFile(const QString &path, qsizetype count, quint64 seed = 1);

// A throw-away certificate authority and two server certificates signed by
// it: one for "localhost" and 127.0.0.1, one for a host nobody connects to.
class TestCertificates {
public:
    TestCertificates();
    bool isValid() const { return m_error.isEmpty(); }
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

// tests/support/test_server.py serving `root` on 127.0.0.1, or with Nginx{}
// Debian's nginx (plain HTTP, no request log); stopped when destroyed.
class TestServer {
public:
    struct Options {
        qint64 rate = 0;  // bytes per second for every response; 0 = unlimited
        QString tlsCert;  // HTTPS when set
        QString tlsKey;
    };
    struct Nginx {};
    TestServer(const QString &root, const Options &options);
    explicit TestServer(const QString &root) : TestServer(root, Options{}) {}
    TestServer(const QString &root, Nginx);
    ~TestServer();

    bool isRunning() const { return m_port != 0; }
    QString errorString() const { return m_error; }
    // "http(s)://127.0.0.1:<port>" followed by `pathAndQuery` ("/f.bin?drop=5").
    QString url(const QString &pathAndQuery) const;
    // One line per request so far: "<METHOD> <path?query> <Range or ->".
    QStringList requestLog() const;

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    quint16 m_port = 0;
    bool m_tls = false;
    QString m_error;
};
