#pragma once

#include "HttpClient.h"

#include <QString>

#include <optional>

// What an attempt does with the server's answer to its request.
struct ResponseVerdict {
    enum class Action {
        Receive,          // take the body at the requested offset
        RestartFromZero,  // a resumed request got the whole file: take it from offset 0
        Stop,             // a final answer: logged, not retried
        Retry,            // logged, tried again after the retry delay
        NothingLeft,      // a URL resume past the end: the file is already complete
    };
    Action action = Action::Retry;
    QString message;  // the log's text; empty when there is nothing to say
    QString reason;   // for a failure: what the server said, for the window
};

// Judges the final head of a response (nullopt: the request failed before
// any answer). `resumeOffset` is where a resumed request asked to start
// (-1 when the request was not a resume).
ResponseVerdict judgeResponse(const std::optional<HttpResponse> &head, qint64 resumeOffset, bool checkedMode);
