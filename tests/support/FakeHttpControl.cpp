#include "FakeHttpControl.h"

#include <stdexcept>

FakeHttpControl::Response FakeHttpControl::reply(int status, const QByteArray &body, const QStringList &headers)
{
    QStringList lines{QStringLiteral("HTTP/1.1 %1 X").arg(status), QStringLiteral("Content-Length: %1").arg(body.size())};
    lines << headers << QString() << QString();
    return Response{lines.join(QStringLiteral("\r\n")), body};
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

QString FakeHttpControl::GetHeader(const QString &name) const
{
    for (const QString &line : GetHeader().split(QStringLiteral("\r\n"))) {
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
    if (m_active && onChunk)
        onChunk(m_delivered);
    if (!m_active) {
        chunk.status = Chunk::Status::Error;
        chunk.errorCode = 1;
        chunk.errorText = QStringLiteral("No request");
    } else if (interrupted && interrupted()) {
        chunk.status = Chunk::Status::Interrupted;
    } else if (m_delivered >= m_current.body.size()) {
        chunk.status = Chunk::Status::End;
    } else {
        chunk.status = Chunk::Status::Data;
        chunk.data = QByteArrayView(m_current.body).sliced(m_delivered, std::min<qint64>(size, m_current.body.size() - m_delivered));
        m_delivered += chunk.data.size();
    }
    return chunk;
}
