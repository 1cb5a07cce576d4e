#include "util/Paths.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/statvfs.h>

TEST(Paths, FreeDiskSpaceMeasuresTheNearestExistingFolderAndKeepsUnknownApart)
{
    QTemporaryDir dir;
    struct statvfs fs {};
    ASSERT_EQ(::statvfs(QFile::encodeName(dir.path()).constData(), &fs), 0);
    const double expected = double(fs.f_bavail) * double(fs.f_frsize);
    const double slack = 64.0 * 1024 * 1024;  // other programs write meanwhile
    const std::optional<qint64> free = freeDiskSpace(dir.filePath("no/such/folder/out.bin"));
    ASSERT_TRUE(free.has_value());
    EXPECT_NEAR(double(*free), expected, slack);
    EXPECT_EQ(freeDiskSpace(QString()), std::nullopt);
}

// A bare name, within the file system's 255 bytes, its extension and its
// characters whole.
TEST(Paths, SafeFileNameKeepsOnlyABareNameThatFits)
{
    const QString fallback = QStringLiteral("download.bin");
    const QString emoji = QStringLiteral("\U0001F600").repeated(100);
    const struct { QString name, expected; } cases[] = {
        {"setup.exe" + QString(247, ' '), "setup.exe"}, {"../../x.bin", "x.bin"}, {"/etc/passwd", "passwd"},
        {"C:\\Windows\\evil.dll", "evil.dll"}, {"folder/", fallback}, {"....", fallback}, {"   ", fallback},
        {QString(10, QChar(0)), fallback}, {"..hidden", "..hidden"}, {"a\x01" "b\x1b[31m.bin", "ab[31m.bin"},
        {QStringLiteral("bad\u009b2J.bin"), "bad2J.bin"}, {QStringLiteral("photo\u202Egpj.exe"), "photogpj.exe"},
        {QStringLiteral("Caf\u00E9 \u20AC.txt"), QStringLiteral("Caf\u00E9 \u20AC.txt")},
        {QString(300, 'a') + ".iso", QString(251, 'a') + ".iso"}, {emoji + ".bin", emoji.left(62 * 2) + ".bin"},
        {QString(200, QChar(0xE9)) + ".bin", QString(125, QChar(0xE9)) + ".bin"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(safeFileName(c.name), c.expected) << c.name.toStdString();
    EXPECT_EQ(safeFileName("../", "other.dat"), "other.dat");
}

TEST(Paths, EscapeControlCharactersLeavesNothingATerminalActsOn)
{
    const struct { QString text, expected; } cases[] = {
        {"a\x1b]0;title\x07z", "a\\x1b]0;title\\x07z"}, {"back\\slash", "back\\\\slash"}, {"\x7f", "\\x7f"},
        {QStringLiteral("\u009b2J"), "\\x9b2J"}, {QStringLiteral("\u202Eevil"), "\\u202eevil"},
        {"tab\there\r\n", "tab\\x09here\\x0d\\x0a"}, {QStringLiteral("Caf\u00E9 \u20AC"), QStringLiteral("Caf\u00E9 \u20AC")},
    };
    for (const auto &c : cases)
        EXPECT_EQ(escapeControlCharacters(c.text), c.expected) << c.text.toStdString();
}
