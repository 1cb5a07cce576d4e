#include "util/FitText.h"

#include <gtest/gtest.h>

TEST(FitTextToControl, ShortensInTheMiddleTwoCharactersPerStepDownToEleven)
{
    const auto width = [](const QString &text) { return int(text.size()); };
    const QString forty = QStringLiteral("abcdefghijklmnopqrstuvwxyz0123456789ABCD");
    // Width w stops at the first length <= w: 39 (18 + 3 + 18), 37, 35, ... never below 11.
    const struct { int length, width, fitted; } cases[] = {
        {40, 1000, 40}, {40, 40, 40}, {40, 39, 39}, {40, 38, 37}, {40, 37, 37}, {40, 20, 19}, {40, 12, 11}, {40, 0, 11},
        {11, 0, 11}, {10, 0, 10}, {0, 0, 0},
    };
    for (const auto &c : cases) {
        const QString text = forty.left(c.length);
        const int n = c.fitted / 2 - 1;  // characters kept on each side
        const QString expected = c.fitted == c.length ? text : text.left(n) + "..." + text.right(n);
        EXPECT_EQ(FitTextToControl(text, c.width, width), expected) << c.length << " in " << c.width;
    }
}
