#pragma once

#include <QString>

// Why an operation failed, with the system's or the library's own text.
// Where it came from decides whether retrying can help; the code is the
// origin's own number (libcurl's CURLcode, errno, an HTTP status, ...).
struct TransferError {
    enum class Origin {
        Network,     // connection, DNS, time-out, reset, body cut short
        Tls,         // certificate or handshake
        Disk,        // open, write, truncate, flush, free space
        Descriptor,  // the descriptor or its checksum list
        Protocol,    // a status or a head that cannot be used
    };
    Origin origin = Origin::Network;
    int code = 0;
    QString text;  // curl_easy_strerror / strerror / reason phrase, as given

    // True when waiting and trying again may succeed.
    bool transient() const;
    // "libcurl error 28: Timeout was reached", "System error 28: No space
    // left on device": a number says whose it is, since the same number means
    // different things to libcurl and to the system; numbers of the
    // program's own make give just the text.
    QString numberedText() const;
};
