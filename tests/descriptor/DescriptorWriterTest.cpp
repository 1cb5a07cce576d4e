#include "descriptor/DescriptorWriter.h"

#include "descriptor/DescriptorCheck.h"
#include "descriptor/DescriptorTrailer.h"

#include "DescriptorBytes.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

using namespace descriptortest;

namespace {

// Lowers the process's file size limit while it lives; a write past it
// fails with EFBIG instead of ending the process.
struct FileSizeLimit {
    explicit FileSizeLimit(rlim_t bytes) : handler(std::signal(SIGXFSZ, SIG_IGN))
    {
        ::getrlimit(RLIMIT_FSIZE, &old);
        rlimit lowered{std::min(bytes, old.rlim_max), old.rlim_max};
        ok = ::setrlimit(RLIMIT_FSIZE, &lowered) == 0;
    }
    ~FileSizeLimit() { ::setrlimit(RLIMIT_FSIZE, &old), std::signal(SIGXFSZ, handler); }
    void (*handler)(int);
    rlimit old{};
    bool ok = false;
};

}  // namespace

TEST(DescriptorWriter, AFailureLeavesNoPartialDescriptor)
{
    QTemporaryDir dir;
    QFile data(dir.filePath("data.bin"));
    ASSERT_TRUE(data.open(QIODevice::WriteOnly) && data.resize(24 * 1024 * 1024));  // 24 KiB of CRCs
    data.close();
    const QByteArray kept = "an older descriptor";
    ASSERT_TRUE(writeFile(dir.filePath("kept.ddf"), kept));
    const struct { const char *name; QString dataPath, outPath; rlim_t limit; } cases[] = {
        {"disk limit reached half-way", data.fileName(), dir.filePath("new.ddf"), 8192},
        {"disk limit reached, replacing a descriptor", data.fileName(), dir.filePath("kept.ddf"), 8192},
        {"data file missing", dir.filePath("none.bin"), dir.filePath("new.ddf"), RLIM_INFINITY},
    };
    for (const auto &c : cases) {
        std::optional<QString> error;
        {
            FileSizeLimit limit(c.limit);
            ASSERT_TRUE(limit.ok);
            error = writeDescriptorFile(c.dataPath, c.outPath, DescriptorHeader::fromBytes(headerBytes({.servers = {"http://h/f"}})));
        }
        EXPECT_TRUE(error.has_value()) << c.name;
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name),
                  (QStringList{"data.bin", "kept.ddf"}))
            << c.name;
        EXPECT_EQ(readFile(dir.filePath("kept.ddf")), kept) << c.name;
    }
}

// With hashes the descriptor is the first format's, byte for byte, followed
// by the trailer an independent writer makes.
TEST(DescriptorWriter, WithHashesAppendsTheTrailerToTheFirstFormat)
{
    QTemporaryDir dir;
    const DescriptorHeader header = DescriptorHeader::fromBytes(headerBytes({.servers = {"http://h/f"}}));
    const qsizetype sizes[] = {1, 4096, 1048575, 1048576, 1048577, 5 * 1048576 + 12345};
    for (const qsizetype size : sizes) {
        const QByteArray data = randomBytes(size, quint32(size));
        ASSERT_TRUE(writeFile(dir.filePath("data.bin"), data));
        const auto error = writeDescriptorFile(dir.filePath("data.bin"), dir.filePath("d.ddf"), header, {},
                                               DescriptorFormat::WithHashes);
        ASSERT_FALSE(error) << size << ": " << error->toStdString();
        EXPECT_TRUE(readFile(dir.filePath("d.ddf")) == descriptor({.servers = {"http://h/f"}}, data) + trailerOf(data)) << size;
    }
}

// A sparse file of 2^31 bytes, one past the header's range: the header gets
// the marker, the trailer the size, and the file checks out against it.
TEST(DescriptorWriter, AFileOf2GiBGetsTheMarkerAndItsSizeInTheTrailer)
{
    QTemporaryDir dir;
    QFile data(dir.filePath("data.bin"));
    const qint64 size = qint64(1) << 31;
    ASSERT_TRUE(data.open(QIODevice::WriteOnly) && data.resize(size));
    data.close();
    const DescriptorHeader header = DescriptorHeader::fromBytes(headerBytes({.servers = {"http://h/f"}}));
    EXPECT_TRUE(writeDescriptorFile(data.fileName(), dir.filePath("big.ddf"), header).has_value());  // needs hashes
    ASSERT_FALSE(writeDescriptorFile(data.fileName(), dir.filePath("big.ddf"), header, {}, DescriptorFormat::WithHashes));
    QString error;
    qint64 length = 0;
    const DescriptorHeader read = readDescriptorHeader(dir.filePath("big.ddf"), &error, &length).value();
    EXPECT_EQ(read.fileSize, -1);
    const TrailerRead trailer = readTrailer(dir.filePath("big.ddf"), read, length);
    ASSERT_TRUE(trailer.trailer) << trailer.check.reason.toStdString();
    EXPECT_EQ(trailer.trailer->fileSize, size);
    EXPECT_EQ(length, trailerOffset(size) + trailerLength(2048));
    EXPECT_TRUE(checkDescriptor(read, length, trailer).usable());
}
