#include <app/WidgetDialogs.h>

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace {
// Acts on the modal window the seam is about to show, once its loop runs.
void whenShown(const std::function<void(QWidget &)> &act)
{
    QTimer::singleShot(0, qApp, [act] {
        QWidget *modal = QApplication::activeModalWidget();
        ASSERT_NE(modal, nullptr);
        act(*modal);
    });
}

std::function<void(QWidget &)> click(const char *button)
{
    return [button](QWidget &w) { w.findChild<QPushButton *>(QLatin1String(button))->click(); };
}
} // namespace

TEST(WidgetDialogs, FilterTextBecomesOneNameFilterPerPairShownByItsDescription)
{
    struct Case {
        const char *filter;
        QStringList nameFilters;
        QStringList descriptions;
    };
    const Case cases[] = {
        {"All File Types (*.*)|*.*", {"All File Types (*.*) (*)"}, {"All File Types (*.*)"}},
        {"Downloader Data File (*.ddf)|*.ddf", {"Downloader Data File (*.ddf) (*.ddf)"}, {"Downloader Data File (*.ddf)"}},
        {"Images|*.png; *.jpg|Any|", {"Images (*.png *.jpg)", "Any (*)"}, {"Images", "Any"}},
        {"dangling description", {}, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.filter);
        const QStringList built = WidgetDialogs::nameFilters(QLatin1String(c.filter));
        EXPECT_EQ(built, c.nameFilters);
        QStringList descriptions;
        for (const QString &nameFilter : built)
            descriptions << WidgetDialogs::description(nameFilter);
        EXPECT_EQ(descriptions, c.descriptions);
    }
}

TEST(WidgetDialogs, FileExistsQuestionReportsTheButtonPressedOrCancelWhenClosed)
{
    using A = FileExistsAnswer;
    const std::pair<std::function<void(QWidget &)>, A> cases[] = {
        {click("overwriteButton"), A::Overwrite},
        {click("resumeButton"), A::Resume},
        {click("cancelButton"), A::Cancel},
        {[](QWidget &w) { w.close(); }, A::Cancel},
    };
    WidgetDialogs dialogs;
    for (const auto &[act, answer] : cases) {
        whenShown(act);
        EXPECT_EQ(dialogs.askFileExists(), answer);
    }
}

TEST(WidgetDialogs, ServerChoiceGivesTheRowConfirmedWithOkOrNone)
{
    WidgetDialogs dialogs;
    whenShown([](QWidget &w) {
        w.findChild<QComboBox *>()->setCurrentIndex(2);
        click("okButton")(w);
    });
    EXPECT_EQ(dialogs.chooseServer({"a", "b", "c"}, 0), 2);
    whenShown([](QWidget &w) { w.close(); });
    EXPECT_EQ(dialogs.chooseServer({"a", "b", "c"}, 1), std::nullopt);
}
