#include "AppHarness.h"

#include <gtest/gtest.h>

namespace {
// Slots as a descriptor stores them: padded with spaces, or all zero bytes.
QString slot(const QString &text) { return text.leftJustified(256, ' '); }
const QString kZeros(256, QChar(u'\0'));

void load(AppHarness &h, const QStringList &entries)
{
    h.engine.DDF = DDFRecord();
    for (int i = 0; i < entries.size(); ++i)
        h.engine.DDF.Servers[i] = entries[i];
    for (int i = int(entries.size()); i < DDFRecord::ServerSlots; ++i)
        h.engine.DDF.Servers[i] = kZeros;
    // What the loader sets before the window opens.
    h.engine.SourceURL = trimSpaces(h.engine.DDF.Servers[h.engine.ServerIndex]);
}

const QStringList kTwo = {slot(" Europe | http://eu.example.test/f.bin "),
                          slot("America|  http://us.example.test/f.bin  ")};
} // namespace

TEST(ServerSelection, ListsNamesAndChoosingSetsIndexAndUrl)
{
    AppHarness h;
    load(h, kTwo);
    h.dialogs.serverAnswers.push_back(1);
    h.controller.cmdServers_Click();

    ASSERT_EQ(h.dialogs.asked.size(), 1u);
    EXPECT_EQ(h.dialogs.asked[0].names, (QStringList{"Europe", "America"}));
    EXPECT_EQ(h.dialogs.asked[0].selected, 0);
    EXPECT_EQ(h.engine.ServerIndex, 1);
    EXPECT_EQ(h.engine.ServerCount, 2);
    EXPECT_EQ(h.engine.SourceURL, "http://us.example.test/f.bin");
}

TEST(ServerSelection, ListEndsAtTheFirstEmptySlot)
{
    struct Case {
        const char *name;
        QStringList entries;
        int count;
    };
    const QString url = slot("A|http://a.test/");
    const std::vector<Case> cases = {
        {"single bare URL", {slot("  http://only.test/f.bin")}, 1},
        {"gap at 1", {url, slot(""), url}, 1},
        {"zero bytes end it", {url, url, kZeros, url}, 2},
        {"spaces and zeros end it", {url, url, QString("  ") + QString(10, QChar(u'\0')) + QString(244, ' '), url}, 2},
        {"all ten", QStringList(10, url), 10},
        {"none", {}, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        AppHarness h;
        load(h, c.entries);
        if (c.count >= 2)
            h.dialogs.serverAnswers.push_back(0);
        h.controller.cmdServers_Click();
        EXPECT_EQ(h.engine.ServerCount, c.count);
        EXPECT_EQ(h.engine.ServerIndex, 0);
        EXPECT_EQ(h.dialogs.asked.size(), c.count >= 2 ? 1u : 0u);
        if (c.count >= 2) {
            EXPECT_EQ(h.dialogs.asked[0].names.size(), c.count);
            EXPECT_EQ(h.engine.SourceURL, "http://a.test/");
        }
    }
}

TEST(ServerSelection, SingleBareUrlClosesAtOnceWithTheWholeEntry)
{
    AppHarness h;
    load(h, {slot("  http://only.test/f.bin")});
    h.controller.cmdServers_Click();
    EXPECT_TRUE(h.dialogs.asked.empty());
    EXPECT_EQ(h.engine.ServerIndex, 0);
    EXPECT_EQ(h.engine.SourceURL, "http://only.test/f.bin");
}

TEST(ServerSelection, ChoosingWhilePausedResumes)
{
    for (const bool paused : {true, false}) {
        SCOPED_TRACE(paused);
        AppHarness h;
        load(h, kTwo);
        h.model.setCancelEnabled(true);
        if (paused)
            h.engine.CancelButton_Click();  // pause
        ASSERT_EQ(h.model.cancelCaption(), paused ? "Resume Download..." : "Pause Download...");
        h.dialogs.serverAnswers.push_back(1);
        h.controller.cmdServers_Click();

        EXPECT_EQ(h.engine.SourceURL, "http://us.example.test/f.bin");
        EXPECT_EQ(h.model.cancelCaption(), "Pause Download...");
        EXPECT_EQ(h.engine.ResumeTimer.isActive(), paused);
        EXPECT_EQ(h.engine.FileVerified, paused);
    }
}

TEST(ServerSelection, PreselectsTheEarlierChoiceAndClampsOutOfRange)
{
    struct Case {
        qint16 serverIndex;
        int selected;
    };
    for (const Case c : {Case{1, 1}, Case{0, 0}, Case{5, 0}}) {
        SCOPED_TRACE(c.serverIndex);
        AppHarness h;
        h.engine.ServerIndex = c.serverIndex;
        load(h, kTwo);
        h.dialogs.serverAnswers.push_back(std::nullopt);  // closed with the close box
        h.controller.cmdServers_Click();
        ASSERT_EQ(h.dialogs.asked.size(), 1u);
        EXPECT_EQ(h.dialogs.asked[0].selected, c.selected);
        EXPECT_EQ(h.engine.ServerIndex, c.selected);
        // The close box keeps the preselected server, as a URL.
        EXPECT_EQ(h.engine.SourceURL,
                  c.selected == 0 ? "http://eu.example.test/f.bin" : "http://us.example.test/f.bin");
    }
}

TEST(ServerSelection, DecidesOnTheCurrentDescriptorNotAnEarlierCount)
{
    // One server first, then two: the second descriptor's choice is shown.
    {
        AppHarness h;
        load(h, {slot("http://only.test/f.bin")});
        h.controller.cmdServers_Click();
        load(h, kTwo);
        h.dialogs.serverAnswers.push_back(0);
        h.controller.cmdServers_Click();
        EXPECT_EQ(h.dialogs.asked.size(), 1u);
        EXPECT_EQ(h.engine.SourceURL, "http://eu.example.test/f.bin");
    }
    // Two servers with the second chosen, then one: no empty window, and
    // the single entry is the URL.
    {
        AppHarness h;
        load(h, kTwo);
        h.dialogs.serverAnswers.push_back(1);
        h.controller.cmdServers_Click();
        load(h, {slot("http://only.test/f.bin")});
        EXPECT_TRUE(isEmptyServerEntry(h.engine.SourceURL));  // the loader took the empty slot 1
        h.controller.cmdServers_Click();
        EXPECT_EQ(h.dialogs.asked.size(), 1u);
        EXPECT_EQ(h.engine.ServerIndex, 0);
        EXPECT_EQ(h.engine.SourceURL, "http://only.test/f.bin");
    }
}
