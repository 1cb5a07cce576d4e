#include <app/WidgetDialogs.h>

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

TEST(WidgetDialogs, FilterTextBecomesOneNameFilterPerPairShownByItsDescription)
{
    const struct {
        const char *filter;
        QStringList nameFilters, descriptions;
    } cases[] = {
        {"All File Types (*.*)|*.*", {"All File Types (*.*) (*)"}, {"All File Types (*.*)"}},
        {"Images|*.png; *.jpg|Any|", {"Images (*.png *.jpg)", "Any (*)"}, {"Images", "Any"}},
        {"dangling description", {}, {}},
    };
    for (const auto &c : cases) {
        const QStringList built = WidgetDialogs::nameFilters(QLatin1String(c.filter));
        EXPECT_EQ(built, c.nameFilters) << c.filter;
        QStringList descriptions;
        for (const QString &nameFilter : built)
            descriptions << WidgetDialogs::description(nameFilter);
        EXPECT_EQ(descriptions, c.descriptions) << c.filter;
    }
}

TEST(WidgetDialogs, QuestionsGiveTheAnswerChosenOrNoneWhenClosed)
{
    // Acts on the modal window the seam is about to show, once its loop runs.
    const auto whenShown = [](const char *button, int row = -1) {
        QTimer::singleShot(0, qApp, [button, row] {
            QWidget *modal = QApplication::activeModalWidget();
            ASSERT_NE(modal, nullptr);
            if (row >= 0)
                modal->findChild<QComboBox *>()->setCurrentIndex(row);
            button ? modal->findChild<QPushButton *>(button)->click() : void(modal->close());
        });
    };
    WidgetDialogs dialogs;
    whenShown("resumeButton");
    EXPECT_EQ(dialogs.askFileExists(), FileExistsAnswer::Resume);
    whenShown(nullptr);
    EXPECT_EQ(dialogs.askFileExists(), FileExistsAnswer::Cancel);
    whenShown("okButton", 2);
    EXPECT_EQ(dialogs.chooseServer({"a", "b", "c"}, 0), 2);
    whenShown(nullptr);
    EXPECT_EQ(dialogs.chooseServer({"a", "b", "c"}, 1), std::nullopt);
}
