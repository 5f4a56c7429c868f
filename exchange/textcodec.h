#pragma once
// Text encodings of files read and written: UTF-8 (with or without a byte-order mark)
// and GB18030, the encoding older Chinese programs and spreadsheets use.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringConverter>
#include <QStringView>

#include <optional>

namespace exchange {

enum class Encoding { Utf8, Gb18030 };

// The encoding named on a command line ("utf-8", "gb18030", any case); nullopt otherwise.
std::optional<Encoding> encodingNamed(QStringView name);

bool hasUtf8Bom(QByteArrayView bytes);
// UTF-16 by its byte-order mark, or, without one, by the zero bytes of ASCII text in the
// first line (as some Windows programs save "Unicode" text); nullopt for other bytes.
std::optional<QStringConverter::Encoding> utf16Of(QByteArrayView bytes);
QByteArrayView withoutUtf8Bom(QByteArrayView bytes);

// The text of bytes that must all be valid in the encoding; nullopt when they are not.
std::optional<QString> decode(QByteArrayView bytes, Encoding e);
// The same for a MIME charset name (CHARSET=GBK, BIG5, ...); *known is false when this
// system has no converter of that name. GB2312, GBK and CP936 are read as GB18030, their
// superset (Outlook writes GB2312 for text in GBK); UTF-8 that is not UTF-8 is read as
// GB18030 when it is that (phones that claim UTF-8 for their own code page).
std::optional<QString> decodeCharset(QByteArrayView bytes, QByteArrayView charset, bool* known);
// UTF-8 when the bytes are valid UTF-8, else GB18030 when they are valid GB18030.
std::optional<QString> decodeGuess(QByteArrayView bytes);

QByteArray encode(QStringView text, Encoding e);

} // namespace exchange
