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
    m_index = int(requests.size()) - 1;
    if (answer) {
        m_reply = answer(request, m_index);
    } else {
        if (replies.empty())
            throw std::logic_error("FakeHttpClient: no scripted reply left");
        m_reply = replies.front();
        replies.pop_front();
    }
    if (m_reply.head && m_reply.head->effectiveUrl.isEmpty())
        m_reply.head->effectiveUrl = request.url;
    m_active = true;
    m_headSent = false;
    m_delivered = 0;
    schedule();
}

void FakeHttpClient::cancel()
{
    if (m_active)
        ++cancels;
    ++m_generation;
    m_active = false;
}

void FakeHttpClient::schedule()
{
    const quint64 generation = m_generation;
    QTimer::singleShot(0, this, [this, generation] {
        if (generation == m_generation)
            step();
    });
}

void FakeHttpClient::end(const std::optional<TransferError> &error)
{
    m_active = false;
    emit finished(error);
}

void FakeHttpClient::step()
{
    const quint64 generation = m_generation;
    if (!m_headSent) {
        m_headSent = true;
        if (!m_reply.head)
            return end(m_reply.error);
        emit responseReceived(*m_reply.head);
        if (generation == m_generation)
            schedule();
        return;
    }
    const qint64 stop = m_reply.breakAfter >= 0 ? std::min<qint64>(m_reply.breakAfter, m_reply.body.size())
                                                : m_reply.body.size();
    const qint64 n = std::min<qint64>(runBlocks * BlockSize, stop - m_delivered);
    if (n <= 0) {
        if (m_reply.breakAfter < 0 || m_delivered >= m_reply.body.size())
            return end(std::nullopt);
        if (!m_reply.hang)
            return end(m_reply.error);
        return;  // silent until cancelled
    }
    const QByteArrayView run = QByteArrayView(m_reply.body).sliced(m_delivered, n);
    m_delivered += n;
    emit dataReceived(run);
    if (generation != m_generation)
        return;
    if (afterRun)
        afterRun(m_index, m_delivered);
    if (generation == m_generation)
        schedule();
}
