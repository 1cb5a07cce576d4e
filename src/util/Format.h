#pragma once

#include <QString>

#include <optional>

// Writes `number` by one of the digit patterns "0", "#0", "###", "###0",
// "###0.0", "###.00", "##0%"; an empty pattern gives the shortest plain
// decimal form. The decimal separator is always ".".
QString formatWithPattern(double number, const QString &pattern = {});

// Bytes, KB, MB or GB (powers of 1024) with " bytes", " KB", " MB", " GB";
// a non-empty pattern replaces the unit's default above 1023 bytes. Values
// outside the ranges (negative, or between two ranges) give "".
QString formatByteSize(double value, const QString &pattern = {});

// "1 byte", otherwise "N bytes" (any sign), for the program's own sentences.
QString byteCount(qint64 bytes);

// "N sec", "M min S sec" or "H hr M min". nullopt when the rounded seconds
// do not fit a signed 32-bit integer (an overflow the caller reports).
std::optional<QString> formatDuration(float seconds);
