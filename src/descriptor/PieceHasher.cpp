#include "PieceHasher.h"

QByteArray PiecePool::take(qsizetype size)
{
    for (auto it = m_buffers.begin(); it != m_buffers.end(); ++it) {
        if (it->isDetached() && it->capacity() >= size) {
            QByteArray buffer = std::move(*it);
            m_buffers.erase(it);
            buffer.resize(size);
            return buffer;
        }
    }
    return QByteArray(size, Qt::Uninitialized);
}

void PiecePool::give(QByteArray buffer)
{
    if (m_buffers.size() < 2 * PieceHasher::MaxWaiting + 2)
        m_buffers.push_back(std::move(buffer));
}

PieceHasher::PieceHasher(int workers, bool wholeHash) : m_wholeHash(wholeHash)
{
    for (int i = 0; i < std::max(1, workers); ++i)
        m_threads.emplace_back([this] { runPieces(); });
    if (m_wholeHash)
        m_threads.emplace_back([this] { runWhole(); });
}

PieceHasher::~PieceHasher()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;  // the queues stay until the workers have gone
    }
    m_changed.notify_all();
    for (std::thread &t : m_threads)
        t.join();
}

int PieceHasher::defaultWorkers()
{
    return int(std::max(1u, std::thread::hardware_concurrency()));
}

void PieceHasher::add(const QByteArray &piece)
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_nextIndex - m_nextTaken < MaxWaiting && m_wholeQueue.size() < MaxWaiting; });
    m_pieceQueue.emplace_back(m_nextIndex++, piece);
    if (m_wholeHash)
        m_wholeQueue.push_back(piece);
    lock.unlock();
    m_changed.notify_all();
}

std::optional<Sha256Digest> PieceHasher::takeNext()
{
    std::unique_lock lock(m_mutex);
    if (m_nextTaken == m_nextIndex)
        return std::nullopt;
    m_changed.wait(lock, [this] { return m_done.count(m_nextTaken) != 0; });
    const auto found = m_done.find(m_nextTaken);
    const Sha256Digest digest = found->second;
    m_done.erase(found);
    ++m_nextTaken;
    lock.unlock();
    m_changed.notify_all();
    return digest;
}

qint64 PieceHasher::waiting() const
{
    std::lock_guard lock(m_mutex);
    return m_nextIndex - m_nextTaken;
}

Sha256Digest PieceHasher::finishWhole()
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_wholeQueue.empty(); });
    // The whole-file thread takes a piece off the queue only after adding
    // it: an empty queue means every piece is in.
    return m_whole.finish();
}

void PieceHasher::runPieces()
{
    for (;;) {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_stopping || !m_pieceQueue.empty(); });
        if (m_stopping)
            return;
        auto [index, piece] = std::move(m_pieceQueue.front());
        m_pieceQueue.pop_front();
        lock.unlock();
        const Sha256Digest digest = Sha256::of(piece);
        lock.lock();
        m_done.emplace(index, digest);
        lock.unlock();
        m_changed.notify_all();
    }
}

void PieceHasher::runWhole()
{
    for (;;) {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_stopping || !m_wholeQueue.empty(); });
        if (m_stopping)
            return;
        const QByteArray piece = m_wholeQueue.front();
        lock.unlock();
        m_whole.add(piece);
        lock.lock();
        m_wholeQueue.pop_front();
        lock.unlock();
        m_changed.notify_all();
    }
}
