#include "util/Paths.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct SplitCase {
    const char *path;
    bool wantFileName;
    bool useSlash;
    const char *expected;
};

class SplitPathPartTest : public testing::TestWithParam<SplitCase> {};

TEST_P(SplitPathPartTest, CutsAtLastSeparator)
{
    const SplitCase &c = GetParam();
    EXPECT_EQ(SplitPathPart(QString::fromLatin1(c.path), c.wantFileName, c.useSlash), QString::fromLatin1(c.expected))
        << c.path << " file=" << c.wantFileName << " slash=" << c.useSlash;
}

INSTANTIATE_TEST_SUITE_P(Paths, SplitPathPartTest, testing::Values(
    SplitCase{"/home/u/file.bin", true, true, "file.bin"},
    SplitCase{"/home/u/file.bin", false, true, "/home/u/"},
    SplitCase{"http://host/dir/a.iso", true, true, "a.iso"},
    SplitCase{"http://host/dir/a.iso", false, true, "http://host/dir/"},
    SplitCase{"C:\\dl\\a.iso", true, false, "a.iso"},
    SplitCase{"C:\\dl\\a.iso", false, false, "C:\\dl\\"},
    SplitCase{"C:\\dl\\a.iso", true, true, "C:\\dl\\a.iso"},   // the other separator does not count
    SplitCase{"/home/u/", true, true, ""},
    SplitCase{"/home/u/", false, true, "/home/u/"},
    SplitCase{"name.bin", true, true, "name.bin"},
    SplitCase{"name.bin", false, true, "name.bin"},
    SplitCase{"name.bin", true, false, "name.bin"},
    SplitCase{"name.bin", false, false, "name.bin"},
    SplitCase{"", true, true, ""}));

TEST(AddTrailingBackslash, AppendsSeparatorOnce)
{
    EXPECT_EQ(AddTrailingBackslash(QString()), QStringLiteral("/"));
    EXPECT_EQ(AddTrailingBackslash(QStringLiteral("/tmp")), QStringLiteral("/tmp/"));
    EXPECT_EQ(AddTrailingBackslash(QStringLiteral("/tmp/")), QStringLiteral("/tmp/"));
    EXPECT_EQ(AddTrailingBackslash(QStringLiteral("/")), QStringLiteral("/"));
}

TEST(GetFreeDiskSpace, MeasuresTheFilesystemOfTheNearestExistingFolder)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const double folder = GetFreeDiskSpace(dir.path());
    EXPECT_GT(folder, 0.0);
    // A file yet to be written, even deep below missing folders, is on the
    // same filesystem; allow for other writers on the shared disk.
    const double missingFile = GetFreeDiskSpace(dir.filePath(QStringLiteral("no/such/dir/out.bin")));
    EXPECT_NEAR(missingFile, folder, 64.0 * 1024 * 1024);
    EXPECT_NEAR(GetFreeDiskSpace(dir.path() + QStringLiteral("/")), folder, 64.0 * 1024 * 1024);
}

TEST(GetFreeDiskSpace, UnknownPathGivesZero)
{
    EXPECT_EQ(GetFreeDiskSpace(QString()), 0.0);
}

TEST(RegularFileExists, OnlyRegularFilesCount)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString file = dir.filePath(QStringLiteral("f.bin"));
    const QString link = dir.filePath(QStringLiteral("link"));
    const QString danglingLink = dir.filePath(QStringLiteral("dangling"));
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    ASSERT_TRUE(QFile::link(file, link));
    ASSERT_TRUE(QFile::link(dir.filePath(QStringLiteral("gone")), danglingLink));

    EXPECT_TRUE(regularFileExists(file));
    EXPECT_TRUE(regularFileExists(link));
    EXPECT_FALSE(regularFileExists(danglingLink));
    EXPECT_FALSE(regularFileExists(dir.path()));
    EXPECT_FALSE(regularFileExists(dir.filePath(QStringLiteral("missing"))));
    EXPECT_FALSE(regularFileExists(QString()));
}

}  // namespace
