#include "util/ReadFully.h"

#include <gtest/gtest.h>

namespace {

// Serves `data` at most `step` bytes per read and fails once `failAt` bytes
// have been served (-1: never), like a slow or broken file.
class TrickleDevice : public QIODevice {
public:
    TrickleDevice(QByteArray data, qint64 step, qint64 failAt = -1)
        : m_data(std::move(data)), m_step(step), m_failAt(failAt)
    {
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }

protected:
    qint64 readData(char *out, qint64 max) override
    {
        if (m_failAt >= 0 && m_pos >= m_failAt) {
            setErrorString(QStringLiteral("Input/output error"));
            return -1;
        }
        qint64 n = std::min({max, m_step, qint64(m_data.size()) - m_pos});
        if (m_failAt >= 0)
            n = std::min(n, m_failAt - m_pos);
        std::memcpy(out, m_data.constData() + m_pos, std::size_t(n));
        m_pos += n;
        return n;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QByteArray m_data;
    qint64 m_step, m_failAt, m_pos = 0;
};

}  // namespace

TEST(ReadFully, ReadsAcrossShortReadsAndStopsOnlyAtTheEndOrAnError)
{
    const QByteArray data = QByteArray("0123456789abcdef").repeated(64);  // 1024 bytes
    const struct { const char *name; qint64 step, failAt, want, expected; } cases[] = {
        {"one read", 4096, -1, 1024, 1024},
        {"many short reads", 7, -1, 1000, 1000},
        {"one byte per read", 1, -1, 300, 300},
        {"asks past the end", 100, -1, 5000, 1024},
        {"nothing asked", 7, -1, 0, 0},
        {"fails midway", 10, 500, 1024, -1},
        {"fails just past the asked bytes", 10, 600, 600, 600},
    };
    for (const auto &c : cases) {
        TrickleDevice device(data, c.step, c.failAt);
        QByteArray buffer(std::max<qint64>(c.want, 1), '\0');
        EXPECT_EQ(readFully(device, buffer.data(), c.want), c.expected) << c.name;
        if (c.expected > 0) {
            EXPECT_EQ(buffer.left(c.expected), data.left(c.expected)) << c.name;
        }
    }
}
