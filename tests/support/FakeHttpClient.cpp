#include "FakeHttpClient.h"

#include <QTimer>

#include <stdexcept>

FakeHttpClient::Reply FakeHttpClient::reply(int status, const QByteArray &body, qint64 rangeStart, qint64 rangeTotal)
{
    HttpResponse head;
    head.status = status;
    head.contentLength = body.size();
    if (rangeStart >= 0) {
        head.rangeStart = rangeStart;
        head.rangeTotal = rangeTotal;
    }
    return Reply{head, body};
}

void FakeHttpClient::start(const HttpRequest &request)
{
    ++m_generation;
    requests.push_back(request);
    if (answer) {
        m_reply = answer(request, int(requests.size()) - 1);
    } else if (replies.empty()) {
        throw std::logic_error("FakeHttpClient: no scripted reply left");
    } else {
        m_reply = replies.front();
        replies.pop_front();
    }
    if (m_reply.head && m_reply.head->effectiveUrl.isEmpty())
        m_reply.head->effectiveUrl = request.url;
    m_active = true;
    m_delivered = -1;
    step();
}

void FakeHttpClient::cancel()
{
    ++m_generation;
    m_active = false;
}

void FakeHttpClient::end(const std::optional<TransferError> &error)
{
    m_active = false;
    emit finished(error);
}

// Queues the next piece; it runs unless a start or cancel came first.
void FakeHttpClient::step()
{
    QTimer::singleShot(0, this, [this, generation = m_generation] {
        if (generation != m_generation)
            return;
        if (m_delivered < 0) {
            m_delivered = 0;
            if (!m_reply.head)
                return end(m_reply.error);
            emit responseReceived(*m_reply.head);
        } else {
            const qint64 stop = m_reply.breakAfter >= 0 ? std::min<qint64>(m_reply.breakAfter, m_reply.body.size())
                                                        : m_reply.body.size();
            const qint64 n = std::min<qint64>(BlockSize, stop - m_delivered);
            if (n <= 0)
                return end(stop < m_reply.body.size() ? std::optional(m_reply.error) : std::nullopt);
            const QByteArrayView run = QByteArrayView(m_reply.body).sliced(m_delivered, n);
            m_delivered += n;
            emit dataReceived(run);
            if (generation == m_generation && afterRun)
                afterRun(int(requests.size()) - 1, m_delivered);
        }
        if (generation == m_generation)
            step();
    });
}
