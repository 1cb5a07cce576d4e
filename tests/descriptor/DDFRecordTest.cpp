#include "descriptor/DDFRecord.h"

#include "DdfTestBytes.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace ddftest;

namespace {

TEST(DDFRecord, ReadsEveryFieldLittleEndianAtItsOffset)
{
    Header h;
    h.startParam = -1;
    h.information = "Some info";
    h.fileName = "disk.iso";
    h.servers = {"First|http://a/x", "Second|http://b/x"};
    h.version = 1.04f;
    QByteArray bytes = headerBytes(h);
    // FileSize 0x12345678 as bytes 78 56 34 12.
    bytes[2] = char(0x78);
    bytes[3] = char(0x56);
    bytes[4] = char(0x34);
    bytes[5] = char(0x12);
    bytes[6 + 9] = char(0x80);  // Windows-1252 euro sign in the information
    ASSERT_EQ(bytes.size(), DDFRecord::HeaderSize);
    ASSERT_EQ(quint8(bytes[3078]), 0xB8);  // 1.04f = 0x3F851EB8
    ASSERT_EQ(quint8(bytes[3081]), 0x3F);

    const DDFRecord r = DDFRecord::fromHeader(bytes);
    EXPECT_EQ(r.StartParam, -1);
    EXPECT_EQ(r.FileSize, 0x12345678);
    EXPECT_EQ(r.Information.size(), 256);
    EXPECT_EQ(trimSpaces(r.Information), QStringLiteral("Some info\u20AC"));
    EXPECT_EQ(trimSpaces(r.FileName), QStringLiteral("disk.iso"));
    EXPECT_EQ(trimSpaces(r.Servers[1]), QStringLiteral("Second|http://b/x"));
    EXPECT_EQ(r.Servers[2], QString(256, QChar(0)));
    EXPECT_EQ(r.Version, 1.04f);
}

TEST(DDFRecord, ShortHeaderReadsZerosAndIsRefused)
{
    Header h;
    h.fileName = "name.bin";
    h.version = 1.2f;
    const QByteArray full = headerBytes(h);
    for (int length : {0, 3, 300, 3078, 3080}) {
        const DDFRecord r = DDFRecord::fromHeader(QByteArrayView(full).first(length));
        // Two version bytes of 1.2f's four (9A 99) leave a tiny value.
        EXPECT_EQ(floatBits(r.Version), length == 3080 ? 0x999Au : 0u) << length;
        EXPECT_FALSE(versionAccepted(r.Version)) << length;
        EXPECT_EQ(r.Servers[9], QString(256, QChar(0))) << length;
    }
    const DDFRecord partial = DDFRecord::fromHeader(QByteArrayView(full).first(270));
    EXPECT_EQ(partial.FileName, QStringLiteral("name.bin") + QString(248, QChar(0)));
}

TEST(DDFRecord, VersionRules)
{
    struct Case {
        float version;
        bool accepted;
        bool lastByte;
    };
    const Case cases[] = {
        {1.04f, true, false},
        {std::nextafter(1.04f, 0.0f), false, false},
        {1.1f, true, false},
        {std::nextafter(1.2f, 0.0f), true, false},
        {1.2f, true, true},
        {2.0f, true, true},
        {0.0f, false, false},
        {-1.5f, false, false},
        {std::numeric_limits<float>::quiet_NaN(), false, false},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(versionAccepted(c.version), c.accepted) << c.version;
        EXPECT_EQ(versionCoversLastByte(c.version), c.lastByte) << c.version;
    }
    EXPECT_EQ(floatBits(1.04f), 0x3F851EB8u);
    EXPECT_EQ(floatBits(1.2f), 0x3F99999Au);
}

TEST(DDFRecord, NamePaddedWithSpacesReadsAsTheNameAlone)
{
    Header h;
    h.fileName = "setup.exe";  // 9 characters, 247 spaces
    const DDFRecord r = DDFRecord::fromHeader(headerBytes(h));
    EXPECT_EQ(r.FileName.size(), 256);
    EXPECT_EQ(trimSpaces(r.FileName), QStringLiteral("setup.exe"));
}

TEST(DDFRecord, TrimSpacesRemovesSpacesOnly)
{
    EXPECT_EQ(trimSpaces(QStringLiteral("  a b  ")), QStringLiteral("a b"));
    EXPECT_EQ(trimSpaces(QStringLiteral("\ta\t")), QStringLiteral("\ta\t"));
    const QString zeros = QStringLiteral("a") + QString(3, QChar(0)) + QStringLiteral("  ");
    EXPECT_EQ(trimSpaces(zeros), QStringLiteral("a") + QString(3, QChar(0)));
    EXPECT_EQ(trimSpaces(QString(5, QLatin1Char(' '))), QString());
}

TEST(DDFRecord, ServerListEndsAtFirstEmptySlot)
{
    struct Case {
        const char *name;
        std::vector<QByteArray> raw;  // raw 256-byte slots after filling
        QStringList expected;
    };
    const QByteArray zeros(256, '\0');
    const QByteArray spaces(256, ' ');
    const QByteArray spacesAndZeros = QByteArray(100, ' ') + QByteArray(100, '\0') + QByteArray(56, ' ');
    const QByteArray a = QByteArray("A|http://a/f").leftJustified(256, ' ');
    const QByteArray b = QByteArray("  B|http://b/f").leftJustified(256, ' ');
    const QByteArray bare = QByteArray("http://only/f").leftJustified(256, '\0');
    const Case cases[] = {
        {"none", {}, {}},
        {"two", {a, b}, {"A|http://a/f", "B|http://b/f"}},
        {"gap of zeros", {a, zeros, b}, {"A|http://a/f"}},
        {"gap of spaces", {a, spaces, b}, {"A|http://a/f"}},
        {"gap of spaces and zeros", {a, spacesAndZeros, b}, {"A|http://a/f"}},
        {"empty first", {zeros, a}, {}},
        {"zero-filled bare URL", {bare}, {QStringLiteral("http://only/f") + QString(243, QChar(0))}},
    };
    for (const Case &c : cases) {
        QByteArray bytes = headerBytes(Header{});
        for (std::size_t i = 0; i < c.raw.size(); ++i)
            bytes.replace(518 + 256 * qsizetype(i), 256, c.raw[i]);
        EXPECT_EQ(serverEntries(DDFRecord::fromHeader(bytes)), c.expected) << c.name;
    }
    EXPECT_TRUE(isEmptyServerEntry(QString::fromLatin1(spacesAndZeros)));
    EXPECT_FALSE(isEmptyServerEntry(QStringLiteral(" x ")));
}

TEST(DDFRecord, ServerEntryParts)
{
    struct Case {
        const char *entry;
        const char *name;
        const char *url;
    };
    const Case cases[] = {
        {"Mirror one|http://a/f", "Mirror one", "http://a/f"},
        {" Mirror | http://a/f ", "Mirror", "http://a/f"},
        {"Mirror|http://a/f|extra", "Mirror", "http://a/f"},
        {"http://bare/f", "http://bare/f", "http://bare/f"},
        {"Name|", "Name", ""},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(serverDisplayName(QString::fromLatin1(c.entry)), QString::fromLatin1(c.name)) << c.entry;
        EXPECT_EQ(serverURL(QString::fromLatin1(c.entry)), QString::fromLatin1(c.url)) << c.entry;
    }
    // Zero bytes after a bare URL never reach a request.
    EXPECT_EQ(serverURL(QStringLiteral("http://a/f") + QString(20, QChar(0))), QStringLiteral("http://a/f"));
}

TEST(DDFRecord, ToHeaderMatchesIndependentBytes)
{
    Header h;
    h.startParam = -1;
    h.fileSize = 123456789;
    h.information = "Caf\xE9 \x80 info";  // Windows-1252 bytes
    h.fileName = "file.bin";
    h.servers = {"S1|http://one/f", "S2|http://two/f"};
    h.version = 1.1f;

    DDFRecord r;
    r.StartParam = -1;
    r.FileSize = 123456789;
    r.Information = QStringLiteral("Caf\u00E9 \u20AC info");
    r.FileName = QStringLiteral("file.bin");
    r.Servers[0] = QStringLiteral("S1|http://one/f");
    r.Servers[1] = QStringLiteral("S2|http://two/f");
    r.Version = 1.1f;
    const std::optional<QByteArray> bytes = r.toHeader();
    ASSERT_TRUE(bytes.has_value());
    EXPECT_EQ(*bytes, headerBytes(h));

    // What is read back writes the same bytes again.
    EXPECT_EQ(DDFRecord::fromHeader(*bytes).toHeader(), bytes);
}

TEST(DDFRecord, ToHeaderRefusesTextsThatDoNotFit)
{
    DDFRecord r;
    r.FileName = QString(256, QLatin1Char('n'));
    EXPECT_TRUE(r.toHeader().has_value());
    r.FileName = QString(257, QLatin1Char('n'));
    EXPECT_FALSE(r.toHeader().has_value());
    r.FileName = QStringLiteral("ok");
    r.Information = QStringLiteral("\u03A9");
    EXPECT_FALSE(r.toHeader().has_value());
    r.Information.clear();
    r.Servers[9] = QString(300, QLatin1Char('s'));
    EXPECT_FALSE(r.toHeader().has_value());
}

TEST(DDFRecord, ReadDDFHeaderFromFile)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QString error;
    EXPECT_FALSE(readDDFHeader(dir.filePath(QStringLiteral("missing.ddf")), &error).has_value());
    EXPECT_FALSE(error.isEmpty());

    Header h;
    h.fileName = "x.bin";
    h.version = 1.2f;
    const QString path = dir.filePath(QStringLiteral("x.ddf"));
    ASSERT_TRUE(writeFile(path, descriptor(h, randomBytes(10000, 1))));
    const std::optional<DDFRecord> r = readDDFHeader(path, &error);
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->FileSize, 10000);
    EXPECT_EQ(r->Version, 1.2f);

    const QString shortPath = dir.filePath(QStringLiteral("short.ddf"));
    ASSERT_TRUE(writeFile(shortPath, headerBytes(h).left(1000)));
    const std::optional<DDFRecord> s = readDDFHeader(shortPath, &error);
    ASSERT_TRUE(s.has_value());
    EXPECT_FALSE(versionAccepted(s->Version));
}

}  // namespace
