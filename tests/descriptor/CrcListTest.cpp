#include "descriptor/CrcList.h"

#include "DdfTestBytes.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace ddftest;

namespace {

class CrcListTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }

    // A descriptor whose entry k is k * 2654435761 (distinct, all bits used).
    QString writeList(qint64 entries, int extraBytes = 0)
    {
        QByteArray bytes = headerBytes(Header{});
        for (qint64 k = 0; k < entries; ++k)
            pushLE(bytes, entryValue(k), 4);
        bytes.append(extraBytes, '\x7F');
        const QString path = m_dir.filePath(QStringLiteral("list.ddf"));
        EXPECT_TRUE(writeFile(path, bytes));
        return path;
    }
    static quint32 entryValue(qint64 k) { return quint32(k * 2654435761u); }

    QTemporaryDir m_dir;
};

TEST_F(CrcListTest, ReadsEveryEntryInOrderAcrossPieces)
{
    const qint64 count = CrcList::PieceEntries * 2 + 123;
    CrcList list;
    ASSERT_FALSE(list.open(writeList(count)).has_value());
    list.seekBlock(0);
    for (qint64 k = 0; k < count; ++k) {
        const std::optional<quint32> entry = list.next();
        ASSERT_TRUE(entry.has_value()) << k;
        ASSERT_EQ(*entry, entryValue(k)) << k;
    }
    EXPECT_FALSE(list.next().has_value());
    EXPECT_FALSE(list.next().has_value());
}

TEST_F(CrcListTest, BlockFiveIsTheValueAtOffset3102)
{
    const QString path = writeList(10);
    const QByteArray raw = readFile(path);
    ASSERT_GE(raw.size(), 3106);
    const quint32 atOffset = quint8(raw[3102]) | quint32(quint8(raw[3103])) << 8 | quint32(quint8(raw[3104])) << 16
        | quint32(quint8(raw[3105])) << 24;

    CrcList list;
    ASSERT_FALSE(list.open(path).has_value());
    list.seekBlock(5);
    EXPECT_EQ(list.next(), atOffset);
    EXPECT_EQ(list.next(), entryValue(6));
    // Seeking back after reading ahead gives the right entry again.
    list.seekBlock(2);
    EXPECT_EQ(list.next(), entryValue(2));
    list.seekBlock(CrcList::PieceEntries + 1);
    EXPECT_FALSE(list.next().has_value());
}

TEST_F(CrcListTest, EntriesPastTheEndAreMissing)
{
    struct Case {
        qint64 entries;
        int extraBytes;
        qint64 seek;
        bool present;
    };
    const Case cases[] = {
        {3, 0, 2, true}, {3, 0, 3, false}, {3, 3, 3, false},  // a torn entry is no entry
        {0, 0, 0, false}, {0, 2, 0, false}, {3, 0, -1, false},
    };
    for (const Case &c : cases) {
        CrcList list;
        ASSERT_FALSE(list.open(writeList(c.entries, c.extraBytes)).has_value());
        list.seekBlock(c.seek);
        EXPECT_EQ(list.next().has_value(), c.present) << c.entries << "+" << c.extraBytes << " seek " << c.seek;
    }
}

TEST_F(CrcListTest, ShortDescriptorHasNoEntries)
{
    const QString path = m_dir.filePath(QStringLiteral("short.ddf"));
    ASSERT_TRUE(writeFile(path, QByteArray(100, '\0')));
    CrcList list;
    ASSERT_FALSE(list.open(path).has_value());
    EXPECT_FALSE(list.next().has_value());
}

TEST_F(CrcListTest, MissingDescriptorReportsWhy)
{
    CrcList list;
    const std::optional<QString> error = list.open(m_dir.filePath(QStringLiteral("none.ddf")));
    ASSERT_TRUE(error.has_value());
    EXPECT_FALSE(error->isEmpty());
    EXPECT_FALSE(list.isOpen());
    EXPECT_FALSE(list.next().has_value());
}

}  // namespace
