#include "util/FitText.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

int charCount(const QString &text)
{
    return int(text.size());
}

QString letters(int n)
{
    QString s;
    for (int i = 0; i < n; ++i)
        s.append(QChar(u'a' + i % 26));
    return s;
}

TEST(FitTextToControl, TextThatFitsIsUnchanged)
{
    const QString text = letters(40);
    EXPECT_EQ(FitTextToControl(text, 40, charCount), text);
    EXPECT_EQ(FitTextToControl(text, 1000, charCount), text);
}

TEST(FitTextToControl, ShortensTwoCharactersPerStepDownToEleven)
{
    const QString text = letters(40);
    // Width w stops the loop at the first length <= w: 39, 37, 35, ... 11.
    struct Case {
        int width;
        int expectedLength;
    };
    const std::vector<Case> cases = {{39, 39}, {38, 37}, {37, 37}, {36, 35}, {20, 19}, {12, 11}, {11, 11}, {0, 11}};
    for (const Case &c : cases) {
        const QString fitted = FitTextToControl(text, c.width, charCount);
        EXPECT_EQ(fitted.size(), c.expectedLength) << "width " << c.width;
        const int n = (c.expectedLength - 3) / 2;
        EXPECT_EQ(fitted, text.left(n) + QStringLiteral("...") + text.right(n)) << "width " << c.width;
    }
}

TEST(FitTextToControl, FirstStepKeepsHalfMinusTwoOnEachSide)
{
    const QString text = letters(41);  // n = 41/2 - 2 = 18
    const QString fitted = FitTextToControl(text, 39, charCount);
    EXPECT_EQ(fitted, text.left(18) + QStringLiteral("...") + text.right(18));
}

TEST(FitTextToControl, ElevenCharactersOrFewerAreNeverShortened)
{
    for (int length : {0, 1, 5, 10, 11}) {
        const QString text = letters(length);
        EXPECT_EQ(FitTextToControl(text, 0, charCount), text) << length;
    }
    EXPECT_EQ(FitTextToControl(letters(12), 0, charCount).size(), 11);
}

TEST(FitTextToControl, MeasuresAfterEveryStep)
{
    int calls = 0;
    const auto wideDots = [&](const QString &t) {
        ++calls;
        return int(t.size()) + 10 * int(t.count(QLatin1Char('.')));
    };
    // 60 characters measure 60; each shortened text its length + 30, so
    // the steps 59, 57, ..., 25 are measured before 25 + 30 fits in 55.
    const QString fitted = FitTextToControl(letters(60), 55, wideDots);
    EXPECT_EQ(fitted.size(), 25);
    EXPECT_EQ(calls, 1 + 18);
}

}  // namespace
