#include <ui/frmServers.h>

#include <QComboBox>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

TEST(frmServers, OkTakesTheChosenRowAndTheCloseBoxDoesNot)
{
    frmServers window;
    window.setServers({"Europe", "America", "Asia"}, 1);
    for (const bool ok : {true, false}) {
        SCOPED_TRACE(ok ? "OK" : "close box");
        window.show();
        EXPECT_EQ(window.cmbServers()->currentIndex(), ok ? 1 : 2);
        QTest::keyClick(&window, Qt::Key_Escape);
        QTest::keyClick(&window, Qt::Key_Return);  // no default button
        ASSERT_TRUE(window.isVisible());
        if (ok) {
            window.cmbServers()->setCurrentIndex(2);
            QTest::keyClick(window.findChild<QPushButton *>(QStringLiteral("Command1")), Qt::Key_Enter);
        } else {
            window.close();
        }
        EXPECT_FALSE(window.isVisible());
        EXPECT_EQ(window.okClicked(), ok);
    }
}
