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

class frmDownloadTest : public testing::Test {
protected:
    MainWindowModel model;
    frmDownload window{model};
    template <typename T = QWidget> T *child(const char *name) const
    {
        T *found = window.findChild<T *>(QLatin1String(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
};

TEST_F(frmDownloadTest, FixedWindowWithControlsWhereTheLayoutPutsThem)
{
    const std::pair<const char *, QRect> table[] = {
        {"txtURL", {9, 30, 528, 21}},       {"cmdPaste", {423, 52, 114, 26}},   {"ProgressBar", {10, 137, 529, 17}},
        {"ToLabel", {107, 175, 432, 15}},   {"RateLabel", {107, 191, 433, 17}}, {"cmdServers", {10, 271, 27, 27}},
        {"cmdURL", {105, 271, 115, 31}},    {"Command1", {221, 271, 115, 31}},  {"CancelButton", {337, 271, 115, 31}},
    };
    EXPECT_EQ(std::pair(window.minimumSize(), window.maximumSize()), std::pair(QSize(549, 321), QSize(549, 321)));
    for (const auto &[name, rect] : table) {
        if (QWidget *control = child(name)) {
            EXPECT_EQ(control->geometry(), rect) << name;
        }
    }
}

TEST_F(frmDownloadTest, MirrorsTheModelAndReportsUserTypingButNotModelWrites)
{
    const std::pair<Label, const char *> labels[] = {
        {Label::Status, "StatusLabel"}, {Label::Source, "SourceLabel"}, {Label::Time, "TimeLabel"},
        {Label::To, "ToLabel"}, {Label::Rate, "RateLabel"}};
    for (const auto &[label, name] : labels) {
        model.setText(label, QLatin1String(name) + "!");
        EXPECT_EQ(child<QLabel>(name)->text(), QLatin1String(name) + "!");
    }
    QAction *pause = window.trayMenu()->findChild<QAction *>(QStringLiteral("Pause"));
    for (const bool on : {true, false}) {
        SCOPED_TRACE(on);
        model.setCaption(on ? "42% done" : "Orvanta Downloader");
        model.setCmdURLEnabled(on);
        model.setCommand1Enabled(!on);
        model.setCancelCaption(on ? "Resume Download..." : "Pause Download...");
        model.setServersVisible(on);
        model.setPauseChecked(on);
        EXPECT_EQ(window.windowTitle(), on ? "42% done" : "Orvanta Downloader");
        EXPECT_EQ(child("cmdURL")->isEnabled(), on);
        EXPECT_EQ(child("Command1")->isEnabled(), !on);
        EXPECT_EQ(child<QPushButton>("CancelButton")->text(), on ? "Resume Download..." : "Pause Download...");
        EXPECT_EQ(child("cmdServers")->isHidden(), !on);
        EXPECT_EQ(pause->isChecked(), on);
    }

    QSignalSpy edited(&window, &frmDownload::txtURLEdited);
    auto *box = child<QLineEdit>("txtURL");
    QTest::keyClicks(box, QStringLiteral("www.a"));
    ASSERT_EQ(edited.count(), 5);
    EXPECT_EQ(edited.last().at(0).toString(), QStringLiteral("www.a"));
    EXPECT_EQ(model.urlText(), QStringLiteral("www.a"));
    model.setUrlText(QStringLiteral("http://example.org/file"));
    EXPECT_EQ(box->text(), QStringLiteral("http://example.org/file"));
    EXPECT_EQ(edited.count(), 5);
}

TEST_F(frmDownloadTest, DescriptorSummaryShowsItsLinesSideBySideAndWholeInTheTip)
{
    auto *info = child<QLabel>("LblInfo");
    const QString summary = QStringLiteral("File Name: a.iso\r\nFile Size: 2.0 GB\r\nInformation: ") + QString(200, 'x');
    model.setText(Label::Info, summary);
    EXPECT_TRUE(info->text().startsWith(QStringLiteral("File Name: a.iso    File Size: 2.0 GB    Information: x")));
    EXPECT_FALSE(info->text().contains(QLatin1Char('\n')));
    EXPECT_LE(info->fontMetrics().horizontalAdvance(info->text()), info->width());
    EXPECT_EQ(info->toolTip(), summary);

    // The values start clear of their captions and fitted text uses only the room left.
    auto *time = child<QLabel>("TimeLabel");
    const QString fitted = model.fitText(Label::Time, QString(300, 'w'));
    EXPECT_GT(time->contentsMargins().left(), 0);
    EXPECT_LE(time->fontMetrics().horizontalAdvance(fitted), time->contentsRect().width());
}
