#include "FakeHttpControl.h"

#include <QRegularExpression>

#include <stdexcept>

FakeHttpControl::Response FakeHttpControl::reply(int status, const QByteArray &body, const QStringList &headers)
{
    QStringList lines{QStringLiteral("HTTP/1.1 %1 X").arg(status), QStringLiteral("Content-Length: %1").arg(body.size())};
    return Response{(lines << headers << QString() << QString()).join(QStringLiteral("\r\n")), body};
}

void FakeHttpControl::Execute(const QString &extra)
{
    if (responses.empty())
        throw std::logic_error("FakeHttpControl: no scripted response left");
    urls << m_url;
    extraHeaders << extra;
    m_current = responses.front();
    responses.pop_front();
    m_pollsLeft = m_current.pendingPolls;
    m_delivered = 0;
}

QString FakeHttpControl::GetHeader(const QString &name) const
{
    const QRegularExpression line(QStringLiteral("(?im)^%1:\\s*(.*?)\\s*$").arg(QRegularExpression::escape(name)));
    return line.match(GetHeader()).captured(1);
}

HttpControl::Chunk FakeHttpControl::GetChunk(qsizetype size, const std::function<bool()> &interrupted)
{
    if (onChunk)
        onChunk(m_delivered);
    if (interrupted && interrupted())
        return Chunk{Chunk::Status::Interrupted, {}, 0, {}};
    if (m_current.failAt >= 0 && m_delivered >= m_current.failAt)
        return Chunk{Chunk::Status::Error, {}, 56, QStringLiteral("Failure when receiving data from the peer")};
    const QByteArrayView rest = QByteArrayView(m_current.body).sliced(m_delivered);
    m_delivered += std::min(size, rest.size());
    return Chunk{rest.isEmpty() ? Chunk::Status::End : Chunk::Status::Data, rest.first(std::min(size, rest.size())), 0, {}};
}
