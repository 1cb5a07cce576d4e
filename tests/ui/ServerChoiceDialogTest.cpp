#include <ui/ServerChoiceDialog.h>

#include <QComboBox>
#include <QTest>

#include <gtest/gtest.h>

// OK and the close box are the seam's test; here: the preset row, and that
// Escape and Enter on the list choose nothing and do not close it.
TEST(ServerChoiceDialog, PreselectsTheGivenRowOrTheFirstAndClosesOnlyByItsButtons)
{
    for (const auto &[selected, shown] : {std::pair{1, 1}, {2, 2}, {-1, 0}, {3, 0}}) {
        ServerChoiceDialog dialog;
        dialog.setServers({"Europe", "America", "Asia"}, selected);
        EXPECT_EQ(dialog.serverList()->count(), 3);
        EXPECT_EQ(dialog.serverList()->currentIndex(), shown) << selected;
        dialog.show();
        QTest::keyClick(&dialog, Qt::Key_Escape);
        QTest::keyClick(&dialog, Qt::Key_Return);
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_EQ(dialog.chosenRow(), std::nullopt);
    }
}
