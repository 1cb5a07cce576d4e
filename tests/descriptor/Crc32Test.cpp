#include "descriptor/Crc32.h"
#include "descriptor/DescriptorHeader.h"

#include "DescriptorBytes.h"

#include <gtest/gtest.h>

#include <cmath>

TEST(Crc32, KnownValuesUnderTheVersionRule)
{
    const QByteArray zeros(4096, '\0');
    const struct { QByteArray data; float version; quint32 expected; } cases[] = {
        {"123456789", 1.2f, 0xCBF43926u}, {"abc", 1.2f, 0x352441C2u}, {"abc", std::nextafter(1.2f, 0.0f), 0x9E83486Du},
        {"x", 1.1f, 0u}, {"", 1.2f, 0u}, {zeros, 1.2f, 0xC71C0011u}, {zeros, 1.1f, 0xC4C2D55Du},
    };
    for (const auto &c : cases)
        EXPECT_EQ(blockCrc32(c.data, c.version), c.expected) << c.data.left(9).toStdString() << " v" << c.version;
}

TEST(Crc32, BothPathsMatchTheByteWiseReferenceAtEveryAlignment)
{
    const QByteArray data = descriptortest::randomBytes(9000, 7);
    for (std::size_t start = 0; start < 8; ++start) {
        for (std::size_t length = 0; length <= 8992; length += (length < 300 ? 1 : 37)) {
            const char *p = data.constData() + start;
            const quint32 expected = descriptortest::crc32Reference(p, length);
            ASSERT_EQ((std::pair{crc32(p, length), crc32Portable(p, length)}), std::pair(expected, expected))
                << "start " << start << " length " << length;
        }
    }
}
