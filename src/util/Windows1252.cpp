#include "Windows1252.h"

#include <array>

namespace {

// Characters of bytes 0x80..0x9F; the rest of the code page is Latin-1.
// The five unassigned bytes keep their C1 code points so that decoding
// never loses a byte.
constexpr std::array<char16_t, 32> HighTable = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

}  // namespace

QString decodeWindows1252(QByteArrayView bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    QChar *out = text.data();
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        out[i] = (b >= 0x80 && b <= 0x9F) ? QChar(HighTable[b - 0x80]) : QChar(b);
    }
    return text;
}

std::optional<QByteArray> encodeWindows1252(const QString &text)
{
    QByteArray bytes(text.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        int b = -1;
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            b = c;
        } else {
            for (int k = 0; k < int(HighTable.size()); ++k) {
                if (HighTable[k] == c) {
                    b = 0x80 + k;
                    break;
                }
            }
        }
        if (b < 0)
            return std::nullopt;
        bytes[i] = static_cast<char>(b);
    }
    return bytes;
}
