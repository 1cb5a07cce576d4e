#include <ui/frmMessageBox.h>

#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

TEST(frmMessageBox, EachWayOfClosingGivesItsAnswer)
{
    using Act = std::function<void(frmMessageBox &)>;
    const auto click = [](const char *name) -> Act {
        return [name](frmMessageBox &w) { w.findChild<QPushButton *>(QLatin1String(name))->click(); };
    };
    const std::vector<std::tuple<const char *, Act, int>> cases = {
        {"Overwrite", click("Command1"), 1}, {"Resume", click("Command2"), 2},
        {"close box after an answer", [](frmMessageBox &w) { w.close(); }, 0}, {"Cancel", click("Command3"), 0},
        {"Escape does nothing, Enter right after opening overwrites", [](frmMessageBox &w) {
             QTest::keyClick(&w, Qt::Key_Escape);
             ASSERT_TRUE(w.isVisible());
             ASSERT_EQ(w.focusWidget(), w.findChild<QWidget *>(QStringLiteral("Command1")));
             QTest::keyClick(w.focusWidget(), Qt::Key_Return);
         }, 1},
    };
    frmMessageBox prompt;  // shown again for each case: no answer carries over
    for (const auto &[name, act, answer] : cases) {
        SCOPED_TRACE(name);
        prompt.show();
        act(prompt);
        EXPECT_FALSE(prompt.isVisible());
        EXPECT_EQ(prompt.frmMessage, answer);
    }
}
