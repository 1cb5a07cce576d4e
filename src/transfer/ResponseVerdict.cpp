#include "ResponseVerdict.h"

namespace {

ResponseVerdict verdict(ResponseVerdict::Action action, const char *message)
{
    return {action, QString::fromLatin1(message)};
}

} // namespace

ResponseVerdict judgeResponse(const std::optional<HttpResponse> &head, qint64 resumeOffset, bool checkedMode)
{
    using Action = ResponseVerdict::Action;
    const bool resuming = resumeOffset >= 0;
    switch (head ? head->status : 0) {
    case 200:
        if (resuming)
            return verdict(Action::RestartFromZero, "Could not resume. Starting from beginning of file.");
        return {Action::Receive, {}};
    case 206:
        // Bytes from anywhere but the requested offset would land in the
        // wrong place.
        if (head->rangeStart.value_or(-1) != (resuming ? resumeOffset : 0))
            return verdict(Action::Retry, "The server resumed from the wrong position.");
        return verdict(Action::Receive, "Entered resume mode successfully.");
    case 204:
        return verdict(Action::Stop, "The server did not return any content.");
    case 401:
        return verdict(Action::Stop, "Authorization failed!");
    case 404:
        return verdict(Action::Stop, "File not found on server. Please check for a newer ddf file.");
    case 416:
        if (!checkedMode)
            return verdict(Action::NothingLeft, "No content to be download. File has already completed.");
        break;
    default:
        break;
    }
    return verdict(Action::Retry, "There was a problem making the proper connection...");
}
