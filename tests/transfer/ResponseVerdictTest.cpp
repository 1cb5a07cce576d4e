#include <transfer/ResponseVerdict.h>

#include <gtest/gtest.h>

namespace {

using Action = ResponseVerdict::Action;

HttpResponse head(int status, std::optional<qint64> rangeStart = std::nullopt)
{
    HttpResponse h;
    h.status = status;
    h.rangeStart = rangeStart;
    return h;
}

TEST(ResponseVerdict, EachAnswerHasItsAction)
{
    struct Row {
        const char *name;
        std::optional<HttpResponse> head;
        qint64 resumeOffset;
        bool checkedMode;
        Action action;
        const char *message;
    };
    const Row rows[] = {
        {"200 fresh", head(200), -1, false, Action::Receive, ""},
        {"200 to a resume", head(200), 100, true, Action::RestartFromZero, "Could not resume. Starting from beginning of file."},
        {"206 at the offset", head(206, 100), 100, false, Action::Receive, "Entered resume mode successfully."},
        {"206 fresh from 0", head(206, 0), -1, false, Action::Receive, "Entered resume mode successfully."},
        {"206 elsewhere", head(206, 50), 100, false, Action::Retry, "The server resumed from the wrong position."},
        {"206 without a range", head(206), 100, false, Action::Retry, "The server resumed from the wrong position."},
        {"204", head(204), -1, false, Action::Stop, "The server did not return any content."},
        {"401", head(401), -1, true, Action::Stop, "Authorization failed!"},
        {"404", head(404), 100, true, Action::Stop, "File not found on server. Please check for a newer ddf file."},
        {"416 for a URL", head(416), 100, false, Action::NothingLeft, "No content to be download. File has already completed."},
        {"416 for a descriptor", head(416), 100, true, Action::Retry, "There was a problem making the proper connection..."},
        {"503", head(503), -1, false, Action::Retry, "There was a problem making the proper connection..."},
        {"no answer", std::nullopt, -1, false, Action::Retry, "There was a problem making the proper connection..."},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        const ResponseVerdict v = judgeResponse(row.head, row.resumeOffset, row.checkedMode);
        EXPECT_EQ(v.action, row.action);
        EXPECT_EQ(v.message, QString::fromLatin1(row.message));
    }
}

} // namespace
