#include "TestServer.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QThread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

namespace {

constexpr int kStartTimeoutMs = 10000;

// splitmix64: fast, and good enough to make every 4096-byte block distinct.
quint64 nextRandom(quint64 &state)
{
    quint64 z = (state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

sockaddr_in loopback(quint16 port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// A port nobody listens on right now (the kernel's pick for port 0).
quint16 freePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return 0;
    sockaddr_in address = loopback(0);
    socklen_t length = sizeof address;
    quint16 port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

bool accepts(quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    const sockaddr_in address = loopback(port);
    const bool ok = ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

void stop(QProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(3000)) {
        process.kill();
        process.waitForFinished(3000);
    }
}

}  // namespace

QByteArray makeRandomBytes(qsizetype count, quint64 seed)
{
    QByteArray bytes(count, Qt::Uninitialized);
    quint64 state = seed;
    qsizetype at = 0;
    for (; at + 8 <= count; at += 8) {
        const quint64 value = nextRandom(state);
        std::memcpy(bytes.data() + at, &value, 8);
    }
    if (at < count) {
        const quint64 value = nextRandom(state);
        std::memcpy(bytes.data() + at, &value, size_t(count - at));
    }
    return bytes;
}

QByteArray writeRandomFile(const QString &path, qsizetype count, quint64 seed)
{
    const QByteArray bytes = makeRandomBytes(count, seed);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        return {};
    return bytes;
}

// --- TestCertificates ---------------------------------------------------------

TestCertificates::TestCertificates()
{
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary directory");
        return;
    }
    const QString ecKey = QStringLiteral("ec");
    const QString curve = QStringLiteral("ec_paramgen_curve:prime256v1");
    QFile extensions(path("server.ext"));
    QFile wrongExtensions(path("wrong.ext"));
    if (!extensions.open(QIODevice::WriteOnly) || !wrongExtensions.open(QIODevice::WriteOnly)) {
        m_error = QStringLiteral("cannot write the extension files");
        return;
    }
    const QByteArray common = "basicConstraints=CA:FALSE\nkeyUsage=digitalSignature,keyEncipherment\n"
                              "extendedKeyUsage=serverAuth\n";
    extensions.write("subjectAltName=DNS:localhost,IP:127.0.0.1\n" + common);
    wrongExtensions.write("subjectAltName=DNS:wrong-host.invalid\n" + common);
    extensions.close();
    wrongExtensions.close();

    m_valid =
        run({"req", "-x509", "-newkey", ecKey, "-pkeyopt", curve, "-nodes", "-keyout", path("ca.key"), "-out",
             caBundle(), "-days", "2", "-subj", "/CN=Orvanta Test CA", "-addext",
             "basicConstraints=critical,CA:TRUE", "-addext", "keyUsage=critical,keyCertSign,cRLSign"}) &&
        run({"req", "-newkey", ecKey, "-pkeyopt", curve, "-nodes", "-keyout", serverKey(), "-out",
             path("server.csr"), "-subj", "/CN=localhost"}) &&
        run({"x509", "-req", "-in", path("server.csr"), "-CA", caBundle(), "-CAkey", path("ca.key"),
             "-CAcreateserial", "-out", serverCert(), "-days", "2", "-extfile", path("server.ext")}) &&
        run({"req", "-newkey", ecKey, "-pkeyopt", curve, "-nodes", "-keyout", wrongHostKey(), "-out",
             path("wrong.csr"), "-subj", "/CN=wrong-host.invalid"}) &&
        run({"x509", "-req", "-in", path("wrong.csr"), "-CA", caBundle(), "-CAkey", path("ca.key"),
             "-CAcreateserial", "-out", wrongHostCert(), "-days", "2", "-extfile", path("wrong.ext")});
}

bool TestCertificates::run(const QStringList &arguments)
{
    QProcess openssl;
    openssl.setProcessChannelMode(QProcess::MergedChannels);
    openssl.start(QStringLiteral("openssl"), arguments);
    if (!openssl.waitForFinished(30000) || openssl.exitStatus() != QProcess::NormalExit ||
        openssl.exitCode() != 0) {
        m_error = QStringLiteral("openssl %1 failed: %2")
                      .arg(arguments.join(QLatin1Char(' ')), QString::fromLocal8Bit(openssl.readAll()));
        return false;
    }
    return true;
}

// --- TestServer -------------------------------------------------------------

TestServer::TestServer(const QString &root, const Options &options) : m_tls(!options.tlsCert.isEmpty())
{
    QStringList arguments{QStringLiteral(ORVANTA_TEST_SERVER), QStringLiteral("--root"), root,
                          QStringLiteral("--bind"), QStringLiteral("127.0.0.1"), QStringLiteral("--port"),
                          QStringLiteral("0"), QStringLiteral("--log"), m_dir.filePath(QStringLiteral("requests.log"))};
    if (options.rate > 0)
        arguments << QStringLiteral("--rate") << QString::number(options.rate);
    if (m_tls)
        arguments << QStringLiteral("--tls-cert") << options.tlsCert << QStringLiteral("--tls-key") << options.tlsKey;
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QStringLiteral("python3"), arguments);

    const QDeadlineTimer deadline(kStartTimeoutMs);
    QByteArray line;
    while (!line.endsWith('\n') && !deadline.hasExpired() && m_process.state() != QProcess::NotRunning) {
        if (m_process.canReadLine() || m_process.waitForReadyRead(int(deadline.remainingTime())))
            line += m_process.readLine();
    }
    if (line.startsWith("PORT "))
        m_port = quint16(line.mid(5).trimmed().toUInt());
    if (m_port == 0) {
        m_error = QStringLiteral("the test server did not start: ") + QString::fromLocal8Bit(line);
        stop(m_process);
    }
}

TestServer::~TestServer() { stop(m_process); }

QString TestServer::url(const QString &pathAndQuery) const
{
    return QStringLiteral("%1://127.0.0.1:%2%3")
        .arg(m_tls ? QStringLiteral("https") : QStringLiteral("http"))
        .arg(m_port)
        .arg(pathAndQuery);
}

QStringList TestServer::requestLog() const
{
    QFile log(m_dir.filePath(QStringLiteral("requests.log")));
    if (!log.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(log.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// --- NginxServer ------------------------------------------------------------

bool NginxServer::installed() { return QFile::exists(executable()); }

NginxServer::NginxServer(const QString &root, const Options &options) : m_tls(!options.tlsCert.isEmpty())
{
    const quint16 port = freePort();
    const QString dir = m_dir.path();
    QFile config(m_dir.filePath(QStringLiteral("nginx.conf")));
    if (port == 0 || !config.open(QIODevice::WriteOnly)) {
        m_error = QStringLiteral("cannot prepare nginx");
        return;
    }
    config.write(QStringLiteral(
                     "daemon off;\n"
                     "master_process off;\n"
                     "worker_processes 1;\n"
                     "pid %1/nginx.pid;\n"
                     "error_log %1/error.log;\n"
                     "events { worker_connections 64; }\n"
                     "http {\n"
                     "  access_log %1/access.log;\n"
                     "  client_body_temp_path %1/body;\n"
                     "  proxy_temp_path %1/proxy;\n"
                     "  fastcgi_temp_path %1/fastcgi;\n"
                     "  uwsgi_temp_path %1/uwsgi;\n"
                     "  scgi_temp_path %1/scgi;\n"
                     "  default_type application/octet-stream;\n"
                     "  sendfile on;\n"
                     "  server {\n"
                     "    listen 127.0.0.1:%2%4;\n"
                     "    root %3;\n"
                     "%5"
                     "  }\n"
                     "}\n")
                     .arg(dir)
                     .arg(port)
                     .arg(root)
                     .arg(m_tls ? QStringLiteral(" ssl http2") : QString())
                     .arg(m_tls ? QStringLiteral("    ssl_certificate %1;\n    ssl_certificate_key %2;\n")
                                      .arg(options.tlsCert, options.tlsKey)
                                : QString())
                     .toUtf8());
    config.close();

    m_process.setProcessChannelMode(QProcess::ForwardedChannels);
    m_process.start(executable(), {QStringLiteral("-p"), dir, QStringLiteral("-c"), config.fileName(),
                                   QStringLiteral("-e"), m_dir.filePath(QStringLiteral("error.log"))});
    if (!m_process.waitForStarted(kStartTimeoutMs)) {
        m_error = QStringLiteral("nginx did not start");
        return;
    }
    const QDeadlineTimer deadline(kStartTimeoutMs);
    while (!deadline.hasExpired() && m_process.state() == QProcess::Running) {
        if (accepts(port)) {
            m_port = port;
            return;
        }
        QThread::msleep(20);
    }
    QFile errors(m_dir.filePath(QStringLiteral("error.log")));
    errors.open(QIODevice::ReadOnly);
    m_error = QStringLiteral("nginx is not listening: ") + QString::fromLocal8Bit(errors.readAll());
    stop(m_process);
}

NginxServer::~NginxServer() { stop(m_process); }

QString NginxServer::url(const QString &pathAndQuery) const
{
    return QStringLiteral("%1://127.0.0.1:%2%3")
        .arg(m_tls ? QStringLiteral("https") : QStringLiteral("http"))
        .arg(m_port)
        .arg(pathAndQuery);
}
