#include "ModalDriver.h"

#include <ui/WidgetDialogs.h>
#include <ui/frmMessageBox.h>

#include <QLabel>
#include <QPushButton>
#include <QTest>

namespace {

QPushButton *button(QWidget *window, const char *name)
{
    auto *found = window->findChild<QPushButton *>(QLatin1String(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
}

} // namespace

TEST(frmMessageBox, Definition)
{
    frmMessageBox prompt;
    EXPECT_EQ(prompt.windowTitle(), QStringLiteral("Important: File Already Exists "));
    EXPECT_EQ(prompt.minimumSize(), QSize(528, 163));
    EXPECT_EQ(prompt.maximumSize(), QSize(528, 163));
    EXPECT_FALSE(prompt.windowFlags() & Qt::WindowMaximizeButtonHint);
    const struct {
        const char *name;
        const char *caption;
        QRect rect;
    } buttons[] = {{"Command1", "Overwrite", {111, 120, 94, 32}},
                   {"Command2", "Resume", {212, 120, 94, 32}},
                   {"Command3", "Cancel", {314, 120, 94, 32}}};
    for (const auto &b : buttons) {
        QPushButton *pb = button(&prompt, b.name);
        ASSERT_NE(pb, nullptr);
        EXPECT_EQ(pb->text(), QLatin1String(b.caption));
        EXPECT_EQ(pb->geometry(), b.rect);
        EXPECT_FALSE(pb->isDefault());
        EXPECT_FALSE(pb->autoDefault());
    }
    auto *panel = prompt.findChild<QWidget *>(QStringLiteral("Picture1"));
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->palette().color(QPalette::Window), QColor(255, 255, 255));
    auto *label = panel->findChild<QLabel *>(QStringLiteral("Label1"));
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->geometry(), QRect(13, 24, 502, 67));
}

TEST(frmMessageBox, LoadFillsTheTextAndSpansThePanel)
{
    frmMessageBox prompt;
    prompt.frmMessage = 2;
    prompt.show();
    EXPECT_EQ(prompt.frmMessage, 0);
    auto *panel = prompt.findChild<QWidget *>(QStringLiteral("Picture1"));
    EXPECT_LE(panel->geometry().left(), 0);
    EXPECT_GE(panel->geometry().right(), prompt.width() - 1);
    auto *label = prompt.findChild<QLabel *>(QStringLiteral("Label1"));
    EXPECT_TRUE(label->text().startsWith(QStringLiteral("The file you have selected already exists. ")));
    EXPECT_TRUE(label->text().endsWith(QStringLiteral("select Overwrite.")));
    // The whole explanation fits the label at the window's font.
    const QRect needed = label->fontMetrics().boundingRect(QRect(0, 0, label->width(), 1000), Qt::TextWordWrap, label->text());
    EXPECT_LE(needed.height(), label->height());
    EXPECT_EQ(prompt.focusWidget(), button(&prompt, "Command1"));
}

class frmMessageBoxAnswer : public testing::TestWithParam<std::pair<const char *, int>> {};

TEST_P(frmMessageBoxAnswer, ButtonGivesItsValue)
{
    frmMessageBox prompt;
    ModalGuard guard;
    const char *name = GetParam().first;
    whenModal([name](QWidget *w) { button(w, name)->click(); });
    prompt.exec();
    EXPECT_EQ(prompt.frmMessage, GetParam().second);
    EXPECT_FALSE(prompt.isVisible());
}

INSTANTIATE_TEST_SUITE_P(Buttons, frmMessageBoxAnswer,
                         testing::Values(std::pair{"Command1", 1}, std::pair{"Command2", 2}, std::pair{"Command3", 0}));

TEST(frmMessageBox, CloseBoxGivesZeroAndEachDisplayStartsAtZero)
{
    frmMessageBox prompt;
    ModalGuard guard;
    whenModal([](QWidget *w) { button(w, "Command2")->click(); });
    prompt.exec();
    ASSERT_EQ(prompt.frmMessage, 2);
    whenModal([](QWidget *w) {
        EXPECT_EQ(static_cast<frmMessageBox *>(w)->frmMessage, 0);
        w->close();
    });
    prompt.exec();
    EXPECT_EQ(prompt.frmMessage, 0);
}

TEST(frmMessageBox, EnterRightAfterOpeningOverwritesAndEscapeDoesNothing)
{
    ModalGuard guard;
    whenModal([](QWidget *w) {
        QTest::keyClick(w, Qt::Key_Escape);
        EXPECT_TRUE(w->isVisible());
        QWidget *focused = w->focusWidget();
        EXPECT_EQ(focused, button(w, "Command1"));
        QTest::keyClick(focused ? focused : w, Qt::Key_Return);
    });
    WidgetDialogs dialogs;
    EXPECT_EQ(dialogs.fileExistsPrompt(), 1);
}

TEST(frmMessageBox, WidgetDialogsReturnsTheAnswer)
{
    ModalGuard guard;
    WidgetDialogs dialogs;
    whenModal([](QWidget *w) { button(w, "Command2")->click(); });
    EXPECT_EQ(dialogs.fileExistsPrompt(), 2);
    whenModal([](QWidget *w) { w->close(); });
    EXPECT_EQ(dialogs.fileExistsPrompt(), 0);
}
