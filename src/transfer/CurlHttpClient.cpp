#include "CurlHttpClient.h"

#include "PublishedDigest.h"

#include <QPointer>
#include <QSocketNotifier>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

constexpr const char *kUserAgent = "Orvanta Downloader/1.2.2";
// Large socket reads keep the CPU cost per byte low; libcurl still hands the
// body to the write callback in pieces of at most CURL_MAX_WRITE_SIZE.
constexpr long kReceiveBufferSize = 512L * 1024;
constexpr qsizetype kLongestRun = qsizetype(256) << 10;

// How often silence is measured: a failure comes at most an eighth of the
// stall time late.
int stallCheckInterval(int stallSeconds)
{
    return std::clamp(stallSeconds * 1000 / 8, 100, 5000);
}

bool isRedirect(long status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

std::optional<qint64> parseCount(QByteArrayView text)
{
    text = text.trimmed();
    if (text.isEmpty() || text.size() > 18)
        return std::nullopt;
    qint64 value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

// The reason phrase of a status line: "HTTP/1.1 404 Not Found" gives
// "Not Found"; HTTP/2 has none.
QString reasonPhrase(QByteArrayView statusLine)
{
    const qsizetype afterVersion = statusLine.indexOf(' ');
    if (afterVersion < 0)
        return {};
    const QByteArrayView rest = statusLine.sliced(afterVersion + 1).trimmed();
    const qsizetype afterCode = rest.indexOf(' ');
    return afterCode < 0 ? QString() : QString::fromLatin1(rest.sliced(afterCode + 1).trimmed());
}

}  // namespace

CurlHttpClient::CurlHttpClient(QObject *parent) : CurlHttpClient(kDefaultBlockSize, kDefaultBufferCapacity, parent) {}

CurlHttpClient::CurlHttpClient(qsizetype blockSize, qsizetype bufferCapacity, QObject *parent)
    : HttpClient(parent),
      m_blockSize(std::max<qsizetype>(1, blockSize)),
      // A piece from libcurl must always fit next to a held partial block, or
      // a paused transfer could never go on.
      m_capacity(std::max(bufferCapacity, m_blockSize + CURL_MAX_WRITE_SIZE)),
      m_maxRun(std::max(m_blockSize, kLongestRun / m_blockSize * m_blockSize))
{
    ensureCurlGlobalInit();
    m_multi.reset(curl_multi_init());
    curl_multi_setopt(m_multi.get(), CURLMOPT_SOCKETFUNCTION, &CurlHttpClient::socketCallback);
    curl_multi_setopt(m_multi.get(), CURLMOPT_SOCKETDATA, this);
    curl_multi_setopt(m_multi.get(), CURLMOPT_TIMERFUNCTION, &CurlHttpClient::timerCallback);
    curl_multi_setopt(m_multi.get(), CURLMOPT_TIMERDATA, this);
    m_curlTimer.setSingleShot(true);
    connect(&m_curlTimer, &QTimer::timeout, this, [this] { socketAction(CURL_SOCKET_TIMEOUT, 0); });
    m_stallTimer.setSingleShot(true);
    connect(&m_stallTimer, &QTimer::timeout, this, &CurlHttpClient::checkStall);
    m_failLater.setSingleShot(true);
    m_failLater.setInterval(0);
    connect(&m_failLater, &QTimer::timeout, this, &CurlHttpClient::deliver);
}

CurlHttpClient::~CurlHttpClient()
{
    cancel();
    // Closing the cached connections goes through the socket callback, which
    // still needs this object's members.
    m_multi.reset();
}

void CurlHttpClient::start(const HttpRequest &request)
{
    cancel();
    m_result = CURLE_OK;
    m_statusLine.clear();
    m_headComplete = m_bodyStarted = m_headDelivered = m_paused = false;
    m_peakBuffered = 0;
    m_pauseCount = 0;
    m_errorBuffer[0] = '\0';
    if (!m_buffer)
        m_buffer = std::make_unique_for_overwrite<char[]>(size_t(m_capacity));

    m_easy.reset(curl_easy_init());
    if (!m_easy || !configure(request) || curl_multi_add_handle(m_multi.get(), m_easy.get()) != CURLM_OK) {
        m_easy.reset();
        m_state = State::Ended;
        m_result = CURLE_FAILED_INIT;
        m_failLater.start();
        return;
    }
    m_state = State::Running;
    m_activity = m_activitySeen = 0;
    m_quietSince.start();
    if (m_stallSeconds > 0)
        m_stallTimer.start(stallCheckInterval(m_stallSeconds));
}

bool CurlHttpClient::configure(const HttpRequest &request)
{
    CURL *easy = m_easy.get();
    const auto set = [easy](CURLoption option, auto value) { return curl_easy_setopt(easy, option, value) == CURLE_OK; };
    bool ok = set(CURLOPT_ERRORBUFFER, m_errorBuffer) && set(CURLOPT_URL, request.url.trimmed().toUtf8().constData());
    // Only HTTP and HTTPS, also after a redirect: never a local file.
    ok = ok && set(CURLOPT_PROTOCOLS_STR, "http,https") && set(CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    ok = ok && set(CURLOPT_HTTPGET, 1L) && set(CURLOPT_FOLLOWLOCATION, 1L) && set(CURLOPT_MAXREDIRS, long(kMaxRedirects));
    ok = ok && set(CURLOPT_NOSIGNAL, 1L) && set(CURLOPT_USERAGENT, kUserAgent);
    ok = ok && set(CURLOPT_BUFFERSIZE, kReceiveBufferSize);
    // The bytes as the server stores them: a checksum list describes those.
    ok = ok && set(CURLOPT_HTTP_CONTENT_DECODING, 0L);
    // A proxy tunnel's own answer is not the server's response.
    ok = ok && set(CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    ok = ok && set(CURLOPT_SSL_VERIFYPEER, 1L) && set(CURLOPT_SSL_VERIFYHOST, 2L);
    const QByteArray caBundle = qgetenv("ORVANTA_CA_BUNDLE");
    if (!caBundle.isEmpty())
        ok = ok && set(CURLOPT_CAINFO, caBundle.constData());
    if (m_stallSeconds > 0)
        ok = ok && set(CURLOPT_CONNECTTIMEOUT, long(m_stallSeconds));
    if (!request.userName.isEmpty())
        ok = ok && set(CURLOPT_USERNAME, request.userName.toUtf8().constData());
    if (!request.password.isEmpty())
        ok = ok && set(CURLOPT_PASSWORD, request.password.toUtf8().constData());
    if (request.rangeStart >= 0) {
        const QByteArray range = QByteArray::number(request.rangeStart) + '-' +
                                 (request.rangeEnd >= 0 ? QByteArray::number(request.rangeEnd) : QByteArray());
        ok = ok && set(CURLOPT_RANGE, range.constData());
        if (!request.ifRange.isEmpty()) {
            const QByteArray header = "If-Range: " + request.ifRange.trimmed().toUtf8();
            m_headerList.reset(curl_slist_append(nullptr, header.constData()));
            ok = ok && m_headerList && set(CURLOPT_HTTPHEADER, m_headerList.get());
        }
    }
    ok = ok && set(CURLOPT_HEADERFUNCTION, &CurlHttpClient::headerCallback) && set(CURLOPT_HEADERDATA, this);
    return ok && set(CURLOPT_WRITEFUNCTION, &CurlHttpClient::writeCallback) && set(CURLOPT_WRITEDATA, this);
}

void CurlHttpClient::cancel()
{
    ++m_request;
    releaseRequest();
}

void CurlHttpClient::releaseRequest()
{
    if (m_easy) {
        curl_multi_remove_handle(m_multi.get(), m_easy.get());  // harmless when not added
        m_easy.reset();
    }
    m_headerList.reset();
    m_state = State::Idle;
    m_paused = false;
    m_begin = m_end = 0;
    m_stallTimer.stop();
    m_failLater.stop();
}

int CurlHttpClient::socketCallback(CURL *, curl_socket_t socket, int what, void *self, void *)
{
    auto *client = static_cast<CurlHttpClient *>(self);
    if (what == CURL_POLL_REMOVE)
        client->forgetSocket(socket);
    else
        client->watchSocket(socket, what);
    return 0;
}

void CurlHttpClient::watchSocket(curl_socket_t socket, int what)
{
    SocketWatch &watch = m_sockets[socket];
    const auto ensure = [&](QSocketNotifier *&notifier, QSocketNotifier::Type type, int mask, bool wanted) {
        if (wanted && !notifier) {
            notifier = new QSocketNotifier(qintptr(socket), type, this);
            connect(notifier, &QSocketNotifier::activated, this, [this, socket, mask] { socketAction(socket, mask); });
        }
        if (notifier)
            notifier->setEnabled(wanted);
    };
    ensure(watch.read, QSocketNotifier::Read, CURL_CSELECT_IN, (what & CURL_POLL_IN) != 0);
    ensure(watch.write, QSocketNotifier::Write, CURL_CSELECT_OUT, (what & CURL_POLL_OUT) != 0);
}

void CurlHttpClient::forgetSocket(curl_socket_t socket)
{
    const auto found = m_sockets.find(socket);
    if (found == m_sockets.end())
        return;
    // The notifier may be the one emitting right now: disarm it here, free
    // it from the event loop.
    for (QSocketNotifier *notifier : {found->second.read, found->second.write}) {
        if (notifier) {
            notifier->setEnabled(false);
            notifier->disconnect(this);
            notifier->deleteLater();
        }
    }
    m_sockets.erase(found);
}

int CurlHttpClient::timerCallback(CURLM *, long timeoutMs, void *self)
{
    auto *client = static_cast<CurlHttpClient *>(self);
    if (timeoutMs < 0)
        client->m_curlTimer.stop();
    else
        client->m_curlTimer.start(int(std::min<long>(timeoutMs, 24L * 3600 * 1000)));
    return 0;
}

void CurlHttpClient::socketAction(curl_socket_t socket, int eventMask)
{
    int running = 0;
    curl_multi_socket_action(m_multi.get(), socket, eventMask, &running);
    readMessages();
    deliver();
}

void CurlHttpClient::readMessages()
{
    int left = 0;
    while (CURLMsg *message = curl_multi_info_read(m_multi.get(), &left)) {
        if (message->msg == CURLMSG_DONE && message->easy_handle == m_easy.get() && m_state == State::Running)
            endRequest(message->data.result);
    }
}

// The easy handle stays until the end is delivered: the head is read from it.
void CurlHttpClient::endRequest(CURLcode result)
{
    m_state = State::Ended;
    m_result = result;
    m_stallTimer.stop();
}

size_t CurlHttpClient::headerCallback(char *data, size_t size, size_t count, void *self)
{
    auto *client = static_cast<CurlHttpClient *>(self);
    const QByteArrayView line(data, qsizetype(size * count));
    ++client->m_activity;
    if (line.startsWith("HTTP/")) {  // a new response: 1xx, a redirect, or the final one
        client->m_statusLine = line.trimmed().toByteArray();
        client->m_headComplete = false;
    } else if (line.trimmed().isEmpty()) {
        client->m_headComplete = true;
    }
    return size * count;
}

size_t CurlHttpClient::writeCallback(char *data, size_t size, size_t count, void *self)
{
    auto *client = static_cast<CurlHttpClient *>(self);
    const qsizetype length = qsizetype(size * count);
    ++client->m_activity;
    client->m_bodyStarted = true;
    if (length > client->m_capacity - client->buffered()) {
        client->m_paused = true;
        ++client->m_pauseCount;
        return CURL_WRITEFUNC_PAUSE;  // libcurl keeps these bytes and offers them again
    }
    if (client->m_end + length > client->m_capacity) {
        std::memmove(client->m_buffer.get(), client->m_buffer.get() + client->m_begin, size_t(client->buffered()));
        client->m_end -= client->m_begin;
        client->m_begin = 0;
    }
    std::memcpy(client->m_buffer.get() + client->m_end, data, size_t(length));
    client->m_end += length;
    client->m_peakBuffered = std::max(client->m_peakBuffered, client->buffered());
    return size_t(length);
}

// Hands out what libcurl produced, in order: the head once it is known to be
// the final one, whole-block runs, and at the end the remainder and the
// result. Stops as soon as a slot started or cancelled a request.
void CurlHttpClient::deliver()
{
    const QPointer<CurlHttpClient> alive(this);
    const quint64 request = m_request;
    for (;;) {
        if (!deliverHead(request) || !alive || !deliverWholeBlocks(request) || !alive)
            return;
        if (!m_paused || m_state != State::Running)
            break;
        resumeReceiving();  // may refill the buffer at once
    }
    if (m_state == State::Ended)
        deliverEnd();
}

bool CurlHttpClient::deliverHead(quint64 request)
{
    if (m_headDelivered || !headIsFinal())
        return isCurrent(request);
    m_headDelivered = true;
    emit responseReceived(response());
    return isCurrent(request);
}

bool CurlHttpClient::deliverWholeBlocks(quint64 request)
{
    for (;;) {
        if (!isCurrent(request))
            return false;
        const qsizetype run = std::min(buffered(), m_maxRun) / m_blockSize * m_blockSize;
        if (run == 0)
            break;
        const char *data = m_buffer.get() + m_begin;
        m_begin += run;  // taken before the emission: a slot may start anew
        emit dataReceived(QByteArrayView(data, run));
    }
    // What is left is less than a block: move it to the front, cheaply.
    if (m_begin > 0) {
        std::memmove(m_buffer.get(), m_buffer.get() + m_begin, size_t(buffered()));
        m_end -= m_begin;
        m_begin = 0;
    }
    return true;
}

void CurlHttpClient::deliverEnd()
{
    const quint64 request = m_request;
    std::optional<TransferError> error;
    if (m_result != CURLE_OK) {
        error = curlTransferError(m_result, m_errorBuffer);
    } else if (buffered() > 0) {
        const QByteArrayView rest(m_buffer.get() + m_begin, buffered());
        m_begin = m_end;
        const QPointer<CurlHttpClient> alive(this);
        emit dataReceived(rest);
        if (!alive || !isCurrent(request))
            return;
    }
    releaseRequest();
    emit finished(error);
}

bool CurlHttpClient::headIsFinal() const
{
    if (!m_easy || !m_headComplete)
        return false;
    long status = 0;
    curl_easy_getinfo(m_easy.get(), CURLINFO_RESPONSE_CODE, &status);
    if (status < 200)
        return false;
    if (m_bodyStarted || (m_state == State::Ended && m_result == CURLE_OK))
        return true;
    // Failed before any body: a redirect's head is not the answer (the
    // failure is in following it), anything else is.
    return m_state == State::Ended && !isRedirect(status);
}

HttpResponse CurlHttpClient::response() const
{
    CURL *easy = m_easy.get();
    const auto header = [easy](const char *name) -> QByteArray {
        curl_header *found = nullptr;
        if (curl_easy_header(easy, name, 0, CURLH_HEADER, -1, &found) != CURLHE_OK || !found || !found->value)
            return {};
        return QByteArray(found->value);
    };
    HttpResponse response;
    long status = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    response.status = int(status);
    response.reasonPhrase = reasonPhrase(m_statusLine);
    char *effectiveUrl = nullptr;
    if (curl_easy_getinfo(easy, CURLINFO_EFFECTIVE_URL, &effectiveUrl) == CURLE_OK && effectiveUrl)
        response.effectiveUrl = QString::fromUtf8(effectiveUrl);
    response.contentLength = parseCount(header("Content-Length"));
    // "bytes A-B/C", or "bytes */C" for a range that cannot be served.
    const QByteArray range = header("Content-Range").trimmed();
    if (range.startsWith("bytes ") || range.startsWith("Bytes ")) {
        const QByteArrayView byteRange = QByteArrayView(range).sliced(6).trimmed();
        const qsizetype dash = byteRange.indexOf('-');
        const qsizetype slash = byteRange.indexOf('/');
        if (dash > 0 && slash > dash)
            response.rangeStart = parseCount(byteRange.first(dash));
        if (slash >= 0)
            response.rangeTotal = parseCount(byteRange.sliced(slash + 1));
    }
    response.etag = QString::fromLatin1(header("ETag").trimmed());
    response.lastModified = QString::fromLatin1(header("Last-Modified").trimmed());
    response.sha256 = publishedSha256(header("Repr-Digest"), header("Digest"));
    return response;
}

void CurlHttpClient::resumeReceiving()
{
    // Cleared first: unpausing hands the held bytes to writeCallback at once,
    // which may pause again.
    m_paused = false;
    const CURLcode result = curl_easy_pause(m_easy.get(), CURLPAUSE_CONT);
    if (result != CURLE_OK)
        endRequest(result);
}

void CurlHttpClient::checkStall()
{
    if (m_state != State::Running || m_stallSeconds <= 0)
        return;
    // While paused the transfer waits for our reader, not for the server.
    if (m_activity != m_activitySeen || m_paused) {
        m_activitySeen = m_activity;
        m_quietSince.restart();
    } else if (m_quietSince.elapsed() >= qint64(m_stallSeconds) * 1000) {
        std::snprintf(m_errorBuffer, sizeof m_errorBuffer, "Nothing received for %d %s", m_stallSeconds,
                      m_stallSeconds == 1 ? "second" : "seconds");
        endRequest(CURLE_OPERATION_TIMEDOUT);
        deliver();
        return;
    }
    m_stallTimer.start(stallCheckInterval(m_stallSeconds));
}
