#include "AppHarness.h"

#include <gtest/gtest.h>

// A start proposes a clipboard URL only for the three prefixes and loads a
// descriptor named on the command line; a later start's hand-over fills the
// box, loads a descriptor, or shows why it was refused.
TEST(MainController, StartAndHandOverFillTheBoxOrLoadTheDescriptor)
{
    const QString summary = "We have collected the following information:";
    const struct {
        const char *name;
        bool handOver;
        std::optional<QString> clipboard;  // nullopt: held by another program
        QString box, message = {};         // the box afterwards; the start of the message shown
        QString descriptor = {}, url = {}, refusal = {};
    } cases[] = {
        {"clipboard https in capitals", false, "  HTTPS://Example.COM/Big.iso  ", "HTTPS://Example.COM/Big.iso"},
        {"clipboard www.", false, "\twww.example.com/f.zip\n", "www.example.com/f.zip"},
        {"clipboard ftp", false, "ftp://example.com/file", ""},
        {"clipboard unreadable", false, std::nullopt, ""},
        {"quoted descriptor path, split at its space", false, "", "", summary, "\"%1/my file.ddf\""},
        {"URL handed over", true, "", "http://127.0.0.1:9/a.iso", {}, {}, "http://127.0.0.1:9/a.iso"},
        {"hand-over refused", true, "", "earlier", "busy now", {}, "http://127.0.0.1:9/a.iso", "busy now"},
        {"descriptor handed over", true, "", "earlier", summary, "%1/my file.ddf"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        AppHarness h;
        h.clipboard = c.clipboard;
        h.writeDescriptor("my file.ddf", sampleRecord());
        h.dialogs.cancelFile();  // the save dialog, when a load gets there
        const QString descriptor = QString(c.descriptor).replace("%1", h.dir.path());
        if (c.handOver) {
            h.controller.urlEdited("earlier");
            h.controller.handOver(descriptor, c.url, c.refusal);
        } else {
            h.controller.startUp(descriptor.split(' ', Qt::SkipEmptyParts));
            EXPECT_EQ(h.window.tip, "Right-Click for Options");
        }
        EXPECT_EQ(h.model.urlText(), c.box);
        EXPECT_EQ(h.window.focused, c.box.isEmpty() || c.box == "earlier" ? 0 : 1);
        EXPECT_EQ(h.dialogs.fileAnswers.empty(), c.message == summary);
        EXPECT_EQ(h.dialogs.messages.size(), c.message.isEmpty() ? 0 : 1);
        EXPECT_TRUE(h.dialogs.messages.value(0).startsWith(c.message)) << h.dialogs.messages.value(0).toStdString();
    }
}

// Minimising hides the window only where the tray can bring it back.
TEST(MainController, MinimisingHidesTheWindowOnlyWithATray)
{
    for (const bool tray : {true, false}) {
        AppHarness h;
        h.window.tray = tray;
        h.controller.windowMinimized();
        EXPECT_EQ(h.window.hidden, tray ? 1 : 0) << "tray " << tray;
    }
}

// A descriptor named at start-up runs first: a clipboard URL is proposed,
// with the focus on its button, only once that download has stopped.
TEST(MainController, TheClipboardWaitsForTheStartUpDescriptor)
{
    AppHarness h;
    h.clipboard = "http://127.0.0.1:9/a.iso";
    h.dialogs.chooseFile(h.path("out.bin"));
    h.http.replies.push_back(FakeHttpClient::reply(404, {}));
    h.controller.startUp({h.writeDescriptor("d.ddf", sampleRecord())});
    EXPECT_TRUE(h.engine.isBusy());
    EXPECT_EQ(h.model.urlText(), "");
    EXPECT_TRUE(runUntil([&] { return h.engine.state() == DownloadEngine::State::Failed; }));
    EXPECT_EQ(h.model.urlText(), "http://127.0.0.1:9/a.iso");
    EXPECT_TRUE(h.model.downloadUrlEnabled());
    EXPECT_EQ(h.window.focused, 1);
}
