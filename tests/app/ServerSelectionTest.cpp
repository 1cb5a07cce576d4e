#include "AppHarness.h"

#include <gtest/gtest.h>

namespace {
// Slots as a descriptor stores them: padded with spaces, or all zero bytes.
QString slot(const QString &text) { return text.leftJustified(256, ' '); }
const QString kZeros(256, QChar(u'\0'));
const QStringList kTwo = {slot(" Europe | http://eu.test/f.bin "), slot("America|  http://us.test/f.bin  ")};

// What the loader leaves behind before the window opens.
void load(AppHarness &h, const QStringList &entries)
{
    h.engine.DDF = DescriptorHeader();
    for (int i = 0; i < DescriptorHeader::ServerSlots; ++i)
        h.engine.DDF.servers[i] = i < entries.size() ? entries[i] : kZeros;
    h.engine.SourceURL = trimSpaces(h.engine.DDF.servers[h.engine.ServerIndex]);
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
        qint16 serverIndex = 0;         // the choice before
        int selected = 0;
        bool paused = false;
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
        {.name = "choosing while paused resumes", .entries = kTwo, .names = "Europe|America", .url = us,
         .answer = 1, .paused = true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        AppHarness h;
        h.engine.ServerIndex = c.serverIndex;
        load(h, c.entries);
        h.model.setCancelEnabled(true);
        if (c.paused)
            h.engine.CancelButton_Click();
        h.dialogs.serverAnswers.push_back(c.answer);
        h.controller.cmdServers_Click();
        EXPECT_EQ(h.engine.ServerCount, c.names.isEmpty() ? 1 : c.names.count('|') + 1);
        EXPECT_EQ(h.dialogs.asked.empty() ? QString() : h.dialogs.asked[0].names.join('|'), c.names);
        EXPECT_EQ(h.dialogs.asked.empty() ? 0 : h.dialogs.asked[0].selected, c.selected);
        EXPECT_EQ(h.engine.ServerIndex, c.answer.value_or(c.selected));
        EXPECT_EQ(h.engine.SourceURL, c.url);
        EXPECT_EQ(h.model.cancelCaption(), "Pause Download...");
        EXPECT_EQ(h.engine.ResumeTimer.isActive(), c.paused);
    }
}
