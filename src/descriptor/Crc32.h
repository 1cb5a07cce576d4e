#pragma once

#include <QByteArrayView>

#include <cstddef>
#include <cstdint>

// The reference table, built on first use by crc32Reference.
extern quint32 CRCTable[256];
extern bool CRCTableReady;
void BuildCRC32Table();

// CRC-32 (ISO 3309) of one block under the descriptor version rule: below
// 1.2 the buffer's last byte is left out. Returned as the signed 32-bit
// value whose bits are the CRC.
qint32 blockCrc32(QByteArrayView buffer, float version);

// Plain CRC-32 of all bytes: the fast path (hardware-accelerated where the
// library offers it) and the one-lookup-per-byte reference it is tested
// against.
quint32 crc32(const void *data, std::size_t length);
quint32 crc32Reference(const void *data, std::size_t length);
// Slice-by-8 tables, the fast path on builds without ISA-L.
quint32 crc32Portable(const void *data, std::size_t length);
