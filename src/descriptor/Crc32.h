#pragma once

#include <QtGlobal>

#include <cstddef>

// The CRC-32 of ISO 3309 (as in Ethernet, zip and PNG) of `length` bytes;
// 0 for none. Uses ISA-L's hardware-accelerated code where the build found
// the library, else crc32Portable.
quint32 crc32(const void *data, std::size_t length);

// The same CRC by slice-by-8 tables, eight bytes per step; needs no library.
quint32 crc32Portable(const void *data, std::size_t length);
