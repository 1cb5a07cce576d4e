#include "AppHarness.h"

#include <app/ServerSelection.h>

#include <gtest/gtest.h>

// Slots as a descriptor stores them: padded with spaces, or with zero bytes.
TEST(ServerSelection, ListEndsAtTheFirstEmptySlotAndTheChoiceSetsTheUrl)
{
    const auto slot = [](const QString &text) { return text.leftJustified(256, ' '); };
    const QString zeros(256, QChar(u'\0')), a = slot("A|http://a.test/");
    const QStringList two = {slot(" Europe | http://eu.test/f.bin "), slot("America|  http://us.test/f.bin  ")};
    const struct {
        const char *name;
        QStringList entries;
        QString names;                  // as listed in the window, "|" between; empty: no window, one server
        QString url;                    // the URL to fetch afterwards
        std::optional<int> answer = 0;  // nullopt: the close box keeps the preselected server
        int serverIndex = 0;            // the choice before
        int selected = 0;
    } cases[] = {
        {"single bare URL, no window", {slot("  http://x.test/f")}, "", "http://x.test/f"},
        {"single URL padded with zero bytes", {"http://z.test/f" + QString(241, QChar(u'\0'))}, "", "http://z.test/f"},
        {"a blank slot ends the list; a lone Name|URL means its URL", {a, slot(""), a}, "", "http://a.test/"},
        {"a lone address keeps its |", {slot("http://x.test/a|b")}, "", "http://x.test/a|b"},
        {"spaces then zeros end it", {a, a, "  " + QString(10, QChar(u'\0')) + QString(244, ' '), a}, "A|A", "http://a.test/"},
        {"America", two, "Europe|America", "http://us.test/f.bin", 1},
        {"close box keeps the earlier choice", two, "Europe|America", "http://us.test/f.bin", std::nullopt, 1, 1},
        {"an index out of range becomes 0", two, "Europe|America", "http://eu.test/f.bin", std::nullopt, 5},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        DownloadJob job;
        for (int i = 0; i < DescriptorHeader::ServerSlots; ++i)
            job.descriptor.servers[size_t(i)] = c.entries.value(i, zeros);
        job.serverIndex = c.serverIndex;
        job.sourceUrl = trimSpaces(job.descriptor.servers[size_t(c.serverIndex)]);
        ScriptedDialogs dialogs;
        ServerSelection servers(dialogs);
        dialogs.serverAnswers.push_back(c.answer);
        EXPECT_EQ(servers.offer(job), !c.names.isEmpty() && c.answer.has_value());
        EXPECT_EQ(dialogs.serverQuestions.empty() ? QString() : dialogs.serverQuestions[0].first.join('|'), c.names);
        EXPECT_EQ(dialogs.serverQuestions.empty() ? 0 : dialogs.serverQuestions[0].second, c.selected);
        EXPECT_EQ(job.serverIndex, c.names.isEmpty() ? 0 : c.answer.value_or(c.selected));
        EXPECT_EQ(job.sourceUrl, c.url);
        EXPECT_EQ(servers.lastIndex(), c.answer && !c.names.isEmpty() ? *c.answer : 0);  // the next descriptor's preselection
    }
}
