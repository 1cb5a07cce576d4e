#include <ui/ServerChoiceDialog.h>

#include <QComboBox>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

TEST(ServerChoiceDialog, PreselectsTheGivenRowOrTheFirst)
{
    for (const auto &[selected, shown] : {std::pair{1, 1}, {2, 2}, {-1, 0}, {3, 0}}) {
        ServerChoiceDialog dialog;
        dialog.setServers({"Europe", "America", "Asia"}, selected);
        EXPECT_EQ(dialog.serverList()->count(), 3);
        EXPECT_EQ(dialog.serverList()->currentIndex(), shown) << selected;
    }
}

TEST(ServerChoiceDialog, OkTakesTheChosenRowAndTheCloseBoxNone)
{
    ServerChoiceDialog dialog;
    dialog.setServers({"Europe", "America", "Asia"}, 1);
    dialog.show();
    dialog.serverList()->setCurrentIndex(2);
    QTest::keyClick(dialog.findChild<QPushButton *>(QStringLiteral("okButton")), Qt::Key_Enter);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.chosenRow(), 2);
    // A new display forgets the last choice; Escape and Enter on the list do nothing.
    dialog.show();
    EXPECT_EQ(dialog.chosenRow(), std::nullopt);
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QTest::keyClick(&dialog, Qt::Key_Return);
    ASSERT_TRUE(dialog.isVisible());
    dialog.close();
    EXPECT_EQ(dialog.chosenRow(), std::nullopt);
}
