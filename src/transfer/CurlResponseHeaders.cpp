#include "CurlResponseHeaders.h"

#include <QList>

namespace {

QByteArrayView trimmedLine(QByteArrayView line)
{
    while (!line.isEmpty() && (line.back() == '\n' || line.back() == '\r'))
        line.chop(1);
    return line;
}

bool startsWithNoCase(QByteArrayView text, QByteArrayView prefix)
{
    return text.size() >= prefix.size() && text.first(prefix.size()).compare(prefix, Qt::CaseInsensitive) == 0;
}

}  // namespace

QByteArray CurlResponseHeaders::reasonPhrase(int status)
{
    switch (status) {
    case 100: return "Continue";
    case 200: return "OK";
    case 201: return "Created";
    case 202: return "Accepted";
    case 203: return "Non-Authoritative Information";
    case 204: return "No Content";
    case 206: return "Partial Content";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 303: return "See Other";
    case 304: return "Not Modified";
    case 307: return "Temporary Redirect";
    case 308: return "Permanent Redirect";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 407: return "Proxy Authentication Required";
    case 408: return "Request Timeout";
    case 410: return "Gone";
    case 416: return "Range Not Satisfiable";
    case 429: return "Too Many Requests";
    case 500: return "Internal Server Error";
    case 501: return "Not Implemented";
    case 502: return "Bad Gateway";
    case 503: return "Service Unavailable";
    case 504: return "Gateway Timeout";
    default: return {};
    }
}

bool CurlResponseHeaders::addLine(QByteArrayView raw)
{
    const QByteArrayView line = trimmedLine(raw);
    if (startsWithNoCase(line, "HTTP/")) {
        // A new response begins: whatever came before was interim.
        m_block.clear();
        m_complete = false;
        m_hasLocation = false;
        m_status = 0;
        const qsizetype space = line.indexOf(' ');
        QByteArrayView rest = space < 0 ? QByteArrayView() : line.sliced(space + 1);
        while (rest.startsWith(' '))
            rest = rest.sliced(1);
        const QByteArrayView code = rest.first(qMin<qsizetype>(3, rest.size()));
        bool ok = code.size() == 3;
        for (char c : code)
            ok = ok && c >= '0' && c <= '9';
        if (!ok) {
            // Not a status line we understand: keep it as it came.
            m_block = line.toByteArray() + "\r\n";
            return false;
        }
        m_status = code.toByteArray().toInt();
        QByteArray reason = rest.sliced(3).trimmed().toByteArray();
        if (reason.isEmpty())
            reason = reasonPhrase(m_status);
        m_block = "HTTP/1.1 " + code.toByteArray() + ' ' + reason + "\r\n";
        return false;
    }
    if (m_complete)
        return false;  // trailers after the body
    if (!line.isEmpty()) {
        if (startsWithNoCase(line, "Location:"))
            m_hasLocation = true;
        m_block += line.toByteArray() + "\r\n";
        return false;
    }
    // The empty line: end of one response's headers.
    if (m_block.isEmpty())
        return false;
    if (m_status >= 100 && m_status < 200) {
        m_block.clear();
        return false;
    }
    const bool followed = m_status >= 300 && m_status < 400 && m_status != 304 && m_hasLocation &&
                          m_redirects < m_maxRedirects;
    if (followed) {
        ++m_redirects;  // libcurl asks again; the next status line starts over
        return false;
    }
    m_block += "\r\n";
    m_complete = true;
    return true;
}

void CurlResponseHeaders::clear()
{
    m_block.clear();
    m_status = 0;
    m_redirects = 0;
    m_hasLocation = false;
    m_complete = false;
}

QString CurlResponseHeaders::value(QByteArrayView name) const
{
    const QList<QByteArray> lines = m_block.split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArrayView line = trimmedLine(lines[i]);
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        if (line.first(colon).trimmed().compare(name, Qt::CaseInsensitive) == 0)
            return QString::fromLatin1(line.sliced(colon + 1).trimmed());
    }
    return {};
}
