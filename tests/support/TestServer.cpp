#include "TestServer.h"

#include <descriptor/DescriptorBytes.h>

#include <QDeadlineTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

QByteArray writeRandomFile(const QString &path, qsizetype count, quint32 seed)
{
    const QByteArray bytes = descriptortest::randomBytes(count, seed);
    return descriptortest::writeFile(path, bytes) ? bytes : QByteArray();
}

TestCertificates::TestCertificates()
{
    const QStringList key{"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
                          "-days", "2"};
    const QStringList byCa{"-CA", caBundle(), "-CAkey", m_dir.filePath("ca.key"), "-addext",
                           "basicConstraints=CA:FALSE"};
    for (const QStringList &step : {
             QStringList{"-keyout", m_dir.filePath("ca.key"), "-out", caBundle(), "-subj", "/CN=Orvanta Test CA"},
             byCa + QStringList{"-keyout", serverKey(), "-out", serverCert(), "-subj", "/CN=localhost", "-addext",
                                "subjectAltName=DNS:localhost,IP:127.0.0.1"},
             byCa + QStringList{"-keyout", wrongHostKey(), "-out", wrongHostCert(), "-subj", "/CN=wrong-host.invalid",
                                "-addext", "subjectAltName=DNS:wrong-host.invalid"}}) {
        QProcess openssl;
        openssl.start("openssl", key + step);
        if (!openssl.waitForFinished(30000) || openssl.exitStatus() != QProcess::NormalExit || openssl.exitCode()) {
            m_error = "openssl failed: " + QString::fromLocal8Bit(openssl.readAllStandardError());
            return;
        }
    }
}

TestServer::~TestServer()
{
    m_process.terminate();
    if (!m_process.waitForFinished(3000))
        m_process.kill();  // and QProcess waits for it
}

QString TestServer::url(const QString &pathAndQuery) const
{
    return QStringLiteral("%1://127.0.0.1:%2%3").arg(m_tls ? "https" : "http", QString::number(m_port), pathAndQuery);
}

TestServer::TestServer(const QString &root, const QString &tlsCert, const QString &tlsKey) : m_tls(!tlsCert.isEmpty())
{
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // Standard input stays open while this process lives: the server leaves
    // when it closes, and after a quarter of an hour in any case.
    m_process.start("python3", {ORVANTA_TEST_SERVER, "--root", root, "--log", m_dir.filePath("requests.log"), "--script",
                                m_dir.filePath("script.json"), "--tls-cert", tlsCert, "--tls-key", tlsKey,
                                "--bind", "127.0.0.1", "--exit-on-eof", "--max-seconds", "900"});
    QByteArray line;
    const QDeadlineTimer deadline(10000);
    while (!line.endsWith('\n') && m_process.waitForReadyRead(int(deadline.remainingTime())))
        line += m_process.readLine();
    m_port = line.startsWith("PORT ") ? quint16(line.mid(5).trimmed().toUInt()) : 0;
    if (m_port == 0)
        m_error = "the test server did not start: " + QString::fromLocal8Bit(line);
}

QList<TestServer::Request> TestServer::requests() const
{
    QList<Request> requests;
    QFile log(m_dir.filePath("requests.log"));
    if (!log.open(QIODevice::ReadOnly))
        return requests;
    for (const QByteArray &line : log.readAll().split('\n')) {
        const QJsonObject record = QJsonDocument::fromJson(line).object();
        if (!record.isEmpty())
            requests.append({record["target"].toString(), record["range"].toString(), record["ifRange"].toString()});
    }
    return requests;
}

bool TestServer::setScript(const QJsonArray &entries)
{
    // Replaced whole, never seen half-written by the server.
    QSaveFile script(m_dir.filePath("script.json"));
    return script.open(QIODevice::WriteOnly) && script.write(QJsonDocument(entries).toJson()) >= 0 && script.commit();
}
