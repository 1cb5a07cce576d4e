#include "util/Paths.h"

#include <gtest/gtest.h>

TEST(SplitPathPart, CutsAtTheLastSeparator)
{
    const struct { const char *path; bool wantFileName, useSlash; const char *expected; } cases[] = {
        {"/home/u/file.bin", true, true, "file.bin"}, {"/home/u/file.bin", false, true, "/home/u/"},
        {"C:\\dl\\a.iso", true, false, "a.iso"}, {"C:\\dl\\a.iso", false, false, "C:\\dl\\"},
        {"C:\\dl\\a.iso", true, true, "C:\\dl\\a.iso"}, {"/home/u/", true, true, ""},
        {"name.bin", true, true, "name.bin"}, {"name.bin", false, true, "name.bin"},
        {"name.bin", false, false, "name.bin"}, {"", true, true, ""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(SplitPathPart(c.path, c.wantFileName, c.useSlash), c.expected) << c.path << " " << c.wantFileName << c.useSlash;
}

TEST(AddTrailingBackslash, AppendsTheSeparatorOnce)
{
    for (const auto &[path, expected] : {std::pair{"", "/"}, {"/tmp", "/tmp/"}, {"/tmp/", "/tmp/"}, {"/", "/"}})
        EXPECT_EQ(AddTrailingBackslash(path), expected) << path;
}

TEST(GetFreeDiskSpace, MeasuresTheNearestExistingFolderAndNothingForNonsense)
{
    const double tmp = GetFreeDiskSpace(QStringLiteral("/tmp"));
    EXPECT_GT(tmp, 0.0);
    EXPECT_NEAR(GetFreeDiskSpace(QStringLiteral("/tmp/no/such/dir/out.bin")), tmp, 64.0 * 1024 * 1024);
    EXPECT_EQ(GetFreeDiskSpace(QString()), 0.0);
}
