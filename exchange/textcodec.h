#pragma once
// Text encodings of files read and written: UTF-8 (with or without a byte-order mark)
// and GB18030, the encoding older Chinese programs and spreadsheets use.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <optional>

namespace exchange {

enum class Encoding { Utf8, Gb18030 };

// The encoding named on a command line ("utf-8", "gb18030", any case); nullopt otherwise.
std::optional<Encoding> encodingNamed(QStringView name);

bool hasUtf8Bom(QByteArrayView bytes);
QByteArrayView withoutUtf8Bom(QByteArrayView bytes);

// The text of bytes that must all be valid in the encoding; nullopt when they are not.
std::optional<QString> decode(QByteArrayView bytes, Encoding e);
// The same for a MIME charset name (CHARSET=GBK, BIG5, ...); *known is false when this
// system has no converter of that name.
std::optional<QString> decodeCharset(QByteArrayView bytes, QByteArrayView charset, bool* known);
// UTF-8 when the bytes are valid UTF-8, else GB18030 when they are valid GB18030.
std::optional<QString> decodeGuess(QByteArrayView bytes);

QByteArray encode(QStringView text, Encoding e);

} // namespace exchange
