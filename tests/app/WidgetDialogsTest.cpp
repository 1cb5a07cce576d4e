#include <app/WidgetDialogs.h>

#include <QApplication>
#include <QCheckBox>
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

// OK gives the row shown: the preselected one (the first when out of
// range) or the one picked; the close box gives none.
TEST(WidgetDialogs, TheServerWindowGivesTheRowConfirmedOrNoneWhenClosed)
{
    WidgetDialogs dialogs;
    // The row preselected, the row picked (-1: none), OK or the close box, the answer.
    for (const auto &[selected, picked, ok, answer] :
         {std::tuple{1, -1, true, std::optional(1)}, {3, -1, true, 0}, {0, 2, true, 2}, {1, -1, false, std::nullopt}}) {
        QTimer::singleShot(0, qApp, [picked, ok] {
            QWidget *modal = QApplication::activeModalWidget();
            ASSERT_NE(modal, nullptr);
            if (picked >= 0)
                modal->findChild<QComboBox *>()->setCurrentIndex(picked);
            ok ? modal->findChild<QPushButton *>("okButton")->click() : void(modal->close());
        });
        const auto got = dialogs.chooseServer({"Europe", "America", "Asia"}, selected, true);
        EXPECT_EQ(got ? std::optional(got->row) : std::nullopt, answer) << selected << " " << picked;
    }
}

// The box comes as offered and goes back as left; it is last in the tab
// order, so the keys that reached OK before still do.
TEST(WidgetDialogs, TheServerWindowsBoxIsLastAndGivesItsState)
{
    WidgetDialogs dialogs;
    for (const auto &[offered, clicked, left] : {std::tuple{true, false, true}, {true, true, false}, {false, true, true}}) {
        QTimer::singleShot(0, qApp, [clicked] {
            QWidget *modal = QApplication::activeModalWidget();
            ASSERT_NE(modal, nullptr);
            auto *box = modal->findChild<QCheckBox *>("allServersBox");
            auto *ok = modal->findChild<QPushButton *>("okButton");
            ASSERT_TRUE(box && ok);
            EXPECT_EQ(modal->findChild<QComboBox *>()->nextInFocusChain(), ok);
            EXPECT_EQ(ok->nextInFocusChain(), box);
            if (clicked)
                box->click();
            ok->click();
        });
        const auto got = dialogs.chooseServer({"Europe", "America"}, 0, offered);
        ASSERT_TRUE(got);
        EXPECT_EQ(got->useAllServers, left) << offered << " " << clicked;
    }
}
