#pragma once

#include <QByteArray>
#include <QByteArrayView>

// A bounded, linear receive buffer: bytes go in at the back and come out
// at the front as one contiguous view. Nothing is moved behind a view the
// reader holds: room is reclaimed only by compact(), which the reader calls
// once it has let go of its last view.
class CurlReceiveBuffer {
public:
    explicit CurlReceiveBuffer(qsizetype capacity);

    qsizetype capacity() const { return m_capacity; }
    qsizetype size() const { return m_end - m_begin; }
    // The most bytes ever held at once since the last clear().
    qsizetype peakSize() const { return m_peak; }

    // Appends all of `data` or nothing: false when the free room at the
    // back is too small (the writer must hold the bytes and retry later).
    bool append(const char *data, qsizetype length);
    // The first `length` bytes (clamped to size()); stays valid until the
    // next consume(), compact() or clear().
    QByteArrayView front(qsizetype length) const;
    void consume(qsizetype length);
    // Moves the held bytes to the start when that reclaims at least half the
    // capacity, or whenever `force` is set.
    void compact(bool force = false);
    void clear();

private:
    QByteArray m_storage;
    qsizetype m_capacity;
    qsizetype m_begin = 0;
    qsizetype m_end = 0;
    qsizetype m_peak = 0;
};
