#include "Crc32.h"

#include <array>
#include <bit>
#include <cstring>

#ifdef ORVANTA_HAVE_ISAL
#include <isa-l/crc.h>
#endif

namespace {

constexpr quint32 Polynomial = 0xEDB88320u;  // 0x04C11DB7, bit-reflected

using SliceTables = std::array<std::array<quint32, 256>, 8>;

// Table s gives the CRC contribution of a byte followed by s zero bytes.
constexpr SliceTables makeSliceTables()
{
    SliceTables t{};
    for (quint32 n = 0; n < 256; ++n) {
        quint32 c = n;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? (c >> 1) ^ Polynomial : c >> 1;
        t[0][n] = c;
    }
    for (int s = 1; s < 8; ++s)
        for (int n = 0; n < 256; ++n)
            t[s][n] = (t[s - 1][n] >> 8) ^ t[0][t[s - 1][n] & 0xFF];
    return t;
}

// Computed by the compiler: no table is built or shared at run time.
constexpr SliceTables Slice = makeSliceTables();

}  // namespace

quint32 crc32Portable(const void *data, std::size_t length)
{
    const auto *p = static_cast<const unsigned char *>(data);
    quint32 c = 0xFFFFFFFFu;
    while (length >= 8) {
        quint32 lo, hi;
        std::memcpy(&lo, p, 4);
        std::memcpy(&hi, p + 4, 4);
        if constexpr (std::endian::native == std::endian::big) {
            lo = __builtin_bswap32(lo);
            hi = __builtin_bswap32(hi);
        }
        lo ^= c;
        c = Slice[7][lo & 0xFF] ^ Slice[6][(lo >> 8) & 0xFF] ^ Slice[5][(lo >> 16) & 0xFF] ^ Slice[4][lo >> 24]
            ^ Slice[3][hi & 0xFF] ^ Slice[2][(hi >> 8) & 0xFF] ^ Slice[1][(hi >> 16) & 0xFF] ^ Slice[0][hi >> 24];
        p += 8;
        length -= 8;
    }
    while (length--)
        c = Slice[0][(c ^ *p++) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

quint32 crc32(const void *data, std::size_t length)
{
    if (length == 0)
        return 0;  // also for a null pointer
#ifdef ORVANTA_HAVE_ISAL
    // ISA-L inverts on entry and exit itself: seed 0 is the plain CRC-32.
    return crc32_gzip_refl(0, static_cast<const unsigned char *>(data), length);
#else
    return crc32Portable(data, length);
#endif
}
