#include "util/ReadFully.h"

#include <gtest/gtest.h>

namespace {

// Serves `data` at most `step` bytes per read and fails once `failAt` bytes
// have been served (-1: never), like a slow or broken file.
struct TrickleDevice : QIODevice {
    TrickleDevice(QByteArray bytes, qint64 step, qint64 failAt)
        : data(std::move(bytes)), step(step), failAt(failAt < 0 ? data.size() + 1 : failAt)
    {
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    qint64 readData(char *out, qint64 max) override
    {
        if (pos >= failAt)
            return -1;
        const qint64 n = std::min({max, step, qint64(data.size()) - pos, failAt - pos});
        std::memcpy(out, data.constData() + pos, std::size_t(n));
        pos += n;
        return n;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

    QByteArray data;
    qint64 step, failAt, pos = 0;
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
        EXPECT_EQ(buffer.left(c.expected), data.left(c.expected)) << c.name;
    }
}
