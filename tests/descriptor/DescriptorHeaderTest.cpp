#include "descriptor/DescriptorHeader.h"

#include "DescriptorBytes.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
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

TEST(DescriptorHeader, VersionRulesAndTruncatedHeaders)
{
    for (const auto &[version, accepted] : {std::pair{1.04f, true}, {std::nextafter(1.04f, 0.0f), false}, {1.1f, true}, {NAN, false}})
        EXPECT_EQ(versionAccepted(version), accepted) << version;
    // Missing bytes read as zero, so a short header holds no acceptable version.
    const QByteArray full = headerBytes({.fileName = "name.bin"});
    for (int length : {0, 300, 3080})
        EXPECT_FALSE(versionAccepted(DescriptorHeader::fromBytes(QByteArrayView(full).first(length)).version)) << length;
}

TEST(DescriptorHeader, ServerListEndsAtTheFirstEmptySlot)
{
    const QByteArray zeros(256, '\0'), spacesAndZeros = QByteArray(100, ' ') + QByteArray(156, '\0');
    const struct { std::vector<QByteArray> slotBytes; QStringList expected; } cases[] = {
        {{"A", "B"}, {"A", "B"}}, {{"A", zeros, "B"}, {"A"}}, {{"A", spacesAndZeros, "B"}, {"A"}}, {{zeros, "A"}, {}}};
    for (const auto &c : cases)
        EXPECT_EQ(serverEntries(DescriptorHeader::fromBytes(headerBytes({.servers = c.slotBytes}))), c.expected) << c.slotBytes.size();
}

TEST(DescriptorHeader, ReadsFromAFileAndTellsItsLength)
{
    QTemporaryDir dir;
    const QByteArray full = ddf::descriptor({.fileName = "name.bin", .servers = {"http://h/f"}}, ddf::randomBytes(9000, 3));
    const struct { const char *name; QByteArray bytes; bool readable; float version; } cases[] = {
        {"whole", full, true, 1.2f},
        {"short: the rest reads as zero", full.left(100), true, 0.0f},
        {"empty", QByteArray(), true, 0.0f},
    };
    for (const auto &c : cases) {
        ASSERT_TRUE(ddf::writeFile(dir.filePath("d.ddf"), c.bytes));
        QString error;
        qint64 length = -1;
        const std::optional<DescriptorHeader> h = readDescriptorHeader(dir.filePath("d.ddf"), &error, &length);
        ASSERT_TRUE(h.has_value()) << c.name << ": " << error.toStdString();
        EXPECT_EQ(length, c.bytes.size()) << c.name;
        EXPECT_EQ(h->version, c.version) << c.name;
    }
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.filePath("pipe.ddf")).constData(), 0600), 0);
    for (const QString &path : {dir.path(), dir.filePath("missing.ddf"), dir.filePath("pipe.ddf"), QStringLiteral("/dev/zero")}) {
        QString error;
        EXPECT_EQ(readDescriptorHeader(path, &error), std::nullopt) << path.toStdString();
        EXPECT_FALSE(error.isEmpty()) << path.toStdString();
    }
}
