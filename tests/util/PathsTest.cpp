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
    for (const QString &path : {dir.path(), dir.filePath("out.bin"), dir.filePath("no/such/folder/out.bin")}) {
        const std::optional<qint64> free = freeDiskSpace(path);
        ASSERT_TRUE(free.has_value()) << path.toStdString();
        EXPECT_NEAR(double(*free), expected, slack) << path.toStdString();
    }
    EXPECT_EQ(freeDiskSpace(QString()), std::nullopt);
}

TEST(Paths, SafeFileNameKeepsOnlyABareName)
{
    const QString fallback = QStringLiteral("download.bin");
    const struct { QString name, expected; } cases[] = {
        {"setup.exe", "setup.exe"},
        {"setup.exe" + QString(247, ' '), "setup.exe"},
        {"../../x.bin", "x.bin"},
        {"/etc/passwd", "passwd"},
        {"C:\\Windows\\System32\\evil.dll", "evil.dll"},
        {"folder/", fallback},
        {"..", fallback},
        {"....", fallback},
        {"", fallback},
        {"   ", fallback},
        {QString(10, QChar(0)), fallback},
        {"..hidden", "..hidden"},
        {"a\x01" "b\x1b[31m.bin", "ab[31m.bin"},
        {QStringLiteral("x\u0000\u0000.iso"), "x.iso"},
        {QStringLiteral("bad\u009b2J.bin"), "bad2J.bin"},
        {QStringLiteral("photo\u202Egpj.exe"), "photogpj.exe"},
        {QStringLiteral("Caf\u00E9 \u20AC.txt"), QStringLiteral("Caf\u00E9 \u20AC.txt")},
    };
    for (const auto &c : cases)
        EXPECT_EQ(safeFileName(c.name), c.expected) << c.name.toStdString();
    EXPECT_EQ(safeFileName("../", "other.dat"), "other.dat");
}

TEST(Paths, SafeFileNameFitsTheFileSystemsLimitAndKeepsTheExtension)
{
    const struct { QString stem, extension; int keptStem; } cases[] = {
        {QString(300, 'a'), ".iso", 251},                       // 251 + 4 = 255 bytes
        {QString(200, QChar(0xE9)), ".bin", 125},               // two bytes each: 250 + 4
        {QString(100, 'b'), "." + QString(40, 'x'), -1},        // no short extension: cut at the end
    };
    for (const auto &c : cases) {
        const QString name = safeFileName(c.stem + c.extension);
        EXPECT_LE(name.toUtf8().size(), 255) << c.keptStem;
        const QString expected = c.keptStem >= 0 ? c.stem.left(c.keptStem) + c.extension : c.stem + c.extension;
        EXPECT_EQ(name, expected);
    }
    QString emoji;
    for (int i = 0; i < 100; ++i)
        emoji += QStringLiteral("\U0001F600");
    const QString cut = safeFileName(emoji + ".bin");
    EXPECT_TRUE(cut.isValidUtf16());  // never half a character
    EXPECT_EQ(cut, emoji.left(62 * 2) + ".bin");  // 62 four-byte characters + 4
}

TEST(Paths, EscapeControlCharactersLeavesNothingATerminalActsOn)
{
    const struct { QString text, expected; } cases[] = {
        {"plain text", "plain text"},
        {"a\x1b]0;title\x07z", "a\\x1b]0;title\\x07z"},
        {"back\\slash", "back\\\\slash"},
        {"\x7f", "\\x7f"},
        {QStringLiteral("\u009b2J"), "\\x9b2J"},
        {QString(QChar(0)), "\\x00"},
        {QStringLiteral("\u202Eevil"), "\\u202eevil"},
        {"tab\there\r\n", "tab\\x09here\\x0d\\x0a"},
        {QStringLiteral("Caf\u00E9 \u20AC"), QStringLiteral("Caf\u00E9 \u20AC")},
    };
    for (const auto &c : cases)
        EXPECT_EQ(escapeControlCharacters(c.text), c.expected) << c.text.toStdString();
}

TEST(Paths, RegularFileExistsOnlyForFiles)
{
    QTemporaryDir dir;
    ASSERT_TRUE(QFile(dir.filePath("f")).open(QIODevice::WriteOnly));
    for (const auto &[path, exists] : {std::pair{dir.filePath("f"), true}, {dir.path(), false},
                                       {dir.filePath("none"), false}, {QString(), false}})
        EXPECT_EQ(regularFileExists(path), exists) << path.toStdString();
}
