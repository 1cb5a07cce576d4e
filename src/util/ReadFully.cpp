#include "ReadFully.h"

qint64 readFully(QIODevice &device, char *buffer, qint64 size)
{
    qint64 got = 0;
    while (got < size) {
        const qint64 n = device.read(buffer + got, size - got);
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        got += n;
    }
    return got;
}
