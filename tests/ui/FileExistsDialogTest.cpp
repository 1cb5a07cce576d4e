#include <ui/FileExistsDialog.h>

#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>

TEST(FileExistsDialog, EachWayOfClosingGivesItsAnswer)
{
    using Act = std::function<void(FileExistsDialog &)>;
    const auto click = [](const char *name) -> Act {
        return [name](FileExistsDialog &w) { w.findChild<QPushButton *>(QLatin1String(name))->click(); };
    };
    using A = FileExistsAnswer;
    const std::tuple<const char *, Act, A> cases[] = {
        {"Overwrite", click("overwriteButton"), A::Overwrite},
        {"Resume", click("resumeButton"), A::Resume},
        {"close box after an answer", [](FileExistsDialog &w) { w.close(); }, A::Cancel},
        {"Cancel", click("cancelButton"), A::Cancel},
        {"Escape does nothing, Enter right after opening overwrites", [](FileExistsDialog &w) {
             QTest::keyClick(&w, Qt::Key_Escape);
             ASSERT_TRUE(w.isVisible());
             QTest::keyClick(w.focusWidget(), Qt::Key_Return);
         }, A::Overwrite},
    };
    FileExistsDialog dialog;  // shown again for each case: no answer carries over
    for (const auto &[name, act, answer] : cases) {
        SCOPED_TRACE(name);
        dialog.show();
        act(dialog);
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_EQ(dialog.answer(), answer);
    }
}
