#include <ui/frmServers.h>

#include <QComboBox>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

TEST(frmServers, OkTakesTheChosenRowAndTheCloseBoxDoesNot)
{
    frmServers window;
    window.setServers({"Europe", "America", "Asia"}, 1);
    window.show();
    EXPECT_EQ(window.cmbServers()->currentIndex(), 1);
    window.cmbServers()->setCurrentIndex(2);
    QTest::keyClick(window.findChild<QPushButton *>(QStringLiteral("Command1")), Qt::Key_Enter);
    EXPECT_FALSE(window.isVisible());
    EXPECT_TRUE(window.okClicked());

    window.show();
    QTest::keyClick(&window, Qt::Key_Escape);
    QTest::keyClick(&window, Qt::Key_Return);  // no default button
    ASSERT_TRUE(window.isVisible());
    window.close();
    EXPECT_FALSE(window.okClicked());
}
