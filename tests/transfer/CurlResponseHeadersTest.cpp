#include <transfer/CurlResponseHeaders.h>

#include <QList>

#include <gtest/gtest.h>

namespace {

// Feeds `text` line by line as libcurl would; returns the index of the line
// that completed the block, or -1.
int feed(CurlResponseHeaders &headers, const QByteArray &text)
{
    int completedAt = -1;
    const QList<QByteArray> lines = text.split('\n');  // the last one is empty
    for (int i = 0; i + 1 < lines.size(); ++i)
        if (headers.addLine(lines[i] + '\n') && completedAt < 0)
            completedAt = i;
    return completedAt;
}

TEST(CurlResponseHeadersTest, FinalBlockWithAnHttp11StatusLine)
{
    const struct {
        const char *lines;
        int completedAt;
        const char *block;
    } cases[] = {
        {"HTTP/2 200 \r\ncontent-length: 7\r\n\r\n", 2, "HTTP/1.1 200 OK\r\ncontent-length: 7\r\n\r\n"},
        {"HTTP/1.0 404 Not Found\nServer: x\n\n", 2, "HTTP/1.1 404 Not Found\r\nServer: x\r\n\r\n"},
        {"HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nA: b\r\n\r\n", 4, "HTTP/1.1 200 OK\r\nA: b\r\n\r\n"},
        {"HTTP/1.1 302 Found\r\n\r\n", 1, "HTTP/1.1 302 Found\r\n\r\n"},  // no Location: final
        {"HTTP/1.1 304 Not Modified\r\nLocation: /x\r\n\r\n", 2, "HTTP/1.1 304 Not Modified\r\nLocation: /x\r\n\r\n"},
        {"HTTP/2 599\r\n\r\n", 1, "HTTP/1.1 599 \r\n\r\n"},
        {"HTTP/1.1 200 OK\r\n\r\nX-Checksum: 1\r\n\r\n", 1, "HTTP/1.1 200 OK\r\n\r\n"},  // trailers
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.lines);
        CurlResponseHeaders headers(10);
        EXPECT_EQ(feed(headers, c.lines), c.completedAt);
        EXPECT_EQ(headers.block(), QString::fromLatin1(c.block));
    }
}

TEST(CurlResponseHeadersTest, RedirectsBeyondTheLimitEndAtTheLastOneUntilCleared)
{
    CurlResponseHeaders headers(2);
    const char *redirect = "HTTP/1.1 301 Moved Permanently\r\nLocation: /y\r\n\r\n";
    EXPECT_EQ(feed(headers, redirect), -1);
    EXPECT_EQ(feed(headers, redirect), -1);
    EXPECT_EQ(feed(headers, redirect), 2);
    headers.clear();
    EXPECT_EQ(feed(headers, redirect), -1);
}

}  // namespace
