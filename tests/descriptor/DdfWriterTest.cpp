#include "descriptor/DdfWriter.h"

#include "DdfTestBytes.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <vector>

using namespace ddftest;

namespace {

DDFRecord sampleRecord(float version)
{
    DDFRecord r;
    r.StartParam = -1;
    r.Information = QStringLiteral("info");
    r.FileName = QStringLiteral("big.bin");
    r.Servers[0] = QStringLiteral("http://127.0.0.1/big.bin");
    r.Version = version;
    return r;
}

Header sampleHeader(float version)
{
    Header h;
    h.startParam = -1;
    h.information = "info";
    h.fileName = "big.bin";
    h.servers = {"http://127.0.0.1/big.bin"};
    h.version = version;
    return h;
}

TEST(DdfWriter, BuildsTheSameBytesAsAnIndependentWriter)
{
    for (float version : {1.2f, 1.1f}) {
        for (qsizetype size : {qsizetype(0), qsizetype(1), qsizetype(4095), qsizetype(4096), qsizetype(4097), qsizetype(40000)}) {
            const QByteArray data = randomBytes(size, quint32(size));
            const std::optional<QByteArray> built = buildDescriptor(sampleRecord(version), data);
            ASSERT_TRUE(built.has_value());
            EXPECT_EQ(*built, descriptor(sampleHeader(version), data)) << size << " v" << version;
            EXPECT_EQ(built->size(), 3082 + (size + 4095) / 4096 * 4);
        }
    }
}

class DdfWriterFileTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }
    QTemporaryDir m_dir;
};

TEST_F(DdfWriterFileTest, WritesFileInPiecesWithProgress)
{
    const QByteArray data = randomBytes(2 * 1024 * 1024 + 5000, 21);
    const QString dataPath = m_dir.filePath(QStringLiteral("big.bin"));
    const QString out = m_dir.filePath(QStringLiteral("big.ddf"));
    ASSERT_TRUE(writeFile(dataPath, data));
    ASSERT_TRUE(writeFile(out, "old contents"));  // replaced

    std::vector<qint64> done;
    const std::optional<QString> error = writeDescriptorFile(dataPath, out, sampleRecord(1.2f), [&](qint64 d, qint64 total) {
        EXPECT_EQ(total, data.size());
        done.push_back(d);
    });
    ASSERT_FALSE(error.has_value()) << error->toStdString();
    EXPECT_EQ(readFile(out), descriptor(sampleHeader(1.2f), data));
    EXPECT_EQ(done, (std::vector<qint64>{1024 * 1024, 2 * 1024 * 1024, data.size()}));
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files).size(), 2);  // no temporary left
}

TEST_F(DdfWriterFileTest, FailuresLeaveNoDescriptor)
{
    const QString dataPath = m_dir.filePath(QStringLiteral("d.bin"));
    ASSERT_TRUE(writeFile(dataPath, randomBytes(5000, 2)));
    const QString out = m_dir.filePath(QStringLiteral("d.ddf"));

    EXPECT_TRUE(writeDescriptorFile(m_dir.filePath(QStringLiteral("missing.bin")), out, sampleRecord(1.2f)).has_value());
    EXPECT_FALSE(QFile::exists(out));

    DDFRecord tooLong = sampleRecord(1.2f);
    tooLong.Information = QString(257, QLatin1Char('i'));
    EXPECT_TRUE(writeDescriptorFile(dataPath, out, tooLong).has_value());
    EXPECT_FALSE(QFile::exists(out));

    EXPECT_TRUE(writeDescriptorFile(dataPath, m_dir.filePath(QStringLiteral("no/such/dir/d.ddf")), sampleRecord(1.2f)).has_value());
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("d.bin")});
}

}  // namespace
