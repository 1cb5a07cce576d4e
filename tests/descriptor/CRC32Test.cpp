#include "descriptor/CRC32.h"

#include "DdfTestBytes.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace ddftest;

namespace {

TEST(CRC32, KnownValuesUnderTheVersionRule)
{
    struct Case {
        QByteArray data;
        float version;
        quint32 expected;
    };
    const Case cases[] = {
        {"123456789", 1.2f, 0xCBF43926u},
        {"abc", 1.2f, 0x352441C2u},
        {"abc", 1.1f, 0x9E83486Du},
        {"ab", 1.2f, 0x9E83486Du},
        {"abc", 1.04f, 0x9E83486Du},
        {"abc", std::nextafter(1.2f, 0.0f), 0x9E83486Du},
        {"abc", 2.5f, 0x352441C2u},
        {QByteArray(4096, '\0'), 1.2f, 0xC71C0011u},
        {QByteArray(4096, '\0'), 1.1f, 0xC4C2D55Du},
        {"x", 1.1f, 0u},  // nothing left: the CRC of no data
        {"", 1.1f, 0u},
        {"", 1.2f, 0u},
    };
    for (const Case &c : cases)
        EXPECT_EQ(quint32(ComputeCRC32(c.data, c.version)), c.expected) << c.data.left(16).toStdString() << " v" << c.version;
    EXPECT_EQ(ComputeCRC32(QByteArray("123456789"), 1.2f), -873187034);
    EXPECT_EQ(ComputeCRC32(QByteArrayView(), 1.2f), 0);
}

TEST(CRC32, ReferenceTableIsTheReflectedPolynomial)
{
    CRCTableReady = false;
    std::fill(std::begin(CRCTable), std::end(CRCTable), 0u);
    EXPECT_EQ(crc32Reference("123456789", 9), 0xCBF43926u);
    EXPECT_TRUE(CRCTableReady);
    EXPECT_EQ(CRCTable[0], 0u);
    EXPECT_EQ(CRCTable[1], 0x77073096u);
    EXPECT_EQ(CRCTable[128], 0xEDB88320u);
    EXPECT_EQ(CRCTable[255], 0x2D02EF8Du);
    // Later calls reuse the table and agree.
    EXPECT_EQ(crc32Reference("123456789", 9), 0xCBF43926u);
}

TEST(CRC32, FastAndPortablePathsMatchTheReferenceBitForBit)
{
    const QByteArray data = randomBytes(9000, 7);
    for (int start = 0; start < 8; ++start) {
        for (int length = 0; length <= 4200; length += (length < 300 ? 1 : 37)) {
            const char *p = data.constData() + start;
            const quint32 expected = crc32Reference(p, std::size_t(length));
            ASSERT_EQ(crc32Fast(p, std::size_t(length)), expected) << "start " << start << " length " << length;
            ASSERT_EQ(crc32Portable(p, std::size_t(length)), expected) << "start " << start << " length " << length;
        }
    }
    for (int length : {4095, 4096, 4097, 8191, 8192, 8999}) {
        EXPECT_EQ(crc32Fast(data.constData(), std::size_t(length)), crc32Reference(data.constData(), std::size_t(length)));
        EXPECT_EQ(crc32Portable(data.constData(), std::size_t(length)), crc32Reference(data.constData(), std::size_t(length)));
    }
}

}  // namespace
