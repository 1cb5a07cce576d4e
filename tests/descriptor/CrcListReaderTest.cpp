#include "descriptor/CrcListReader.h"

#include "DescriptorBytes.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

TEST(CrcListReader, ReadsEntriesByBlockAcrossPiecesAndEndsWithTheList)
{
    QTemporaryDir dir;
    const auto entry = [](qint64 k) { return quint32(k * 2654435761u); };  // distinct, all bits used
    const qint64 count = CrcListReader::PieceEntries + 10;
    QByteArray bytes = descriptortest::headerBytes({});
    for (qint64 k = 0; k < count; ++k)
        descriptortest::pushLE(bytes, entry(k));
    bytes.append(3, '\x7F');  // a torn entry is no entry
    ASSERT_TRUE(descriptortest::writeFile(dir.filePath("l.ddf"), bytes));

    CrcListReader list;
    ASSERT_FALSE(list.open(dir.filePath("l.ddf")).has_value());
    list.seekBlock(5);
    EXPECT_EQ(list.next(), entry(5));
    list.seekBlock(0);  // back after reading ahead
    for (qint64 k = 0; k < count; ++k)
        ASSERT_EQ(list.next(), entry(k)) << k;
    EXPECT_EQ(list.next(), std::nullopt);
}
