#include "descriptor/DDFRecord.h"

#include "DdfTestBytes.h"

#include <gtest/gtest.h>

#include <cmath>

using ddftest::headerBytes;

TEST(DDFRecord, ReadsEveryFieldAtItsOffsetAndWritesTheSameBytes)
{
    const QByteArray bytes = headerBytes({-1, 0x12345678, "Caf\xE9 \x80", "setup.exe", {"A|http://a/x", "B|http://b/x"}, 1.1f});
    const DDFRecord r = DDFRecord::fromHeader(bytes);
    EXPECT_EQ(r.StartParam, -1);
    EXPECT_EQ(r.FileSize, 0x12345678);
    EXPECT_EQ(r.Information, QStringLiteral("Caf\u00E9 \u20AC").leftJustified(256));
    EXPECT_EQ(trimSpaces(r.FileName), "setup.exe");  // nine characters and 247 spaces
    EXPECT_EQ(serverEntries(r), (QStringList{"A|http://a/x", "B|http://b/x"}));
    EXPECT_EQ(r.Version, 1.1f);
    EXPECT_EQ(r.toHeader(), bytes);
}

TEST(DDFRecord, VersionRulesAndTruncatedHeaders)
{
    for (const auto &[version, accepted] : {std::pair{1.04f, true}, {std::nextafter(1.04f, 0.0f), false}, {1.1f, true}, {NAN, false}})
        EXPECT_EQ(versionAccepted(version), accepted) << version;
    // Missing bytes read as zero, so a short header holds no acceptable version.
    const QByteArray full = headerBytes({.fileName = "name.bin"});
    for (int length : {0, 300, 3080})
        EXPECT_FALSE(versionAccepted(DDFRecord::fromHeader(QByteArrayView(full).first(length)).Version)) << length;
}

TEST(DDFRecord, ServerListEndsAtTheFirstEmptySlot)
{
    const QByteArray zeros(256, '\0'), spacesAndZeros = QByteArray(100, ' ') + QByteArray(156, '\0');
    const struct { std::vector<QByteArray> slotBytes; QStringList expected; } cases[] = {
        {{"A", "B"}, {"A", "B"}}, {{"A", zeros, "B"}, {"A"}}, {{"A", spacesAndZeros, "B"}, {"A"}}, {{zeros, "A"}, {}}};
    for (const auto &c : cases)
        EXPECT_EQ(serverEntries(DDFRecord::fromHeader(headerBytes({.servers = c.slotBytes}))), c.expected) << c.slotBytes.size();
}
