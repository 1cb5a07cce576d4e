#include "util/Win1252.h"

#include <gtest/gtest.h>

namespace {

TEST(Win1252, EveryByteDecodesToOneCharacterAndBack)
{
    QByteArray all(256, '\0');
    for (int i = 0; i < 256; ++i)
        all[i] = char(i);
    const QString text = decodeWindows1252(all);
    ASSERT_EQ(text.size(), 256);
    const std::optional<QByteArray> back = encodeWindows1252(text);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(*back, all);
}

TEST(Win1252, MapsTheHighRangeLikeTheCodePage)
{
    struct Case {
        unsigned char byte;
        char16_t character;
    };
    const Case cases[] = {
        {0x41, u'A'}, {0x00, 0x0000}, {0x80, 0x20AC}, {0x85, 0x2026}, {0x8A, 0x0160}, {0x92, 0x2019},
        {0x96, 0x2013}, {0x99, 0x2122}, {0x9F, 0x0178}, {0xA0, 0x00A0}, {0xE9, 0x00E9}, {0xFF, 0x00FF},
        {0x81, 0x0081}, {0x8D, 0x008D}, {0x8F, 0x008F}, {0x90, 0x0090}, {0x9D, 0x009D},
    };
    for (const Case &c : cases) {
        const char byte = char(c.byte);
        EXPECT_EQ(decodeWindows1252(QByteArrayView(&byte, 1)), QString(QChar(c.character))) << int(c.byte);
        EXPECT_EQ(encodeWindows1252(QString(QChar(c.character))), QByteArray(1, byte)) << int(c.byte);
    }
}

TEST(Win1252, RefusesCharactersOutsideTheCodePage)
{
    EXPECT_FALSE(encodeWindows1252(QStringLiteral("ok \u03A9")).has_value());   // Greek Omega
    EXPECT_FALSE(encodeWindows1252(QString(QChar(0x0080))).has_value());          // C1 with a 1252 glyph at 0x80
    EXPECT_FALSE(encodeWindows1252(QString::fromUtf8("\xF0\x9F\x98\x80")).has_value());  // outside the BMP
    EXPECT_EQ(encodeWindows1252(QString()), QByteArray());
}

}  // namespace
