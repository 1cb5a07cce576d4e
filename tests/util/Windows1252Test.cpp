#include "util/Windows1252.h"

#include <gtest/gtest.h>

#include <numeric>

TEST(Windows1252, EveryByteIsOneCharacterOfTheCodePageAndBack)
{
    QByteArray all(256, '\0');
    std::iota(all.begin(), all.end(), char(0));
    const QString text = decodeWindows1252(all);
    ASSERT_EQ(text.size(), 256);
    EXPECT_EQ(encodeWindows1252(text), all);
    for (const auto &[byte, character] : {std::pair{0x41, 0x41}, {0x80, 0x20AC}, {0x92, 0x2019}, {0x81, 0x81}, {0xFF, 0xFF}})
        EXPECT_EQ(text[byte], QChar(character)) << byte;
    EXPECT_EQ(encodeWindows1252(QStringLiteral("ok \u03A9")), std::nullopt);
    EXPECT_EQ(encodeWindows1252(QString(QChar(0x80))), std::nullopt);  // U+0080 has no byte: 0x80 is the euro sign
}
