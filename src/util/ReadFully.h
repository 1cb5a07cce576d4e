#pragma once

#include <QIODevice>

// Reads until `size` bytes are in `buffer` or the device has no more data.
// Returns the number of bytes read, which is less than `size` only at the end
// of the data, or -1 on a read error (device.errorString() says why; the
// bytes read before it are in `buffer`). Every reader of descriptors and of
// the files they describe shares this one end-of-file rule.
qint64 readFully(QIODevice &device, char *buffer, qint64 size);
