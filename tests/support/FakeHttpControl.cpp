#include "FakeHttpControl.h"

#include <stdexcept>

FakeHttpControl::Response FakeHttpControl::reply(int status, const QByteArray &body, const QStringList &headers,
                                                 const QString &contentLength)
{
    Response r;
    r.header = QStringLiteral("HTTP/1.1 %1 X\r\n").arg(status);
    if (contentLength == QLatin1String("auto"))
        r.header += QStringLiteral("Content-Length: %1\r\n").arg(body.size());
    else if (!contentLength.isEmpty())
        r.header += QStringLiteral("Content-Length: %1\r\n").arg(contentLength);
    for (const QString &line : headers)
        r.header += line + QStringLiteral("\r\n");
    r.header += QStringLiteral("\r\n");
    r.body = body;
    return r;
}

void FakeHttpControl::Execute(const QString &extra)
{
    if (responses.empty())
        throw std::logic_error("FakeHttpControl: no scripted response left");
    urls << m_url;
    extraHeaders << extra;
    m_current = responses.front();
    responses.pop_front();
    m_active = true;
    m_pollsLeft = m_current.pendingPolls;
    m_delivered = 0;
}

bool FakeHttpControl::StillExecuting() const
{
    if (!m_active || m_pollsLeft <= 0)
        return false;
    --m_pollsLeft;
    return true;
}

void FakeHttpControl::Cancel()
{
    ++cancelCount;
    m_active = false;
}

QString FakeHttpControl::GetHeader(const QString &name) const
{
    if (!m_active)
        return {};
    const auto lines = m_current.header.split(QStringLiteral("\r\n"));
    for (const QString &line : lines) {
        const qsizetype colon = line.indexOf(QLatin1Char(':'));
        if (colon > 0 && line.left(colon).trimmed().compare(name, Qt::CaseInsensitive) == 0)
            return line.mid(colon + 1).trimmed();
    }
    return {};
}

HttpControl::Chunk FakeHttpControl::GetChunk(qsizetype size, const std::function<bool()> &interrupted)
{
    ++chunkCalls;
    Chunk chunk;
    if (!m_active) {
        chunk.status = Chunk::Status::Error;
        chunk.errorCode = 1;
        chunk.errorText = QStringLiteral("No request");
        return chunk;
    }
    if (onChunk)
        onChunk(m_delivered);
    if (interrupted && interrupted()) {
        chunk.status = Chunk::Status::Interrupted;
        return chunk;
    }
    qint64 end = std::min<qint64>(m_delivered + size, m_current.body.size());
    if (m_current.failAt >= 0 && end > m_current.failAt) {
        if (m_delivered >= m_current.failAt) {
            chunk.status = Chunk::Status::Error;
            chunk.errorCode = m_current.errorCode;
            chunk.errorText = m_current.errorText;
            return chunk;
        }
        end = m_current.failAt;
    }
    if (end <= m_delivered) {
        chunk.status = Chunk::Status::End;
        return chunk;
    }
    m_chunk = m_current.body.mid(m_delivered, end - m_delivered);
    m_delivered = end;
    chunk.status = Chunk::Status::Data;
    chunk.data = m_chunk;
    return chunk;
}

void FakeHttpControl::processEvents(bool wait)
{
    ++processEventsCalls;
    if (onEvents)
        onEvents(wait);
}
