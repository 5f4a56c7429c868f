#pragma once
// Content lines of vCard (RFC 6350) and iCalendar (RFC 5545): text values escaped, lines
// folded at 75 octets and ended with CRLF.

#include <QByteArray>
#include <QByteArrayView>
#include <QStringView>

namespace exchange {

// Appends the UTF-8 of a text value with \\ \, \; escaped and line breaks as \n.
void appendEscaped(QByteArray& out, QStringView value);
// Appends a content line folded at 75 octets, never inside a UTF-8 character, and CRLF.
void appendFolded(QByteArray& out, QByteArrayView line);

} // namespace exchange
