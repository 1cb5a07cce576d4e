#include "ResponseVerdict.h"

namespace {

ResponseVerdict verdict(ResponseVerdict::Action action, const char *message, const QString &reason = {})
{
    return {action, QString::fromLatin1(message), reason};
}

// "The server answered 404 Not Found."
QString answered(const HttpResponse &head)
{
    const QString phrase = head.reasonPhrase.trimmed();
    return QStringLiteral("The server answered %1%2.").arg(head.status).arg(phrase.isEmpty() ? phrase : QLatin1Char(' ') + phrase);
}

} // namespace

ResponseVerdict judgeResponse(const std::optional<HttpResponse> &head, qint64 resumeOffset, bool checkedMode)
{
    using Action = ResponseVerdict::Action;
    const char *problem = "There was a problem making the proper connection...";
    if (!head)
        return verdict(Action::Retry, problem, QStringLiteral("The server sent no answer."));
    const bool resuming = resumeOffset >= 0;
    switch (head->status) {
    case 200:
        if (resuming)
            return verdict(Action::RestartFromZero, "Could not resume. Starting from beginning of file.");
        return {Action::Receive, {}, {}};
    case 206:
        // Bytes from anywhere but the requested offset would land in the
        // wrong place.
        if (head->rangeStart.value_or(-1) != (resuming ? resumeOffset : 0))
            return verdict(Action::Retry, "The server resumed from the wrong position.",
                           QStringLiteral("The server sent bytes from offset %1; they were asked from %2.")
                               .arg(head->rangeStart ? QString::number(*head->rangeStart) : QStringLiteral("(none given)"))
                               .arg(resuming ? resumeOffset : 0));
        return verdict(Action::Receive, "Entered resume mode successfully.");
    case 204:
        return verdict(Action::Stop, "The server did not return any content.", answered(*head));
    case 401:
        return verdict(Action::Stop, "Authorization failed!", answered(*head));
    case 404:
    case 410:  // gone for good: as final as "not found"
        return verdict(Action::Stop, "File not found on server. Please check for a newer ddf file.", answered(*head));
    case 403:
        return verdict(Action::Stop, "The server refuses to give out the file.", answered(*head));
    case 416:
        // Only a resume can reach past the end of the file; a 416 to a
        // request without a range is the server's fault like any other.
        if (!checkedMode && resuming)
            return verdict(Action::NothingLeft, "No content to be download. File has already completed.", answered(*head));
        break;
    default:
        break;
    }
    return verdict(Action::Retry, problem, answered(*head));
}
