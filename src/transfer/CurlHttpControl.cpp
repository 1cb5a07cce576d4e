#include "CurlHttpControl.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <algorithm>
#include <cstdio>

namespace {

constexpr const char *kUserAgent = "Orvanta Downloader/1.2.2";
// Large socket reads keep the transfer fast; libcurl still hands the body
// over in pieces of at most CURL_MAX_WRITE_SIZE.
constexpr long kReceiveBufferSize = 512L * 1024;
// Even with data waiting the caller's events run this often, so the window
// stays live at full speed.
constexpr qint64 kEventIntervalMs = 20;

}  // namespace

CurlHttpControl::CurlHttpControl(QObject *parent) : QObject(parent)
{
    ensureCurlGlobalInit();
    m_multi.reset(curl_multi_init());
    curl_multi_setopt(m_multi.get(), CURLMOPT_SOCKETFUNCTION, &CurlHttpControl::socketCallback);
    curl_multi_setopt(m_multi.get(), CURLMOPT_SOCKETDATA, this);
    curl_multi_setopt(m_multi.get(), CURLMOPT_TIMERFUNCTION, &CurlHttpControl::timerCallback);
    curl_multi_setopt(m_multi.get(), CURLMOPT_TIMERDATA, this);
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, [this] { socketAction(CURL_SOCKET_TIMEOUT, 0); });
    m_stallTimer.setSingleShot(true);
    connect(&m_stallTimer, &QTimer::timeout, this, &CurlHttpControl::checkStall);
}

CurlHttpControl::~CurlHttpControl()
{
    releaseRequest();
    // The multi handle closes its cached connections through the socket
    // callback, which still needs this object.
    m_multi.reset();
    m_timer.stop();
    m_sockets.clear();
    m_retired.clear();
}

void CurlHttpControl::setURL(const QString &url) { m_url = url; }
void CurlHttpControl::setUserName(const QString &userName) { m_userName = userName; }
void CurlHttpControl::setPassword(const QString &password) { m_password = password; }

void CurlHttpControl::Execute(const QString &extraHeaders)
{
    releaseRequest();
    m_headers.clear();
    m_buffer.clear();
    m_handedOut = 0;
    m_errorBuffer[0] = '\0';
    m_finished = false;
    m_paused = false;
    m_result = CURLE_OK;
    m_failure.clear();
    m_effectiveUrl.clear();

    m_easy.reset(curl_easy_init());
    if (!m_easy) {
        finishRequest(CURLE_FAILED_INIT);
        return;
    }
    CURL *easy = m_easy.get();
    const QByteArray url = m_url.trimmed().toUtf8();
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, m_errorBuffer);
    curl_easy_setopt(easy, CURLOPT_URL, url.constData());
    // Only HTTP and HTTPS, also after a redirect: never a local file.
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, long(kMaxRedirects));
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_USERAGENT, kUserAgent);
    curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, kReceiveBufferSize);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, long(m_stallSeconds));
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, long(m_stallSeconds));
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
    const QByteArray caBundle = qgetenv("ORVANTA_CA_BUNDLE");
    if (!caBundle.isEmpty())
        curl_easy_setopt(easy, CURLOPT_CAINFO, caBundle.constData());
    // A proxy tunnel's own answer is not the server's response.
    curl_easy_setopt(easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    if (!m_userName.isEmpty())
        curl_easy_setopt(easy, CURLOPT_USERNAME, m_userName.toUtf8().constData());
    if (!m_password.isEmpty())
        curl_easy_setopt(easy, CURLOPT_PASSWORD, m_password.toUtf8().constData());

    for (const QString &line : extraHeaders.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts)) {
        const QByteArray header = line.trimmed().toUtf8();
        if (header.isEmpty())
            continue;
        curl_slist *grown = curl_slist_append(m_headerList.get(), header.constData());
        if (!grown) {
            finishRequest(CURLE_OUT_OF_MEMORY);
            return;
        }
        (void)m_headerList.release();
        m_headerList.reset(grown);
    }
    if (m_headerList)
        curl_easy_setopt(easy, CURLOPT_HTTPHEADER, m_headerList.get());

    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &CurlHttpControl::headerCallback);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &CurlHttpControl::writeCallback);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);

    if (curl_multi_add_handle(m_multi.get(), easy) != CURLM_OK) {
        finishRequest(CURLE_FAILED_INIT);
        return;
    }
    m_running = true;
    m_lastActivity.start();
    if (m_stallSeconds > 0)
        m_stallTimer.start(m_stallSeconds * 1000);
}

bool CurlHttpControl::StillExecuting() const
{
    return m_running && !m_finished && !m_headers.complete();
}

void CurlHttpControl::Cancel()
{
    releaseRequest();
    m_buffer.clear();
    m_handedOut = 0;
    m_finished = false;
    m_paused = false;
    m_retired.clear();
}

QString CurlHttpControl::requestAddress() const
{
    if (m_easy) {
        char *effective = nullptr;
        if (curl_easy_getinfo(m_easy.get(), CURLINFO_EFFECTIVE_URL, &effective) == CURLE_OK && effective &&
            *effective)
            return QString::fromUtf8(effective);
    }
    return m_effectiveUrl.isEmpty() ? m_url : m_effectiveUrl;
}

QString CurlHttpControl::GetHeader() const { return m_headers.block(); }

QString CurlHttpControl::GetHeader(const QString &name) const { return m_headers.value(name.toLatin1()); }

QString CurlHttpControl::failureText() const
{
    return m_headers.block().isEmpty() ? m_failure : QString();
}

HttpControl::Chunk CurlHttpControl::GetChunk(qsizetype size, const std::function<bool()> &interrupted)
{
    m_retired.clear();
    m_buffer.consume(m_handedOut);
    m_handedOut = 0;
    size = std::clamp<qsizetype>(size, 1, m_buffer.capacity() / 2);
    m_buffer.compact();
    resumeIfDrained();
    runEventsIfDue();

    for (;;) {
        if (m_buffer.size() >= size || (m_finished && m_result == CURLE_OK && m_buffer.size() > 0)) {
            Chunk chunk;
            chunk.status = Chunk::Status::Data;
            chunk.data = m_buffer.front(size);
            m_handedOut = chunk.data.size();
            return chunk;
        }
        if (m_finished) {
            // A failed body's last partial block is dropped: it is not the
            // full block the caller asked for, and a resume fetches it again.
            if (m_result != CURLE_OK)
                return errorChunk();
            return Chunk{};  // End
        }
        if (!m_running) {
            Chunk chunk;
            chunk.status = Chunk::Status::Error;
            chunk.errorCode = CURLE_ABORTED_BY_CALLBACK;
            chunk.errorText = QStringLiteral("The request was cancelled");
            return chunk;
        }
        processEvents(true);
        if (interrupted && interrupted()) {
            Chunk chunk;
            chunk.status = Chunk::Status::Interrupted;
            return chunk;
        }
        // The events may have cancelled or restarted the request; start over
        // from whatever the buffer holds now.
        m_buffer.compact();
        resumeIfDrained();
    }
}

void CurlHttpControl::processEvents(bool wait)
{
    m_retired.clear();
    QCoreApplication::processEvents(wait ? QEventLoop::WaitForMoreEvents : QEventLoop::AllEvents);
    m_sinceEvents.restart();
}

void CurlHttpControl::runEventsIfDue()
{
    if (!m_sinceEvents.isValid() || m_sinceEvents.elapsed() >= kEventIntervalMs)
        processEvents(false);
}

int CurlHttpControl::socketCallback(CURL *, curl_socket_t socket, int what, void *self, void *)
{
    auto *control = static_cast<CurlHttpControl *>(self);
    if (what == CURL_POLL_REMOVE) {
        auto found = control->m_sockets.find(socket);
        if (found != control->m_sockets.end()) {
            control->retireNotifier(std::move(found->second.read));
            control->retireNotifier(std::move(found->second.write));
            control->m_sockets.erase(found);
        }
    } else {
        control->watchSocket(socket, what);
    }
    return 0;
}

void CurlHttpControl::watchSocket(curl_socket_t socket, int what)
{
    SocketWatch &watch = m_sockets[socket];
    const auto ensure = [&](std::unique_ptr<QSocketNotifier> &notifier, QSocketNotifier::Type type, int mask,
                            bool wanted) {
        if (wanted && !notifier) {
            notifier = std::make_unique<QSocketNotifier>(qintptr(socket), type);
            connect(notifier.get(), &QSocketNotifier::activated, this,
                    [this, socket, mask] { socketAction(socket, mask); });
        }
        if (notifier)
            notifier->setEnabled(wanted);
    };
    ensure(watch.read, QSocketNotifier::Read, CURL_CSELECT_IN, (what & CURL_POLL_IN) != 0);
    ensure(watch.write, QSocketNotifier::Write, CURL_CSELECT_OUT, (what & CURL_POLL_OUT) != 0);
}

void CurlHttpControl::retireNotifier(std::unique_ptr<QSocketNotifier> notifier)
{
    if (!notifier)
        return;
    notifier->setEnabled(false);
    notifier->disconnect(this);
    m_retired.push_back(std::move(notifier));
}

int CurlHttpControl::timerCallback(CURLM *, long timeoutMs, void *self)
{
    auto *control = static_cast<CurlHttpControl *>(self);
    if (timeoutMs < 0)
        control->m_timer.stop();
    else
        control->m_timer.start(int(std::min<long>(timeoutMs, 24L * 3600 * 1000)));
    return 0;
}

void CurlHttpControl::socketAction(curl_socket_t socket, int eventMask)
{
    int running = 0;
    curl_multi_socket_action(m_multi.get(), socket, eventMask, &running);
    drainMessages();
}

void CurlHttpControl::drainMessages()
{
    int left = 0;
    while (CURLMsg *message = curl_multi_info_read(m_multi.get(), &left)) {
        if (message->msg != CURLMSG_DONE || message->easy_handle != m_easy.get())
            continue;
        const CURLcode result = message->data.result;
        finishRequest(result);
        releaseRequest();
    }
}

void CurlHttpControl::finishRequest(CURLcode result)
{
    if (m_easy) {
        char *effective = nullptr;
        if (curl_easy_getinfo(m_easy.get(), CURLINFO_EFFECTIVE_URL, &effective) == CURLE_OK && effective)
            m_effectiveUrl = QString::fromUtf8(effective);
    }
    m_finished = true;
    m_result = result;
    if (result != CURLE_OK)
        m_failure = describe(result);
    if (!m_headers.block().isEmpty())
        m_headers.finish();
}

void CurlHttpControl::releaseRequest()
{
    if (m_easy) {
        if (m_running)
            curl_multi_remove_handle(m_multi.get(), m_easy.get());
        m_easy.reset();
    }
    m_headerList.reset();
    m_running = false;
    m_paused = false;
    m_stallTimer.stop();
}

void CurlHttpControl::checkStall()
{
    if (!m_running || m_stallSeconds <= 0)
        return;
    if (m_paused)
        m_lastActivity.restart();  // waiting for our reader, not for the server
    const qint64 remaining = qint64(m_stallSeconds) * 1000 - m_lastActivity.elapsed();
    if (remaining > 0) {
        m_stallTimer.start(int(remaining));
        return;
    }
    std::snprintf(m_errorBuffer, sizeof m_errorBuffer, "Nothing received for %d seconds", m_stallSeconds);
    finishRequest(CURLE_OPERATION_TIMEDOUT);
    releaseRequest();
}

void CurlHttpControl::resumeIfDrained()
{
    if (!m_paused || !m_running || m_buffer.size() >= m_buffer.capacity() / 2)
        return;
    m_buffer.compact(true);
    // Cleared first: unpausing hands the held bytes to writeCallback at once,
    // which may pause again.
    m_paused = false;
    m_lastActivity.restart();
    const CURLcode result = curl_easy_pause(m_easy.get(), CURLPAUSE_CONT);
    if (result != CURLE_OK) {
        finishRequest(result);
        releaseRequest();
    }
}

size_t CurlHttpControl::headerCallback(char *data, size_t size, size_t count, void *self)
{
    auto *control = static_cast<CurlHttpControl *>(self);
    const size_t length = size * count;
    control->m_lastActivity.restart();
    control->m_headers.addLine(QByteArrayView(data, qsizetype(length)));
    return length;
}

size_t CurlHttpControl::writeCallback(char *data, size_t size, size_t count, void *self)
{
    auto *control = static_cast<CurlHttpControl *>(self);
    const size_t length = size * count;
    control->m_lastActivity.restart();
    // Body bytes mean the headers are over, even without a final empty line.
    if (!control->m_headers.complete())
        control->m_headers.finish();
    if (!control->m_buffer.append(data, qsizetype(length))) {
        control->m_paused = true;
        return CURL_WRITEFUNC_PAUSE;
    }
    return length;
}

QString CurlHttpControl::describe(CURLcode code) const
{
    QString text = QString::fromUtf8(curl_easy_strerror(code));
    QString detail = QString::fromUtf8(m_errorBuffer).trimmed();
    while (detail.endsWith(QLatin1Char('.')))
        detail.chop(1);
    if (!detail.isEmpty() && detail.compare(text, Qt::CaseInsensitive) != 0)
        text += QStringLiteral(" (") + detail + QLatin1Char(')');
    return text;
}

HttpControl::Chunk CurlHttpControl::errorChunk() const
{
    Chunk chunk;
    chunk.status = Chunk::Status::Error;
    chunk.errorCode = int(m_result);
    chunk.errorText = m_failure.isEmpty() ? describe(m_result) : m_failure;
    return chunk;
}
