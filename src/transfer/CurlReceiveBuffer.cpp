#include "CurlReceiveBuffer.h"

#include <algorithm>
#include <cstring>

CurlReceiveBuffer::CurlReceiveBuffer(qsizetype capacity) : m_capacity(capacity) {}

bool CurlReceiveBuffer::append(const char *data, qsizetype length)
{
    if (length <= 0)
        return true;
    qsizetype needed = m_end + length;
    if (needed > m_capacity) {
        // A single write larger than the whole buffer can never fit; take it
        // into an empty buffer rather than stall the transfer for ever.
        if (size() != 0 || length <= m_capacity)
            return false;
        m_begin = m_end = 0;
        needed = length;
    }
    if (m_storage.size() < needed)
        m_storage.resize(std::max(needed, std::min(m_capacity, qsizetype(1) << 20)));
    std::memcpy(m_storage.data() + m_end, data, size_t(length));
    m_end += length;
    m_peak = std::max(m_peak, size());
    return true;
}

QByteArrayView CurlReceiveBuffer::front(qsizetype length) const
{
    return QByteArrayView(m_storage.constData() + m_begin, std::min(length, size()));
}

void CurlReceiveBuffer::consume(qsizetype length)
{
    m_begin += std::min(length, size());
    if (m_begin == m_end)
        m_begin = m_end = 0;
}

void CurlReceiveBuffer::compact(bool force)
{
    if (m_begin == 0 || (!force && m_begin < m_capacity / 2))
        return;
    const qsizetype held = size();
    std::memmove(m_storage.data(), m_storage.constData() + m_begin, size_t(held));
    m_begin = 0;
    m_end = held;
}

void CurlReceiveBuffer::clear()
{
    m_begin = m_end = 0;
    m_peak = 0;
}
