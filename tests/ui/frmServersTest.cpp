#include "ModalDriver.h"

#include <ui/WidgetDialogs.h>
#include <ui/frmServers.h>

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>

TEST(frmServers, Definition)
{
    frmServers window;
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Select a Server..."));
    EXPECT_EQ(window.minimumSize(), QSize(416, 146));
    EXPECT_EQ(window.maximumSize(), QSize(416, 146));
    EXPECT_EQ(window.windowFlags() & Qt::WindowType_Mask, Qt::Window); // keeps a taskbar button
    EXPECT_FALSE(window.windowFlags() & (Qt::WindowMaximizeButtonHint | Qt::WindowMinimizeButtonHint));
    auto *label1 = window.findChild<QLabel *>(QStringLiteral("Label1"));
    auto *label2 = window.findChild<QLabel *>(QStringLiteral("Label2"));
    auto *ok = window.findChild<QPushButton *>(QStringLiteral("Command1"));
    ASSERT_TRUE(label1 && label2 && ok);
    EXPECT_EQ(label1->geometry(), QRect(4, 6, 410, 31));
    EXPECT_TRUE(label1->wordWrap());
    EXPECT_EQ(label2->geometry(), QRect(74, 44, 266, 16));
    EXPECT_TRUE(label2->alignment() & Qt::AlignHCenter);
    EXPECT_EQ(label2->text(), QStringLiteral("Please select a server from the list below..."));
    EXPECT_EQ(window.cmbServers()->geometry(), QRect(48, 70, 311, 21));
    EXPECT_FALSE(window.cmbServers()->isEditable());
    EXPECT_EQ(ok->text(), QStringLiteral("OK"));
    EXPECT_EQ(ok->geometry(), QRect(172, 109, 64, 30));
    // Both lines of the explanation fit the label.
    const QRect needed = label1->fontMetrics().boundingRect(QRect(0, 0, label1->width(), 1000), Qt::TextWordWrap, label1->text());
    EXPECT_LE(needed.height(), label1->height());
}

TEST(frmServers, FillsAndPreselects)
{
    frmServers window;
    window.setServers({"a", "b", "c"}, 1);
    EXPECT_EQ(window.cmbServers()->count(), 3);
    EXPECT_EQ(window.cmbServers()->currentText(), QStringLiteral("b"));
    window.setServers({"x", "y"}, 7);
    EXPECT_EQ(window.cmbServers()->count(), 2);
    EXPECT_EQ(window.cmbServers()->currentIndex(), 0);
}

TEST(frmServers, OkReturnsTheChosenRow)
{
    ModalGuard guard;
    WidgetDialogs dialogs;
    whenModal([](QWidget *w) {
        auto *combo = w->findChild<QComboBox *>(QStringLiteral("cmbServers"));
        EXPECT_EQ(combo->currentIndex(), 1);
        combo->setCurrentIndex(2);
        w->findChild<QPushButton *>(QStringLiteral("Command1"))->click();
    });
    EXPECT_EQ(dialogs.chooseServer({"Europe", "America", "Asia"}, 1), std::optional<int>(2));
}

TEST(frmServers, CloseBoxGivesNoChoiceAndEscapeDoesNothing)
{
    ModalGuard guard;
    WidgetDialogs dialogs;
    whenModal([](QWidget *w) {
        QTest::keyClick(w, Qt::Key_Escape);
        QTest::keyClick(w, Qt::Key_Return); // no default button
        EXPECT_TRUE(w->isVisible());
        w->close();
    });
    EXPECT_EQ(dialogs.chooseServer({"Europe", "America"}, 0), std::nullopt);
}

TEST(frmServers, EnterOnOkClicksIt)
{
    ModalGuard guard;
    WidgetDialogs dialogs;
    whenModal([](QWidget *w) { QTest::keyClick(w->findChild<QPushButton *>(QStringLiteral("Command1")), Qt::Key_Enter); });
    EXPECT_EQ(dialogs.chooseServer({"Europe", "America"}, 1), std::optional<int>(1));
}
