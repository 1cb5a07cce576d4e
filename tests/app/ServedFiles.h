#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>

#include <optional>
#include <vector>

// A pretend web server for scripted scenarios: it serves files by URL and
// misbehaves on request k as its plan says. Both the engine's fake HTTP
// clients answer from it, so a scenario says what the server does, not what
// the engine is told.
class ServedFiles {
public:
    // What the server does with one request.
    struct Behaviour {
        enum class Kind {
            File,        // the file; a Range gets a 206 (416 from past its end)
            IgnoreRange, // the whole file with a 200, whatever was asked
            Status,      // a bare status with an empty body
            Page,        // a 200 with `page` as the body
            NoAnswer,    // the connection fails before any answer
        };
        Kind kind = Kind::File;
        int status = 0;
        QByteArray page = {};
        qint64 breakAfter = -1;  // the body stops after this many bytes
        bool stall = false;      // ... by going silent (a time-out), else by a reset
        qint64 corruptAt = -1;   // this offset of the file arrives with a flipped byte
    };

    // The answer, as a typed head and the bytes the body will carry.
    struct Answer {
        bool answered = true;
        int status = 200;
        std::optional<qint64> contentLength;
        std::optional<qint64> rangeStart;
        std::optional<qint64> rangeTotal;
        QByteArray body;
        qint64 breakAfter = -1;
        bool stall = false;
    };

    QMap<QString, QByteArray> files;  // by URL without its query
    std::vector<Behaviour> plan;      // request k follows plan[k]; later ones are served plainly

    // rangeEnd < 0: to the end of the file.
    Answer answer(int requestIndex, const QString &url, qint64 rangeStart, qint64 rangeEnd = -1) const;
    static QString reasonPhrase(int status);
};
