#include "AppHarness.h"

#include <app/ServerSelection.h>

#include <gtest/gtest.h>

namespace {
// Slots as a descriptor stores them: padded with spaces, or all zero bytes.
QString slot(const QString &text) { return text.leftJustified(256, ' '); }
const QString kZeros(256, QChar(u'\0'));
const QStringList kTwo = {slot(" Europe | http://eu.test/f.bin "), slot("America|  http://us.test/f.bin  ")};

// A job as the loader leaves it before the choice.
DownloadJob jobFor(const QStringList &entries, int serverIndex)
{
    DownloadJob job;
    job.mode = DownloadJob::Mode::Descriptor;
    for (int i = 0; i < DescriptorHeader::ServerSlots; ++i)
        job.descriptor.servers[size_t(i)] = i < entries.size() ? entries[i] : kZeros;
    job.serverIndex = serverIndex;
    job.sourceUrl = trimSpaces(job.descriptor.servers[size_t(serverIndex)]);
    return job;
}
} // namespace

TEST(ServerSelection, ListEndsAtTheFirstEmptySlotAndTheChoiceSetsTheUrl)
{
    struct Case {
        const char *name;
        QStringList entries;
        QString names;                  // as listed in the window, "|" between; empty: no window, one server
        QString url;                    // the URL to fetch afterwards
        std::optional<int> answer = 0;  // nullopt: the close box keeps the preselected server
        int serverIndex = 0;            // the choice before
        int selected = 0;
    };
    const QString a = slot("A|http://a.test/"), eu = "http://eu.test/f.bin", us = "http://us.test/f.bin";
    const Case cases[] = {
        {.name = "single bare URL closes at once", .entries = {slot("  http://x.test/f")}, .names = "", .url = "http://x.test/f"},
        {.name = "single URL padded with zero bytes", .entries = {"http://z.test/f" + QString(241, QChar(u'\0'))},
         .names = "", .url = "http://z.test/f"},
        {.name = "blank entry ends the list", .entries = {a, slot(""), a}, .names = "", .url = "A|http://a.test/"},
        {.name = "zero bytes end it", .entries = {a, a, kZeros, a}, .names = "A|A", .url = "http://a.test/"},
        {.name = "spaces then zeros end it", .entries = {a, a, "  " + QString(10, QChar(u'\0')) + QString(244, ' '), a},
         .names = "A|A", .url = "http://a.test/"},
        {.name = "America", .entries = kTwo, .names = "Europe|America", .url = us, .answer = 1},
        {.name = "preselects the earlier choice", .entries = kTwo, .names = "Europe|America", .url = us,
         .answer = std::nullopt, .serverIndex = 1, .selected = 1},
        {.name = "out of range clamps to 0", .entries = kTwo, .names = "Europe|America", .url = eu,
         .answer = std::nullopt, .serverIndex = 5},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedDialogs dialogs;
        ServerSelection servers(dialogs);
        DownloadJob job = jobFor(c.entries, c.serverIndex);
        dialogs.serverAnswers.push_back(c.answer);
        EXPECT_EQ(servers.offer(job), !c.names.isEmpty() && c.answer.has_value());
        EXPECT_EQ(dialogs.asked.empty() ? QString() : dialogs.asked[0].names.join('|'), c.names);
        EXPECT_EQ(dialogs.asked.empty() ? 0 : dialogs.asked[0].selected, c.selected);
        EXPECT_EQ(job.serverIndex, c.names.isEmpty() ? 0 : c.answer.value_or(c.selected));
        EXPECT_EQ(job.sourceUrl, c.url);
        EXPECT_EQ(servers.lastIndex(), c.answer && !c.names.isEmpty() ? *c.answer : 0);
    }
}

