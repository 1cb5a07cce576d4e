#include "descriptor/DescriptorHeader.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

// What is no regular file is refused before anything reads from it: a
// folder, nothing at all, a pipe that would block, a device without end.
TEST(DescriptorHeader, OnlyARegularFileIsRead)
{
    QTemporaryDir dir;
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.filePath("pipe.ddf")).constData(), 0600), 0);
    for (const QString &path : {dir.path(), dir.filePath("missing.ddf"), dir.filePath("pipe.ddf"), QStringLiteral("/dev/zero")}) {
        QString error;
        EXPECT_EQ(readDescriptorHeader(path, &error), std::nullopt) << path.toStdString();
        EXPECT_FALSE(error.isEmpty()) << path.toStdString();
    }
}
