#pragma once
// Input read whole, within bounds. One line may hold at most Limits::line bytes, one
// record (as the format frames its records) at most Limits::record bytes and the whole
// input at most Limits::total bytes: endless input (/dev/zero, `yes`, a quote or a card
// that never ends, records without end) is refused with a DataError that names the line,
// before it grows any further, instead of filling the memory.

#include "exchange/records.h"

#include <QByteArray>

class QIODevice;

namespace exchange {

// How records are framed in the bytes.
enum class Framing {
    Components, // vCard and iCalendar: a record begins at a BEGIN: or END: line
    Csv,        // a line break outside double quotes ends a record
    Sections,   // Markdown: a record begins at a heading (a line that begins with #)
};

struct Limits {
    qsizetype line = qsizetype(16) << 20;
    qsizetype record = qsizetype(64) << 20;
    qsizetype total = qsizetype(1) << 30;
};

// Everything the device gives until its end, `head` (bytes read from it already) first.
// Files in UTF-16 (a byte-order mark, or the zero bytes of ASCII text) are framed by
// their 16-bit units. A fault, and running out of memory, is a DataError.
QByteArray readBounded(QIODevice& in, Framing framing, QByteArray head = {},
                       const Limits& limits = {});

} // namespace exchange
