#pragma once
// Strict UTF-8: overlong forms, surrogates and code points past U+10FFFF are malformed.
// Decoding well-formed text this way is several times faster than QStringDecoder, which
// matters for files and tables of a hundred thousand records.

#include <QByteArrayView>
#include <QString>

#include <optional>

namespace utf8 {

// Decodes well-formed UTF-8 into out, which has room for one unit per byte; returns the
// end of what was written, or null at the first malformed sequence.
char16_t* decode(const unsigned char* begin, const unsigned char* end, char16_t* out);

// The text of bytes that are all well-formed UTF-8; nullopt otherwise.
std::optional<QString> strict(QByteArrayView bytes);

} // namespace utf8
