#include "descriptor/DescriptorHeader.h"

#include "DescriptorBytes.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

using descriptortest::headerBytes;
namespace ddf = descriptortest;

TEST(DescriptorHeader, ReadsEveryFieldAtItsOffsetAndWritesTheSameBytes)
{
    const QByteArray bytes = headerBytes({-1, 0x12345678, "Caf\xE9 \x80", "setup.exe", {"A|http://a/x", "B|http://b/x"}, 1.1f});
    const DescriptorHeader r = DescriptorHeader::fromBytes(bytes);
    EXPECT_EQ(r.startParam, -1);
    EXPECT_EQ(r.fileSize, 0x12345678);
    EXPECT_EQ(r.information, QStringLiteral("Caf\u00E9 \u20AC").leftJustified(256));
    EXPECT_EQ(trimSpaces(r.fileName), "setup.exe");  // nine characters and 247 spaces
    EXPECT_EQ(serverEntries(r), (QStringList{"A|http://a/x", "B|http://b/x"}));
    EXPECT_EQ(r.version, 1.1f);
    EXPECT_EQ(r.toBytes(), bytes);
}

// A descriptor given by the user may be anything; a short one is read (the
// check refuses it by its length), what is no file is refused here.
TEST(DescriptorHeader, ReadsFromAFileAndTellsItsLength)
{
    QTemporaryDir dir;
    const QByteArray bytes = ddf::descriptor({.servers = {"http://h/f"}}, ddf::randomBytes(9000, 3)).left(100);
    ASSERT_TRUE(ddf::writeFile(dir.filePath("d.ddf"), bytes));
    qint64 length = -1;
    EXPECT_TRUE(readDescriptorHeader(dir.filePath("d.ddf"), nullptr, &length).has_value());
    EXPECT_EQ(length, 100);
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.filePath("pipe.ddf")).constData(), 0600), 0);
    for (const QString &path : {dir.path(), dir.filePath("missing.ddf"), dir.filePath("pipe.ddf"), QStringLiteral("/dev/zero")}) {
        QString error;
        EXPECT_EQ(readDescriptorHeader(path, &error), std::nullopt) << path.toStdString();
        EXPECT_FALSE(error.isEmpty()) << path.toStdString();
    }
}
