#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

// Windows-1252, the code page descriptors are written in. Decoding maps each
// byte to one character (the five unassigned bytes map to their C1 code
// points), so a 256-byte field is always a 256-character text and writes back
// unchanged. Kept by hand: Qt offers this codec only through ICU, with no
// promise for those five bytes.
QString decodeWindows1252(QByteArrayView bytes);
// nullopt when a character has no Windows-1252 byte.
std::optional<QByteArray> encodeWindows1252(const QString &text);
