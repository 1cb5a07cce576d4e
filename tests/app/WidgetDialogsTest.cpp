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

// OK gives the row shown (the preselected one, the first when out of range,
// or the one picked) and the box as left; the close box gives none. The box
// is last in the tab order, so the keys that reached OK before still do.
TEST(WidgetDialogs, TheServerWindowGivesTheRowAndBoxConfirmedOrNoneWhenClosed)
{
    WidgetDialogs dialogs;
    // Preselected, picked (-1: none), box offered, box clicked, OK or the close box, the row, the box as left.
    for (const auto &[selected, picked, offered, clicked, ok, row, left] :
         {std::tuple{1, -1, true, false, true, std::optional(1), true}, {3, -1, true, true, true, 0, false},
          {0, 2, false, true, true, 2, true}, {1, -1, true, false, false, std::nullopt, false}}) {
        QTimer::singleShot(0, qApp, [picked, clicked, ok] {
            QWidget *modal = QApplication::activeModalWidget();
            ASSERT_NE(modal, nullptr);
            auto *box = modal->findChild<QCheckBox *>("allServersBox");
            auto *okButton = modal->findChild<QPushButton *>("okButton");
            ASSERT_TRUE(box && okButton);
            EXPECT_EQ(modal->findChild<QComboBox *>()->nextInFocusChain(), okButton);
            EXPECT_EQ(okButton->nextInFocusChain(), box);
            if (picked >= 0)
                modal->findChild<QComboBox *>()->setCurrentIndex(picked);
            if (clicked)
                box->click();
            ok ? okButton->click() : void(modal->close());
        });
        const auto got = dialogs.chooseServer({"Europe", "America", "Asia"}, selected, offered);
        EXPECT_EQ(got ? std::optional(got->row) : std::nullopt, row) << selected << " " << picked;
        EXPECT_EQ(got && got->useAllServers, left) << offered << " " << clicked;
    }
}
