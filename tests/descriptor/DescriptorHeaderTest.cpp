#include "descriptor/DescriptorHeader.h"

#include "DescriptorBytes.h"

#include <gtest/gtest.h>

#include <cmath>

using descriptortest::headerBytes;

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
