#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

// The same pseudo-random bytes for the same seed.
QByteArray makeRandomBytes(qsizetype count, quint64 seed = 1);
// Writes makeRandomBytes(count, seed) to `path` and returns them; empty when
// the file could not be written.
QByteArray writeRandomFile(const QString &path, qsizetype count, quint64 seed = 1);

// A throw-away certificate authority and two server certificates signed by
// it, made with the openssl command line: one for "localhost" and
// 127.0.0.1, one for a host name nobody connects to.
class TestCertificates {
public:
    TestCertificates();

    bool isValid() const { return m_valid; }
    QString errorString() const { return m_error; }
    QString caBundle() const { return path("ca.pem"); }
    QString serverCert() const { return path("server.pem"); }
    QString serverKey() const { return path("server.key"); }
    QString wrongHostCert() const { return path("wrong.pem"); }
    QString wrongHostKey() const { return path("wrong.key"); }

private:
    QString path(const char *name) const { return m_dir.filePath(QString::fromLatin1(name)); }
    bool run(const QStringList &arguments);

    QTemporaryDir m_dir;
    bool m_valid = false;
    QString m_error;
};

// tests/support/test_server.py on 127.0.0.1 and a free port, serving `root`;
// stopped when destroyed. Every request it answers is in requestLog().
class TestServer {
public:
    struct Options {
        qint64 rate = 0;  // bytes per second for every response; 0 = unlimited
        QString tlsCert;  // HTTPS when set
        QString tlsKey;
    };

    explicit TestServer(const QString &root, const Options &options);
    explicit TestServer(const QString &root) : TestServer(root, Options{}) {}
    ~TestServer();
    TestServer(const TestServer &) = delete;
    TestServer &operator=(const TestServer &) = delete;

    bool isRunning() const { return m_port != 0; }
    QString errorString() const { return m_error; }
    quint16 port() const { return m_port; }
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

// Debian's nginx serving `root` on 127.0.0.1, with its configuration, logs
// and temporary files in a private directory; stopped when destroyed. With
// a certificate it speaks HTTPS and offers HTTP/2.
class NginxServer {
public:
    struct Options {
        QString tlsCert;
        QString tlsKey;
    };
    static QString executable() { return QStringLiteral("/usr/sbin/nginx"); }
    static bool installed();

    NginxServer(const QString &root, const Options &options);
    explicit NginxServer(const QString &root) : NginxServer(root, Options{}) {}
    ~NginxServer();
    NginxServer(const NginxServer &) = delete;
    NginxServer &operator=(const NginxServer &) = delete;

    bool isRunning() const { return m_port != 0; }
    QString errorString() const { return m_error; }
    QString url(const QString &pathAndQuery) const;

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    quint16 m_port = 0;
    bool m_tls = false;
    QString m_error;
};
