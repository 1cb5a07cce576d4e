#include <ui/frmDownload.h>

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using Label = MainWindowModel::Label;

namespace {
struct Window {
    MainWindowModel model;
    frmDownload window{model};
    template <typename T = QWidget> T *child(const char *name) const
    {
        T *found = window.findChild<T *>(QLatin1String(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
};
} // namespace

TEST(frmDownload, FixedWindowWithControlsWhereTheLayoutPutsThem)
{
    const std::pair<const char *, QRect> table[] = {
        {"LblInfo", {10, 4, 530, 20}},       {"txtURL", {9, 30, 528, 21}},         {"cmdPaste", {423, 52, 114, 26}},
        {"StatusLabel", {10, 96, 410, 13}},  {"SourceLabel", {10, 115, 410, 13}},  {"ProgressBar", {10, 137, 529, 17}},
        {"TimeLabel", {107, 159, 432, 17}},  {"ToLabel", {107, 175, 432, 15}},     {"RateLabel", {107, 191, 433, 17}},
        {"cmdServers", {10, 271, 27, 27}},   {"cmdURL", {105, 271, 115, 31}},      {"Command1", {221, 271, 115, 31}},
        {"CancelButton", {337, 271, 115, 31}},
    };
    Window w;
    EXPECT_EQ(std::pair(w.window.minimumSize(), w.window.maximumSize()), std::pair(QSize(549, 321), QSize(549, 321)));
    for (const auto &[name, rect] : table)
        if (QWidget *control = w.child(name))
            EXPECT_EQ(control->geometry(), rect) << name;
}

TEST(frmDownload, MirrorsTheModelAndReportsUserTypingButNotModelWrites)
{
    Window w;
    const std::pair<Label, const char *> labels[] = {
        {Label::Status, "StatusLabel"}, {Label::Source, "SourceLabel"}, {Label::Time, "TimeLabel"},
        {Label::To, "ToLabel"}, {Label::Rate, "RateLabel"}};
    for (const auto &[label, name] : labels) {
        w.model.setText(label, QLatin1String(name) + "!");
        EXPECT_EQ(w.child<QLabel>(name)->text(), QLatin1String(name) + "!");
    }
    QAction *pause = w.window.trayMenu()->findChild<QAction *>(QStringLiteral("Pause"));
    for (const bool on : {true, false}) {
        SCOPED_TRACE(on);
        w.model.setCaption(on ? "42% done" : "Orvanta Downloader");
        w.model.setCmdURLEnabled(on);
        w.model.setCommand1Enabled(!on);
        w.model.setCancelCaption(on ? "Resume Download..." : "Pause Download...");
        w.model.setServersVisible(on);
        w.model.setPauseChecked(on);
        EXPECT_EQ(w.window.windowTitle(), on ? "42% done" : "Orvanta Downloader");
        EXPECT_EQ(w.child("cmdURL")->isEnabled(), on);
        EXPECT_EQ(w.child("Command1")->isEnabled(), !on);
        EXPECT_EQ(w.child<QPushButton>("CancelButton")->text(), on ? "Resume Download..." : "Pause Download...");
        EXPECT_EQ(w.child("cmdServers")->isHidden(), !on);
        EXPECT_EQ(pause->isChecked(), on);
    }

    QSignalSpy edited(&w.window, &frmDownload::txtURLEdited);
    auto *box = w.child<QLineEdit>("txtURL");
    QTest::keyClicks(box, QStringLiteral("www.a"));
    ASSERT_EQ(edited.count(), 5);
    EXPECT_EQ(edited.last().at(0).toString(), QStringLiteral("www.a"));
    EXPECT_EQ(w.model.urlText(), QStringLiteral("www.a"));
    w.model.setUrlText(QStringLiteral("http://example.org/file"));
    EXPECT_EQ(box->text(), QStringLiteral("http://example.org/file"));
    EXPECT_EQ(edited.count(), 5);
}
