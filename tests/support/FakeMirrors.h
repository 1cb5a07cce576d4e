#pragma once

#include <support/FakeHttpClient.h>
#include <transfer/SourcePool.h>

#include <QMap>

#include <memory>
#include <vector>

// Several scripted servers behind one client factory: every client the
// engine makes answers from `answer` with the request, its index among the
// requests to that URL, and the file. Requests are recorded in order.
class FakeMirrors {
public:
    using Answer = std::function<FakeHttpClient::Reply(const HttpRequest &request, int indexForUrl)>;

    // A plain server of `file`: 206 for a range (416 past the end), 200 otherwise.
    static FakeHttpClient::Reply serve(const QByteArray &file, const HttpRequest &r)
    {
        if (r.rangeStart < 0)
            return FakeHttpClient::reply(200, file);
        if (r.rangeStart >= file.size())
            return FakeHttpClient::reply(416, {});
        const qint64 end = r.rangeEnd < 0 ? file.size() - 1 : std::min<qint64>(r.rangeEnd, file.size() - 1);
        return FakeHttpClient::reply(206, file.mid(r.rangeStart, end + 1 - r.rangeStart), r.rangeStart, file.size());
    }

    Answer answer;
    QStringList requests;  // the URL of each request
    std::function<void(const FakeHttpClient &client, qint64 delivered)> afterRun;

    HttpClientFactory factory()
    {
        return [this] {
            auto client = std::make_unique<FakeHttpClient>();
            FakeHttpClient *raw = client.get();
            client->answer = [this](const HttpRequest &r, int) {
                requests << r.url;
                return answer(r, m_perUrl[r.url]++);
            };
            // Connected before the engine's source: counts every piece.
            QObject::connect(raw, &HttpClient::dataReceived, [this](QByteArrayView data) { m_delivered += data.size(); });
            client->afterRun = [this, raw](int, qint64 delivered) {
                if (afterRun)
                    afterRun(*raw, delivered);
            };
            m_clients.push_back(raw);
            QObject::connect(raw, &QObject::destroyed, [this, raw] { std::erase(m_clients, raw); });
            return client;
        };
    }
    bool active() const
    {
        return std::any_of(m_clients.begin(), m_clients.end(), [](const FakeHttpClient *c) { return c->active(); });
    }
    // Body bytes delivered by every client together.
    qint64 delivered() const { return m_delivered; }

private:
    QMap<QString, int> m_perUrl;
    qint64 m_delivered = 0;
    std::vector<FakeHttpClient *> m_clients;
};
