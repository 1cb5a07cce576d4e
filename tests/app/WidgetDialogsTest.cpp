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

void click(QWidget &w, const char *button) { w.findChild<QPushButton *>(QLatin1String(button))->click(); }
}  // namespace

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
    WidgetDialogs dialogs;
    whenShown([](QWidget &w) { click(w, "resumeButton"); });
    EXPECT_EQ(dialogs.askFileExists(), FileExistsAnswer::Resume);
    whenShown([](QWidget &w) { w.close(); });
    EXPECT_EQ(dialogs.askFileExists(), FileExistsAnswer::Cancel);
    whenShown([](QWidget &w) {
        w.findChild<QComboBox *>()->setCurrentIndex(2);
        click(w, "okButton");
    });
    EXPECT_EQ(dialogs.chooseServer({"a", "b", "c"}, 0), 2);
    whenShown([](QWidget &w) { w.close(); });
    EXPECT_EQ(dialogs.chooseServer({"a", "b", "c"}, 1), std::nullopt);
}
