#include <ui/MainWindowModel.h>

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <functional>

using Label = MainWindowModel::Label;

TEST(MainWindowModel, TrayTipStartsWithTheHintAndPassesLongTipsWhole)
{
    MainWindowModel model;
    EXPECT_EQ(model.trayTip(), "Right-Click for Options");
    QSignalSpy shown(&model, &MainWindowModel::trayTipChanged);
    for (const QString &tip : {QStringLiteral("1.0 MB of 2.0 MB copied..."), QString(70, 'x')}) {
        model.setTrayTip(tip);
        EXPECT_EQ(model.trayTip(), tip);
        ASSERT_FALSE(shown.isEmpty());
        EXPECT_EQ(shown.takeLast().at(0).toString(), tip);
    }
}

// Each setter of what the window mirrors: changed() fires once for a new
// value and not at all for the value already there.
struct Setter {
    const char *name;
    std::function<void(MainWindowModel &, bool)> set;
    std::function<bool(const MainWindowModel &)> holds;
};

TEST(MainWindowModel, ChangedFiresOnlyForANewValue)
{
    const Setter setters[] = {
        {"downloadUrl", [](MainWindowModel &m, bool on) { m.setDownloadUrlEnabled(on); },
         [](const MainWindowModel &m) { return m.downloadUrlEnabled(); }},
        {"loadDescriptor", [](MainWindowModel &m, bool on) { m.setLoadDescriptorEnabled(!on); },
         [](const MainWindowModel &m) { return !m.loadDescriptorEnabled(); }},
        {"pauseEnabled", [](MainWindowModel &m, bool on) { m.setPauseButtonEnabled(on); },
         [](const MainWindowModel &m) { return m.pauseButtonEnabled(); }},
        {"serverButton", [](MainWindowModel &m, bool on) { m.setServerButtonVisible(on); },
         [](const MainWindowModel &m) { return m.serverButtonVisible(); }},
        {"pauseChecked", [](MainWindowModel &m, bool on) { m.setPauseChecked(on); },
         [](const MainWindowModel &m) { return m.pauseChecked(); }},
        {"pauseCaption",
         [](MainWindowModel &m, bool on) { m.setPauseButtonCaption(on ? "Resume Download..." : "Pause Download..."); },
         [](const MainWindowModel &m) { return m.pauseButtonCaption() == "Resume Download..."; }},
        {"title", [](MainWindowModel &m, bool on) { m.setWindowTitle(on ? "1% done" : "Orvanta Downloader"); },
         [](const MainWindowModel &m) { return m.windowTitle() == "1% done"; }},
        {"status", [](MainWindowModel &m, bool on) { m.setText(Label::Status, on ? "Connecting..." : ""); },
         [](const MainWindowModel &m) { return m.text(Label::Status) == "Connecting..."; }},
    };
    for (const Setter &s : setters) {
        SCOPED_TRACE(s.name);
        MainWindowModel model;
        EXPECT_FALSE(s.holds(model));  // the start state
        QSignalSpy changed(&model, &MainWindowModel::changed);
        s.set(model, false);
        EXPECT_EQ(changed.count(), 0);
        s.set(model, true);
        s.set(model, true);
        EXPECT_EQ(changed.count(), 1);
        EXPECT_TRUE(s.holds(model));
    }
}

TEST(MainWindowModel, ProgressIsPassedOnInCallOrderEvenWhenRepeated)
{
    MainWindowModel model;
    QList<qint64> calls;
    QObject::connect(&model, &MainWindowModel::progressValueSet, [&](qint64 v) { calls << v; });
    QObject::connect(&model, &MainWindowModel::progressMaxSet, [&](qint64 m) { calls << -m; });
    model.setProgressValue(0);
    model.setProgressMax(100);
    model.setProgressValue(0);
    model.setProgressValue(50);
    EXPECT_EQ(calls, QList<qint64>({0, -100, 0, 50}));
    EXPECT_EQ(model.progressValue(), 50);
    EXPECT_EQ(model.progressMax(), 100);
}

TEST(MainWindowModel, HeadlessFittingLeavesTextsAsTheyAre)
{
    MainWindowModel model;
    const QString path = QString(500, 'p');
    EXPECT_EQ(model.fitText(Label::Source, path), path);
    model.setFitter([](Label label, const QString &text) { return label == Label::Source ? text.left(3) : text; });
    EXPECT_EQ(model.fitText(Label::Source, path), "ppp");
    EXPECT_EQ(model.fitText(Label::Destination, path), path);
}
