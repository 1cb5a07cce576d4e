#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// Collects the header lines libcurl reports for one request and keeps the
// block of the final response: interim (1xx) answers and redirects that
// libcurl follows are dropped. The status line is rewritten to
// "HTTP/1.1 NNN Reason" whatever the protocol, so that characters 10..12
// (1-based) are always the status code; every line ends in CR LF.
class CurlResponseHeaders {
public:
    explicit CurlResponseHeaders(int maxRedirects) : m_maxRedirects(maxRedirects) {}

    // Feeds one line as libcurl delivers it (line end included). Returns
    // true when this line completed the final response's header block.
    bool addLine(QByteArrayView line);
    void clear();

    bool complete() const { return m_complete; }
    // Marks the block as final although no empty line was seen (the body
    // started, or the request ended).
    void finish() { m_complete = true; }
    int statusCode() const { return m_status; }
    QString block() const { return QString::fromLatin1(m_block); }
    // The first header called `name` (case-insensitive), trimmed; empty
    // when absent.
    QString value(QByteArrayView name) const;

    static QByteArray reasonPhrase(int status);

private:
    QByteArray m_block;
    int m_status = 0;
    int m_redirects = 0;
    int m_maxRedirects;
    bool m_hasLocation = false;
    bool m_complete = false;
};
