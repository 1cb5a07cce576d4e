#include "descriptor/Crc32.h"
#include "descriptor/DescriptorHeader.h"

#include "DescriptorBytes.h"

#include <gtest/gtest.h>

#include <cmath>

using descriptortest::crc32Reference;

// Both CRC paths, and a block's CRC under the version rule (below 1.2 its last
// byte is left out), against the bit-by-bit reference.
TEST(Crc32, EveryPathMatchesTheByteWiseReferenceAtEveryAlignment)
{
    ASSERT_EQ(crc32Reference("123456789", 9), 0xCBF43926u);  // CRC-32's check value
    const QByteArray data = descriptortest::randomBytes(9000, 7);
    for (std::size_t start = 0; start < 8; ++start) {
        for (std::size_t length = 0; length <= 8992; length += (length < 300 ? 1 : 37)) {
            const char *p = data.constData() + start;
            const QByteArrayView block(p, qsizetype(length));
            const quint32 all = crc32Reference(p, length), lastLeftOut = crc32Reference(p, length ? length - 1 : 0);
            ASSERT_EQ((std::tuple{crc32(p, length), crc32Portable(p, length), blockCrc32(block, 1.2f),
                                  blockCrc32(block, std::nextafter(1.2f, 0.0f))}),
                      std::tuple(all, all, all, lastLeftOut))
                << "start " << start << " length " << length;
        }
    }
}
