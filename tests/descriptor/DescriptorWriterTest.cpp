#include "descriptor/DescriptorWriter.h"

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
    QFile big(dir.filePath("big.bin"));  // sparse, one byte past what a header without hashes describes
    ASSERT_TRUE(big.open(QIODevice::WriteOnly) && big.resize(qint64(1) << 31));
    const QByteArray kept = "an older descriptor";
    ASSERT_TRUE(writeFile(dir.filePath("kept.ddf"), kept));
    const struct { const char *name; QString dataPath, outPath; rlim_t limit; } cases[] = {
        {"disk limit reached half-way", data.fileName(), dir.filePath("new.ddf"), 8192},
        {"disk limit reached, replacing a descriptor", data.fileName(), dir.filePath("kept.ddf"), 8192},
        {"data file missing", dir.filePath("none.bin"), dir.filePath("new.ddf"), RLIM_INFINITY},
        {"2 GiB without hashes", big.fileName(), dir.filePath("new.ddf"), RLIM_INFINITY},
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
                  (QStringList{"big.bin", "data.bin", "kept.ddf"}))
            << c.name;
        EXPECT_EQ(readFile(dir.filePath("kept.ddf")), kept) << c.name;
    }
}
