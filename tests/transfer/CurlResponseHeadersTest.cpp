#include <transfer/CurlResponseHeaders.h>

#include <QStringList>

#include <gtest/gtest.h>

namespace {

// Feeds lines as libcurl would and reports after which line the block completed.
int feed(CurlResponseHeaders &headers, const QList<QByteArray> &lines)
{
    int completedAt = -1;
    for (int i = 0; i < lines.size(); ++i)
        if (headers.addLine(lines[i]) && completedAt < 0)
            completedAt = i;
    return completedAt;
}

TEST(CurlResponseHeadersTest, FinalBlockAndStatusLineForm)
{
    const struct {
        const char *name;
        QList<QByteArray> lines;
        int completedAt;
        QString block;
    } cases[] = {
        {"HTTP/1.1 keeps its reason",
         {"HTTP/1.1 206 Partial Content\r\n", "Content-Length: 5\r\n", "\r\n"},
         2,
         "HTTP/1.1 206 Partial Content\r\nContent-Length: 5\r\n\r\n"},
        {"HTTP/2 gets the line of HTTP/1.1",
         {"HTTP/2 200 \r\n", "content-length: 7\r\n", "\r\n"},
         2,
         "HTTP/1.1 200 OK\r\ncontent-length: 7\r\n\r\n"},
        {"HTTP/1.0 is rewritten too, bare LF becomes CR LF",
         {"HTTP/1.0 404 Not Found\n", "Server: x\n", "\n"},
         2,
         "HTTP/1.1 404 Not Found\r\nServer: x\r\n\r\n"},
        {"interim 100 Continue is dropped",
         {"HTTP/1.1 100 Continue\r\n", "\r\n", "HTTP/1.1 200 OK\r\n", "A: b\r\n", "\r\n"},
         4,
         "HTTP/1.1 200 OK\r\nA: b\r\n\r\n"},
        {"followed redirect is dropped",
         {"HTTP/1.1 302 Found\r\n", "Location: /x\r\n", "\r\n", "HTTP/1.1 200 OK\r\n", "\r\n"},
         4,
         "HTTP/1.1 200 OK\r\n\r\n"},
        {"redirect without Location is final",
         {"HTTP/1.1 302 Found\r\n", "\r\n"},
         1,
         "HTTP/1.1 302 Found\r\n\r\n"},
        {"304 is never followed",
         {"HTTP/1.1 304 Not Modified\r\n", "Location: /x\r\n", "\r\n"},
         2,
         "HTTP/1.1 304 Not Modified\r\nLocation: /x\r\n\r\n"},
        {"unknown code without reason keeps the code in place",
         {"HTTP/2 599\r\n", "\r\n"},
         1,
         "HTTP/1.1 599 \r\n\r\n"},
        {"trailers after the final block are ignored",
         {"HTTP/1.1 200 OK\r\n", "\r\n", "X-Checksum: 1\r\n", "\r\n"},
         1,
         "HTTP/1.1 200 OK\r\n\r\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        CurlResponseHeaders headers(10);
        EXPECT_EQ(feed(headers, c.lines), c.completedAt);
        EXPECT_TRUE(headers.complete());
        EXPECT_EQ(headers.block(), c.block);
        EXPECT_EQ(headers.block().mid(9, 3), c.block.mid(9, 3));
    }
}

TEST(CurlResponseHeadersTest, RedirectsBeyondTheLimitEndAtTheLastOne)
{
    CurlResponseHeaders headers(2);
    const QList<QByteArray> redirect{"HTTP/1.1 301 Moved Permanently\r\n", "Location: /y\r\n", "\r\n"};
    EXPECT_EQ(feed(headers, redirect), -1);
    EXPECT_EQ(feed(headers, redirect), -1);
    EXPECT_EQ(feed(headers, redirect), 2);
    EXPECT_EQ(headers.statusCode(), 301);
}

TEST(CurlResponseHeadersTest, ValueLookupIsCaseInsensitiveAndTrimmed)
{
    CurlResponseHeaders headers(10);
    feed(headers, {"HTTP/1.1 200 OK\r\n", "Content-Length:   1234  \r\n", "X-Empty:\r\n",
                   "Content-Type: a: b\r\n", "\r\n"});
    EXPECT_EQ(headers.value("content-length"), QStringLiteral("1234"));
    EXPECT_EQ(headers.value("CONTENT-TYPE"), QStringLiteral("a: b"));
    EXPECT_EQ(headers.value("X-Empty"), QString());
    EXPECT_EQ(headers.value("Content"), QString());
    EXPECT_EQ(headers.value("HTTP/1.1 200 OK"), QString());
}

TEST(CurlResponseHeadersTest, ClearForgetsEverything)
{
    CurlResponseHeaders headers(1);
    feed(headers, {"HTTP/1.1 302 Found\r\n", "Location: /a\r\n", "\r\n", "HTTP/1.1 200 OK\r\n", "\r\n"});
    headers.clear();
    EXPECT_FALSE(headers.complete());
    EXPECT_EQ(headers.block(), QString());
    // The redirect count starts over as well.
    EXPECT_EQ(feed(headers, {"HTTP/1.1 302 Found\r\n", "Location: /a\r\n", "\r\n"}), -1);
}

}  // namespace
